// File system speed: building the index over 10,000 files, and reading a
// 50 MB gzip file through a stream next to zcat of the same file.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>

#include "core/vfs.h"

namespace fs = std::filesystem;

namespace {

// One temporary data root for the whole program.
const std::string& bench_root()
{
    static std::string root = [] {
        char pattern[] = "/tmp/zt_bench_vfs_XXXXXX";
        std::string r = mkdtemp(pattern);
        setenv("ZT_HOME", (r + "/data").c_str(), 1);
        setenv("XDG_DATA_HOME", (r + "/home").c_str(), 1);
        std::atexit([] { fs::remove_all(bench_root()); });
        return r;
    }();
    return root;
}

void make_many_files()
{
    std::string dir = bench_root() + "/data/many";
    if (fs::exists(dir)) return;
    for (int d = 0; d < 100; d++) {
        std::string folder = dir + "/folder" + std::to_string(d);
        fs::create_directories(folder);
        for (int f = 0; f < 100; f++) std::ofstream(folder + "/File" + std::to_string(f) + ".txt") << f;
    }
}

// 50 MB of text that compresses about as well as the game's text data.
const std::string& big_gzip()
{
    static std::string path = [] {
        std::string plain = bench_root() + "/big.txt";
        std::ofstream out(plain);
        std::mt19937 rng(1);
        std::string line;
        size_t written = 0;
        while (written < 50u << 20) {
            line.clear();
            for (int i = 0; i < 8; i++) line += std::to_string(rng() % 100000) + (i < 7 ? " " : "\n");
            out << line;
            written += line.size();
        }
        out.close();
        if (system(("gzip -n -f " + plain).c_str()) != 0) abort();
        return plain + ".gz";
    }();
    return path;
}

void BM_build_index_10000_files(benchmark::State& state)
{
    make_many_files();
    for (auto _ : state) {
        vfs_shutdown();
        benchmark::DoNotOptimize(vfs_build_index());
    }
    state.counters["entries"] = vfs_index_count();
    vfs_shutdown();
}
BENCHMARK(BM_build_index_10000_files)->Unit(benchmark::kMillisecond);

void BM_read_50mb_gzip_stream(benchmark::State& state)
{
    const std::string& path = big_gzip();
    std::string name = path.substr(0, path.size() - 3);
    static char buffer[65536];
    int64_t total = 0;
    for (auto _ : state) {
        vfs_stream* s = vfs_open(name.c_str(), "rb");
        if (!s) abort();
        for (int n; (n = vfs_read(s, buffer, sizeof buffer)) > 0;) total += n;
        vfs_close(s);
    }
    state.SetBytesProcessed(total);
}
BENCHMARK(BM_read_50mb_gzip_stream)->Unit(benchmark::kMillisecond);

void BM_read_50mb_gzip_zcat(benchmark::State& state)
{
    std::string command = "zcat " + big_gzip() + " > /dev/null";
    for (auto _ : state)
        if (system(command.c_str()) != 0) abort();
}
BENCHMARK(BM_read_50mb_gzip_zcat)->Unit(benchmark::kMillisecond);

} // namespace
