#include "tools/linegen/tool_path.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <sstream>

namespace {

constexpr double quarter_second = 0.25;

// The lines of text that are not comments or blank.
std::vector<std::string> data_lines(const std::string& text)
{
    std::vector<std::string> out;
    std::istringstream in(text);
    std::string line;
    while (std::getline(in, line)) {
        size_t first = line.find_first_not_of(" \t\r");
        if (first == std::string::npos || line[first] == '#') continue;
        out.push_back(line);
    }
    return out;
}

bool finite_all(std::initializer_list<float> values)
{
    for (float v : values)
        if (!std::isfinite(v)) return false;
    return true;
}

}  // namespace

std::vector<tool_point> read_centre_line(const std::string& text, std::string* error)
{
    std::vector<tool_point> out;
    int number = 0;
    for (const std::string& line : data_lines(text)) {
        number++;
        float x, z;
        char extra;
        if (sscanf(line.c_str(), "%f %f %c", &x, &z, &extra) != 2 || !finite_all({x, z})) {
            if (error) *error = "centre line point " + std::to_string(number) + " does not scan";
            return {};
        }
        out.push_back({x, z, 0.0f});
    }
    if (out.size() < 3) {
        if (error) *error = "centre line has fewer than 3 points";
        return {};
    }
    return out;
}

std::vector<tool_jump> read_jumps(const std::string& text, std::string* error)
{
    std::vector<tool_jump> out;
    for (const std::string& line : data_lines(text)) {
        char name[64];
        tool_jump j;
        float lip_height, lip_degrees;
        if (sscanf(line.c_str(), "%63s %f %f %f %f %f %f %f %f %f %f %f", name, &j.x, &j.z, &j.dx, &j.dz, &j.lip,
                   &j.crest, &j.slope_end, &j.end, &lip_height, &lip_degrees, &j.design_speed) != 12 ||
            !finite_all({j.x, j.z, j.dx, j.dz, j.lip, j.crest, j.slope_end, j.end, j.design_speed}) ||
            j.design_speed <= 0.0f) {
            if (error) *error = "jump line does not scan: " + line;
            return {};
        }
        out.push_back(j);
    }
    return out;
}

std::vector<dense_point> round_corners(const std::vector<tool_point>& c, float margin)
{
    size_t n = c.size();
    std::vector<dense_point> out;
    if (n < 3) return out;
    // Per corner: where its arc meets the incoming and outgoing sides.
    struct corner_arc {
        double in_x, in_z, out_x, out_z, cx, cz, radius, turn;
        int round;
    };
    std::vector<corner_arc> arcs(n);
    for (size_t i = 0; i < n; i++) {
        const tool_point &a = c[(i + n - 1) % n], &p = c[i], &b = c[(i + 1) % n];
        double ux = p.x - a.x, uz = p.z - a.z, vx = b.x - p.x, vz = b.z - p.z;
        double lu = std::hypot(ux, uz), lv = std::hypot(vx, vz);
        corner_arc& k = arcs[i];
        k = {p.x, p.z, p.x, p.z, p.x, p.z, 0.0, 0.0, 0};
        if (lu <= 1e-6 || lv <= 1e-6) continue;
        ux /= lu, uz /= lu, vx /= lv, vz /= lv;
        double turn = std::acos(std::clamp(ux * vx + uz * vz, -1.0, 1.0));
        if (turn < 1e-3) continue;
        // The arc's middle stays within margin of both sides, and each side
        // gives at most half of itself to the arc.
        double half = turn * 0.5;
        double r = std::min(margin / (1.0 - std::cos(half)), 0.5 * std::min(lu, lv) / std::tan(half));
        double t = r * std::tan(half);
        k.in_x = p.x - ux * t, k.in_z = p.z - uz * t;
        k.out_x = p.x + vx * t, k.out_z = p.z + vz * t;
        // The centre lies to the side the way turns.
        double side = ux * vz - uz * vx > 0 ? 1.0 : -1.0;
        k.cx = k.in_x - uz * r * side, k.cz = k.in_z + ux * r * side;
        k.radius = r, k.turn = turn * side, k.round = 1;
    }
    for (size_t i = 0; i < n; i++) {
        const corner_arc& k = arcs[i];
        if (k.round) {
            double a0 = std::atan2(k.in_z - k.cz, k.in_x - k.cx);
            int steps = std::max(1, int(std::ceil(k.radius * std::fabs(k.turn))));
            for (int s = 0; s < steps; s++) {
                double a = a0 + k.turn * s / steps;
                out.push_back({float(k.cx + k.radius * std::cos(a)), float(k.cz + k.radius * std::sin(a)),
                               float(k.radius)});
            }
        } else {
            out.push_back({float(k.out_x), float(k.out_z), 0.0f});
        }
        // The straight on to the next corner's arc.
        const corner_arc& next = arcs[(i + 1) % n];
        double sx = next.in_x - k.out_x, sz = next.in_z - k.out_z, len = std::hypot(sx, sz);
        int steps = int(std::ceil(len));
        for (int s = k.round ? 0 : 1; s < steps; s++)
            out.push_back({float(k.out_x + sx * s / steps), float(k.out_z + sz * s / steps), 0.0f});
    }
    return out;
}

std::vector<float> loop_speeds(const std::vector<dense_point>& loop, const std::vector<tool_jump>& jumps,
                               const tool_pace& pace, const std::function<float(float, float)>& height)
{
    size_t n = loop.size();
    std::vector<float> v(n);
    std::vector<double> along(n + 1, 0.0);
    for (size_t i = 0; i < n; i++) {
        const dense_point& p = loop[i];
        v[i] = p.radius > 0.0f ? std::min(pace.top_speed, std::sqrt(pace.side_accel * p.radius)) : pace.top_speed;
        const dense_point& q = loop[(i + 1) % n];
        along[i + 1] = along[i] + std::hypot(q.x - p.x, q.z - p.z);
    }
    double length = along[n];
    if (n == 0 || length <= 0.0) return v;
    std::vector<char> held(n, 0);
    // The jumps themselves first, then their run-ups where no jump lies (a
    // run-up may reach back over the jump before it).
    for (int run_up = 0; run_up < 2; run_up++) {
        for (const tool_jump& j : jumps) {
            // The loop point nearest where the jump's face starts.
            size_t at = 0;
            double best = 1e30;
            for (size_t i = 0; i < n; i++) {
                double d = std::hypot(loop[i].x - j.x, loop[i].z - j.z);
                if (d < best) best = d, at = i;
            }
            for (size_t i = 0; i < n; i++) {
                double s = along[i] - along[at];
                if (s < -length * 0.5) s += length;
                if (s > length * 0.5) s -= length;
                // Held from 60 ft before the face to the landing's middle;
                // after it the rider may brake for what follows.
                double landed = 0.5 * (j.crest + j.end);
                if (run_up ? (s < -60.0 || s >= 0.0 || held[i]) : (s < 0.0 || s > landed)) continue;
                bool flying = s >= j.lip && s < landed;
                // A run-up never takes a bend faster than the bend allows.
                v[i] = flying ? -j.design_speed : run_up ? std::min(v[i], j.design_speed) : j.design_speed;
                held[i] = 1;
            }
        }
    }
    // Whoops are ridden slowly: where the ground within 3 ft either way
    // strays more than 1.2 ft from its straight line (bumps a few feet
    // apart; a roller or a jump's face bends far less over 6 ft), the speed
    // is capped.
    if (height) {
        std::vector<char> rough(n, 0);
        for (size_t i = 0; i < n; i++) {
            const dense_point &a = loop[(i + n - 3) % n], &b = loop[(i + 3) % n];
            float ha = height(a.x, a.z), hb = height(b.x, b.z), worst = 0.0f;
            for (int k = 1; k < 6; k++) {
                const dense_point& q = loop[(i + n - 3 + size_t(k)) % n];
                float line = ha + (hb - ha) * float(k) / 6.0f;
                worst = std::max(worst, std::fabs(height(q.x, q.z) - line));
            }
            if (worst > 1.2f) rough[i] = 1;
        }
        // The whole stretch that showed a bump, not just its middle.
        for (size_t i = 0; i < n; i++)
            for (size_t k = 0; k < 7; k++)
                if (rough[(i + n + k - 3) % n] && !held[i]) v[i] = std::min(v[i], pace.rough_speed);
    }
    // Braking into slower stretches, twice round so the loop's seam is
    // covered; a jump's held speed is never lowered.
    for (int pass = 0; pass < 2; pass++) {
        for (size_t k = n; k-- > 0;) {
            size_t next = (k + 1) % n;
            double ds = along[k + 1] - along[k];
            double limit = std::sqrt(double(v[next]) * v[next] + 2.0 * pace.braking * ds);
            if (held[k]) continue;
            v[k] = float(std::min(double(v[k]), limit));
        }
    }
    return v;
}

std::vector<tool_point> timed_loop(const std::vector<dense_point>& loop, const std::vector<float>& speeds,
                                   float offset)
{
    std::vector<tool_point> out;
    size_t n = loop.size();
    if (n < 2 || speeds.size() != n) return out;
    double carry = 0.0;  // feet still to go to the next sample
    for (size_t i = 0; i < n; i++) {
        const dense_point &p = loop[i], &q = loop[(i + 1) % n];
        double sx = q.x - p.x, sz = q.z - p.z, len = std::hypot(sx, sz);
        if (len <= 0.0) continue;
        double left_x = sz / len, left_z = -sx / len;
        double at = carry;
        while (at < len) {
            float speed = speeds[i];
            out.push_back({float(p.x + sx * at / len + left_x * offset), float(p.z + sz * at / len + left_z * offset),
                           speed});
            at += std::max(1.0, std::fabs(double(speed)) * quarter_second);
        }
        carry = at - len;
    }
    return out;
}
