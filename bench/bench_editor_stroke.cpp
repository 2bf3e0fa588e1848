// One editor brush stroke of radius 40 ft on a 1025-sample grid (1-ft cells),
// and the re-upload of the dirty height blocks that follows it. A stroke
// runs every tic (128 a second, about two per frame at 60 fps) and the
// terrain upkeep re-uploads once a frame. Run under xvfb-run (llvmpipe) from
// build/bench.
#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "editor/editor_state.h"
#include "editor/terrain_tools.h"
#include "gfx/ztgl.h"
#include "platform/vesk_window.h"
#include "terrain/terrain_load.h"
#include "terrain/terrain_render.h"

namespace {

constexpr int exponent = 9;  // 2^(9+1) + 1 = 1025 samples a side
constexpr int side = 1025;

std::string copy_file(const std::string& from, const std::string& to)
{
    FILE* in = fopen(from.c_str(), "rb");
    if (!in) return "can't read " + from;
    FILE* out = fopen(to.c_str(), "wb");
    std::vector<char> buffer(1 << 16);
    size_t got;
    while ((got = fread(buffer.data(), 1, buffer.size(), in)) > 0) fwrite(buffer.data(), 1, got, out);
    fclose(in);
    fclose(out);
    return "";
}

// A track folder of rolling ground with the practice track's surfaces.
std::string make_track(const std::string& data_root)
{
    char folder[] = "/tmp/zt_bench_strokeXXXXXX";
    if (!mkdtemp(folder)) return "";
    std::string dir = folder;
    FILE* hf = fopen((dir + "/terrain.hf").c_str(), "wb");
    fprintf(hf, "%d 1.0 0.0 40.0 :", exponent);
    for (int z = 0; z < side; z++)
        for (int x = 0; x < side; x++) {
            double h = 20 + 10 * std::sin(x * 0.02) * std::cos(z * 0.015);
            auto v = uint16_t(h / 40 * 65535);
            fputc(v & 255, hf);
            fputc(v >> 8, hf);
        }
    fclose(hf);
    for (const char* name : {"tileinfo", "tilemap"})
        if (!copy_file(data_root + "/tracks/practice/" + name, dir + "/" + name).empty()) return "";
    return dir;
}

bool setup()
{
    static int ready = -1;
    if (ready >= 0) return ready == 1;
    ready = 0;
    setenv("ZT_HOME", "../data", 0);
    vesk_gl_request_version(3, 2, vesk_gl_core);
    vesk_window* window = vesk_gl_window_open("bench", 16, 16, 32, 8, 24, 0, 0);
    if (!window || !ztgl_init(window) || !ztgl_build_programs()) return false;
    std::string folder = make_track(getenv("ZT_HOME"));
    if (folder.empty() || !terrain_load(&track_terrain, folder.c_str())) return false;
    if (track_terrain.size != side || !track_terrain.renderer) return false;
    editor_state_begin(&track_terrain);
    ready = 1;
    return true;
}

// The brush is dragged 1 ft per tic across the middle of the track, as a
// held mouse would paint; the commit every 64 strokes stands for a release.
struct drag {
    float x = 300, z = 512;
    void step()
    {
        x += 1;
        if (x > 724) x = 300, z += 90;
        if (z > 800) z = 200;
    }
};

void stroke(drag& d, int32_t tool, float strength)
{
    editor.tool = tool;
    brush_stroke(d.x - 1, d.z, d.x, d.z, 40, 20, strength);
    d.step();
}

void BM_brush_stroke(benchmark::State& state)
{
    if (!setup()) {
        state.SkipWithError("no GL context or no data root");
        return;
    }
    int32_t tool = int32_t(state.range(0));
    // Raise/Lower by 1 ft; Smooth over a disc of radius 8 cells (Strength 3).
    float strength = tool == tool_smooth ? 8 : 1;
    drag d;
    int64_t k = 0;
    for (auto _ : state) {
        stroke(d, tool, strength);
        if (++k % 64 == 0) {
            state.PauseTiming();
            editor_commit();
            for (uint8_t& b : track_terrain.dirty_blocks) b = 0;
            state.ResumeTiming();
        }
    }
    for (uint8_t& b : track_terrain.dirty_blocks) b = 0;
    state.SetLabel(tool == tool_smooth ? "smooth rho 8" : "raise");
}
BENCHMARK(BM_brush_stroke)->Arg(tool_raise)->Arg(tool_smooth)->Unit(benchmark::kMicrosecond);

// A stroke, then the upkeep's re-upload of every block it marked (up to
// four 128 x 128-cell blocks when the brush straddles a corner), finished on
// the GL side.
void BM_stroke_then_reupload(benchmark::State& state)
{
    if (!setup()) {
        state.SkipWithError("no GL context or no data root");
        return;
    }
    drag d;
    int blocks = 0;
    for (auto _ : state) {
        stroke(d, tool_raise, 1);
        for (uint8_t b : track_terrain.dirty_blocks) blocks += b;
        terrain_upkeep_full(&track_terrain);
        ztgl_flush();
        ztglFinish();
    }
    state.counters["blocks"] = benchmark::Counter(blocks, benchmark::Counter::kAvgIterations);
}
BENCHMARK(BM_stroke_then_reupload)->Unit(benchmark::kMicrosecond)->UseRealTime();

// The re-upload alone: one 128 x 128-cell block, and the four a stroke over
// a block corner marks.
void BM_reupload_blocks(benchmark::State& state)
{
    if (!setup()) {
        state.SkipWithError("no GL context or no data root");
        return;
    }
    int count = int(state.range(0));
    for (auto _ : state) {
        for (int b = 0; b < count; b++) track_terrain.dirty_blocks[(3 + b / 2) * 32 + 3 + b % 2] = 1;
        terrain_upkeep_full(&track_terrain);
        ztgl_flush();
        ztglFinish();
    }
}
BENCHMARK(BM_reupload_blocks)->Arg(1)->Arg(4)->Unit(benchmark::kMicrosecond)->UseRealTime();

} // namespace
