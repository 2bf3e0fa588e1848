// Digest throughput; compare with `openssl dgst -ripemd160` on the same size.
#include <benchmark/benchmark.h>

#include <vector>

#include "core/ripemd160.h"

static void digest_buffer(benchmark::State& state)
{
    std::vector<uint8_t> data(size_t(state.range(0)));
    for (size_t i = 0; i < data.size(); i++) data[i] = uint8_t(i * 7 + 3);
    for (auto _ : state) {
        ripemd160_ctx ctx;
        ripemd160_init(&ctx);
        ripemd160_update(&ctx, data.data(), data.size());
        ripemd160_final(&ctx);
        benchmark::DoNotOptimize(ctx.digest);
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * state.range(0));
}
BENCHMARK(digest_buffer)->Arg(64)->Arg(16384)->Arg(1 << 20);
