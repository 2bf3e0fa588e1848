#include "terrain/erode.h"

#include <cmath>
#include <cstdio>
#include <cstring>

#include "core/game_state.h"
#include "net/erode_send.h"
#include "terrain/heightfield.h"
#include "terrain/terrain_services.h"

erode_queue_state erode_queue = {{}, 0, 0, erode_no_deadline, 0};

namespace {

// Values of the last wheel stepped, for the debug overlay.
float debug_values[6];

float clamp01(float v) { return v > 0.0f ? (v < 1.0f ? v : 1.0f) : 0.0f; }

// (v - low) / (high - low) clamped to 0..1; a range of zero width is a step
// at high rather than a division by zero.
float ramp(float v, float low, float high)
{
    if (high == low) return v >= high ? 1.0f : 0.0f;
    return clamp01((v - low) / (high - low));
}

const float* tile_erosion(const terrain* t, float x, float z)
{
    static float fallback[terrain_erosion_words];
    if (t->tile_count <= 0) return fallback;
    int32_t tile = terrain_tile_at(t, x, z);
    if (tile >= t->tile_count) tile = t->tile_count - 1;
    return t->erosion[tile];
}

void tracker_clear(rut_tracker* tr)
{
    tr->step_x_min = tr->step_z_min = tr->step_x_max = tr->step_z_max = 0.0f;
    tr->last_point_tic = 0;
    tr->point_count = 0;
    tr->sum_x = tr->sum_z = tr->sum_px = tr->sum_pz = 0.0f;
    tr->distance = 0.0f;
    tr->sample_count = 0;
}

// Step bounds travel as q x 2048 / 65535 - 1024.
uint16_t code_bound(double v)
{
    if (v > 1024.0) v = 1024.0;
    if (!(v >= -1024.0)) return 0;
    return uint16_t(floor((v + 1024.0) * 65535.0 / 2048.0 + 0.5));
}
float decode_bound(uint16_t q) { return float(double(q) * 2048.0 / 65535.0 - 1024.0); }

uint32_t code_position(float v, float extent)
{
    if (!(extent > 0.0f) || !(v > 0.0f)) return 0;
    if (v > extent) v = extent;
    return uint32_t(floor(double(v) / double(extent) * 16777215.0 + 0.5));
}
float decode_position(uint32_t q, float extent) { return float(double(q) / 16777215.0 * double(extent)); }

uint8_t code_rut(float v)
{
    float c = floorf(clamp01((v + 1.0f) * 0.5f) * 64.0f);
    return uint8_t(c > 63.0f ? 63 : int(c));
}
float decode_rut(uint8_t c) { return float(c) / 64.0f * 2.0f - 1.0f; }

uint8_t code_step(float step, float low, float high)
{
    if (!(step > low)) return 0;
    if (step > high) step = high;
    return uint8_t(floor(double(step - low) * 255.0 / double(high - low) + 0.5));
}
float decode_step(uint8_t a, float low, float high) { return low + float(a) / 255.0f * (high - low); }

void put16(uint8_t* p, uint32_t v) { p[0] = uint8_t(v), p[1] = uint8_t(v >> 8); }
void put24(uint8_t* p, uint32_t v) { p[0] = uint8_t(v), p[1] = uint8_t(v >> 8), p[2] = uint8_t(v >> 16); }
uint32_t get16(const uint8_t* p) { return p[0] | uint32_t(p[1]) << 8; }
uint32_t get24(const uint8_t* p) { return p[0] | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16; }

void put_rut(uint8_t* p, const erode_point& point)
{
    uint32_t w = uint32_t(point.weight) & 15;
    p[0] = uint8_t((w & 3) | code_rut(point.rut_x) << 2);
    p[1] = uint8_t((w >> 2) | code_rut(point.rut_z) << 2);
}

} // namespace

void erode_wheel_reset(rut_tracker* tracker) { tracker_clear(tracker); }

void erode_debug_text(char* buffer, int size)
{
    if (size <= 0) return;
    snprintf(buffer, size_t(size), "speed=%.2f\nslip=%.2f\nfx=%.2f\nfz=%.2f\npfx=%.2f\npfz=%.2f\n", debug_values[0],
             debug_values[1], -debug_values[2], -debug_values[3], -debug_values[4], -debug_values[5]);
}

int32_t erode_strip_pack(const erode_point* points, int32_t count, const float bounds[4], float extent,
                         uint8_t message[erode_strip_max_bytes])
{
    if (count < 1) return 0;
    if (count > erode_strip_max_points) count = erode_strip_max_points;
    message[0] = 1;
    uint16_t q[4] = {code_bound(double(bounds[0]) - 0.0625), code_bound(double(bounds[1]) - 0.0625),
                     code_bound(double(bounds[2]) + 0.0625), code_bound(double(bounds[3]) + 0.0625)};
    for (int k = 0; k < 4; k++) put16(message + 1 + 2 * k, q[k]);
    float x_min = decode_bound(q[0]), z_min = decode_bound(q[1]);
    float x_max = decode_bound(q[2]), z_max = decode_bound(q[3]);
    uint32_t px = code_position(points[0].x, extent), pz = code_position(points[0].z, extent);
    put24(message + 9, px);
    put24(message + 12, pz);
    put_rut(message + 15, points[0]);
    // Each step is taken from the decoded position of the previous point, so
    // rounding does not accumulate along the strip.
    float x = decode_position(px, extent), z = decode_position(pz, extent);
    for (int32_t i = 1; i < count; i++) {
        uint8_t* p = message + 17 + 4 * (i - 1);
        float dx = points[i].x - x, dz = points[i].z - z;
        p[0] = code_step(std::isfinite(dx) ? dx : 0.0f, x_min, x_max);
        p[1] = code_step(std::isfinite(dz) ? dz : 0.0f, z_min, z_max);
        put_rut(p + 2, points[i]);
        x += decode_step(p[0], x_min, x_max);
        z += decode_step(p[1], z_min, z_max);
    }
    return count == 1 ? 17 : 4 * count + 13;
}

int32_t erode_strip_unpack(const uint8_t* message, int32_t length, float extent,
                           erode_point points[erode_strip_max_points])
{
    if (!message || length < 17 || length > erode_strip_max_bytes || message[0] != 1) return 0;
    int32_t count = 1 + (length - 17) / 4;
    float x_min = decode_bound(uint16_t(get16(message + 1))), z_min = decode_bound(uint16_t(get16(message + 3)));
    float x_max = decode_bound(uint16_t(get16(message + 5))), z_max = decode_bound(uint16_t(get16(message + 7)));
    float x = decode_position(get24(message + 9), extent), z = decode_position(get24(message + 12), extent);
    for (int32_t i = 0; i < count; i++) {
        const uint8_t* p = i == 0 ? message + 15 : message + 17 + 4 * (i - 1) + 2;
        if (i > 0) {
            x += decode_step(p[-2], x_min, x_max);
            z += decode_step(p[-1], z_min, z_max);
        }
        points[i].x = x;
        points[i].z = z;
        points[i].rut_x = decode_rut(p[0] >> 2);
        points[i].rut_z = decode_rut(p[1] >> 2);
        points[i].weight = (p[1] & 3) << 2 | (p[0] & 3);
    }
    return count;
}

void erode_strip_flush(rut_tracker* tracker)
{
    if (tracker->point_count <= 0) return;
    uint8_t message[erode_strip_max_bytes];
    float bounds[4] = {tracker->step_x_min, tracker->step_z_min, tracker->step_x_max, tracker->step_z_max};
    int32_t length = erode_strip_pack(tracker->points, tracker->point_count, bounds, track_terrain.extent, message);
    send_erode_message(message, length);
}

namespace {
// The step bounds travel within +-1024 ft less the coder's 1/16-ft margins; a
// longer step (a rider put back far along the track) can't be coded.
constexpr float codable_step = 1024.0f - 0.0625f;
} // namespace

void erode_strip_add_point(rut_tracker* tr)
{
    if (tr->sample_count <= 0) return;
    if (tr->point_count >= erode_strip_max_points) {
        erode_strip_flush(tr);
        tr->point_count = 0;
    }
    float n = float(tr->sample_count);
    erode_point point = {tr->sum_x / n, tr->sum_z / n, tr->sum_px / n, tr->sum_pz / n, tr->sample_count};
    int32_t k = tr->point_count;
    tr->points[k] = point;
    if (k == 0) {
        tr->point_count = 1;
    } else {
        float dx = point.x - tr->points[k - 1].x, dz = point.z - tr->points[k - 1].z;
        bool codable = fabsf(dx) <= codable_step && fabsf(dz) <= codable_step;
        if (k == 1 && codable) {
            tr->step_x_min = tr->step_x_max = dx;
            tr->step_z_min = tr->step_z_max = dz;
            tr->point_count = 2;
        } else {
            float x0 = fminf(tr->step_x_min, dx), x1 = fmaxf(tr->step_x_max, dx);
            float z0 = fminf(tr->step_z_min, dz), z1 = fmaxf(tr->step_z_max, dz);
            if (!codable || x1 - x0 > 64.0f || z1 - z0 > 64.0f) {
                erode_strip_flush(tr);
                tracker_clear(tr);
                tr->points[0] = point;
                tr->point_count = 1;
            } else {
                tr->step_x_min = x0, tr->step_x_max = x1;
                tr->step_z_min = z0, tr->step_z_max = z1;
                tr->point_count = k + 1;
            }
        }
    }
    tr->last_point_tic = tic_counter;
}

namespace {

void wheel_idle(rut_tracker* tr)
{
    if (tr->point_count > 0 && tic_counter - tr->last_point_tic > 64) {
        erode_strip_add_point(tr);
        if (tr->point_count > 0) {
            erode_strip_flush(tr);
            tracker_clear(tr);
        }
    }
}

} // namespace

void erode_wheel_step(rut_tracker* tr, const wheel_rut_input* c, int front)
{
    for (float& v : debug_values) v = 0.0f;
    float x = c->point[0], z = c->point[2];
    if (!(c->depth > 0.0f) || !std::isfinite(x) || !std::isfinite(z)) {
        wheel_idle(tr);
        return;
    }
    const terrain* t = &track_terrain;
    const float* e = tile_erosion(t, x, z);
    float n[3];
    terrain_normal_at(t, x, z, n);
    const float* v = c->body_velocity;
    // A wheel with no horizontal motion has no heading: no lateral scaling.
    float horizontal = v[0] * v[0] + v[2] * v[2];
    float hx = 0.0f, hz = 0.0f;
    if (horizontal > 1e-12f) {
        float inv = 1.0f / sqrtf(horizontal);
        hx = v[0] * inv, hz = v[2] * inv;
    }
    float speed = sqrtf(v[0] * v[0] + v[1] * v[1] + v[2] * v[2]);
    const float* sv = c->slip_velocity;
    float slip = sqrtf(sv[0] * sv[0] + sv[1] * sv[1] + sv[2] * sv[2]);
    const float* f = c->force;
    float s = ramp(speed, e[erode_off_speed], e[erode_on_speed]);
    float g = e[erode_slip_base_scale] +
              ramp(slip, e[erode_slip_lower], e[erode_slip_upper]) * (e[erode_slip_scale] - e[erode_slip_base_scale]);
    float k = (f[0] * n[0] + f[1] * n[1] + f[2] * n[2]) / (n[0] * n[0] + n[1] * n[1] + n[2] * n[2]);
    float px = (f[0] - n[0] * k * e[erode_project_to_ground]) * s * g;
    float pz = (f[2] - n[2] * k * e[erode_project_to_ground]) * s * g;
    float lateral = (e[erode_lateral_scale] - 1.0f) * (-hz * px + hx * pz);
    px += lateral * -hz;
    pz += lateral * hx;
    if (front) px *= e[erode_front_scale], pz *= e[erode_front_scale];
    debug_values[0] = speed;
    debug_values[1] = slip;
    debug_values[2] = -hz * f[0] + hx * f[2];
    debug_values[3] = hx * f[0] + hz * f[2];
    debug_values[4] = -hz * px + hx * pz;
    debug_values[5] = hx * px + hz * pz;

    float length2 = px * px + pz * pz;
    float lower = e[erode_lower];
    if (!std::isfinite(length2) || length2 <= lower * lower || length2 <= 1.0f / 1024.0f) {
        wheel_idle(tr);
        return;
    }
    float length = sqrtf(length2);
    float scale = (0.125f + 0.875f * ramp(length, lower, e[erode_upper])) / length;
    px *= scale, pz *= scale;

    float d = 0.0f;
    if (tr->sample_count > 0) d = hypotf(x - tr->last_x, z - tr->last_z);
    tr->last_x = x, tr->last_z = z;
    bool by_distance = false;
    if (tr->sample_count < erode_point_max_samples) {
        if (tr->distance + d < 1.0f) {
            tr->sample_count++;
            tr->distance += d;
            tr->sum_x += x, tr->sum_z += z, tr->sum_px += px, tr->sum_pz += pz;
            return;
        }
        by_distance = true;
    }
    float carried = tr->distance + d;
    erode_strip_add_point(tr);
    tr->sum_x = x, tr->sum_z = z, tr->sum_px = px, tr->sum_pz = pz;
    tr->sample_count = 1;
    tr->distance = by_distance && carried < 2.0f ? carried - 1.0f : 0.0f;
}

void erode_message_receive(const uint8_t* message, int32_t length)
{
    erode_point points[erode_strip_max_points];
    int32_t count = erode_strip_unpack(message, length, track_terrain.extent, points);
    for (int32_t i = 0; i < count; i++) {
        const erode_point& p = points[i];
        // A rut vector of (almost) zero has no direction to dig along.
        if (p.rut_x * p.rut_x + p.rut_z * p.rut_z < 1.0f / 4096.0f) continue;
        if (erode_queue.count >= erode_queue_capacity) {
            if (!erode_queue.full_reported) terrain_hooks.console_print("Erode queue full!");
            erode_queue.full_reported = 1;
            continue;
        }
        erode_queue.points[(erode_queue.head + erode_queue.count) % erode_queue_capacity] = p;
        erode_queue.count++;
    }
}

void erode_queue_reset()
{
    erode_queue.head = 0;
    erode_queue.count = 0;
    erode_queue.defer_until = erode_no_deadline;
}

int32_t erode_queue_budget(int32_t b)
{
    int32_t over = b - 8192;
    return b / 512 + (over > 0 ? over : 0) / 64 + 4;
}

namespace {

void apply_point(terrain* t, const erode_point& p, float rate)
{
    const float* e = tile_erosion(t, p.x, p.z);
    float plen = sqrtf(p.rut_x * p.rut_x + p.rut_z * p.rut_z);
    if (!(plen > 0.0f)) return;
    float b = clamp01((plen - 0.125f) * 8.0f / 7.0f) * e[erode_displacement];
    float xt = p.x - p.rut_x / plen * b, zt = p.z - p.rut_z / plen * b;
    float hv = terrain_height_at(t, p.x, p.z), ht = terrain_height_at(t, xt, zt);
    float rise = ht - hv;
    if (!(e[erode_min_slope] * b <= rise && rise <= e[erode_max_slope] * b)) return;
    float a = rate / 2048.0f;
    if (ht < hv) a *= 1.0f + (hv - ht) * e[erode_downhill_scale] / b;
    float depth = terrain_pristine_height_at(t, p.x, p.z) - hv;
    int32_t rows = terrain_erode_limit_rows(e);
    if (rows < 1) rows = 1;
    if (rows > 8) rows = 8;
    const float* dl = e + erode_limit_depth;
    const float* sl = e + erode_limit_scale;
    const float* il = e + erode_limit_inner_scale;
    float scale = sl[0], inner = il[0];
    if (rows >= 2 && depth >= dl[0]) {
        scale = sl[rows - 1], inner = il[rows - 1];
        for (int32_t r = 0; r + 1 < rows; r++) {
            if (depth < dl[r + 1]) {
                float f = (depth - dl[r]) / (dl[r + 1] - dl[r]);
                scale = sl[r] + f * (sl[r + 1] - sl[r]);
                inner = il[r] + f * (il[r + 1] - il[r]);
                break;
            }
        }
    }
    float first = terrain_dig(t, p.x, p.z, e[erode_radius], -(float(p.weight) * e[erode_depth] * a * scale));
    float second = terrain_dig(t, p.x, p.z, e[erode_inner_radius], -(a * e[erode_inner_depth] * inner));
    terrain_deposit(t, xt, zt, e[erode_radius], -(first + second));
}

} // namespace

void erode_queue_apply(const float* viewer, float rate)
{
    erode_queue_state& q = erode_queue;
    if (q.defer_until < tic_counter || q.count > 8192) {
        q.defer_until = erode_no_deadline;
        viewer = nullptr;
    }
    int32_t budget = erode_queue_budget(q.count);
    for (; budget > 0 && q.count > 0; budget--) {
        const erode_point& p = q.points[q.head];
        if (viewer) {
            float dx = p.x - viewer[0], dz = p.z - viewer[2];
            if (dx * dx + dz * dz < 100.0f) {
                int32_t later = tic_counter > erode_no_deadline - 256 ? erode_no_deadline : tic_counter + 256;
                if (later < q.defer_until) q.defer_until = later;
                return;
            }
        }
        erode_point taken = p;
        q.head = (q.head + 1) % erode_queue_capacity;
        q.count--;
        apply_point(&track_terrain, taken, rate);
        q.defer_until = erode_no_deadline;
    }
}

namespace {

// Calls fn(index or -1 outside the grid, falloff weight) for every sample of
// the disc of radius (world units) around (x, z); returns the cell rectangle.
template <class F> bool for_disc(const terrain* t, float x, float z, float radius, F fn, int32_t rect[4])
{
    float r = radius * t->inv_spacing;
    if (!(r > 0.0f) || !std::isfinite(r)) return false;
    // A disc wider than this is a broken surface file, not a wheel.
    if (r > 256.0f) r = 256.0f;
    float cx = x * t->inv_spacing, cz = z * t->inv_spacing;
    if (!std::isfinite(cx) || !std::isfinite(cz) || fabsf(cx) > 1e7f || fabsf(cz) > 1e7f) return false;
    int32_t g = int32_t(ceilf(r));
    int32_t m = int32_t(floorf(cx)), row = int32_t(floorf(cz));
    rect[0] = m - g + 1, rect[1] = row - g + 1, rect[2] = m + g, rect[3] = row + g;
    for (int32_t i = rect[1]; i <= rect[3]; i++) {
        for (int32_t j = rect[0]; j <= rect[2]; j++) {
            float dist = sqrtf((cx - float(j)) * (cx - float(j)) + (cz - float(i)) * (cz - float(i))) / r;
            if (dist > 1.0f) continue;
            float w = 1.0f - 3.0f * dist * dist + 2.0f * dist * dist * dist;
            bool inside = j >= 0 && i >= 0 && j < t->size && i < t->size;
            fn(inside ? i * t->size + j : -1, w);
        }
    }
    return true;
}

void change_heights(terrain* t, float x, float z, float radius, float per_weight, float* sum)
{
    int32_t rect[4];
    bool changed = false;
    auto add = [&](int32_t index, float w) {
        float delta = per_weight * w;
        *sum += delta;
        if (index < 0 || t->deform_lock || !t->heights || delta == 0.0f) return;
        float h = t->heights[index] + delta;
        t->heights[index] = h;
        if (h > t->height_max) t->height_max = h;
        if (h < t->height_min) t->height_min = h;
        changed = true;
    };
    if (!for_disc(t, x, z, radius, add, rect) || !changed) return;
    t->change_flags = 7;
    terrain_mark_dirty(t, rect[0] - 1, rect[1] - 1, rect[2], rect[3]);
    t->change_counter++;
}

} // namespace

float terrain_dig(terrain* t, float x, float z, float radius, float amount)
{
    float sum = 0.0f;
    if (amount == 0.0f || !std::isfinite(amount)) return 0.0f;
    change_heights(t, x, z, radius, amount, &sum);
    return sum;
}

void terrain_deposit(terrain* t, float x, float z, float radius, float amount)
{
    if (amount == 0.0f || !std::isfinite(amount)) return;
    float total = 0.0f;
    int32_t rect[4];
    for_disc(t, x, z, radius, [&](int32_t, float w) { total += w; }, rect);
    // Dividing by the true weight sum keeps the volume for small discs too.
    if (!(total > 0.0f)) return;
    float sum = 0.0f;
    change_heights(t, x, z, radius, amount / total, &sum);
}
