#include "physics/wheel_contact.h"

#include <algorithm>
#include <cmath>

#include "physics/physics_constants.h"
#include "terrain/heightfield.h"

namespace {

inline double dot3(const double a[3], const double b[3])
{
    return a[0] * b[0] + a[1] * b[1] + a[2] * b[2];
}

inline void cross3(const double a[3], const double b[3], double out[3])
{
    out[0] = a[1] * b[2] - a[2] * b[1];
    out[1] = a[2] * b[0] - a[0] * b[2];
    out[2] = a[0] * b[1] - a[1] * b[0];
}

inline void sub3(const double a[3], const double b[3], double out[3])
{
    out[0] = a[0] - b[0];
    out[1] = a[1] - b[1];
    out[2] = a[2] - b[2];
}

// Closest point on triangle (a, b, c) to p; *interior is set when it lies
// inside the face rather than on an edge or a vertex.
void closest_on_triangle(const double p[3], const double a[3], const double b[3], const double c[3],
                         double out[3], bool* interior)
{
    double ab[3], ac[3], ap[3];
    sub3(b, a, ab);
    sub3(c, a, ac);
    sub3(p, a, ap);
    *interior = false;
    double d1 = dot3(ab, ap), d2 = dot3(ac, ap);
    if (d1 <= 0.0 && d2 <= 0.0) {
        std::copy(a, a + 3, out);
        return;
    }
    double bp[3];
    sub3(p, b, bp);
    double d3 = dot3(ab, bp), d4 = dot3(ac, bp);
    if (d3 >= 0.0 && d4 <= d3) {
        std::copy(b, b + 3, out);
        return;
    }
    double vc = d1 * d4 - d3 * d2;
    if (vc <= 0.0 && d1 >= 0.0 && d3 <= 0.0) {
        double v = d1 / (d1 - d3);
        for (int k = 0; k < 3; k++)
            out[k] = a[k] + v * ab[k];
        return;
    }
    double cp[3];
    sub3(p, c, cp);
    double d5 = dot3(ab, cp), d6 = dot3(ac, cp);
    if (d6 >= 0.0 && d5 <= d6) {
        std::copy(c, c + 3, out);
        return;
    }
    double vb = d5 * d2 - d1 * d6;
    if (vb <= 0.0 && d2 >= 0.0 && d6 <= 0.0) {
        double w = d2 / (d2 - d6);
        for (int k = 0; k < 3; k++)
            out[k] = a[k] + w * ac[k];
        return;
    }
    double va = d3 * d6 - d5 * d4;
    if (va <= 0.0 && (d4 - d3) >= 0.0 && (d5 - d6) >= 0.0) {
        double w = (d4 - d3) / ((d4 - d3) + (d5 - d6));
        for (int k = 0; k < 3; k++)
            out[k] = b[k] + w * (c[k] - b[k]);
        return;
    }
    double denom = 1.0 / (va + vb + vc);
    double v = vb * denom, w = vc * denom;
    for (int k = 0; k < 3; k++)
        out[k] = a[k] + ab[k] * v + ac[k] * w;
    *interior = true;
}

// Upward unit normal of a triangle; false for a degenerate one.
bool triangle_normal(const double a[3], const double b[3], const double c[3], double n[3])
{
    double ab[3], ac[3];
    sub3(b, a, ab);
    sub3(c, a, ac);
    cross3(ab, ac, n);
    double len = std::sqrt(dot3(n, n));
    if (!(len > 0.0))
        return false;
    double s = (n[1] < 0.0 ? -1.0 : 1.0) / len;
    for (int k = 0; k < 3; k++)
        n[k] *= s;
    return true;
}

// Unit direction in the wheel's plane closest to dir, and its partner
// e = axle x d; a dir along the axle picks a fixed perpendicular.
void ring_frame(const tyre_ring& r, const double dir[3], double d[3], double e[3])
{
    double along = dot3(dir, r.axle);
    for (int k = 0; k < 3; k++)
        d[k] = dir[k] - along * r.axle[k];
    double len = std::sqrt(dot3(d, d));
    if (!(len > 1e-9)) {
        const double down[3] = {0.0, -1.0, 0.0};
        const double side[3] = {1.0, 0.0, 0.0};
        const double* pick = std::fabs(r.axle[1]) < 0.9 ? down : side;
        double a2 = dot3(pick, r.axle);
        for (int k = 0; k < 3; k++)
            d[k] = pick[k] - a2 * r.axle[k];
        len = std::sqrt(dot3(d, d));
    }
    for (int k = 0; k < 3; k++)
        d[k] /= len;
    cross3(r.axle, d, e);
}

// A sphere of the section radius at ring point p against the triangle.
ring_hit sphere_triangle(const double p[3], double section, const double* tri[3], const double n[3], bool* interior)
{
    ring_hit hit;
    double q[3], diff[3];
    closest_on_triangle(p, tri[0], tri[1], tri[2], q, interior);
    sub3(p, q, diff);
    double dist = std::sqrt(dot3(diff, diff));
    std::copy(q, q + 3, hit.point);
    if ((*interior && dot3(diff, n) < 0.0) || !(dist > 1e-12)) {
        // The ring point went through the face: push out along the face normal.
        hit.depth = section + dist;
        std::copy(n, n + 3, hit.normal);
    } else {
        hit.depth = section - dist;
        std::copy(diff, diff + 3, hit.normal);
    }
    return hit;
}

// floor: a depth the caller already has; the full test gives up on a
// triangle that can't beat it. cull: the caller keeps only a depth above
// max(floor, 0), so a triangle that can't reach that is dropped before any
// ring point is placed (its result then stands for "no use").
ring_hit ring_triangle(const tyre_ring& r, const double v0[3], const double v1[3], const double v2[3], bool full,
                       double floor = -1e30, bool cull = false)
{
    ring_hit best{};
    best.depth = -1e30;
    double reach = r.radius + r.section;
    if (cull) {
        // The triangle's box is no nearer than the triangle: a box out of
        // reach, less what the caller already holds, rules it out.
        double gap2 = 0.0;
        for (int k = 0; k < 3; k++) {
            double lo = std::min({v0[k], v1[k], v2[k]}), hi = std::max({v0[k], v1[k], v2[k]});
            double g = r.centre[k] < lo ? lo - r.centre[k] : (r.centre[k] > hi ? r.centre[k] - hi : 0.0);
            gap2 += g * g;
        }
        double need = reach - std::max(floor, 0.0);
        if (need <= 0.0 || gap2 >= need * need)
            return best;
    }
    double n[3];
    if (!triangle_normal(v0, v1, v2, n))
        return best;
    double rel[3];
    sub3(r.centre, v0, rel);
    if (dot3(rel, n) >= r.radius + r.section)
        return best;  // the whole tyre is above the face's plane
    // No ring point is nearer the triangle than the centre's distance less
    // the ring radius, so no depth exceeds this bound.
    double bound = 0.0;
    bool bound_known = false;
    auto centre_bound = [&] {
        double q[3], cq[3];
        bool centre_inside;
        closest_on_triangle(r.centre, v0, v1, v2, q, &centre_inside);
        sub3(r.centre, q, cq);
        bound = r.radius + r.section - std::sqrt(dot3(cq, cq));
        bound_known = true;
    };
    if (cull) {
        centre_bound();
        if (bound <= std::max(floor, 0.0))
            return best;
    }
    const double* tri[3] = {v0, v1, v2};
    double down[3] = {-n[0], -n[1], -n[2]};
    double d[3], e[3];
    ring_frame(r, down, d, e);
    double p[3];
    for (int k = 0; k < 3; k++)
        p[k] = r.centre[k] + r.radius * d[k];
    bool interior;
    best = sphere_triangle(p, r.section, tri, n, &interior);
    if (!full || interior)
        return best;  // on the face the lowest ring point is the deepest
    // Skip the walk when the bound can't beat the floor.
    if (!bound_known)
        centre_bound();
    if (bound <= std::max(floor, 0.0) || bound <= best.depth)
        return best;
    // Off the face the ring meets an edge or a corner: walk the ring point
    // toward the nearest ground point and back until they settle (each step
    // brings the two closer, so the depth only grows).
    for (int step = 0; step < phys::tyre_ring_refine_steps; step++) {
        double toward[3] = {best.point[0] - r.centre[0], best.point[1] - r.centre[1], best.point[2] - r.centre[2]};
        ring_frame(r, toward, d, e);
        for (int k = 0; k < 3; k++)
            p[k] = r.centre[k] + r.radius * d[k];
        ring_hit h = sphere_triangle(p, r.section, tri, n, &interior);
        if (!(h.depth > best.depth + 1e-12))
            break;
        best = h;
    }
    return best;
}

}  // namespace

ring_hit ring_triangle_full(const tyre_ring& ring, const double v0[3], const double v1[3], const double v2[3])
{
    return ring_triangle(ring, v0, v1, v2, true);
}

namespace {

ring_hit ring_triangle_above(const tyre_ring& ring, const double v0[3], const double v1[3], const double v2[3],
                             double floor)
{
    return ring_triangle(ring, v0, v1, v2, true, floor, true);
}

}  // namespace

ring_hit ring_triangle_fast(const tyre_ring& ring, const double v0[3], const double v1[3], const double v2[3])
{
    return ring_triangle(ring, v0, v1, v2, false);
}

void contact_normal_clean(double n[3])
{
    if (n[1] >= 0.0) {
        double len = std::sqrt(dot3(n, n));
        if (len > 0.0 && std::isfinite(len)) {
            for (int k = 0; k < 3; k++)
                n[k] /= len;
            return;
        }
        n[0] = 0.0, n[1] = 1.0, n[2] = 0.0;  // zero or non-finite
        return;
    }
    double h = n[0] * n[0] + n[2] * n[2];
    if (h < 1.0 / 1024.0 || !std::isfinite(h)) {
        n[0] = 0.0, n[1] = 1.0, n[2] = 0.0;
        return;
    }
    double len = std::sqrt(h);
    n[0] /= len;
    n[1] = 0.0;
    n[2] /= len;
}

float ground_sample(const ground_view& g, int32_t i, int32_t j)
{
    i = std::clamp(i, 0, g.size - 1);
    j = std::clamp(j, 0, g.size - 1);
    return g.heights[(size_t)i + (size_t)g.size * (size_t)j];
}

void ground_cell_triangles(const ground_view& g, int32_t i, int32_t j, double tri[6][3])
{
    double s = g.spacing;
    auto vertex = [&](double out[3], int32_t a, int32_t b) {
        out[0] = a * s;
        out[1] = ground_sample(g, a, b);
        out[2] = b * s;
    };
    if (((i ^ j) & 1) == 0) {
        // Diagonal (i, j)-(i+1, j+1).
        vertex(tri[0], i, j), vertex(tri[1], i + 1, j), vertex(tri[2], i + 1, j + 1);
        vertex(tri[3], i, j), vertex(tri[4], i, j + 1), vertex(tri[5], i + 1, j + 1);
    } else {
        // Diagonal (i+1, j)-(i, j+1).
        vertex(tri[0], i, j), vertex(tri[1], i + 1, j), vertex(tri[2], i, j + 1);
        vertex(tri[3], i + 1, j), vertex(tri[4], i, j + 1), vertex(tri[5], i + 1, j + 1);
    }
}

tyre_ring wheel_ring(const wheel_contact& w)
{
    tyre_ring r;
    const dReal* c = dBodyGetPosition(w.body);
    dVector3 a;
    dBodyVectorToWorld(w.body, w.axis[0], w.axis[1], w.axis[2], a);
    double len = std::sqrt(a[0] * a[0] + a[1] * a[1] + a[2] * a[2]);
    for (int k = 0; k < 3; k++) {
        r.centre[k] = c[k];
        r.axle[k] = len > 0.0 ? a[k] / len : (k == 0 ? 1.0 : 0.0);
    }
    r.radius = w.tyre_radius;
    r.section = w.tyre_section_radius;
    return r;
}

namespace {

struct cell_range {
    int32_t col0, col1, row0, row1;  // half-open
};

bool wheel_cells(const ground_view& g, const tyre_ring& r, cell_range* out)
{
    double reach = r.radius + r.section;
    double s = g.spacing;
    if (!std::isfinite(r.centre[0]) || !std::isfinite(r.centre[2]) || !(s > 0.0))
        return false;
    // Keep the indices well inside int range; such a wheel is far off the grid.
    double limit = 1e8;
    double x0 = std::floor((r.centre[0] - reach) / s), x1 = std::ceil((r.centre[0] + reach) / s);
    double z0 = std::floor((r.centre[2] - reach) / s), z1 = std::ceil((r.centre[2] + reach) / s);
    if (std::fabs(x0) > limit || std::fabs(x1) > limit || std::fabs(z0) > limit || std::fabs(z1) > limit)
        return false;
    out->col0 = (int32_t)x0, out->col1 = (int32_t)x1;
    out->row0 = (int32_t)z0, out->row1 = (int32_t)z1;
    return out->col1 > out->col0 && out->row1 > out->row0;
}

// The highest ground sample of a cell range: nothing lower than it minus
// the reach can touch.
double range_top(const ground_view& g, int32_t col0, int32_t col1, int32_t row0, int32_t row1)
{
    int32_t i0 = std::clamp(col0, 0, g.size - 1), i1 = std::clamp(col1, 0, g.size - 1);
    int32_t j0 = std::clamp(row0, 0, g.size - 1), j1 = std::clamp(row1, 0, g.size - 1);
    float top = -3.0e38f;
    for (int32_t j = j0; j <= j1; j++) {
        const float* row = g.heights + (size_t)g.size * (size_t)j;
        for (int32_t i = i0; i <= i1; i++)
            top = std::max(top, row[i]);
    }
    return top;
}

void hit_out(const ring_hit& h, double point[3], double normal[3], double* depth)
{
    std::copy(h.point, h.point + 3, point);
    std::copy(h.normal, h.normal + 3, normal);
    contact_normal_clean(normal);
    *depth = h.depth;
}

}  // namespace

int wheel_contact_search(const ground_view& g, const wheel_contact& w, double point[3], double normal[3], double* depth)
{
    tyre_ring r = wheel_ring(w);
    cell_range cells;
    *depth = 0.0;
    if (!wheel_cells(g, r, &cells))
        return 0;
    if (r.centre[1] - r.radius - r.section > range_top(g, cells.col0, cells.col1, cells.row0, cells.row1))
        return 0;
    // The ring's own footprint: an upright wheel is a thin strip along its
    // heading, so cells of the range beside the strip can't touch it.
    double s = g.spacing;
    double ex = r.radius * std::sqrt(std::max(0.0, 1.0 - r.axle[0] * r.axle[0])) + r.section;
    double ez = r.radius * std::sqrt(std::max(0.0, 1.0 - r.axle[2] * r.axle[2])) + r.section;
    int32_t col0 = std::max(cells.col0, (int32_t)std::floor((r.centre[0] - ex) / s));
    int32_t col1 = std::min(cells.col1, (int32_t)std::ceil((r.centre[0] + ex) / s));
    int32_t row0 = std::max(cells.row0, (int32_t)std::floor((r.centre[2] - ez) / s));
    int32_t row1 = std::min(cells.row1, (int32_t)std::ceil((r.centre[2] + ez) / s));
    ring_hit best{};
    bool have = false;
    double tri[6][3];
    for (int32_t i = col0; i < col1; i++) {
        for (int32_t j = row0; j < row1; j++) {
            ground_cell_triangles(g, i, j, tri);
            for (int t = 0; t < 2; t++) {
                ring_hit h = ring_triangle_above(r, tri[3 * t], tri[3 * t + 1], tri[3 * t + 2],
                                                 have ? best.depth : -1e30);
                if (!have || h.depth > best.depth) {
                    best = h;
                    have = true;
                }
            }
        }
    }
    if (!have || !(best.depth > 0.0))
        return 0;
    hit_out(best, point, normal, depth);
    return 1;
}

int wheel_contact_query(const ground_view& g, const wheel_contact& w, double point[3], double normal[3], double* depth)
{
    tyre_ring r = wheel_ring(w);
    cell_range cells;
    *depth = 0.0;
    if (!wheel_cells(g, r, &cells))
        return 0;
    if (r.centre[1] - r.radius - r.section > range_top(g, cells.col0, cells.col1, cells.row0, cells.row1))
        return 0;
    int32_t count = cells.col1 - cells.col0;
    int32_t middle = cells.col0 + (count - 1) / 2;
    double tri[6][3];
    for (int32_t j = cells.row0; j < cells.row1; j++) {
        for (int32_t k = 0; k < count; k++) {
            // middle, +1, -1, +2, -2, ...
            int32_t step = (k + 1) / 2;
            int32_t i = (k & 1) ? middle + step : middle - step;
            if (i < cells.col0 || i >= cells.col1)
                continue;
            ground_cell_triangles(g, i, j, tri);
            for (int t = 0; t < 2; t++) {
                ring_hit h = ring_triangle_fast(r, tri[3 * t], tri[3 * t + 1], tri[3 * t + 2]);
                if (h.depth > 0.0) {
                    hit_out(h, point, normal, depth);
                    return 1;
                }
            }
        }
    }
    return 0;
}

int sphere_ground_contact(const ground_view& g, const double centre[3], double radius, double point[3],
                          double normal[3], double* depth)
{
    *depth = 0.0;
    double s = g.spacing;
    if (!std::isfinite(centre[0]) || !std::isfinite(centre[1]) || !std::isfinite(centre[2]) || !(s > 0.0))
        return 0;
    double x0 = std::floor((centre[0] - radius) / s), x1 = std::ceil((centre[0] + radius) / s);
    double z0 = std::floor((centre[2] - radius) / s), z1 = std::ceil((centre[2] + radius) / s);
    if (std::fabs(x0) > 1e8 || std::fabs(x1) > 1e8 || std::fabs(z0) > 1e8 || std::fabs(z1) > 1e8)
        return 0;
    if (centre[1] - radius > range_top(g, (int32_t)x0, (int32_t)x1, (int32_t)z0, (int32_t)z1))
        return 0;
    ring_hit best{};
    best.depth = 0.0;
    bool have = false;
    double tri[6][3];
    for (int32_t i = (int32_t)x0; i < (int32_t)x1; i++) {
        for (int32_t j = (int32_t)z0; j < (int32_t)z1; j++) {
            ground_cell_triangles(g, i, j, tri);
            for (int t = 0; t < 2; t++) {
                double n[3];
                if (!triangle_normal(tri[3 * t], tri[3 * t + 1], tri[3 * t + 2], n))
                    continue;
                const double* v[3] = {tri[3 * t], tri[3 * t + 1], tri[3 * t + 2]};
                bool interior;
                ring_hit h = sphere_triangle(centre, radius, v, n, &interior);
                if (h.depth > best.depth) {
                    best = h;
                    have = true;
                }
            }
        }
    }
    if (!have)
        return 0;
    hit_out(best, point, normal, depth);
    return 1;
}

double ground_height_at(const ground_view& g, double x, double z)
{
    if (g.source)
        return terrain_height_at(g.source, (float)x, (float)z);
    double fx = std::floor(x * g.inv_spacing), fz = std::floor(z * g.inv_spacing);
    if (!std::isfinite(fx) || !std::isfinite(fz))
        return ground_sample(g, 0, 0);
    return ground_sample(g, (int32_t)std::clamp(fx, -1.0, (double)g.size), (int32_t)std::clamp(fz, -1.0, (double)g.size));
}

int32_t ground_tile_at(const ground_view& g, double x, double z)
{
    if (!g.tile_map)
        return 0;
    int32_t last = (1 << g.exponent) - 1;
    auto index = [&](double v) {
        double f = std::floor(v * g.inv_spacing / 2.0);
        if (!(f > 0.0))
            return 0;
        return f > last ? last : (int32_t)f;
    };
    return g.tile_map[index(x) + (index(z) << g.exponent)];
}

void wheel_contact_store(wheel_contact* w, const double point[3], const double normal[3], double depth,
                         double slip[3])
{
    dVector3 v;
    dBodyGetPointVel(w->body, point[0], point[1], point[2], v);
    for (int k = 0; k < 3; k++) {
        slip[k] = v[k];
        w->contact_point[k] = (float)point[k];
        w->normal[k] = (float)normal[k];
        w->slip_velocity[k] = (float)v[k];
    }
    w->depth = (float)depth;
}
