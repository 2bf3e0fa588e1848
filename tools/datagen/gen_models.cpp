// Writes every mesh model the game names, built procedurally from boxes,
// tubes, rings and ellipsoids: per bike stem the frame (with tank, seat,
// fenders, engine and exhaust), upper and lower fork, swingarm, side and
// front plates; the shared wheels, the rider (skinned to the ten-bone
// skeleton of docs/model.md) with head and number plate, the start gate and a
// few track objects. Each model gets a finer and a coarser level of detail.
//
// Frames (feet, y up, z backward, x to the rider's right): each bike part is
// authored about a point of its own (the wheels and the lower fork on the
// axle, the upper fork on the steering head, the swingarm on its pivot, the
// frame midway between the axles at axle height) and then moved into the
// frame of the physics body it is drawn on, from the stem's bike row. The
// rider body and plate are authored in the reference pose of
// ui/rider_pose.h, hip centre at the origin; the head at the head point.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <deque>
#include <functional>
#include <string>
#include <vector>

#include "gfx/mesh.h"
#include "physics/bike_info.h"
#include "ui/rider_pose.h"
#include "tools/datagen/datagen.h"
#include "tools/datagen/gen_shared.h"

namespace {

struct vec3 {
    float x, y, z;
};
vec3 operator+(vec3 a, vec3 b) { return {a.x + b.x, a.y + b.y, a.z + b.z}; }
vec3 operator-(vec3 a, vec3 b) { return {a.x - b.x, a.y - b.y, a.z - b.z}; }
vec3 operator*(vec3 a, float s) { return {a.x * s, a.y * s, a.z * s}; }
vec3 cross(vec3 a, vec3 b) { return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x}; }
float length(vec3 a) { return std::sqrt(a.x * a.x + a.y * a.y + a.z * a.z); }
vec3 load3(const float* p) { return {p[0], p[1], p[2]}; }
vec3 unit(vec3 a)
{
    float l = length(a);
    return l > 0 ? a * (1 / l) : vec3{0, 1, 0};
}

// A rectangle of the skin: u0, v0, u1, v1. Skins are 4 x 4 cells of paint
// (see gen_textures.cpp); cell_uv picks one.
struct uv_rect {
    float u0, v0, u1, v1;
};
uv_rect cell_uv(int cx, int cy) { return {cx * 0.25f + 0.02f, cy * 0.25f + 0.02f, cx * 0.25f + 0.23f, cy * 0.25f + 0.23f}; }

struct part_builder {
    std::string name;
    int lod = 0;
    int kind = MESH_LIT;
    std::string skin = "-";
    float colour[4] = {1, 1, 1, 1};
    float specular[4] = {0.3f, 0.3f, 0.3f, 24};
    std::vector<mesh_vertex> vertices;
    std::vector<uint32_t> indices;
    int bone = -1;  // every vertex weighted fully to this bone; -1 rigid
};

uint32_t add_vertex(part_builder& p, vec3 pos, vec3 normal, vec3 tangent, float u, float v)
{
    mesh_vertex m{};
    m.position[0] = pos.x;
    m.position[1] = pos.y;
    m.position[2] = pos.z;
    normal = unit(normal);
    tangent = unit(tangent);
    m.normal[0] = normal.x;
    m.normal[1] = normal.y;
    m.normal[2] = normal.z;
    m.tangent[0] = tangent.x;
    m.tangent[1] = tangent.y;
    m.tangent[2] = tangent.z;
    m.uv[0] = u;
    m.uv[1] = v;
    m.weights[0] = 1;
    m.bones[0] = float(p.bone < 0 ? 0 : p.bone);
    p.vertices.push_back(m);
    return uint32_t(p.vertices.size() - 1);
}

void add_quad(part_builder& p, uint32_t a, uint32_t b, uint32_t c, uint32_t d)
{
    p.indices.insert(p.indices.end(), {a, b, c, a, c, d});
}

// A box with half sizes h about centre, with each face flat shaded.
void add_box(part_builder& p, vec3 c, vec3 h, uv_rect uv)
{
    const vec3 axes[3] = {{1, 0, 0}, {0, 1, 0}, {0, 0, 1}};
    for (int a = 0; a < 3; a++)
        for (int s = -1; s <= 1; s += 2) {
            vec3 n = axes[a] * float(s);
            vec3 t = axes[(a + 1) % 3], b = axes[(a + 2) % 3];
            if (s < 0) std::swap(t, b);
            vec3 ht = {t.x * h.x, t.y * h.y, t.z * h.z};
            vec3 hb = {b.x * h.x, b.y * h.y, b.z * h.z};
            vec3 hn = {n.x * h.x, n.y * h.y, n.z * h.z};
            vec3 centre = c + hn;
            uint32_t i0 = add_vertex(p, centre - ht - hb, n, t, uv.u0, uv.v1);
            uint32_t i1 = add_vertex(p, centre + ht - hb, n, t, uv.u1, uv.v1);
            uint32_t i2 = add_vertex(p, centre + ht + hb, n, t, uv.u1, uv.v0);
            uint32_t i3 = add_vertex(p, centre - ht + hb, n, t, uv.u0, uv.v0);
            add_quad(p, i0, i1, i2, i3);
        }
}

// Two unit vectors across the axis d.
void basis_across(vec3 d, vec3* e1, vec3* e2)
{
    vec3 helper = std::fabs(d.y) < 0.9f ? vec3{0, 1, 0} : vec3{1, 0, 0};
    *e1 = unit(cross(helper, d));
    *e2 = cross(d, *e1);
}

// A tube from a to b with radii ra and rb, closed at both ends.
void add_tube(part_builder& p, vec3 a, vec3 b, float ra, float rb, int segments, uv_rect uv)
{
    vec3 d = unit(b - a), e1, e2;
    basis_across(d, &e1, &e2);
    uint32_t base = uint32_t(p.vertices.size());
    for (int i = 0; i <= segments; i++) {
        float t = float(i) / segments, ang = t * 6.2831853f;
        vec3 radial = e1 * std::cos(ang) + e2 * std::sin(ang);
        float u = uv.u0 + (uv.u1 - uv.u0) * t;
        add_vertex(p, a + radial * ra, radial, d, u, uv.v1);
        add_vertex(p, b + radial * rb, radial, d, u, uv.v0);
    }
    for (int i = 0; i < segments; i++) {
        uint32_t k = base + uint32_t(2 * i);
        add_quad(p, k, k + 2, k + 3, k + 1);
    }
    for (int end = 0; end < 2; end++) {
        vec3 c = end ? b : a, n = end ? d : d * -1.0f;
        float r = end ? rb : ra;
        uint32_t centre = add_vertex(p, c, n, e1, (uv.u0 + uv.u1) / 2, (uv.v0 + uv.v1) / 2);
        uint32_t first = uint32_t(p.vertices.size());
        for (int i = 0; i <= segments; i++) {
            float ang = float(i) / segments * 6.2831853f;
            add_vertex(p, c + (e1 * std::cos(ang) + e2 * std::sin(ang)) * r, n, e1, uv.u0, uv.v0);
        }
        for (int i = 0; i < segments; i++) {
            uint32_t j = first + uint32_t(i);
            if (end)
                p.indices.insert(p.indices.end(), {centre, j, j + 1});
            else
                p.indices.insert(p.indices.end(), {centre, j + 1, j});
        }
    }
}

// A ring about the x axis through c: major radius R, tube radius r (a tyre).
void add_ring(part_builder& p, vec3 c, float R, float r, int major, int minor, uv_rect uv)
{
    uint32_t base = uint32_t(p.vertices.size());
    for (int i = 0; i <= major; i++) {
        float a = float(i) / major * 6.2831853f;
        vec3 out = {0, std::cos(a), std::sin(a)};
        vec3 tangent = {0, -std::sin(a), std::cos(a)};
        for (int j = 0; j <= minor; j++) {
            float b = float(j) / minor * 6.2831853f;
            vec3 n = out * std::cos(b) + vec3{std::sin(b), 0, 0};
            add_vertex(p, c + out * R + n * r, n, tangent, uv.u0 + (uv.u1 - uv.u0) * float(j) / minor,
                       uv.v0 + (uv.v1 - uv.v0) * float(i) / major);
        }
    }
    for (int i = 0; i < major; i++)
        for (int j = 0; j < minor; j++) {
            uint32_t k = base + uint32_t(i * (minor + 1) + j);
            add_quad(p, k, k + uint32_t(minor + 1), k + uint32_t(minor + 2), k + 1);
        }
}

// An ellipsoid with radii e about c.
void add_ellipsoid(part_builder& p, vec3 c, vec3 e, int segments, uv_rect uv)
{
    int rings = std::max(3, segments / 2);
    uint32_t base = uint32_t(p.vertices.size());
    for (int i = 0; i <= rings; i++) {
        float th = float(i) / rings * 3.14159265f;
        for (int j = 0; j <= segments; j++) {
            float ph = float(j) / segments * 6.2831853f;
            vec3 s = {std::sin(th) * std::cos(ph), std::cos(th), std::sin(th) * std::sin(ph)};
            vec3 n = {s.x / e.x, s.y / e.y, s.z / e.z};
            add_vertex(p, c + vec3{s.x * e.x, s.y * e.y, s.z * e.z}, n, {-std::sin(ph), 0, std::cos(ph)},
                       uv.u0 + (uv.u1 - uv.u0) * float(j) / segments, uv.v0 + (uv.v1 - uv.v0) * float(i) / rings);
        }
    }
    for (int i = 0; i < rings; i++)
        for (int j = 0; j < segments; j++) {
            uint32_t k = base + uint32_t(i * (segments + 1) + j);
            add_quad(p, k, k + 1, k + uint32_t(segments + 2), k + uint32_t(segments + 1));
        }
}

struct model_builder {
    std::vector<float> lod_distances = {0};
    std::deque<part_builder> parts;  // references stay valid as parts are added
    part_builder& part(const std::string& name, int lod, int kind = MESH_LIT)
    {
        parts.emplace_back();
        parts.back().name = name;
        parts.back().lod = lod;
        parts.back().kind = kind;
        if (kind == MESH_GLOW) {
            float glow[4] = {0.8f, 0.8f, 0.85f, 1};
            std::copy(glow, glow + 4, parts.back().colour);
        }
        return parts.back();
    }
};

// Moves every vertex of a model by d: from the point it was authored about
// into its body's frame.
void move_model(model_builder& b, vec3 d)
{
    for (auto& p : b.parts)
        for (auto& v : p.vertices) {
            v.position[0] += d.x;
            v.position[1] += d.y;
            v.position[2] += d.z;
        }
}

void append_text(void* context, const char* text) { static_cast<std::string*>(context)->append(text); }

// Parts of one level and kind with the same skin and material become one:
// every part is a draw call with its own uniforms, and twenty riders' worth
// of them cost the software rasteriser more than their triangles.
void merge_parts(model_builder& b)
{
    std::deque<part_builder> merged;
    for (auto& p : b.parts) {
        if (p.vertices.empty()) continue;
        part_builder* into = nullptr;
        for (auto& m : merged)
            if (m.lod == p.lod && m.kind == p.kind && m.skin == p.skin && (m.bone >= 0) == (p.bone >= 0) &&
                std::equal(m.colour, m.colour + 4, p.colour) && std::equal(m.specular, m.specular + 4, p.specular))
                into = &m;
        if (!into) {
            merged.push_back(p);
            continue;
        }
        uint32_t base = uint32_t(into->vertices.size());
        into->vertices.insert(into->vertices.end(), p.vertices.begin(), p.vertices.end());
        for (uint32_t i : p.indices) into->indices.push_back(base + i);
    }
    b.parts = std::move(merged);
}

int write_model(const std::string& root, const std::string& file, model_builder& b)
{
    merge_parts(b);
    mesh m{};
    m.name = file.c_str();
    m.lod_count = int(b.lod_distances.size());
    for (int i = 0; i < m.lod_count; i++) m.lod_distance[i] = b.lod_distances[size_t(i)];
    std::vector<mesh_part> parts;
    for (auto& pb : b.parts) {
        if (pb.vertices.empty()) continue;
        mesh_part p{};
        snprintf(p.name, sizeof p.name, "%s", pb.name.c_str());
        p.lod = pb.lod;
        p.kind = pb.kind;
        p.skin = pb.skin == "-" ? nullptr : pb.skin.c_str();
        std::copy(pb.colour, pb.colour + 4, p.colour);
        std::copy(pb.specular, pb.specular + 3, p.specular);
        p.shininess = pb.specular[3];
        p.vertex_count = int(pb.vertices.size());
        p.triangle_count = int(pb.indices.size() / 3);
        p.vertices = pb.vertices.data();
        p.indices = pb.indices.data();
        m.has_bones |= pb.bone >= 0;
        parts.push_back(p);
    }
    m.part_count = int(parts.size());
    m.parts = parts.data();
    std::string text;
    mesh_write_text(&m, append_text, &text);
    return datagen_write_text(root, file, text);
}

// Where the coarse level takes over, feet: the chase camera's own bike and
// its neighbours on the start line are fine, the field beyond coarse (a
// twenty-rider frame must stay near the cost of the ground alone).
constexpr float bike_detail_distance = 20, rider_detail_distance = 20;

// Detail per level: level 0 fine, level 1 coarse.
int segs(int lod, int fine) { return lod == 0 ? fine : std::max(4, fine / 3); }

void build_wheel(model_builder& b, bool front)
{
    b.lod_distances = {0, bike_detail_distance};
    // A 21-inch front and 19-inch rear rim; the tyres make both about 2.3 feet across.
    float rim = front ? 0.875f : 0.79f, tyre = front ? 0.15f : 0.19f;
    for (int lod = 0; lod < 2; lod++) {
        auto& t = b.part("tyre", lod);
        add_ring(t, {0, 0, 0}, rim + tyre, tyre, segs(lod, 32), segs(lod, 10), cell_uv(0, 0));
        // Knobs: small blocks around the tread.
        if (lod == 0)
            for (int i = 0; i < 40; i++) {
                float a = i * 6.2831853f / 40;
                float r = rim + tyre * 1.95f;
                vec3 c = {(i % 2 ? 0.07f : -0.07f), std::cos(a) * r, std::sin(a) * r};
                add_box(t, c, {0.06f, 0.04f, 0.04f}, cell_uv(0, 0));
            }
        auto& r = b.part("rim", lod, MESH_GLOW);
        add_ring(r, {0, 0, 0}, rim, 0.04f, segs(lod, 32), 4, cell_uv(1, 0));
        auto& hub = b.part("hub", lod);
        add_tube(hub, {-0.25f, 0, 0}, {0.25f, 0, 0}, 0.12f, 0.12f, segs(lod, 12), cell_uv(1, 0));
        if (lod == 0)
            for (int i = 0; i < 18; i++) {
                float a = i * 6.2831853f / 18;
                vec3 end = {(i % 2 ? 0.04f : -0.04f), std::cos(a) * rim, std::sin(a) * rim};
                add_tube(hub, {(i % 2 ? 0.2f : -0.2f), 0, 0}, end, 0.012f, 0.012f, 4, cell_uv(1, 0));
            }
    }
}

// The frame: engine, tank, seat, fenders, radiator shrouds, exhaust.
void build_frame(model_builder& b)
{
    b.lod_distances = {0, bike_detail_distance};
    for (int lod = 0; lod < 2; lod++) {
        int s = segs(lod, 12);
        auto& f = b.part("frame", lod);
        add_tube(f, {0, 1.9f, -1.55f}, {0, 0.55f, -0.3f}, 0.09f, 0.08f, s, cell_uv(2, 0));    // down tube
        add_tube(f, {0, 1.95f, -1.5f}, {0, 1.55f, 0.45f}, 0.08f, 0.08f, s, cell_uv(2, 0));    // main spar
        add_tube(f, {0, 1.55f, 0.45f}, {0, 0.5f, 0.45f}, 0.08f, 0.08f, s, cell_uv(2, 0));     // rear spar
        add_tube(f, {0, 1.55f, 0.45f}, {0, 1.75f, 1.7f}, 0.05f, 0.05f, s, cell_uv(2, 0));     // subframe
        add_tube(f, {0, 0.55f, -0.3f}, {0, 0.5f, 0.45f}, 0.07f, 0.07f, s, cell_uv(2, 0));
        auto& e = b.part("engine", lod);
        add_box(e, {0, 0.85f, 0.0f}, {0.32f, 0.38f, 0.45f}, cell_uv(3, 0));
        add_tube(e, {0, 1.2f, -0.15f}, {0, 1.55f, -0.35f}, 0.18f, 0.14f, s, cell_uv(3, 0));  // cylinder
        auto& paint = b.part("bodywork", lod);
        add_ellipsoid(paint, {0, 1.95f, -0.75f}, {0.42f, 0.28f, 0.6f}, s, cell_uv(0, 1));   // tank
        add_box(paint, {-0.45f, 1.75f, -0.95f}, {0.05f, 0.35f, 0.45f}, cell_uv(1, 1));       // shrouds
        add_box(paint, {0.45f, 1.75f, -0.95f}, {0.05f, 0.35f, 0.45f}, cell_uv(1, 1));
        add_box(paint, {0, 2.0f, 1.75f}, {0.28f, 0.04f, 0.95f}, cell_uv(2, 1));              // rear fender
        auto& seat = b.part("seat", lod);
        add_box(seat, {0, 2.12f, 0.55f}, {0.24f, 0.08f, 1.05f}, cell_uv(3, 1));
        auto& x = b.part("exhaust", lod, MESH_GLOW);
        add_tube(x, {0.15f, 1.45f, -0.35f}, {0.35f, 0.9f, -0.75f}, 0.06f, 0.06f, s, cell_uv(1, 0));
        add_tube(x, {0.35f, 0.9f, -0.75f}, {0.4f, 1.1f, 0.5f}, 0.06f, 0.07f, s, cell_uv(1, 0));
        auto& m = b.part("muffler", lod);
        add_tube(m, {0.4f, 1.2f, 0.4f}, {0.42f, 1.75f, 1.8f}, 0.16f, 0.13f, s, cell_uv(3, 0));
        auto& bars = b.part("radiators", lod);
        add_box(bars, {-0.36f, 1.55f, -1.15f}, {0.04f, 0.3f, 0.25f}, cell_uv(3, 0));
        add_box(bars, {0.36f, 1.55f, -1.15f}, {0.04f, 0.3f, 0.25f}, cell_uv(3, 0));
    }
}

// Upper fork: triple clamps, stanchion tops and the handlebar; origin at the
// top of the steering head, the fork axis along the row's rake. grip: the
// two grip points about that origin.
void build_fork_upper(model_builder& b, vec3 axis, const vec3 grip[2])
{
    b.lod_distances = {0, bike_detail_distance};
    vec3 down = axis * -1.0f;
    vec3 mid = (grip[0] + grip[1]) * 0.5f;
    for (int lod = 0; lod < 2; lod++) {
        int s = segs(lod, 10);
        auto& c = b.part("clamps", lod);
        add_box(c, axis * 0.12f, {0.3f, 0.05f, 0.12f}, cell_uv(2, 0));
        add_box(c, down * 0.5f, {0.3f, 0.06f, 0.12f}, cell_uv(2, 0));
        auto& fender = b.part("fender", lod);
        add_box(fender, down * 1.6f + vec3{0, 0, -0.35f}, {0.22f, 0.03f, 0.65f}, cell_uv(2, 1));  // front fender
        add_tube(c, axis * 0.15f, mid, 0.05f, 0.05f, s, cell_uv(2, 0));  // bar mount
        auto& bar = b.part("handlebar", lod);
        vec3 across = unit(grip[1] - grip[0]);
        add_tube(bar, grip[0] - across * 0.1f, grip[1] + across * 0.1f, 0.035f, 0.035f, s, cell_uv(2, 0));
        for (int i = 0; i < 2; i++)  // grips
            add_tube(bar, grip[i] - across * 0.15f, grip[i] + across * 0.15f, 0.06f, 0.06f, s, cell_uv(3, 0));
        auto& st = b.part("stanchions", lod, MESH_GLOW);
        for (float x : {-0.25f, 0.25f}) add_tube(st, {x, 0.1f, 0}, vec3{x, 0.1f, 0} + down * 1.4f, 0.07f, 0.07f, s, cell_uv(1, 0));
    }
}

// Lower fork: the sliders up from the axle along the rake.
void build_fork_lower(model_builder& b, vec3 axis)
{
    b.lod_distances = {0, bike_detail_distance};
    for (int lod = 0; lod < 2; lod++) {
        auto& l = b.part("sliders", lod);
        for (float x : {-0.25f, 0.25f}) {
            add_tube(l, {x, 0, 0}, vec3{x, 0, 0} + axis * 1.4f, 0.09f, 0.09f, segs(lod, 10), cell_uv(3, 0));
            add_box(l, {x, 0, 0}, {0.06f, 0.1f, 0.1f}, cell_uv(3, 0));
        }
        auto& g = b.part("guards", lod);
        for (float x : {-0.34f, 0.34f}) add_box(g, vec3{x, 0, 0} + axis * 0.6f, {0.03f, 0.45f, 0.1f}, cell_uv(1, 1));
    }
}

// The swingarm from its pivot to the rear axle (axle: about the pivot).
void build_swingarm(model_builder& b, vec3 axle)
{
    b.lod_distances = {0, bike_detail_distance};
    for (int lod = 0; lod < 2; lod++) {
        auto& a = b.part("arms", lod);
        for (float x : {-0.3f, 0.3f})
            add_tube(a, {x, 0, 0}, {x, axle.y, axle.z}, 0.1f, 0.07f, segs(lod, 8), cell_uv(2, 0));
        add_box(a, {0, 0, 0.2f}, {0.3f, 0.08f, 0.1f}, cell_uv(2, 0));
        auto& s = b.part("shock", lod, MESH_GLOW);
        add_tube(s, {0, 0.1f, 0.3f}, {0, 1.0f, 0.0f}, 0.09f, 0.09f, segs(lod, 8), cell_uv(1, 0));
        auto& ch = b.part("chain", lod);
        add_box(ch, vec3{-0.4f, 0, 0} + axle * 0.5f, {0.02f, 0.1f, 0.5f * length(axle)}, cell_uv(3, 0));
    }
}

// Plates carry the number texture over the whole of u, v.
void build_side_plates(model_builder& b)
{
    auto& p = b.part("plates", 0);
    add_box(p, {-0.33f, 1.75f, 1.0f}, {0.02f, 0.3f, 0.4f}, {0, 0, 1, 1});
    add_box(p, {0.33f, 1.75f, 1.0f}, {0.02f, 0.3f, 0.4f}, {0, 0, 1, 1});
}

void build_front_plate(model_builder& b)
{
    auto& p = b.part("plate", 0);
    add_box(p, {0, 0.0f, -0.25f}, {0.32f, 0.32f, 0.02f}, {0, 0, 1, 1});
}

// The rider in the reference pose, each limb on its bone: the forearm runs
// from the elbow to the grip itself, so the gloves close on the bars when
// the pose stretches an arm to its reach.
void build_rider(model_builder& b, bool first_person)
{
    b.lod_distances = {0, rider_detail_distance};
    const bike_info* row = rider_model_row();
    rider_pose pose;
    rider_reference_pose(row, &pose);
    vec3 shoulder[2], grip[2], foot[2], elbow[2], knee[2], hip[2];
    for (int i = 0; i < 2; i++) {
        shoulder[i] = load3(pose.origin[bone_left_upper_arm + 2 * i]);
        hip[i] = load3(pose.origin[bone_left_thigh + 2 * i]);
        elbow[i] = load3(pose.elbow[i]);
        knee[i] = load3(pose.knee[i]);
        grip[i] = load3(pose.grip[i]);
        foot[i] = load3(pose.foot[i]);
    }
    vec3 neck = (shoulder[0] + shoulder[1]) * 0.5f;
    for (int lod = 0; lod < 2; lod++) {
        int s = segs(lod, 12);
        if (!first_person) {
            auto& torso = b.part("torso", lod);
            torso.bone = bone_torso;
            vec3 mid = neck * 0.5f;
            add_ellipsoid(torso, mid, {0.62f, 0.5f * length(neck) + 0.25f, 0.42f}, s, cell_uv(0, 0));
            add_box(torso, neck + vec3{0, 0.05f, 0}, {0.25f, 0.12f, 0.25f}, cell_uv(3, 0));  // neck brace
            add_ellipsoid(torso, {0, 0, 0.1f}, {0.55f, 0.35f, 0.45f}, s, cell_uv(2, 0));     // seat of the pants
        }
        for (int side = 0; side < 2; side++) {
            auto& ua = b.part(side ? "right_upper_arm" : "left_upper_arm", lod);
            ua.bone = bone_left_upper_arm + 2 * side;
            add_ellipsoid(ua, shoulder[side], {0.24f, 0.24f, 0.24f}, s, cell_uv(1, 0));
            add_tube(ua, shoulder[side], elbow[side], 0.2f, 0.17f, s, cell_uv(1, 0));
            auto& fa = b.part(side ? "right_forearm" : "left_forearm", lod);
            fa.bone = bone_left_forearm + 2 * side;
            add_tube(fa, elbow[side], grip[side], 0.16f, 0.12f, s, cell_uv(1, 0));
            add_ellipsoid(fa, grip[side], {0.13f, 0.13f, 0.16f}, s, cell_uv(3, 0));  // glove
            auto& th = b.part(side ? "right_thigh" : "left_thigh", lod);
            th.bone = bone_left_thigh + 2 * side;
            add_tube(th, hip[side], knee[side], 0.28f, 0.23f, s, cell_uv(2, 0));
            auto& sh = b.part(side ? "right_shin" : "left_shin", lod);
            sh.bone = bone_left_shin + 2 * side;
            add_tube(sh, knee[side], foot[side], 0.22f, 0.2f, s, cell_uv(0, 1));  // boot
            add_box(sh, foot[side] + vec3{0, -0.05f, -0.2f}, {0.15f, 0.1f, 0.35f}, cell_uv(0, 1));
        }
    }
}

void build_rider_head(model_builder& b)
{
    b.lod_distances = {0, rider_detail_distance};
    for (int lod = 0; lod < 2; lod++) {
        int s = segs(lod, 16);
        auto& h = b.part("helmet", lod);
        add_ellipsoid(h, {0, 0.2f, 0}, {0.5f, 0.55f, 0.58f}, s, cell_uv(0, 0));
        add_box(h, {0, 0.55f, -0.62f}, {0.38f, 0.03f, 0.3f}, cell_uv(1, 0));     // peak
        add_box(h, {0, -0.15f, -0.55f}, {0.16f, 0.18f, 0.18f}, cell_uv(1, 0));  // chin bar
        auto& g = b.part("goggles", lod, MESH_GLOW);
        add_box(g, {0, 0.18f, -0.55f}, {0.36f, 0.1f, 0.06f}, cell_uv(2, 0));
    }
}

// The number on the rider's back, on the torso bone.
void build_rider_plate(model_builder& b)
{
    rider_pose pose;
    rider_reference_pose(rider_model_row(), &pose);
    vec3 neck = (load3(pose.origin[bone_left_upper_arm]) + load3(pose.origin[bone_right_upper_arm])) * 0.5f;
    auto& p = b.part("back_number", 0);
    p.bone = bone_torso;
    add_box(p, neck * 0.6f + vec3{0, 0, 0.44f}, {0.38f, 0.32f, 0.01f}, {0, 0, 1, 1});
}

// The gate as it lies once dropped: a flap flat on the ground on the riders'
// side of its hinge, which runs along x through the origin. The race turns
// the statue about that hinge by up to 3 pi / 16 to raise it, lifting the
// flap's free edge into a lip in front of the front wheels. The flap is
// short because the front row's tyres stand 0.1 ft from the hinge: a
// longer one would rise into them.
void build_start_gate(model_builder& b)
{
    b.lod_distances = {0, 120};
    for (int lod = 0; lod < 2; lod++) {
        auto& g = b.part("gate", lod);
        add_box(g, {0, 0.03f, 0.225f}, {1.5f, 0.03f, 0.225f}, {0, 0, 1, 0.5f});  // the drop flap
        auto& f = b.part("post", lod);
        add_tube(f, {-1.6f, 0.04f, 0}, {1.6f, 0.04f, 0}, 0.04f, 0.04f, segs(lod, 8), {0, 0.5f, 1, 1});  // the hinge
    }
}

void build_hay_bale(model_builder& b)
{
    auto& p = b.part("bale", 0);
    add_box(p, {0, 0.75f, 0}, {1.5f, 0.75f, 2.5f}, {0, 0, 1, 1});
}

void build_cone(model_builder& b)
{
    b.lod_distances = {0, 80};
    for (int lod = 0; lod < 2; lod++) {
        auto& p = b.part("cone", lod);
        add_tube(p, {0, 0, 0}, {0, 2.3f, 0}, 0.55f, 0.06f, segs(lod, 16), {0, 0, 1, 1});
        add_box(p, {0, 0.04f, 0}, {0.7f, 0.04f, 0.7f}, {0, 0, 1, 1});
    }
}

void build_tuff_block(model_builder& b)
{
    auto& p = b.part("block", 0);
    add_box(p, {0, 1.0f, 0}, {1.0f, 1.0f, 4.0f}, {0, 0, 1, 1});
}

struct named_builder {
    const char* file;
    void (*build)(model_builder&);
};

int gen_models(const std::string& root)
{
    const named_builder shared[] = {
        {"front_wheel.qm", [](model_builder& b) { build_wheel(b, true); }},
        {"rear_wheel.qm", [](model_builder& b) { build_wheel(b, false); }},
        {"rider_head.qm", build_rider_head},
        {"rider_body.qm", [](model_builder& b) { build_rider(b, false); }},
        {"rider_body_fp.qm", [](model_builder& b) { build_rider(b, true); }},
        {"rider_plate.qm", build_rider_plate},
        {"startgate.qm", build_start_gate},
        {"hay_bale.qm", build_hay_bale},
        {"cone.qm", build_cone},
        {"tuff_block.qm", build_tuff_block},
    };
    for (const auto& m : shared) {
        model_builder b;
        m.build(b);
        if (!write_model(root, m.file, b)) return 0;
    }
    for (const bike_stem& stem : bike_stems()) {
        // The stem's first row places its parts on the bodies.
        char frame_file[80];
        snprintf(frame_file, sizeof frame_file, "@%s_frame.qm", stem.name);
        const bike_info* row = bike_info_table();
        for (int i = 0; i < bike_info_count; i++)
            if (strcmp(frame_file, bike_info_table()[i].files[bike_file_frame_model]) == 0) {
                row = &bike_info_table()[i];
                break;
            }
        const bike_main_values& m = row->main;
        vec3 front = load3(m.front_axle), rear = load3(m.rear_axle);
        vec3 axle_mid = (front + rear) * 0.5f;
        vec3 frame_move = axle_mid - load3(m.frame_centre);
        vec3 axis = unit(load3(m.steer_upper) - load3(m.steer_lower));  // up the rake
        vec3 head = load3(m.steer_upper);
        vec3 fork_move = head - load3(m.fork_upper_centre);
        vec3 grips[2] = {load3(m.grip[0]) - fork_move, load3(m.grip[1]) - fork_move};
        vec3 pivot = load3(m.swingarm_pivot);
        struct item {
            const char* suffix;
            std::function<void(model_builder&)> build;
            vec3 move;
        } items[] = {
            {"_frame.qm", build_frame, frame_move},
            {"_fork_upper.qm", [&](model_builder& b) { build_fork_upper(b, axis, grips); }, fork_move},
            {"_fork_lower.qm", [&](model_builder& b) { build_fork_lower(b, axis); }, front - load3(m.fork_lower_centre)},
            {"_swingarm.qm", [&](model_builder& b) { build_swingarm(b, rear - pivot); }, pivot - load3(m.swingarm_centre)},
            {"_side_plates.qm", build_side_plates, frame_move},
            {"_front_plate.qm", build_front_plate, fork_move},
        };
        for (const item& it : items) {
            model_builder b;
            it.build(b);
            move_model(b, it.move);
            if (!write_model(root, std::string(stem.name) + it.suffix, b)) return 0;
        }
    }
    return 1;
}

} // namespace

DATAGEN_STEP("30_models", gen_models);
