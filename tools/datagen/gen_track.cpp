// The two sample tracks' terrain: a supercross stadium and an outdoor
// motocross valley. Heights, surfaces, tile map, shadows, shading and decals
// are shaped here from smooth analytic pieces; the ground textures are in
// gen_track_textures.cpp.
#include <cmath>
#include <cstdio>
#include <cstring>
#include <algorithm>
#include <string>
#include <vector>

#include "terrain/heightfield.h"
#include "terrain/terrain_load.h"
#include "tools/datagen/datagen.h"

namespace {

struct track_shape {
    std::string folder;
    int exponent;
    float spacing;
    float sun[3];                // toward the sun
    std::vector<float> heights;  // size x size, row-major
    std::vector<uint8_t> tiles;  // 2^exponent x 2^exponent
    std::string decals;          // the "decals" file
};

float smoothstep(float e0, float e1, float x)
{
    float t = (x - e0) / (e1 - e0);
    t = t < 0 ? 0 : (t > 1 ? 1 : t);
    return t * t * (3 - 2 * t);
}

// A jump seen from the side, along the direction it is ridden (s from where
// its face leaves the ground). The take-off face is concave, a circular arc
// from the level up to the lip's angle, then a straight ramp at that angle
// longer than a wheelbase, and ends at the lip with no roll over: both
// wheels are on the ramp as the front leaves, so the bike leaves at the
// lip's angle and speed. The landing is a
// crest at its height, a straight downslope at the landing angle and a
// concave run-out back to the level. A table fills the space between lip
// and crest; a double leaves it open, its lip's back and the landing's front
// dropping at 45 degrees (as does a step-down's top to its lower landing).
struct jump_shape {
    const char* name;
    float lip_height, lip_degrees;  // take-off face
    float gap;                      // lip to the landing's crest
    bool table;
    float landing_height, landing_degrees;
    float runout_radius;            // the concave run-out at the landing's foot
};

constexpr float degrees = float(M_PI) / 180.0f;
constexpr float jump_ramp = 5.0f;  // ft, the straight part of a take-off face

// The take-off arc's radius and the length of the face along the level.
float takeoff_radius(const jump_shape& j)
{
    float a = j.lip_degrees * degrees;
    return (j.lip_height - jump_ramp * sinf(a)) / (1 - cosf(a));
}

struct jump_marks {
    float lip, crest, slope_end, end;  // along s
};

jump_marks jump_layout(const jump_shape& j)
{
    float a = j.lip_degrees * degrees, b = j.landing_degrees * degrees;
    jump_marks m;
    m.lip = takeoff_radius(j) * sinf(a) + jump_ramp * cosf(a);
    m.crest = m.lip + j.gap;
    float runout_drop = std::min(j.runout_radius * (1 - cosf(b)), j.landing_height);
    float runout = runout_drop / (1 - cosf(b));
    m.slope_end = m.crest + (j.landing_height - runout_drop) / tanf(b);
    m.end = m.slope_end + runout * sinf(b);
    return m;
}

float jump_height(const jump_shape& j, float s)
{
    jump_marks m = jump_layout(j);
    if (s <= 0 || s >= m.end) return 0;
    float a = j.lip_degrees * degrees, b = j.landing_degrees * degrees;
    float takeoff = 0, landing = 0;
    float radius = takeoff_radius(j), arc_end = radius * sinf(a);
    if (s <= arc_end) {
        takeoff = radius - sqrtf(std::max(0.0f, radius * radius - s * s));
    } else if (s <= m.lip) {
        takeoff = j.lip_height - (m.lip - s) * tanf(a);
    } else {
        // Past the top (or the lip of a double) the back drops at 45 degrees.
        float top_end = j.table ? m.crest : m.lip;
        takeoff = s <= top_end ? j.lip_height : std::max(0.0f, j.lip_height - (s - top_end));
    }
    if (s <= m.crest) {
        landing = std::max(0.0f, j.landing_height - (m.crest - s));
    } else if (s <= m.slope_end) {
        landing = j.landing_height - (s - m.crest) * tanf(b);
    } else {
        float runout_drop = std::min(j.runout_radius * (1 - cosf(b)), j.landing_height);
        float radius = runout_drop / (1 - cosf(b));
        float u = m.end - s;  // back from the foot, where the arc is level
        landing = radius - sqrtf(std::max(0.0f, radius * radius - u * u));
    }
    return std::max(takeoff, landing);
}

// The take-off speed whose arc from the lip comes down in the middle of the
// landing, half-way from the crest to the run-out's foot: the most room
// either way for a bike, which leaves a few degrees under the lip's angle
// (its suspension still taking the face's curve as the rear wheel leaves:
// 2-5 degrees) and so comes down some feet short of a point's arc.
float jump_design_speed(const jump_shape& j)
{
    jump_marks m = jump_layout(j);
    float target = 0.5f * (m.crest + m.end);
    float a = j.lip_degrees * degrees;
    float lo = 5, hi = 120;
    for (int i = 0; i < 40; i++) {
        float v = 0.5f * (lo + hi);
        double s = m.lip, y = j.lip_height, vs = v * cosf(a), vy = v * sinf(a);
        const double dt = 1.0 / 2048;
        for (int t = 0; t < 40000; t++) {
            s += vs * dt;
            vy -= 32.0 * dt;
            y += vy * dt;
            if (vy < 0 && y <= jump_height(j, float(s))) break;
        }
        (s < target ? lo : hi) = v;
    }
    return lo;
}

// One jump placed on a track: where its face starts and the way it is ridden.
struct placed_jump {
    jump_shape shape;
    float x, z, dx, dz;
};

// The track's jumps, one line each, for tests and tools that ride them:
// name, start x z, direction dx dz, lip, crest, the straight downslope's
// end and the run-out's foot along the direction (ft), lip height (ft), lip
// angle (degrees) and the design speed (ft/s).
std::string jumps_text(const std::vector<placed_jump>& jumps)
{
    std::string out = "# name x z dx dz lip crest slope_end end lip_height lip_degrees design_speed\n";
    for (const placed_jump& p : jumps) {
        jump_marks m = jump_layout(p.shape);
        char line[256];
        snprintf(line, sizeof line, "%s %.2f %.2f %.4f %.4f %.2f %.2f %.2f %.2f %.2f %.1f %.1f\n", p.shape.name, p.x,
                 p.z, p.dx, p.dz, m.lip, m.crest, m.slope_end, m.end, p.shape.lip_height, p.shape.lip_degrees,
                 jump_design_speed(p.shape));
        out += line;
    }
    return out;
}

// A rounded bump (a double's or triple's single jump).
float bump(float s, float length, float height)
{
    if (s <= 0 || s >= length) return 0;
    float c = sinf(float(M_PI) * s / length);
    return height * c * c;
}

// One polyline of the track's centre; distance and arc length of a point.
struct path_hit {
    float distance, along;
    float cx, cz;  // nearest centre point
    float side;    // >0 left of the direction of travel
};

path_hit nearest_on_path(const std::vector<float>& pts, bool closed, float x, float z)
{
    path_hit best = {1e30f, 0, 0, 0, 0};
    float along = 0;
    size_t n = pts.size() / 2;
    size_t segments = closed ? n : n - 1;
    for (size_t k = 0; k < segments; k++) {
        float ax = pts[2 * k], az = pts[2 * k + 1];
        float bx = pts[2 * ((k + 1) % n)], bz = pts[2 * ((k + 1) % n) + 1];
        float dx = bx - ax, dz = bz - az;
        float len2 = dx * dx + dz * dz, len = sqrtf(len2);
        float t = ((x - ax) * dx + (z - az) * dz) / len2;
        t = t < 0 ? 0 : (t > 1 ? 1 : t);
        float px = ax + t * dx, pz = az + t * dz;
        float d = hypotf(x - px, z - pz);
        if (d < best.distance) best = {d, along + t * len, px, pz, dx * (z - az) - dz * (x - ax)};
        along += len;
    }
    return best;
}

// ---- the stadium: 256 ft square, exponent 6, 2 ft spacing -----------------

// Lanes run along x at these z, alternating direction, joined by berms.
const float stadium_lanes[5] = {40, 80, 120, 160, 205};
constexpr float lane_half = 9.0f;
// Where the lanes end: the western berms turn round x = 40; the eastern
// ones, between the first four lanes, round x = 190, so that their outer
// banks stay clear of the way back down the floor's eastern side (x = 236),
// which the last lane reaches round its own corner at x = 216.
constexpr float stadium_west_end = 40.0f, stadium_east_berm = 190.0f, stadium_last_lane_end = 216.0f;
constexpr float stadium_back_x = 236.0f;
// The perimeter wall: its inner face stands this far in from the edge.
constexpr float stadium_wall_inner = 10.0f;
constexpr float stadium_wall_height = 6.0f;

// The stadium's jumps: two tables westward on lane 1 (a rhythm pair), a
// tabletop westward on lane 3 and the finish table eastward on lane 4 (the
// lanes are ridden east, west, east, west, east from the start). A westward
// jump's face starts 24 ft past its berm's end: room to gain its design
// speed (about 24 ft/s) from the berm's 17 at a quarter of a g. The rhythm
// pair are tables, not doubles: a bike that comes up short in the middle of
// a lane of traffic lands on the top rather than wedging in the gap.
const placed_jump stadium_jumps[] = {
    {{"stadium_table_1", 4.5f, 26.0f, 12.0f, true, 4.5f, 26.0f, 16.0f}, 166, 80, -1, 0},
    {{"stadium_table_2", 4.5f, 26.0f, 12.0f, true, 4.5f, 26.0f, 16.0f}, 106, 80, -1, 0},
    {{"stadium_tabletop", 5.0f, 28.0f, 16.0f, true, 5.0f, 28.0f, 16.0f}, 166, 160, -1, 0},
    {{"stadium_finish_table", 6.0f, 30.0f, 18.0f, true, 6.0f, 30.0f, 20.0f}, 110, 205, 1, 0},
};

// A stadium jump with its start moved (under a foot) so that the lip falls
// on a line of the 2-ft height grid: between grid lines the height field
// interpolates straight across, and a lip between two would be cut to a
// lower angle over its last two feet.
placed_jump stadium_jump(const placed_jump& j)
{
    placed_jump out = j;
    float lip = j.x + j.dx * jump_layout(j.shape).lip;
    out.x += 2.0f * roundf(lip / 2.0f) - lip;
    return out;
}

// The whoops on the third lane: whole bumps from the berm's end to the
// second checkpoint's stretch, clear of the eastern berm.
constexpr float stadium_whoops_from = 80.0f, stadium_whoops_to = 170.0f;

float stadium_lane_profile(int lane, float x)
{
    switch (lane) {
    case 0:  // the start straight: flat
        return 0.0f;
    case 2: {  // whoops: rolling bumps a rider can skim at speed
        if (x < stadium_whoops_from || x > stadium_whoops_to) return 0;
        float c = sinf(float(M_PI) * (x - stadium_whoops_from) / 10.0f);
        return 1.2f * c * c;
    }
    }
    float h = 0;
    for (const placed_jump& placed : stadium_jumps) {
        placed_jump j = stadium_jump(placed);
        if (j.z == stadium_lanes[lane]) h = fmaxf(h, jump_height(j.shape, (x - j.x) * j.dx));
    }
    return h;
}

float stadium_height(float x, float z)
{
    // A flat floor rising into grass banks below the stands.
    float edge = fminf(fminf(x, 256 - x), fminf(z, 256 - z));
    float h = 18.0f * (1 - smoothstep(0, 12, edge));
    // The barrier round the floor: a wall 6 ft high and two samples thick at
    // the foot of the banks, its face on the grass so the dirt stays rideable.
    if (edge >= stadium_wall_inner - 3.0f && edge <= stadium_wall_inner) h = fmaxf(h, stadium_wall_height);
    float best = 0;
    for (int lane = 0; lane < 5; lane++) {
        float w = 1 - smoothstep(lane_half - 2, lane_half + 6, fabsf(z - stadium_lanes[lane]));
        float east = lane == 4 ? stadium_last_lane_end : stadium_east_berm;
        if (x < stadium_west_end || x > east)
            w *= 1 - smoothstep(0, 8, fabsf(x < stadium_west_end ? stadium_west_end - x : x - east));
        best = fmaxf(best, w * stadium_lane_profile(lane, x));
    }
    h += best;
    // Berms: banked turns at the lane ends; the outside rises with the radius.
    for (int k = 0; k < 4; k++) {
        float cz = (stadium_lanes[k] + stadium_lanes[k + 1]) * 0.5f;
        float r_mid = (stadium_lanes[k + 1] - stadium_lanes[k]) * 0.5f;
        float cx = k % 2 == 0 ? stadium_east_berm : stadium_west_end;
        float out = k % 2 == 0 ? x - cx : cx - x;
        if (out <= 0) continue;
        float r = hypotf(x - cx, z - cz);
        float ring = (1 - smoothstep(lane_half, lane_half + 6, fabsf(r - r_mid))) * smoothstep(0, 10, out);
        h += ring * 4.0f * smoothstep(r_mid - lane_half, r_mid + lane_half + 4, r);
    }
    // Dividers: low dirt mounds between the lanes.
    for (int k = 0; k < 4; k++) {
        float mz = (stadium_lanes[k] + stadium_lanes[k + 1]) * 0.5f;
        if (x < 52 || x > stadium_east_berm - 12) continue;
        float w = 1 - smoothstep(0, 5, fabsf(z - mz));
        h += w * 1.5f * smoothstep(52, 60, x) * (1 - smoothstep(stadium_east_berm - 20, stadium_east_berm - 12, x));
    }
    return h;
}

int stadium_tile(float x, float z)
{
    float edge = fminf(fminf(x, 256 - x), fminf(z, 256 - z));
    if (edge < 13) return 3;  // grass banks below the stands
    if (fabsf(z - stadium_lanes[2]) < lane_half && x > stadium_whoops_from && x < stadium_whoops_to)
        return 2;  // soft whoops
    for (float lane : stadium_lanes)
        if (fabsf(z - lane) < lane_half - 1) return 0;
    return 1;
}

// ---- the outdoor track: 768 ft square, exponent 8, 1.5 ft spacing -------

const std::vector<float>& outdoor_path()
{
    static const std::vector<float> pts = {
        120, 120, 640, 120,  // the long start straight
        700, 180, 690, 300, 600, 360, 480, 330, 380, 380, 360, 480, 430, 580,
        560, 600, 660, 560, 700, 650, 620, 700, 420, 690, 240, 660, 130, 560,
        160, 430, 250, 330, 200, 230, 110, 180,
    };
    return pts;
}

float outdoor_hills(float x, float z)
{
    return 14.0f * sinf(x * 0.009f + 0.4f) * cosf(z * 0.007f) + 8.0f * sinf((x + z) * 0.017f) +
           4.0f * cosf(x * 0.031f - z * 0.023f) + 30.0f * smoothstep(560, 768, z) * smoothstep(300, 768, x);
}

// The point and direction of the path at arc length s.
void path_point(const std::vector<float>& pts, float s, placed_jump* out)
{
    size_t n = pts.size() / 2;
    float along = 0;
    for (size_t k = 0; k < n; k++) {
        float ax = pts[2 * k], az = pts[2 * k + 1];
        float bx = pts[2 * ((k + 1) % n)], bz = pts[2 * ((k + 1) % n) + 1];
        float len = hypotf(bx - ax, bz - az);
        if (s <= along + len || k + 1 == n) {
            float t = (s - along) / len;
            out->x = ax + t * (bx - ax), out->z = az + t * (bz - az);
            out->dx = (bx - ax) / len, out->dz = (bz - az) / len;
            return;
        }
        along += len;
    }
}

// The outdoor track's jumps by arc length along the path. Each lies inside
// one straight piece of the path, from its run-in to its run-out clear of
// the turns at either end (the pieces: 605-725, 833-957, 1293-1425,
// 1631-1725 and 2108-2256 ft).
struct path_jump {
    jump_shape shape;
    float along;
};
const path_jump outdoor_jumps[] = {
    {{"practice_tabletop", 6.0f, 30.0f, 18.0f, true, 6.0f, 30.0f, 20.0f}, 648},
    {{"practice_double", 6.0f, 32.0f, 18.0f, false, 6.0f, 32.0f, 20.0f}, 875},
    {{"practice_step_down", 9.0f, 30.0f, 10.0f, false, 6.0f, 30.0f, 24.0f}, 1335},
    {{"practice_hilltop", 5.0f, 25.0f, 8.0f, true, 5.0f, 25.0f, 20.0f}, 1670},
    {{"practice_long_table", 6.0f, 28.0f, 24.0f, true, 6.0f, 28.0f, 20.0f}, 2150},
};

float outdoor_features(float s)
{
    float h = 0;
    for (const path_jump& j : outdoor_jumps) h = fmaxf(h, jump_height(j.shape, s - j.along));
    // Rollers.
    return h + bump(s - 2545, 20, 5.0f) + bump(s - 2575, 20, 5.0f) + bump(s - 2605, 20, 5.0f);
}

// The track's centre follows the hills, except under a jump: there it is held
// level from 40 ft before the face to 10 ft past the run-out (blending over
// 20 ft before and 40 ft after), so a jump's arc is the one worked out on level ground.
float outdoor_centre(const std::vector<float>& path, float along)
{
    placed_jump p{};
    path_point(path, along, &p);
    float centre = outdoor_hills(p.x, p.z) * 0.6f;
    for (const path_jump& j : outdoor_jumps) {
        jump_marks m = jump_layout(j.shape);
        float from = j.along - 40, to = j.along + m.end + 10;
        float w = smoothstep(from - 20, from, along) * (1 - smoothstep(to, to + 40, along));
        if (w <= 0) continue;
        path_point(path, j.along, &p);
        centre = centre * (1 - w) + outdoor_hills(p.x, p.z) * 0.6f * w;
    }
    return centre;
}

// The paddock: a level hardpack yard west of the track, well clear of it,
// where bikes are warmed up and tried in circles.
constexpr float paddock_x = 75.0f, paddock_z = 330.0f;
constexpr float paddock_flat = 55.0f;   // level out to this radius
constexpr float paddock_blend = 30.0f;  // then back into the hills over this

struct outdoor_sample {
    float height;    // ground and track, before the blur
    float features;  // the jumps and rollers on top
    int tile;
};

outdoor_sample outdoor_at(float x, float z)
{
    const std::vector<float>& path = outdoor_path();
    path_hit hit = nearest_on_path(path, true, x, z);
    float ground = outdoor_hills(x, z);
    // The track follows the hills along its centre line, flat across except
    // on the off-camber stretch, where it keeps the hill's sideways slope.
    float centre = outdoor_centre(path, hit.along);
    float camber = 0.18f * smoothstep(1075, 1095, hit.along) * (1 - smoothstep(1145, 1165, hit.along));
    float across = hit.side > 0 ? hit.distance : -hit.distance;
    float track = centre + camber * across;
    float w = 1 - smoothstep(14, 34, hit.distance);
    outdoor_sample out;
    out.height = track * w + ground * (1 - w);
    // The jumps go on after the blur, which would round their lips.
    out.features = outdoor_features(hit.along) * w;
    if (hit.distance < 13)
        out.tile = (hit.along > 1750 && hit.along < 1950) ? 2 : (hit.along < 520 ? 0 : 1);
    else
        out.tile = 3;
    float from_paddock = hypotf(x - paddock_x, z - paddock_z);
    float level = 1 - smoothstep(paddock_flat, paddock_flat + paddock_blend, from_paddock);
    out.height = out.height * (1 - level) + outdoor_hills(paddock_x, paddock_z) * level;
    out.features *= 1 - level;
    if (from_paddock < paddock_flat + 3) out.tile = 0;
    return out;
}

// Box blur of radius r samples along both axes, edges clamped: softens the
// creases where the nearest point of the path jumps at the inside of turns.
void blur(std::vector<float>& h, int size, int r)
{
    std::vector<float> tmp(h.size());
    for (int pass = 0; pass < 2; pass++) {
        for (int j = 0; j < size; j++)
            for (int i = 0; i < size; i++) {
                float sum = 0;
                for (int k = -r; k <= r; k++) {
                    int ii = pass == 0 ? std::min(std::max(i + k, 0), size - 1) : i;
                    int jj = pass == 1 ? std::min(std::max(j + k, 0), size - 1) : j;
                    sum += h[size_t(jj) * size + ii];
                }
                tmp[size_t(j) * size + i] = sum / float(2 * r + 1);
            }
        h.swap(tmp);
    }
}

// ---- common writing --------------------------------------------------------

const char* const tileinfo_text =
    "name hardpack\ntexture @hardpack.png\nfriction 1.1 1\nfriction 0.95 8\nslip_function 0\n"
    "roll_resist 3 10 1\n"
    "roost count=8 size=0.2 r=150 g=130 b=110\n"
    "treadmark texture=@tread.png size=6 spacing=4 slip_threshold=2\n"
    "erode_depth 0.6\nerode_inner_depth 0.08\n"
    "addtile\n"
    "name loam\ntexture @loam.png\nfriction 1.0 1\nfriction 0.9 8\nslip_function 1\n"
    "roost count=12 r=120 g=90 b=60\n"
    "treadmark texture=@tread.png size=7 spacing=4\n"
    "erode_limit 0 1 1\nerode_limit 1.5 0.5 0.5\nerode_limit 3 0.1 0.1\n"
    "addtile\n"
    "name mud\ntexture @mud.png\nfriction 0.75 1\nfriction 0.6 8\nslip_function 2\n"
    "roll_resist 9 30 1\n"
    "roost count=16 size=0.3 r=80 g=60 b=40 drag=0.8\n"
    "treadmark texture=@tread.png size=8 spacing=3\n"
    "erode_depth 1.6\nerode_inner_depth 0.2\nerode_lower 30\n"
    "addtile\n"
    "name grass\ntexture @grass.png\nfriction 0.8 1\nslip_function 1\nroll_resist 6 20 1\n"
    "roost count=4 r=90 g=120 b=60\n"
    "erode_depth 0.3\n"
    "addtile\n";

// Quantises heights into a terrain.hf and loads it back, so shading and
// shadows are computed from exactly the heights the game will read.
int write_track(const std::string& root, const track_shape& shape)
{
    const std::string dir = shape.folder + "/";
    int size = (1 << (shape.exponent + 1)) + 1;
    float low = 1e30f, high = -1e30f;
    for (float h : shape.heights) low = fminf(low, h), high = fmaxf(high, h);
    low = floorf(low) - 1, high = ceilf(high) + 1;
    std::string hf = std::to_string(shape.exponent) + " " + std::to_string(shape.spacing) + " " +
                     std::to_string(low) + " " + std::to_string(high) + "\n:";
    for (float h : shape.heights) {
        long q = lroundf((h - low) / (high - low) * 65535.0f);
        q = q < 0 ? 0 : (q > 65535 ? 65535 : q);
        hf += char(q & 0xff);
        hf += char(q >> 8);
    }
    terrain* t = new terrain;
    terrain_reset(t);
    if (!heightfield_read(t, reinterpret_cast<const uint8_t*>(hf.data()), hf.size(), nullptr)) {
        fprintf(stderr, "zt_datagen: bad height field for %s\n", shape.folder.c_str());
        delete t;
        return 0;
    }
    // Shading: grey sun light on the slopes. Shadows: a march toward the sun.
    std::vector<uint8_t> rgb(size_t(size) * size * 3);
    terrain_compute_shading(t, shape.sun, rgb.data());
    std::string ppm = "P6\n" + std::to_string(size) + " " + std::to_string(size) + "\n255\n";
    ppm.append(reinterpret_cast<const char*>(rgb.data()), rgb.size());
    std::string pgm = "P5\n" + std::to_string(size) + " " + std::to_string(size) + "\n255\n";
    float sl = sqrtf(shape.sun[0] * shape.sun[0] + shape.sun[2] * shape.sun[2]);
    float rise = shape.sun[1] / sl;  // height gained per foot toward the sun
    for (int j = 0; j < size; j++) {
        for (int i = 0; i < size; i++) {
            float x = float(i) * t->spacing, z = float(j) * t->spacing;
            float h = t->heights[j * size + i];
            int lit = 255;
            for (float d = t->spacing; d < 200; d += t->spacing * 0.5f) {
                float over = terrain_height_at(t, x + shape.sun[0] / sl * d, z + shape.sun[2] / sl * d) - (h + rise * d);
                if (over > 0) {
                    lit = 255 - int(fminf(1.0f, over / 2.0f) * 120.0f);
                    break;
                }
            }
            pgm += char(lit);  // the file stores light; the loader turns it into shade
        }
    }
    terrain_free(t);
    delete t;
    std::string tilemap(shape.tiles.begin(), shape.tiles.end());
    return datagen_write_file(root, dir + "terrain.hf", hf.data(), hf.size()) &&
           datagen_write_text(root, dir + "tileinfo", tileinfo_text) &&
           datagen_write_text(root, dir + "tilemap", tilemap) && datagen_write_text(root, dir + "shadows.pgm", pgm) &&
           datagen_write_text(root, dir + "shading.ppm", ppm) && datagen_write_text(root, dir + "decals", shape.decals);
}

track_shape make_stadium_track()
{
    track_shape s;
    s.folder = "tracks/stadium";
    s.exponent = 6;
    s.spacing = 2.0f;
    s.sun[0] = 0.5f, s.sun[1] = 0.9f, s.sun[2] = 0.35f;
    int size = (1 << (s.exponent + 1)) + 1;
    for (int j = 0; j < size; j++)
        for (int i = 0; i < size; i++) s.heights.push_back(stadium_height(float(i) * s.spacing, float(j) * s.spacing));
    int tiles = 1 << s.exponent;
    for (int j = 0; j < tiles; j++)
        for (int i = 0; i < tiles; i++) s.tiles.push_back(uint8_t(stadium_tile((i + 0.5f) * 4, (j + 0.5f) * 4)));
    s.decals = "# x z angle size texture\n"
               "60 34 1.5708 3 @startline.png\n60 40 1.5708 3 @startline.png\n60 46 1.5708 3 @startline.png\n"
               "128 197 1.5708 4 @finish.png\n128 205 1.5708 4 @finish.png\n128 213 1.5708 4 @finish.png\n";
    return s;
}

track_shape make_outdoor_track()
{
    track_shape s;
    s.folder = datagen_track_folder;  // the practice ground
    s.exponent = 8;
    s.spacing = 1.5f;
    s.sun[0] = -0.6f, s.sun[1] = 0.42f, s.sun[2] = 0.55f;
    int size = (1 << (s.exponent + 1)) + 1;
    std::vector<float> features;
    for (int j = 0; j < size; j++)
        for (int i = 0; i < size; i++) {
            outdoor_sample o = outdoor_at(float(i) * s.spacing, float(j) * s.spacing);
            s.heights.push_back(o.height);
            features.push_back(o.features);
        }
    blur(s.heights, size, 3);
    for (size_t k = 0; k < features.size(); k++) s.heights[k] += features[k];
    int tiles = 1 << s.exponent;
    for (int j = 0; j < tiles; j++)
        for (int i = 0; i < tiles; i++) s.tiles.push_back(uint8_t(outdoor_at((i + 0.5f) * 3, (j + 0.5f) * 3).tile));
    s.decals = "# x z angle size texture\n"
               "200 112 1.5708 4 @startline.png\n200 120 1.5708 4 @startline.png\n200 128 1.5708 4 @startline.png\n";
    return s;
}

int write_tracks(const std::string& root)
{
    std::vector<placed_jump> stadium;
    for (const placed_jump& j : stadium_jumps) stadium.push_back(stadium_jump(j));
    std::vector<placed_jump> outdoor;
    for (const path_jump& j : outdoor_jumps) {
        placed_jump p{j.shape, 0, 0, 0, 0};
        path_point(outdoor_path(), j.along, &p);
        outdoor.push_back(p);
    }
    return write_track(root, make_stadium_track()) && write_track(root, make_outdoor_track()) &&
           datagen_write_text(root, "tracks/stadium/desc", "Stadium Supercross\n") &&
           datagen_write_text(root, "tracks/stadium/jumps", jumps_text(stadium)) &&
           datagen_write_text(root, std::string(datagen_track_folder) + "/jumps", jumps_text(outdoor));
}
} // namespace

DATAGEN_STEP("40_tracks", write_tracks);

// ---- the tracks' centre lines ------------------------------------------------

namespace {

// A track's designed way round, for tools that ride it (the racing-line
// learner): one "x z" a line, in riding order, the last point joining the
// first. Corners are given as they are drawn; whoever rides them rounds them.
void arc_points(std::string* out, float cx, float cz, float r, float from, float to, int steps)
{
    char line[64];
    for (int k = 1; k < steps; k++) {
        float a = from + (to - from) * float(k) / float(steps);
        snprintf(line, sizeof line, "%.3f %.3f\n", cx + r * cosf(a), cz + r * sinf(a));
        *out += line;
    }
}

void point_line(std::string* out, float x, float z)
{
    char line[64];
    snprintf(line, sizeof line, "%.3f %.3f\n", x, z);
    *out += line;
}

// The stadium: the five lanes joined by their berms, ridden on each berm's
// middle, then back down the floor's right-hand side outside the eastern
// berms, west along the foot of the floor and up round a hairpin into the
// first lane.
std::string stadium_centre_line()
{
    const float pi = float(M_PI);
    const float west = stadium_west_end, back_x = stadium_back_x, foot_z = 18, hairpin_x = 70;
    std::string s = "# x z\n";
    for (int k = 0; k < 5; k++) {
        float z = stadium_lanes[k];
        bool eastward = k % 2 == 0;
        float east = k == 4 ? stadium_last_lane_end : stadium_east_berm;
        point_line(&s, k == 0 ? hairpin_x : (eastward ? west : east), z);
        point_line(&s, eastward ? east : west, z);
        if (k == 4) break;
        float cz = (z + stadium_lanes[k + 1]) * 0.5f, r = (stadium_lanes[k + 1] - z) * 0.5f;
        if (eastward) arc_points(&s, east, cz, r, -pi / 2, pi / 2, 8);
        else arc_points(&s, west, cz, r, -pi / 2, -3 * pi / 2, 8);
    }
    const float east = stadium_last_lane_end;
    float top = stadium_lanes[4], turn = back_x - east;
    arc_points(&s, east, top - turn, turn, pi / 2, 0, 4);
    point_line(&s, back_x, top - turn);
    point_line(&s, back_x, foot_z + turn);
    arc_points(&s, east, foot_z + turn, turn, 0, -pi / 2, 4);
    point_line(&s, east, foot_z);
    point_line(&s, hairpin_x, foot_z);
    float r = (stadium_lanes[0] - foot_z) * 0.5f;
    arc_points(&s, hairpin_x, foot_z + r, r, -pi / 2, -3 * pi / 2, 8);
    return s;
}

std::string outdoor_centre_line()
{
    std::string s = "# x z\n";
    const std::vector<float>& pts = outdoor_path();
    for (size_t k = 0; k + 1 < pts.size(); k += 2) point_line(&s, pts[k], pts[k + 1]);
    return s;
}

int write_centre_lines(const std::string& root)
{
    return datagen_write_text(root, "tracks/stadium/centre_line", stadium_centre_line()) &&
           datagen_write_text(root, std::string(datagen_track_folder) + "/centre_line", outdoor_centre_line());
}

} // namespace

DATAGEN_STEP("44_centre_lines", write_centre_lines);
