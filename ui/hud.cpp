#include "ui/hud.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>

#include "core/game_state.h"
#include "game/main_loop.h"
#include "game/race_reset.h"
#include "game/results.h"
#include "game/series.h"
#include "game/sim_tic.h"
#include "game/startup.h"
#include "gfx/imm.h"
#include "gfx/text.h"
#include "gfx/texture.h"
#include "gfx/ztgl.h"
#include "net/net_client.h"
#include "physics/rider.h"
#include "terrain/erode.h"
#include "terrain/heightfield.h"
#include "terrain/terrain.h"
#include "ui/console.h"
#include "ui/settings.h"
#include "ui/world_view.h"

namespace {

int32_t rider_gate_tic(int slot, int gate)
{
    const rider* r = slot >= 0 && slot < rider_slot_count ? rider_table[slot] : nullptr;
    if (!r || gate < 0 || gate >= r->gate_tics.count) return -1;
    return array_items<int32_t>(const_cast<growable_array*>(&r->gate_tics))[gate];
}

double longest_frame;

}  // namespace

int32_t (*hud_gate_tic)(int slot, int gate) = rider_gate_tic;

int32_t race_gap_tics(const race_order_entry* order, int count, int row, int other)
{
    if (count < 2 || row < 0 || other < 0 || row >= count || other >= count) return 0;
    const race_order_entry& a = order[row];
    const race_order_entry& b = order[other];
    int32_t ta, tb;
    if (a.gates_passed == b.gates_passed) {
        ta = a.last_gate_tic, tb = b.last_gate_tic;
    } else {
        int gate = std::min(a.gates_passed, b.gates_passed) - 1;
        ta = hud_gate_tic(a.slot, gate), tb = hud_gate_tic(b.slot, gate);
    }
    if (ta <= 0 || tb <= 0) return 0;
    return tb - ta;
}

int32_t laps_done(int32_t gates, int32_t first_lap, int32_t per_lap)
{
    // A track without timing gates has no laps: never divide by its 0.
    if (per_lap <= 0 || gates < first_lap) return 0;
    return (gates - first_lap) / per_lap + 1;
}

int lapping_warning(const race_order_entry* order, int count, int row, int32_t first_lap, int32_t per_lap,
                    char* text, int size)
{
    if (size > 0) text[0] = 0;
    if (per_lap <= 0 || row <= 0 || row >= count) return 0;
    const race_order_entry& me = order[row];
    if (me.gates_passed < first_lap) return 0;
    int n = 0, used = 0;
    for (int j = 0; j < row; j++) {
        const race_order_entry& o = order[j];
        if (o.gates_passed <= me.gates_passed) continue;
        int32_t k = (o.gates_passed - me.gates_passed - 1) / per_lap;
        // The watched rider's own passage of the point rider j passed last.
        int32_t v = hud_gate_tic(me.slot, o.gates_passed - per_lap * (k + 1) - 1);
        int32_t w = o.last_gate_tic;
        if (v < 0 || w < v) continue;
        double behind = (me.last_gate_tic - v) * tic_length, gap = (w - v) * tic_length;
        if (behind > 15 || gap <= 0 || gap > 3) continue;
        n++;
        const rider* r = o.slot >= 0 && o.slot < rider_slot_count ? rider_table[o.slot] : nullptr;
        char item[64];
        int len = snprintf(item, sizeof item, " %.5s (%.1f) ", r ? r->number : "", gap);
        if (len > 0 && used + len < size && used + len < 1024) {
            memcpy(text + used, item, size_t(len) + 1);
            used += len;
        }
    }
    return n;
}

float needle_degrees(float rpm) { return (rpm * 4.6875e-5f - 0.375f) * 360.0f; }

lap_times rider_lap_times(int32_t start_tic, const int32_t* end_tics, int laps)
{
    lap_times t = {0, 0, 0};
    int32_t previous = start_tic;
    for (int i = 0; i < laps; i++) {
        int32_t lap = end_tics[i] - previous;
        previous = end_tics[i];
        t.last = lap > 0 ? lap : 0;
        if (i >= 1 && lap > 0 && (t.best == 0 || lap < t.best)) t.best = lap, t.best_lap = i + 1;
    }
    return t;
}

int frames_per_second(double longest)
{
    return longest > 0 ? int(1.0 / longest) : 0;
}

void hud_frame_time(double seconds) { longest_frame = std::max(longest_frame, seconds); }

namespace {

// 2-D drawing at depth -1 between the view extents: origin at (x, y),
// scaled by s.
void place(float x, float y, float s)
{
    ztglMatrixMode(ZTGL_MODELVIEW);
    ztglLoadIdentity();
    ztglTranslatef(x, y, -1);
    ztglScalef(s, s, 1);
}

void textured_quad_draw(int texture, float x0, float y0, float x1, float y1)
{
    ztglBindTexture(GL_TEXTURE_2D, GLuint(texture ? texture : int(ztgl_state.white_texture)));
    imm_begin(IMM_QUADS);
    imm_color(1, 1, 1, 1);
    imm_texcoord(0, 0), imm_vertex2(x0, y0);
    imm_texcoord(0, 1), imm_vertex2(x0, y1);
    imm_texcoord(1, 1), imm_vertex2(x1, y1);
    imm_texcoord(1, 0), imm_vertex2(x1, y0);
    imm_end();
}

void plain_quad(float r, float g, float b, float a, float x0, float y0, float x1, float y1)
{
    ztglBindTexture(GL_TEXTURE_2D, ztgl_state.white_texture);
    imm_begin(IMM_QUADS);
    imm_color(r, g, b, a);
    imm_vertex2(x0, y0), imm_vertex2(x1, y0), imm_vertex2(x1, y1), imm_vertex2(x0, y1);
    imm_end();
}

// A band between radius 0.5 and 1 from angle a to b (radians from +y
// towards +x), inner and outer colours.
void ring_arc_draw(float a, float b, const float inner[4], const float outer[4])
{
    int n = int(std::fabs(a - b) * 31 / float(M_PI));
    ztglBindTexture(GL_TEXTURE_2D, ztgl_state.white_texture);
    imm_begin(IMM_QUAD_STRIP);
    for (int i = 0; i <= n + 1; i++) {
        float t = a + float(i) * (b - a) / float(n + 1);
        imm_color(inner[0], inner[1], inner[2], inner[3]);
        imm_vertex2(0.5f * std::sin(t), 0.5f * std::cos(t));
        imm_color(outer[0], outer[1], outer[2], outer[3]);
        imm_vertex2(std::sin(t), std::cos(t));
    }
    imm_end();
}

int hud_texture(const char* name)
{
    int t = texture_find(name);
    return t ? t : texture_load(name);
}

int order_row(int slot)
{
    for (int i = 0; i < race_order_count; i++)
        if (race_order[i].slot == slot) return i;
    return -1;
}

// Tics of the ends of every lap the rider completed (at most max).
int lap_ends(int slot, int32_t gates, int32_t* ends, int max)
{
    int laps = std::min(laps_done(gates, timing_gates.first_lap_entries, timing_gates.normal_lap_entries), max);
    for (int k = 1; k <= laps; k++)
        ends[k - 1] = hud_gate_tic(slot, timing_gates.first_lap_entries + timing_gates.normal_lap_entries * (k - 1) - 1);
    return laps;
}

void print_time(char* out, size_t size, const char* label, int32_t tics)
{
    double s = tics * tic_length;
    int minutes = int(s / 60), tenths = int(std::fmod(s, 1.0) * 10);
    snprintf(out, size, "%s%d:%02d.%d ", label, minutes, int(s) % 60, tenths);
}

void pitboard_draw(const rider* r, int slot)
{
    float H = view_extent_h, W = view_extent_w, s = 0.6227179f * H;
    place(-W, -H, s);
    int board = hud_texture("!@pitboard.png");
    ztglBindTexture(GL_TEXTURE_2D, GLuint(board ? board : int(ztgl_state.white_texture)));
    imm_begin(IMM_QUADS);
    imm_color(1, 1, 1, 1);
    imm_texcoord(0, 0.8125f), imm_vertex2(0, 0);
    imm_texcoord(1, 0.8125f), imm_vertex2(1, 0);
    imm_texcoord(1, 0.125f), imm_vertex2(1, 1);
    imm_texcoord(0, 0.125f), imm_vertex2(0, 1);
    imm_end();
    const float ts = 0.0703125f;
    place(-W + s * 0.37109375f, -H + s * 0.6796875f, s * ts);
    draw_text_centred(0, 0, 0, 1, -4, 4, r->number);
    int row = order_row(slot);
    char line[160];
    int laps = laps_done(r->gate_count, timing_gates.first_lap_entries, timing_gates.normal_lap_entries);
    snprintf(line, sizeof line, "L%d P%d", laps + 1, row + 1);
    place(-W + s * 0.12f, -H + s * 0.6796875f - s * ts * 1.4f, s * ts * 1.25f);
    draw_text(0, 0, 0, 1, line);
    int other = row == 0 ? 1 : row - 1;
    snprintf(line, sizeof line, "%+.1f ", race_gap_tics(race_order, race_order_count, row, other) * tic_length);
    place(-W + s * 0.12f, -H + s * 0.6796875f - s * ts * 2.8f, s * ts);
    draw_text(0, 0, 0, 1, line);
    int32_t ends[256];
    int n = lap_ends(slot, r->gate_count, ends, 256);
    lap_times t = rider_lap_times(gate_drop_tic, ends, n);
    char last[48] = "", best[48] = "";
    if (t.last > 0) print_time(last, sizeof last, "Last - ", t.last);
    if (t.best > 0) print_time(best, sizeof best, "Best - ", t.best);
    snprintf(line, sizeof line, "%s%s", last, best);
    place(-W + s * 0.12f, -H + s * 0.6796875f - s * ts * 4.0f, s * ts * 0.8f);
    draw_text(0, 0, 0, 1, line);
    char warning[1024];
    if (lapping_warning(race_order, race_order_count, row, timing_gates.first_lap_entries,
                        timing_gates.normal_lap_entries, warning, sizeof warning) > 0) {
        float h = H / 15;
        place(0, -H, 1);
        plain_quad(0, 0.5f, 1, 0.5f, -W, 0, W, h);
        place(0, -H + 0.15f * h, h * 0.8f);
        draw_text_centred(1, 1, 1, 1, -W / h, W / h, warning);
    }
}

// Lines round the square -1..1 and along y = 0.
void graph_frame_draw()
{
    ztglBindTexture(GL_TEXTURE_2D, ztgl_state.white_texture);
    imm_begin(IMM_LINES);
    imm_color(1, 1, 1, 1);
    const float edges[5][4] = {{-1, -1, 1, -1}, {1, -1, 1, 1}, {1, 1, -1, 1}, {-1, 1, -1, -1}, {-1, 0, 1, 0}};
    for (const auto& e : edges) imm_vertex2(e[0], e[1]), imm_vertex2(e[2], e[3]);
    imm_end();
}

// One trace of a ring, oldest sample first across -1..1; coloured from the
// valve ring when given (red the low-speed circuit, green the high).
void ring_trace(const float* ring, float sign, float gain, const float* valve)
{
    imm_begin(IMM_LINE_STRIP);
    imm_color(1, 1, 1, 1);
    for (int i = 0; i < telemetry_length; i++) {
        int at = (suspension_ring_index + i) % telemetry_length;
        if (valve) imm_color(valve[at], 1 - valve[at], 0, 1);
        imm_vertex2(float(i) / 512 - 1, std::clamp(sign * gain * ring[at], -1.0f, 1.0f));
    }
    imm_end();
}

void suspension_graph_draw()
{
    if (!suspension_graph_on) return;
    float H = view_extent_h, W = view_extent_w, s = 0.2334025f * H;
    // Two graphs side by side, left of the rev counter.
    const char* legend[2][3] = {{" Fork Position", " Fork Speed (High)", " Fork Speed (Low)"},
                                {" Swingarm Position", " Shock Speed (High)", " Shock Speed (Low)"}};
    const float legend_colour[3][3] = {{1, 1, 1}, {0, 1, 0}, {1, 0, 0}};
    for (int g = 0; g < 2; g++) {
        place(W - s * (5.4f - 2.2f * float(g)), -H + s, s);
        graph_frame_draw();
        ztglBindTexture(GL_TEXTURE_2D, ztgl_state.white_texture);
        ring_trace(suspension_rings[3 * g], 1, 1, nullptr);
        ring_trace(suspension_rings[3 * g + 1], -1, g ? 0.25f : 1, suspension_rings[3 * g + 2]);
        for (int k = 0; k < 3; k++) {
            place(W - s * (6.4f - 2.2f * float(g)), -H + s * (2.05f + float(2 - k) / 12), s / 12);
            draw_text(legend_colour[k][0], legend_colour[k][1], legend_colour[k][2], 1, legend[g][k]);
        }
    }
}

void rev_counter_draw(const rider* r)
{
    float H = view_extent_h, W = view_extent_w, s = 0.2334025f * H;
    place(W - s, -H + s, s);
    textured_quad_draw(hud_texture("!@tach.png"), -1, 1, 1, -1);
    float rpm = r->engine_speed * 60.0f / float(2 * M_PI);
    ztglRotatef(-needle_degrees(rpm), 0, 0, 1);  // clockwise
    ztglBindTexture(GL_TEXTURE_2D, ztgl_state.white_texture);
    imm_begin(IMM_TRIANGLES);
    imm_color(0.75f, 0, 0, 1);
    imm_vertex2(0, 0.75f), imm_vertex2(-0.1f, 0.25f), imm_vertex2(0.1f, 0.25f);
    imm_end();
    // The gear in the middle of the dial: its cell of the 3 x 3 atlas.
    place(W - s, -H + s, s);
    int gear = std::clamp(r->gear, 0, 8);
    float u = float(gear % 3) / 3, v = float(gear / 3 % 3) / 3, third = 1.0f / 3;
    ztglBindTexture(GL_TEXTURE_2D, GLuint(hud_texture("!@shifter.png")));
    imm_begin(IMM_QUADS);
    imm_color(1, 1, 1, 1);
    imm_texcoord(u, v), imm_vertex2(-third, third);
    imm_texcoord(u, v + third), imm_vertex2(-third, -third);
    imm_texcoord(u + third, v + third), imm_vertex2(third, -third);
    imm_texcoord(u + third, v), imm_vertex2(third, third);
    imm_end();
}

void lean_ring_draw(const rider* r)
{
    const terrain* t = &track_terrain;
    if (!t->heights) return;
    const dReal* p = dBodyGetPosition(r->frame_body);
    const dReal* R = dBodyGetRotation(r->frame_body);
    float n[3];
    terrain_normal_at(t, float(p[0]), float(p[2]), n);
    // The ground's normal in the bike's frame: its sideways tilt is the lean.
    float side = float(R[0] * n[0] + R[4] * n[1] + R[8] * n[2]);
    float up = float(R[1] * n[0] + R[5] * n[1] + R[9] * n[2]);
    float angle = std::atan2(side, up);
    float H = view_extent_h, s = 0.93361f * H;
    place(0, -H, s);
    bool over = std::fabs(angle) > 0.6283185f;
    const float inner[4] = {over ? 1.0f : 0.0f, 0, 0, 0}, outer[4] = {over ? 1.0f : 0.0f, 0, 0, 0.25f};
    const float quarter = float(M_PI / 2);
    if (angle < 0) ring_arc_draw(quarter, angle + quarter, inner, outer);
    else ring_arc_draw(angle - quarter, -quarter, inner, outer);
}

// The watched rider on the map: an arrow along its heading, black with a
// bar behind, red inside.
void map_arrow_draw(const rider* r, float extent, float scale)
{
    const dReal* p = dBodyGetPosition(r->frame_body);
    const dReal* R = dBodyGetRotation(r->frame_body);
    // The bike rides along its -z axis; the map's y runs against world z.
    float fx = float(-R[2]), fy = float(R[10]), l = std::hypot(fx, fy);
    if (l < 1e-6f) fx = 0, fy = 1, l = 1;
    fx /= l, fy /= l;
    float x = float(p[0]) / extent - 0.5f, y = 0.5f - float(p[2]) / extent;
    ztglBindTexture(GL_TEXTURE_2D, ztgl_state.white_texture);
    auto arrow = [&](float half, float red) {
        // Tip ahead, corners behind to either side (side = forward turned right).
        float sx = fy, sy = -fx;
        imm_begin(IMM_TRIANGLES);
        imm_color(red, 0, 0, 1);
        imm_vertex2(x + fx * half, y + fy * half);
        imm_vertex2(x - fx * half * 0.6f + sx * half * 0.7f, y - fy * half * 0.6f + sy * half * 0.7f);
        imm_vertex2(x - fx * half * 0.6f - sx * half * 0.7f, y - fy * half * 0.6f - sy * half * 0.7f);
        imm_end();
    };
    float big = 0.03515625f / scale;
    float bx = x - fx * big * 0.8f, by = y - fy * big * 0.8f, sx = fy * big * 0.5f, sy = -fx * big * 0.5f;
    float ax = fx * big * 0.12f, ay = fy * big * 0.12f;
    imm_begin(IMM_QUADS);
    imm_color(0, 0, 0, 1);
    imm_vertex2(bx - sx - ax, by - sy - ay), imm_vertex2(bx + sx - ax, by + sy - ay);
    imm_vertex2(bx + sx + ax, by + sy + ay), imm_vertex2(bx - sx + ax, by - sy + ay);
    imm_end();
    arrow(big, 0);
    arrow(0.0234375f / scale, 1);
}

void map_draw(int watched)
{
    char name[300];
    snprintf(name, sizeof name, "!@%s/map.png", track_dir);
    int map = hud_texture(name);
    const terrain* t = &track_terrain;
    if (!map || t->extent <= 0) return;
    float H = view_extent_h, W = view_extent_w, scale = float(settings.map_scale);
    float s = H * scale * 0.466805f;
    place(W - s, H - s, s);
    textured_quad_draw(map, -0.5f, 0.5f, 0.5f, -0.5f);
    auto dot = [&](const rider* r, float half, float red, float green, float blue) {
        const dReal* p = dBodyGetPosition(r->frame_body);
        float x = float(p[0]) / t->extent - 0.5f, y = 0.5f - float(p[2]) / t->extent;
        plain_quad(red, green, blue, 1, x - half, y - half, x + half, y + half);
    };
    for (int i = race_order_count - 1; i >= 0; i--) {
        const rider* r = rider_table[race_order[i].slot];
        if (!r || !r->frame_body) continue;
        dot(r, (1.0f / 64) / scale, 0, 0, 0);
        float g = r->finished ? 0.25f : 1;
        if (i == 0) dot(r, (1.0f / 128) / scale, 0, 1, 0);
        else dot(r, (1.0f / 128) / scale, g, g, g);
    }
    if (watched >= 0 && rider_table[watched] && rider_table[watched]->frame_body)
        map_arrow_draw(rider_table[watched], t->extent, scale);
}

void intro_draw()
{
    double t = (tic_counter - race_start_tic) * tic_length;
    if (t >= 3 || t < 0) return;
    float a = float(std::clamp(3 - t, 0.0, 1.0));
    // A points series names its event in one line instead.
    if (running_series >= 0 && running_series < series_count && running_event >= 0 &&
        running_event < series_table[running_series].event_count) {
        place(0, 0, 0.1f * view_extent_h);
        draw_text_centred_shadowed(1, 1, 1, a, -10, 10, series_table[running_series].events[running_event].name);
        return;
    }
    place(0, 0, 0.1f * view_extent_h);
    draw_text_centred_shadowed(1, 1, 1, a, -10, 10, track_title);
    char line[64];
    int minutes = int(std::lround(race_time_tics * tic_length / 60));
    if (race_time_tics > 0 && race_laps > 0) snprintf(line, sizeof line, "%d minutes + %d laps", minutes, race_laps);
    else if (race_time_tics > 0) snprintf(line, sizeof line, "%d minutes", minutes);
    else snprintf(line, sizeof line, "%d laps", race_laps);
    place(0, -0.1f * view_extent_h, 0.1f * view_extent_h);
    draw_text_centred_shadowed(1, 1, 1, a, -10, 10, line);
}

void overlay_begin()
{
    ztgl_use_program(ZTGL_UNLIT);
    ztglDisable(GL_DEPTH_TEST);
    ztglDisable(GL_CULL_FACE);
    ztglEnable(GL_BLEND);
    ztglBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
}

void overlay_end()
{
    ztglDisable(GL_BLEND);
    ztglEnable(GL_CULL_FACE);
    ztglEnable(GL_DEPTH_TEST);
    ztglMatrixMode(ZTGL_MODELVIEW);
    ztglLoadIdentity();
}

}  // namespace

void rider_name_draw(int slot)
{
    if (slot < 0 || slot >= rider_slot_count || slot_status[slot] != slot_driven_by_history || !slot_rider_name[slot][0])
        return;
    // Two rows from the top of a 30-row view.
    float unit = 2 * view_extent_h / 30;
    overlay_begin();
    place(0, view_extent_h - 2 * unit, unit);
    draw_text_centred_shadowed(1, 1, 1, 1, -view_extent_w / unit, view_extent_w / unit, slot_rider_name[slot]);
    overlay_end();
}

void draw_hud(int slot)
{
    const rider* r = slot >= 0 && slot < rider_slot_count ? rider_table[slot] : nullptr;
    if (!r || !r->frame_body) return;
    overlay_begin();
    suspension_graph_draw();
    rev_counter_draw(r);
    pitboard_draw(r, slot);
    lean_ring_draw(r);
    map_draw(slot);
    intro_draw();
    overlay_end();
    rider_name_draw(slot);
}

namespace {

// The results table at the top left of a 50-unit-high view; returns the
// units it takes across (0 when not shown).
float results_table_draw(int slot, float unit)
{
    const race_order_entry* rows = results_final ? race_results : race_order;
    int count = results_final ? race_results_count : race_order_count;
    if (count <= 0) return 0;
    const rider* first = rider_table[rows[0].slot];
    if (!results_final && !(first && first->finished)) return 0;
    float W = view_extent_w, H = view_extent_h, left = -W + unit;
    float y = H - 2 * unit;
    place(0, 0, 1);
    plain_quad(0, 0, 0, 0.6f, left, y - 0.2f * unit, left + 38 * unit, y + unit);
    place(left + unit * 0.5f, y, unit);
    draw_text(1, 1, 1, 1, results_final ? "Final Results" : "Unofficial Results");
    const float cells[] = {0, 4, 8, 12.5f, 23, 33, 38};
    const char* heads[] = {"Pos.", "No.", "Lap", "Gap", "Best Time", "BLap"};
    y -= unit;
    for (int c = 0; c < 6; c++) {
        place(left + cells[c] * unit, y, unit * 0.5f);
        draw_text(1, 1, 1, 1, heads[c]);
    }
    const int32_t f = timing_gates.first_lap_entries, n = timing_gates.normal_lap_entries;
    for (int i = 0; i < count; i++) {
        const rider* r = rider_table[rows[i].slot];
        if (!r || (!results_final && !r->finished)) continue;
        y -= unit;
        if (i % 2) {
            place(0, 0, 1);
            plain_quad(1, 1, 1, 0.25f, left, y - 0.2f * unit, left + 38 * unit, y + 0.8f * unit);
        }
        float seconds = 0;
        int32_t best_lap = rider_best_lap(r, &seconds);
        double gap = i == 0 ? 0 : (rows[i].last_gate_tic - rows[i - 1].last_gate_tic) * tic_length;
        char text[6][32];
        snprintf(text[0], 32, "%d", i + 1);
        snprintf(text[1], 32, "%3s", r->number);
        snprintf(text[2], 32, "L%d", laps_done(rows[i].gates_passed, f, n));
        snprintf(text[3], 32, "%7.3f", gap);
        int ms = int(std::lround(double(seconds) * 1000));
        snprintf(text[4], 32, "%d:%02d.%03d", ms / 60000, ms / 1000 % 60, ms % 1000);
        snprintf(text[5], 32, "(%d)", best_lap);
        bool own = rows[i].slot == slot;
        for (int c = 0; c < 6; c++) {
            place(left + cells[c] * unit, y, unit * 0.8f);
            draw_text(own ? 1.0f : 0.9f, own ? 0.85f : 0.9f, own ? 0.2f : 0.9f, 1, text[c]);
        }
    }
    char line[160];
    if (results_final) {
        y -= unit;
        int ms = int(std::lround(std::max(0, rows[0].last_gate_tic - gate_drop_tic) * tic_length * 1000));
        snprintf(line, sizeof line, "Total Race Time: %d:%02d.%03d", ms / 60000, ms / 1000 % 60, ms % 1000);
        place(left, y, unit * 0.8f);
        draw_text(1, 1, 1, 1, line);
    }
    // A rider whose result stands later than its last gate was held back
    // for cutting the track: laps taken away and seconds added.
    for (int i = 0; i < count; i++) {
        const rider* r = rider_table[rows[i].slot];
        if (!r || r->gate_count <= 0) continue;
        int32_t last_gate = hud_gate_tic(rows[i].slot, r->gate_count - 1);
        if (last_gate < 0 || last_gate >= rows[i].last_gate_tic) continue;
        int32_t lacking = laps_done(r->gate_count, f, n) - laps_done(rows[i].gates_passed, f, n);
        int used = snprintf(line, sizeof line, "%3s penalized ", r->number);
        if (lacking > 0) used += snprintf(line + used, sizeof line - size_t(used), "%d %s ", lacking,
                                          lacking == 1 ? "lap" : "laps");
        snprintf(line + used, sizeof line - size_t(used), "%.2f seconds for cutting track",
                 (rows[i].last_gate_tic - last_gate) * tic_length);
        y -= unit;
        place(left, y, unit * 0.8f);
        draw_text(1, 0, 0, 1, line);
    }
    return 38;
}

}  // namespace

void results_overlay_draw(int slot)
{
    overlay_begin();
    // Status lines in a 50-unit-high view, top left, to the right of the
    // results table when it shows.
    float unit = 2 * view_extent_h / 50;
    float table = results_table_draw(slot, unit);
    float y = view_extent_h - unit;
    char line[128];
    auto status = [&](const char* text) {
        place(-view_extent_w + unit * (0.5f + (table > 0 ? table + 19.5f : 0)), y, unit);
        draw_text_shadowed(0.75f, 0.75f, 0.75f, 1, text);
        y -= unit;
    };
    static double previous = -1;
    double now = loop_clock_now();
    if (previous >= 0) hud_frame_time(now - previous);
    previous = now;
    if (options.draw_fps) {
        snprintf(line, sizeof line, "FPS - %d", frames_per_second(longest_frame));
        status(line);
    }
    longest_frame = 0;
    if (options.draw_time) {
        print_time(line, sizeof line, "Time - ", std::max(0, tic_counter - gate_drop_tic));
        status(line);
    }
    const rider* r = slot >= 0 && slot < rider_slot_count ? rider_table[slot] : nullptr;
    if (options.draw_speed && r && r->frame_body) {
        const dReal* v = dBodyGetLinearVel(r->frame_body);
        snprintf(line, sizeof line, "Speed - %.2f", std::sqrt(v[0] * v[0] + v[1] * v[1] + v[2] * v[2]) * 0.6818182);
        status(line);
    }
    if (options.draw_render_stats) {
        snprintf(line, sizeof line, "Ground polygons - %d max=%d", view_stats.ground_polygons,
                 view_stats_max.ground_polygons);
        status(line);
        snprintf(line, sizeof line, "Model polygons - %d max=%d", view_stats.model_polygons,
                 view_stats_max.model_polygons);
        status(line);
        snprintf(line, sizeof line, "Billboards - %d max=%d", view_stats.billboards, view_stats_max.billboards);
        status(line);
        snprintf(line, sizeof line, "Texture Changes - %d max=%d", view_stats.texture_changes,
                 view_stats_max.texture_changes);
        status(line);
        // Program switches since the last overlay: one frame's worth.
        static int32_t switches_seen, shader_max;
        int32_t shader = ztgl_state.program_switches - switches_seen;
        switches_seen = ztgl_state.program_switches;
        shader_max = std::max(shader_max, shader);
        snprintf(line, sizeof line, "Shader Changes - %d max=%d", shader, shader_max);
        status(line);
        snprintf(line, sizeof line, "Erode buffered - %d", erode_queue.count);
        status(line);
    }
    // The newest message-log lines under the status lines.
    place(-view_extent_w + unit * (0.5f + (table > 0 ? table + 19.5f : 0)), y, unit);
    console_draw_shown_lines();
    overlay_end();
}

// ---- The scoreboard ticker ---------------------------------------------------

namespace {
// One entry's width and the parts of it, in units of a 50-unit-high view.
constexpr float ticker_entry = 21.5f;
constexpr float ticker_height = 1.5f;
constexpr float ticker_lap_width = 7;
constexpr double ticker_period = 2;  // seconds of clock per entry
}  // namespace

void ticker_scroll(double clock, int entries, int* first, float* offset)
{
    double steps = clock > 0 ? clock / ticker_period : 0;
    double whole = std::floor(steps);
    *offset = float((steps - whole) * ticker_entry);
    *first = entries > 0 ? int(std::fmod(whole, double(entries))) : 0;
}

int ticker_lap_box(int32_t laps, int32_t limit, int32_t* lap)
{
    // A race without a lap count (lap mode) never ends by laps.
    if (limit <= 0) {
        *lap = std::max(1, laps + 1);
        return 0;
    }
    *lap = std::max(1, std::min(laps + 1, limit));
    if (laps >= limit) return 2;
    return laps + 1 == limit ? 1 : 0;
}

void scoreboard_ticker_draw()
{
    // The rows shown: the running order, without the slots nobody sees (a
    // spectator's own slot online).
    int32_t rows[160];
    int n = 0;
    bool online = net_server_open();
    for (int i = 0; i < race_order_count && n < 160; i++) {
        int slot = race_order[i].slot;
        if (slot < 0 || slot >= rider_slot_count || !rider_table[slot]) continue;
        if (online && slot_is_hidden(slot)) continue;
        rows[n++] = i;
    }
    if (n == 0) return;
    overlay_begin();
    float unit = 2 * view_extent_h / 50, W = view_extent_w, H = view_extent_h;
    float top = H, bottom = H - ticker_height * unit, text_y = bottom + 0.3f * unit, ts = unit * 0.9f;
    place(0, 0, 1);
    plain_quad(0, 0, 0, 0.5f, -W, bottom, W, top);
    int first;
    float offset;
    ticker_scroll(game_clock, n, &first, &offset);
    float lap_left = W - ticker_lap_width * unit;
    char text[96];
    for (int i = 0; ; i++) {
        float x = -W + (float(i) * ticker_entry - offset) * unit;
        if (x >= lap_left) break;
        int row = rows[(first + i) % n];
        const race_order_entry& e = race_order[row];
        const rider* r = rider_table[e.slot];
        place(0, 0, 1);
        plain_quad(0, 0, 0, 1, x, bottom, x + 2.5f * unit, top);
        plain_quad(1, 1, 1, 1, x + 2.5f * unit, bottom, x + 6 * unit, top);
        plain_quad(1, 1, 1, 0.85f, x + 6.1f * unit, bottom, x + 15 * unit, top);
        snprintf(text, sizeof text, "%d", row + 1);
        place(x, text_y, ts);
        draw_text_centred(1, 1, 1, 1, 0, 2.5f * unit / ts, text);
        snprintf(text, sizeof text, "%3s", r->number);
        place(x + 2.5f * unit, text_y, ts);
        draw_text_centred(0, 0, 0, 1, 0, 3.5f * unit / ts, text);
        place(x + 6.4f * unit, text_y, ts);
        draw_text(0, 0, 0, 1, slot_rider_name[e.slot]);
        double behind = race_gap_tics(race_order, race_order_count, 0, row) * tic_length;
        if (row > 0 && behind > 0) {
            snprintf(text, sizeof text, "%7.3f", behind);
            place(x + 15.3f * unit, text_y, ts);
            draw_text(1, 1, 1, 1, text);
        }
    }
    // The leader's lap: green while laps remain, white on the last, a
    // chequered flag once the race is done.
    int32_t laps = laps_done(race_order[0].gates_passed, timing_gates.first_lap_entries,
                             timing_gates.normal_lap_entries), lap;
    int state = ticker_lap_box(laps, lap_limit, &lap);
    const rider* leader = rider_table[race_order[0].slot];
    if (leader && leader->finished) state = 2;
    place(0, 0, 1);
    if (state == 0) plain_quad(0, 0.75f, 0, 1, lap_left, bottom, W, top);
    else plain_quad(1, 1, 1, 1, lap_left, bottom, W, top);
    if (state == 2) {
        float cell = ticker_height * unit / 3;
        for (int row = 0; row < 3; row++)
            for (int col = 0; lap_left + float(col) * cell < W; col++)
                if ((row + col) % 2)
                    plain_quad(0, 0, 0, 1, lap_left + float(col) * cell, bottom + float(row) * cell,
                               std::min(W, lap_left + float(col + 1) * cell), bottom + float(row + 1) * cell);
    } else {
        snprintf(text, sizeof text, "Lap %d", lap);
        place(lap_left, text_y, ts);
        draw_text_centred(0, 0, 0, 1, 0, ticker_lap_width * unit / ts, text);
    }
    overlay_end();
}
