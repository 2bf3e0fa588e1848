// Image decoding: a 2048x2048 RGB PNG decoded by png_decode (level 0 only,
// and with the mip chain) against libpng's own simplified reader decoding the
// same bytes to raw RGB, the floor any libpng-based reader can reach; the
// generator's whole texture set decoded from memory, and loaded and uploaded
// through the registry (needs a display: run under xvfb-run). The data root
// is ZT_HOME, default "data" beside the benchmark's folder.
#include <benchmark/benchmark.h>
#include <png.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "core/alloc.h"
#include "gfx/image_png.h"
#include "gfx/image_pnm.h"
#include "gfx/image_q.h"
#include "gfx/pixel_buffer.h"
#include "gfx/texture.h"
#include "gfx/ztgl.h"
#include "platform/vesk_window.h"

namespace {

// A photograph-like test image: smooth gradients with fine noise, which
// compresses like real textures rather than like flat colour.
const std::vector<uint8_t>& big_png()
{
    static std::vector<uint8_t> file = [] {
        const int side = 2048;
        std::vector<uint8_t> px(size_t(side) * side * 3);
        uint32_t s = 1;
        for (int y = 0; y < side; y++)
            for (int x = 0; x < side; x++) {
                s = s * 1664525u + 1013904223u;
                uint8_t* p = &px[(size_t(y) * side + x) * 3];
                p[0] = uint8_t(x / 8 + (s >> 29));
                p[1] = uint8_t(y / 8 + (s >> 28 & 7));
                p[2] = uint8_t((x + y) / 16 + (s >> 25 & 7));
            }
        size_t size;
        uint8_t* png = png_encode(px.data(), side, side, 3, nullptr, &size);
        std::vector<uint8_t> out(png, png + size);
        alloc_check_free(png);
        return out;
    }();
    return file;
}

void png_decode_level0(benchmark::State& state)
{
    const auto& file = big_png();
    for (auto _ : state) {
        uint8_t* p;
        int w, h, bpp;
        char* text;
        if (!png_decode("big.png", file.data(), file.size(), &p, &w, &h, &bpp, &text)) state.SkipWithError("decode");
        benchmark::DoNotOptimize(p);
        alloc_check_free(p);
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * 2048 * 2048 * 3);
}
BENCHMARK(png_decode_level0)->Unit(benchmark::kMillisecond);

void png_decode_with_chain(benchmark::State& state)
{
    const auto& file = big_png();
    for (auto _ : state) {
        uint8_t* p;
        int w, h, bpp;
        char* text;
        png_decode("big.png", file.data(), file.size(), &p, &w, &h, &bpp, &text);
        png_build_chain("big.png", text, &p, &w, &h, bpp);
        benchmark::DoNotOptimize(p);
        alloc_check_free(p);
    }
}
BENCHMARK(png_decode_with_chain)->Unit(benchmark::kMillisecond);

void libpng_simplified_to_raw(benchmark::State& state)
{
    const auto& file = big_png();
    std::vector<uint8_t> raw(size_t(2048) * 2048 * 3);
    for (auto _ : state) {
        png_image image{};
        image.version = PNG_IMAGE_VERSION;
        png_image_begin_read_from_memory(&image, file.data(), file.size());
        image.format = PNG_FORMAT_RGB;
        png_image_finish_read(&image, nullptr, raw.data(), 0, nullptr);
        benchmark::DoNotOptimize(raw.data());
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * 2048 * 2048 * 3);
}
BENCHMARK(libpng_simplified_to_raw)->Unit(benchmark::kMillisecond);

std::string data_root()
{
    if (const char* home = getenv("ZT_HOME")) return home;
    std::string root = (std::filesystem::canonical("/proc/self/exe").parent_path() / ".." / "data").string();
    setenv("ZT_HOME", root.c_str(), 1);
    return root;
}

// Every image of the data root, read from disk and decoded with its chain.
void texture_set_decode(benchmark::State& state)
{
    std::vector<std::pair<std::string, std::string>> files;
    for (const auto& e : std::filesystem::recursive_directory_iterator(data_root())) {
        auto ext = e.path().extension();
        if (ext != ".png" && ext != ".ppm") continue;
        std::ifstream in(e.path(), std::ios::binary);
        std::stringstream ss;
        ss << in.rdbuf();
        files.push_back({e.path().string(), ss.str()});
    }
    if (files.empty()) state.SkipWithError("no data root");
    for (auto _ : state) {
        for (const auto& [name, bytes] : files) {
            uint8_t* p = nullptr;
            int w, h, bpp = 3;
            char* text = nullptr;
            if (name.ends_with(".ppm")) {
                image_source src = image_source_make(bytes.data(), bytes.size(), name.c_str());
                char magic[16];
                image_source_token(&src, magic, sizeof magic);
                ppm_read(magic, &src, &p, &w, &h);
            } else if (png_decode(name.c_str(), bytes.data(), bytes.size(), &p, &w, &h, &bpp, &text)) {
                png_build_chain(name.c_str(), text, &p, &w, &h, bpp);
            }
            alloc_check_free(text);
            alloc_check_free(p);
        }
    }
    state.counters["images"] = double(files.size());
}
BENCHMARK(texture_set_decode)->Unit(benchmark::kMillisecond);

// Every image of the data root loaded by name and uploaded, then purged.
void texture_set_load_and_upload(benchmark::State& state)
{
    static vesk_window* window;
    if (!window) {
        vesk_gl_request_version(3, 2, vesk_gl_core);
        window = vesk_gl_window_open("bench", 16, 16, 32, 8, 24, 0, 0);
        if (!window || !ztgl_init(window)) {
            state.SkipWithError("no GL context (run under xvfb-run)");
            return;
        }
    }
    std::string root = data_root();
    std::vector<std::string> names;
    for (const auto& e : std::filesystem::recursive_directory_iterator(root)) {
        auto ext = e.path().extension();
        if (ext != ".png" && ext != ".ppm" && ext != ".seq") continue;
        std::string name(1, '@');
        name += std::filesystem::relative(e.path(), root).string();
        names.push_back(name);
    }
    int loaded = 0;
    for (auto _ : state) {
        loaded = 0;
        for (const auto& name : names) loaded += texture_load(name.c_str()) != 0;
        ztglFinish();
        textures_purge(1);
    }
    state.counters["images"] = double(loaded);
}
BENCHMARK(texture_set_load_and_upload)->Unit(benchmark::kMillisecond);

} // namespace
