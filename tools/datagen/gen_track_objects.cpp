// The race furniture of the two sample tracks: start gates, checkpoints and
// lap sequences ("timing_gates"), the start flagger, lap board and track
// flaggers ("flaggers"), banners ("billboards"), hay bales, cones and tuff
// blocks ("statues"), fixed cameras ("cameras") and the track map
// ("map.png"); plus the images and collision shapes they name. Formats:
// docs/timing_gates.md and docs/track_objects.md. Every object is placed
// from the track's own layout (the lanes of the stadium, the centre line of
// the outdoor loop) and stood on the terrain the tracks step wrote.
#include <algorithm>
#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "terrain/heightfield.h"
#include "terrain/terrain.h"
#include "tools/datagen/datagen.h"

namespace {

constexpr float pi = 3.14159265358979f;

// ---- what a track's furniture is made of ---------------------------------

struct point2 {
    float x, z;
};

struct checkpoint_spec {
    point2 at;
    point2 dir;  // the way riders pass it
    float width;
};

struct track_furniture {
    std::string folder;
    point2 gate_line;     // middle of the start-gate line
    point2 facing;        // the way the riders face at the start
    int gates;            // start gates across the line
    float gate_spacing;   // feet between gate centres
    std::vector<checkpoint_spec> checkpoints;
    std::vector<int> first_lap, normal_lap;
    std::vector<point2> bales;        // hay bales, each turned along the track
    std::vector<float> bale_angles;
    std::vector<point2> cones;
    std::vector<point2> banners;      // banners, each with its name
    std::vector<std::string> banner_names;
    point2 flagger_start, flagger_end, lap_board;
    point2 tuff_block;                // a tuff block off the riders' way
    std::vector<point2> flaggers;     // track flaggers; each watches two checkpoints
    std::vector<std::pair<int, int>> flagger_watch;
    struct camera {
        float x, height, z, fov;
        std::vector<int> gates;
    };
    std::vector<camera> cameras;
};

// The heading a statue or gate gets for a direction of travel (sin a, cos a).
float heading_of(point2 d) { return atan2f(d.x, d.z); }

point2 unit(point2 d)
{
    float l = hypotf(d.x, d.z);
    return {d.x / l, d.z / l};
}

// ---- the stadium ---------------------------------------------------------

// The stadium's lanes (z of each), ridden alternately toward +x and -x; the
// finish is on the last lane, and a lap rides back down the floor's right-hand
// side to the first. The eastern berms turn round x = 190, the western ones
// round x = 40 (as the tracks step lays them out).
const float lanes[5] = {40, 80, 120, 160, 205};
constexpr float east_berm = 190, west_berm = 40;

track_furniture stadium()
{
    track_furniture t;
    t.folder = "tracks/stadium";
    t.gate_line = {130, 40};
    t.facing = {1, 0};
    t.gates = 6;
    t.gate_spacing = 3.2f;
    // Checkpoints on the lanes' flat stretches, clear of the jumps and
    // whoops, the last on the finish line. Each reaches 18 ft: across the
    // whole 18-ft lane with room for a rider well wide of it, and short of
    // the divider, half way to the next lane, whose riders never pass it.
    t.checkpoints = {{{170, 40}, {1, 0}, 18},  {{116, 80}, {-1, 0}, 18}, {{64, 120}, {1, 0}, 18},
                     {{100, 160}, {-1, 0}, 18}, {{128, 205}, {1, 0}, 18}};
    t.first_lap = {0, 1, 2, 3, 4};
    t.normal_lap = {0, 1, 2, 3, 4};
    // Bales behind each berm. Riders collide with them, and there is no
    // room on the floor: a berm is ridden out to 9 ft beyond its middle
    // radius, up to the wall on the west, and the eastern ones to within
    // 8 ft of the way back down the floor's right-hand side. So the bales
    // stand beyond the wall, on the banks, along it level with the berm; the
    // western ones at the banks' far edge, as the top berm's 22.5-ft radius
    // is ridden up to the wall.
    for (int k = 0; k < 4; k++) {
        float cz = (lanes[k] + lanes[k + 1]) * 0.5f, r = (lanes[k + 1] - lanes[k]) * 0.5f + 9;
        float x = k % 2 == 0 ? 253 : 1;
        for (float a : {-0.6f, 0.0f, 0.6f}) {
            t.bales.push_back({x, cz + r * sinf(a)});
            t.bale_angles.push_back(heading_of({0, 1}));  // along the wall
        }
    }
    // Cones in the floor's two western corners, in fours. Riders cutting a
    // turn or passing ride right over the low dividers, so nothing solid
    // stands there; these corners are the only floor that no lane, berm,
    // hairpin or the way back comes within 25 ft of.
    for (point2 corner : {point2{16, 16}, point2{16, 232}})
        for (float dx : {0.0f, 8.0f})
            for (float dz : {0.0f, 8.0f}) t.cones.push_back({corner.x + dx, corner.z + dz});
    // Banners on the wall's foot round the floor.
    for (float x = 40; x <= 216; x += 44) {
        t.banners.push_back({x, 18});
        t.banners.push_back({x, 238});
    }
    t.banner_names = {"@banner.png", "#ffcc00#@banner.png", "@banner_track.png", "#40c0ff#@banner.png"};
    t.flagger_start = {150, 54};
    t.flagger_end = {150, 50};
    t.lap_board = {128, 222};
    // In the south-western corner beside the cones, clear of the hairpin
    // into the first lane and of the first western berm.
    t.tuff_block = {16, 36};
    t.flaggers = {{100, 100}, {160, 140}, {100, 182}};
    t.flagger_watch = {{1, 2}, {2, 3}, {3, 4}};
    t.cameras = {{30, 24, 30, 70, {0, 4}}, {226, 24, 60, 60, {1}}, {30, 24, 140, 60, {2}}, {226, 24, 190, 70, {3}}};
    return t;
}

// ---- the outdoor loop ----------------------------------------------------

// The centre line of the outdoor track, as the tracks step lays it out:
// a closed loop ridden in this order, starting down the long straight.
const float loop[] = {120, 120, 640, 120, 700, 180, 690, 300, 600, 360, 480, 330, 380, 380, 360, 480, 430, 580,
                      560, 600, 660, 560, 700, 650, 620, 700, 420, 690, 240, 660, 130, 560, 160, 430, 250, 330,
                      200, 230, 110, 180};
constexpr int loop_points = int(sizeof loop / sizeof loop[0]) / 2;

point2 loop_point(int k) { return {loop[2 * (k % loop_points)], loop[2 * (k % loop_points) + 1]}; }

// The distance from q to the nearest piece of a closed line (the last point
// joins the first).
float distance_to_closed_line(const std::vector<point2>& line, point2 q)
{
    float best = 1e30f;
    for (size_t k = 0; k < line.size(); k++) {
        point2 a = line[k], b = line[(k + 1) % line.size()];
        float dx = b.x - a.x, dz = b.z - a.z, len2 = dx * dx + dz * dz;
        float f = len2 > 0 ? std::clamp(((q.x - a.x) * dx + (q.z - a.z) * dz) / len2, 0.0f, 1.0f) : 0.0f;
        best = std::min(best, hypotf(q.x - (a.x + f * dx), q.z - (a.z + f * dz)));
    }
    return best;
}

float distance_to_loop(point2 q)
{
    static const std::vector<point2> line = [] {
        std::vector<point2> l;
        for (int k = 0; k < loop_points; k++) l.push_back(loop_point(k));
        return l;
    }();
    return distance_to_closed_line(line, q);
}

// From the corner p along the unit direction d, at least `from` feet out and
// then a foot at a time until `clear` feet from the whole loop.
point2 clear_of_loop(point2 p, point2 d, float from, float clear)
{
    point2 q = {p.x + d.x * from, p.z + d.z * from};
    for (float s = from; s < from + 200 && distance_to_loop(q) < clear; s += 1) q = {p.x + d.x * s, p.z + d.z * s};
    return q;
}

track_furniture outdoor()
{
    track_furniture t;
    t.folder = "tracks/practice";
    t.gate_line = {200, 120};
    t.facing = {1, 0};
    t.gates = 8;
    t.gate_spacing = 3.2f;
    // The finish just past the gates, then one checkpoint at the middle of
    // every other piece of the loop.
    t.checkpoints.push_back({{215, 120}, {1, 0}, 20});
    for (int k = 1; k < loop_points; k += 2) {
        point2 a = loop_point(k), b = loop_point(k + 1);
        t.checkpoints.push_back({{(a.x + b.x) * 0.5f, (a.z + b.z) * 0.5f}, unit({b.x - a.x, b.z - a.z}), 20});
    }
    int n = int(t.checkpoints.size());
    for (int c = 1; c < n; c++) t.first_lap.push_back(c);
    t.first_lap.push_back(0);
    t.normal_lap = t.first_lap;
    // Bales outside every corner of the loop, turned along the way out of it;
    // cones where the corner's inside is. Riders collide with both, so they
    // stand clear of where riders go: the dirt reaches 13 ft from the centre
    // line, the learned lines round a corner reach about 25 ft from it, and
    // a rider passing, or riding back after a fall, goes wider still. A bike
    // that falls entering a corner at 40 ft/s slides out, at a friction of
    // about 0.6, some 40 ft beyond where it fell, and a fallen rider wedged
    // on a bale never lies still to be picked up; so each stands back along
    // the corner's bisector until it is 70 ft (a bale, on the outside) or
    // 45 ft (a cone, on the inside) from every piece of the loop.
    for (int k = 1; k < loop_points; k++) {
        point2 p = loop_point(k), in = unit({p.x - loop_point(k - 1).x, p.z - loop_point(k - 1).z});
        point2 out = unit({loop_point(k + 1).x - p.x, loop_point(k + 1).z - p.z});
        point2 bisector = unit({in.x - out.x, in.z - out.z});  // points to the corner's outside
        t.bales.push_back(clear_of_loop(p, bisector, 24, 70));
        t.bale_angles.push_back(heading_of(out));
        t.cones.push_back(clear_of_loop(p, {-bisector.x, -bisector.z}, 18, 45));
    }
    // Banners along both sides of the start straight.
    for (float x = 250; x <= 600; x += 70) {
        t.banners.push_back({x, 96});
        t.banners.push_back({x, 144});
    }
    t.banner_names = {"@banner.png", "#ff4020#@banner.png", "@banner_track.png"};
    t.flagger_start = {230, 138};
    t.flagger_end = {230, 134};
    t.lap_board = {215, 98};
    // 70 ft off the start straight, clear of the way into the gates and of
    // riders who run wide out of the last turn (at 40 ft one ran onto it
    // and stayed there).
    t.tuff_block = {t.gate_line.x - 30, t.gate_line.z - 70};
    for (int c = 2; c < n; c += 3) {
        const checkpoint_spec& cp = t.checkpoints[c];
        // Off the track to the riders' left.
        t.flaggers.push_back({cp.at.x - cp.dir.z * 24, cp.at.z + cp.dir.x * 24});
        t.flagger_watch.push_back({c - 1, c});
    }
    t.cameras = {{160, 30, 80, 60, {0, 1}}, {720, 30, 240, 70, {2, 3}}, {300, 30, 430, 70, {4, 5, 6}},
                 {720, 40, 720, 60, {7, 8}}, {90, 30, 620, 70, {9, 10}}};
    return t;
}

// ---- writing ---------------------------------------------------------------

std::string fmt(const char* format, ...) __attribute__((format(printf, 1, 2)));
std::string fmt(const char* format, ...)
{
    char buffer[512];
    va_list args;
    va_start(args, format);
    vsnprintf(buffer, sizeof buffer, format, args);
    va_end(args);
    return buffer;
}

std::string timing_gates_text(const track_furniture& t, const terrain* ground)
{
    std::string s = "startinggate:\n";
    float a = heading_of({-t.facing.x, -t.facing.z});  // riders face (-sin a, -cos a)
    point2 across = {-t.facing.z, t.facing.x};
    for (int g = 0; g < t.gates; g++) {
        float offset = (g - (t.gates - 1) * 0.5f) * t.gate_spacing;
        s += fmt("[%.3f 0 %.3f] %.6f\n", t.gate_line.x + across.x * offset, t.gate_line.z + across.z * offset, a);
    }
    s += "checkpoints:\n";
    for (const checkpoint_spec& c : t.checkpoints)
        s += fmt("%.1f [%.3f %.3f %.3f] [%.4f 0 %.4f]\n", c.width, c.at.x,
                 terrain_height_at(ground, c.at.x, c.at.z), c.at.z, c.dir.x, c.dir.z);
    s += "firstlap:\n";
    for (int e : t.first_lap) s += fmt("%d ", e);
    s += "\nnormallap:\n";
    for (int e : t.normal_lap) s += fmt("%d ", e);
    return s + "\n";
}

std::string flaggers_text(const track_furniture& t)
{
    std::string s = fmt("[%.1f 0 %.1f] [%.1f 0 %.1f] 6 0.5 2\n", t.flagger_start.x, t.flagger_start.z, t.flagger_end.x,
                        t.flagger_end.z);
    s += "@starter_walk.png @starter_30.png @starter_sideways.png @starter_go.png @starter_flag.png\n";
    s += fmt("[%.1f 2 %.1f] 4 1.5\n", t.lap_board.x, t.lap_board.z);
    s += "@lapboard.png @lapboard_half.png @lapboard_last.png @lapboard_finish.png\n";
    for (size_t k = 0; k < t.flaggers.size(); k++)
        s += fmt("[%.1f 0 %.1f] 5.5 0.5 %d %d -1 -1\n@flagger_calm.png @flagger_warn.png\n", t.flaggers[k].x,
                 t.flaggers[k].z, t.flagger_watch[k].first, t.flagger_watch[k].second);
    return s;
}

std::string billboards_text(const track_furniture& t)
{
    std::string s;
    for (size_t k = 0; k < t.banners.size(); k++)
        s += fmt("[%.1f 0 %.1f] 3 4 %s\n", t.banners[k].x, t.banners[k].z,
                 t.banner_names[k % t.banner_names.size()].c_str());
    return s;
}

std::string statues_text(const track_furniture& t)
{
    std::string s;
    for (size_t k = 0; k < t.bales.size(); k++)
        s += fmt("[%.2f 0 %.2f] %.4f @hay_bale.qm @hay_bale.png @hay_bale.shp\n", t.bales[k].x, t.bales[k].z,
                 t.bale_angles[k]);
    for (size_t k = 0; k < t.cones.size(); k++)
        s += fmt("[%.2f 0 %.2f] 0 @cone.qm @cone.png @cone.shp\n", t.cones[k].x, t.cones[k].z);
    // A tuff block by the start, upright against the terrain's tilt.
    s += fmt("[%.1f 0 %.1f] -7 @tuff_block.qm @tuff_block.png @tuff_block.shp\n", t.tuff_block.x, t.tuff_block.z);
    return s;
}

std::string cameras_text(const track_furniture& t)
{
    std::string s = "# fov, autofovsize and gate lines come before the addcamera they belong to\n";
    for (const auto& c : t.cameras) {
        s += fmt("fov %.0f\nautofovsize 12\ngate", c.fov);
        for (int g : c.gates) s += fmt(" %d", g);
        s += fmt("\naddcamera %.1f %.1f %.1f\n", c.x, c.height, c.z);
    }
    return s;
}

// The HUD's track map: the ridden way (within a lane's half width of the
// track's centre line) light and nearly opaque, the rest of the dirt dark
// and see-through, grass clear. Pixel (x, y) is the ground at x and z
// (x, y) / 128 of the terrain's side, as the HUD places the riders' dots.
int write_map(const std::string& root, const std::string& folder)
{
    auto fail = [&](const char* what) {
        fprintf(stderr, "zt_datagen: can't read %s/%s\n", folder.c_str(), what);
        return 0;
    };
    FILE* f = fopen((root + "/" + folder + "/tilemap").c_str(), "rb");
    if (!f) return fail("tilemap");
    std::vector<uint8_t> tiles(1 << 16);
    size_t n = fread(tiles.data(), 1, tiles.size(), f);
    fclose(f);
    int side = int(sqrtf(float(n)) + 0.5f);
    // The terrain's side from its header: 2^(exponent + 1) samples apart.
    f = fopen((root + "/" + folder + "/terrain.hf").c_str(), "rb");
    if (!f) return fail("terrain.hf");
    int exponent = 0;
    float spacing = 0;
    int got = fscanf(f, "%d %f", &exponent, &spacing);
    fclose(f);
    if (got != 2 || exponent < 1 || exponent > 12 || !(spacing > 0)) return fail("terrain.hf");
    const float extent = float(1 << (exponent + 1)) * spacing;
    std::vector<point2> line;
    f = fopen((root + "/" + folder + "/centre_line").c_str(), "rb");
    if (!f) return fail("centre_line");
    char text[128];
    while (fgets(text, sizeof text, f)) {
        float x, z;
        if (text[0] != '#' && sscanf(text, "%f %f", &x, &z) == 2) line.push_back({x, z});
    }
    fclose(f);
    if (line.size() < 2) return fail("centre_line");
    const float half_width = 9.0f;
    auto on_track = [&](float x, float z) { return distance_to_closed_line(line, {x, z}) <= half_width; };
    const int map = 128;
    std::vector<uint8_t> rgba(size_t(map) * map * 4, 0);
    for (int y = 0; y < map; y++)
        for (int x = 0; x < map; x++) {
            uint8_t* p = &rgba[(size_t(y) * map + x) * 4];
            if (on_track((x + 0.5f) * extent / map, (y + 0.5f) * extent / map)) {
                p[0] = 235, p[1] = 220, p[2] = 190, p[3] = 235;
                continue;
            }
            uint8_t tile = tiles[size_t(y * side / map) * side + size_t(x * side / map)];
            if (tile == 3) continue;  // grass
            p[0] = 60, p[1] = 45, p[2] = 30, p[3] = 120;
        }
    return datagen_write_png(root, folder + "/map.png", rgba.data(), map, map, 4);
}

int write_furniture(const std::string& root, const track_furniture& t)
{
    // Checkpoint heights come from the terrain the tracks step wrote.
    std::string hf_path = root + "/" + t.folder + "/terrain.hf";
    FILE* f = fopen(hf_path.c_str(), "rb");
    if (!f) {
        fprintf(stderr, "zt_datagen: can't read %s\n", hf_path.c_str());
        return 0;
    }
    std::vector<uint8_t> bytes;
    uint8_t buffer[65536];
    for (size_t n; (n = fread(buffer, 1, sizeof buffer, f)) > 0;) bytes.insert(bytes.end(), buffer, buffer + n);
    fclose(f);
    terrain* ground = new terrain;
    terrain_reset(ground);
    int ok = heightfield_read(ground, bytes.data(), bytes.size(), nullptr);
    if (!ok) fprintf(stderr, "zt_datagen: bad height field %s\n", hf_path.c_str());
    ok = ok && datagen_write_text(root, t.folder + "/timing_gates", timing_gates_text(t, ground)) &&
         datagen_write_text(root, t.folder + "/flaggers", flaggers_text(t)) &&
         datagen_write_text(root, t.folder + "/billboards", billboards_text(t)) &&
         datagen_write_text(root, t.folder + "/statues", statues_text(t)) &&
         datagen_write_text(root, t.folder + "/cameras", cameras_text(t)) && write_map(root, t.folder);
    terrain_free(ground);
    delete ground;
    return ok;
}

// ---- images ----------------------------------------------------------------

struct image {
    int w, h;
    std::vector<uint8_t> px;  // RGBA, top row first
    image(int width, int height) : w(width), h(height), px(size_t(width) * height * 4, 0) {}
    void rect(int x0, int y0, int x1, int y1, const uint8_t c[4])
    {
        for (int y = y0; y < y1; y++)
            for (int x = x0; x < x1; x++)
                if (x >= 0 && y >= 0 && x < w && y < h)
                    for (int k = 0; k < 4; k++) px[(size_t(y) * w + x) * 4 + k] = c[k];
    }
    void disc(int cx, int cy, int r, const uint8_t c[4])
    {
        for (int y = cy - r; y <= cy + r; y++)
            for (int x = cx - r; x <= cx + r; x++)
                if ((x - cx) * (x - cx) + (y - cy) * (y - cy) <= r * r) rect(x, y, x + 1, y + 1, c);
    }
};

// A figure on a clear ground, 64 x 128 (a 0.5 aspect billboard), holding up
// a board or flag of the given colour at arm's height (raised when up).
image person(const uint8_t board[4], bool up, bool flag)
{
    const uint8_t skin[4] = {225, 180, 140, 255}, shirt[4] = {30, 60, 150, 255}, legs[4] = {40, 40, 45, 255};
    image im(64, 128);
    im.disc(32, 18, 9, skin);
    im.rect(22, 28, 42, 72, shirt);
    im.rect(23, 72, 31, 124, legs);
    im.rect(33, 72, 41, 124, legs);
    int arm_top = up ? 10 : 30;
    im.rect(42, arm_top, 48, 60, shirt);
    if (flag)
        im.rect(48, arm_top - 4, 63, arm_top + 12, board);
    else
        im.rect(44, arm_top - 8, 63, arm_top + 14, board);
    return im;
}

// The lap boards' rows: their billboard is wider than tall (the flaggers
// file gives its aspect) and stretches the image over it, so the image is
// square, as a texture's sides must be powers of two, and the board is laid
// out on 96 rows stretched to its 128.
int board_row(int y) { return y * 4 / 3; }

// A lap board: a colour field in a black frame with white bars.
image board(const uint8_t colour[4], int bars)
{
    const uint8_t frame[4] = {20, 20, 20, 255}, white[4] = {245, 245, 245, 255};
    image im(128, 128);
    im.rect(0, 0, 128, 128, frame);
    im.rect(6, board_row(6), 122, board_row(90), colour);
    for (int k = 0; k < bars; k++) im.rect(20 + k * 30, board_row(24), 36 + k * 30, board_row(72), white);
    return im;
}

// A 256 x 64 banner (aspect 4): stripes and chevrons in white, so the
// colour prefix tints it.
image banner(bool chevrons)
{
    const uint8_t white[4] = {250, 250, 250, 255}, grey[4] = {150, 150, 150, 255};
    image im(256, 64);
    im.rect(0, 0, 256, 64, white);
    im.rect(0, 0, 256, 6, grey);
    im.rect(0, 58, 256, 64, grey);
    for (int x = 0; x < 256; x += 32)
        for (int y = 12; y < 52; y++) {
            int dx = chevrons ? std::abs(y - 32) / 2 : 0;
            im.rect(x + dx + 8, y, x + dx + 16, y + 1, grey);
        }
    return im;
}

int write_image(const std::string& root, const std::string& name, const image& im)
{
    return datagen_write_png(root, name, im.px.data(), im.w, im.h, 4);
}

// Collision spheres for the statues' models (docs/shp.md), each standing on
// the ground at its origin like the model.
int write_object_shapes(const std::string& root)
{
    std::string bale = "12\n";
    for (float x : {-0.75f, 0.75f})
        for (float z : {-1.75f, -0.6f, 0.6f, 1.75f})
            for (float y : {0.75f}) bale += fmt("%.2f %.2f %.2f 0.75 1 1 0\n", x, y, z);
    for (float z : {-1.75f, -0.6f, 0.6f, 1.75f}) bale += fmt("0 1.1 %.2f 0.5 1 1 0\n", z);
    // The start gate's flap (see the gate's model): its free edge, sunk a
    // tenth of a foot when the gate lies down, so that riders crossing a
    // fallen gate never touch it (a touch marks a rider down), and raised by
    // 3 pi / 16 a lip 0.15 ft high, clear of the waiting tyres.
    std::string gate = "6\n";
    for (float x : {-1.25f, -0.75f, -0.25f, 0.25f, 0.75f, 1.25f}) gate += fmt("%.2f -0.25 0.38 0.15 0.6 1 0\n", x);
    std::string cone = "2\n0 0.4 0 0.5 1 1 0\n0 1.3 0 0.25 1 1 0\n";
    std::string tuff = "4\n";
    for (float z : {-3.0f, -1.0f, 1.0f, 3.0f}) tuff += fmt("0 1 %.1f 1 1 1 0\n", z);
    return datagen_write_text(root, "hay_bale.shp", bale) && datagen_write_text(root, "startgate.shp", gate) &&
           datagen_write_text(root, "cone.shp", cone) && datagen_write_text(root, "tuff_block.shp", tuff);
}

int write_object_images(const std::string& root)
{
    const uint8_t green[4] = {40, 170, 60, 255}, yellow[4] = {250, 210, 30, 255}, red[4] = {210, 30, 30, 255},
                  white[4] = {245, 245, 245, 255}, chequer[4] = {30, 30, 30, 255}, clear[4] = {0, 0, 0, 0};
    // The start sequence: walking on, the 30-second board, the board turned
    // sideways, the drop, and the flag waved after it.
    image walk = person(clear, false, false);
    image board_30 = person(green, true, false);
    image sideways = person(yellow, false, false);
    image go = person(white, true, false);
    image waved = person(green, true, true);
    image calm = person(yellow, false, true);
    image warn = person(yellow, true, true);
    image finish = board(chequer, 0);
    for (int y = 6; y < 90; y += 14)
        for (int x = 6 + (y / 14 % 2) * 14; x < 122; x += 28)
            finish.rect(x, board_row(y), x + 14, board_row(y + 14), white);
    return write_image(root, "starter_walk.png", walk) && write_image(root, "starter_30.png", board_30) &&
           write_image(root, "starter_sideways.png", sideways) && write_image(root, "starter_go.png", go) &&
           write_image(root, "starter_flag.png", waved) && write_image(root, "flagger_calm.png", calm) &&
           write_image(root, "flagger_warn.png", warn) && write_image(root, "lapboard.png", board(green, 0)) &&
           write_image(root, "lapboard_half.png", board(yellow, 2)) &&
           write_image(root, "lapboard_last.png", board(red, 1)) && write_image(root, "lapboard_finish.png", finish) &&
           write_image(root, "banner.png", banner(false)) && write_image(root, "banner_track.png", banner(true));
}

int write_track_objects(const std::string& root)
{
    return write_object_shapes(root) && write_object_images(root) && write_furniture(root, stadium()) &&
           write_furniture(root, outdoor());
}

} // namespace

DATAGEN_STEP("45_track_objects", write_track_objects);
