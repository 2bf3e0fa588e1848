// A full terrain_draw of the outdoor sample track at 1280 x 720 against the
// same ground drawn as one full-resolution grid in one vertex buffer, with
// the same program and textures. Run under xvfb-run (llvmpipe).
#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "core/vfs.h"
#include "gfx/ztgl.h"
#include "platform/vesk_window.h"
#include "terrain/terrain_load.h"
#include "terrain/terrain_render.h"

namespace {

constexpr int width = 1280, height = 720;

struct scene {
    bool ready = false;
    GLuint framebuffer = 0, colour = 0, depth = 0;
    GLuint grid_array = 0, grid_vertices = 0, grid_indices = 0;
    int grid_index_count = 0;
};

scene& setup()
{
    static scene s;
    if (s.ready) return s;
    setenv("ZT_HOME", "../data", 0);
    vesk_gl_request_version(3, 2, vesk_gl_core);
    vesk_window* window = vesk_gl_window_open("bench", 16, 16, 32, 8, 24, 0, 0);
    if (!window || !ztgl_init(window) || !ztgl_build_programs()) return s;
    if (!terrain_load(&track_terrain, "@tracks/practice")) return s;
    ztglGenTextures(1, &s.colour);
    ztglBindTexture(GL_TEXTURE_2D, s.colour);
    ztglTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA8, width, height, 0, GL_RGBA, GL_UNSIGNED_BYTE, nullptr);
    ztglGenTextures(1, &s.depth);
    ztglBindTexture(GL_TEXTURE_2D, s.depth);
    ztglTexImage2D(GL_TEXTURE_2D, 0, GL_DEPTH_COMPONENT24, width, height, 0, GL_DEPTH_COMPONENT, GL_UNSIGNED_INT, nullptr);
    ztglGenFramebuffers(1, &s.framebuffer);
    ztglBindFramebuffer(GL_FRAMEBUFFER, s.framebuffer);
    ztglFramebufferTexture2D(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_TEXTURE_2D, s.colour, 0);
    ztglFramebufferTexture2D(GL_FRAMEBUFFER, GL_DEPTH_ATTACHMENT, GL_TEXTURE_2D, s.depth, 0);

    // The whole grid at full resolution: one vertex per sample.
    const terrain* t = &track_terrain;
    int n = t->size;
    std::vector<float> vertices;
    for (int j = 0; j < n; j++)
        for (int i = 0; i < n; i++) vertices.push_back(float(i)), vertices.push_back(float(j));
    std::vector<uint32_t> indices;
    for (int j = 0; j + 1 < n; j++)
        for (int i = 0; i + 1 < n; i++) {
            uint32_t a = j * n + i, b = a + 1, c = a + n + 1, d = a + n;
            if (((i ^ j) & 1) == 0)
                indices.insert(indices.end(), {a, b, c, a, c, d});
            else
                indices.insert(indices.end(), {a, b, d, b, c, d});
        }
    s.grid_index_count = int(indices.size());
    ztglGenVertexArrays(1, &s.grid_array);
    ztglBindVertexArray(s.grid_array);
    ztglGenBuffers(1, &s.grid_vertices);
    ztglBindBuffer(GL_ARRAY_BUFFER, s.grid_vertices);
    ztglBufferData(GL_ARRAY_BUFFER, GLsizeiptr(vertices.size() * sizeof(float)), vertices.data(), GL_STATIC_DRAW);
    ztglVertexAttribPointer(ZTGL_ATTR_POSITION, 2, GL_FLOAT, GL_FALSE, 0, nullptr);
    ztglEnableVertexAttribArray(ZTGL_ATTR_POSITION);
    ztglGenBuffers(1, &s.grid_indices);
    ztglBindBuffer(GL_ELEMENT_ARRAY_BUFFER, s.grid_indices);
    ztglBufferData(GL_ELEMENT_ARRAY_BUFFER, GLsizeiptr(indices.size() * sizeof(uint32_t)), indices.data(), GL_STATIC_DRAW);
    ztglBindVertexArray(0);
    s.ready = true;
    return s;
}

// A rider's-eye camera on the start straight, looking down the track.
void begin_frame(scene& s)
{
    terrain* t = &track_terrain;
    ztglBindFramebuffer(GL_FRAMEBUFFER, s.framebuffer);
    ztglViewport(0, 0, width, height);
    ztglClearColor(0.45f, 0.62f, 0.85f, 1);
    ztglClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    ztglMatrixMode(ZTGL_PROJECTION);
    ztglLoadIdentity();
    ztglFrustum(-0.3, 0.3, -0.16875, 0.16875, 0.5, 4000);
    ztglMatrixMode(ZTGL_MODELVIEW);
    ztglLoadIdentity();
    // From behind the gate down the start straight (+x), a little down:
    // heading +x is a quarter turn from the view's -z.
    const float eye[3] = {110, 25, 120};
    ztglRotatef(6, 1, 0, 0);
    ztglRotatef(90, 0, 1, 0);
    ztglTranslatef(-eye[0], -eye[1], -eye[2]);
    memcpy(t->camera, eye, sizeof eye);
    terrain_update_pyramid(t);
    ztglBindFramebuffer(GL_FRAMEBUFFER, s.framebuffer);
    ztglViewport(0, 0, width, height);
    ztglEnable(GL_DEPTH_TEST);
    ztglDepthFunc(GL_LEQUAL);
    ztgl_use_program(ZTGL_TERRAIN);
    const float light[3] = {0.3f, 0.9f, 0.3f}, ambient[4] = {0.45f, 0.45f, 0.45f, 1}, diffuse[3] = {0.7f, 0.7f, 0.65f};
    ztgl_set_light_position(light);
    ztgl_set_ambient(ambient);
    ztgl_set_diffuse(diffuse);
}

void BM_terrain_draw(benchmark::State& state)
{
    scene& s = setup();
    if (!s.ready) {
        state.SkipWithError("no GL context or no data root");
        return;
    }
    for (auto _ : state) {
        begin_frame(s);
        track_terrain.ground_polygons = 0;
        terrain_draw(&track_terrain);
        ztgl_flush();
        ztglFinish();
    }
    state.counters["triangles"] = track_terrain.ground_polygons;
}
BENCHMARK(BM_terrain_draw)->Unit(benchmark::kMillisecond)->UseRealTime();

// The same frame, the ground drawn as the full grid in one buffer.
void BM_full_grid_draw(benchmark::State& state)
{
    scene& s = setup();
    if (!s.ready) {
        state.SkipWithError("no GL context or no data root");
        return;
    }
    terrain* t = &track_terrain;
    for (auto _ : state) {
        begin_frame(s);
        terrain_render_bind(t);
        const float origin[2] = {0, 0};
        ztgl_set_mesh_transform(origin, t->spacing);
        ztglBindVertexArray(s.grid_array);
        ztgl_guarded_draw_range_elements(GL_TRIANGLES, 0, t->size * t->size - 1, s.grid_index_count, GL_UNSIGNED_INT,
                                         nullptr);
        ztglBindVertexArray(0);
        ztgl_flush();
        ztglFinish();
    }
    state.counters["triangles"] = s.grid_index_count / 3;
}
BENCHMARK(BM_full_grid_draw)->Unit(benchmark::kMillisecond)->UseRealTime();

} // namespace
