#include "physics/bike_info.h"

#include <cstring>

#include "physics/physics_messages.h"

namespace {
constexpr float kg_per_mm_per_lbf_per_ft = 0.45359237f / 304.8f;
constexpr float mm_per_ft = 304.8f;

const bike_info* first_containing(const char* text)
{
    const bike_info* rows = bike_info_table();
    for (int i = 0; i < bike_info_count; i++)
        if (strstr(rows[i].name, text)) return &rows[i];
    return rows;
}
} // namespace

const bike_info* bike_info_lookup(const char* name)
{
    if (!name) return nullptr;
    const bike_info* rows = bike_info_table();
    for (int i = 0; i < bike_info_count; i++)
        if (strcmp(rows[i].name, name) == 0) return &rows[i];
    return nullptr;
}

const bike_info* bike_info_find_or_fallback(const char* name)
{
    const bike_info* row = bike_info_lookup(name);
    if (row) return row;
    if (!name) name = "";
    row = first_containing(strstr(name, "125") ? "125" : "250f");
    physics_message("bike info for '%.20s' not found using '%.20s' instead", name, row->name);
    return row;
}

int bike_info_index(const bike_info* row) { return int(row - bike_info_table()); }

float bike_interpolate(float minimum, float maximum, float fraction)
{
    if (!(fraction > 0)) fraction = 0;  // NaN too
    if (fraction > 1) fraction = 1;
    return minimum + fraction * (maximum - minimum);
}

float settings_front_sprocket(const bike_info* row) { return row->main.front_sprocket; }
float settings_rear_sprocket(const bike_info* row) { return row->main.rear_sprocket; }

float settings_fork_spring_rate(const bike_info* row, float fraction)
{
    const bike_tuning_values& t = row->tuning;
    return bike_interpolate(t.fork_spring_rate_min, t.fork_spring_rate_max, fraction) * kg_per_mm_per_lbf_per_ft;
}

float settings_fork_preload(const bike_info* row, float fraction)
{
    const bike_tuning_values& t = row->tuning;
    return bike_interpolate(t.fork_preload_min, t.fork_preload_max, fraction) * mm_per_ft;
}

float settings_fork_oil_level(const bike_info* row, float fraction)
{
    const bike_tuning_values& t = row->tuning;
    return bike_interpolate(t.fork_air_gap_min_oil, t.fork_air_gap_max_oil, fraction) * mm_per_ft;
}

// The shock's linkage-unit rate shown as the spring rate of a shock whose
// stroke is the linkage's position in feet.
float settings_shock_spring_rate(const bike_info* row, float fraction)
{
    const bike_tuning_values& t = row->tuning;
    return bike_interpolate(t.shock_spring_rate_min, t.shock_spring_rate_max, fraction) * row->main.swingarm_travel *
           kg_per_mm_per_lbf_per_ft;
}

float settings_shock_preload(const bike_info* row, float fraction)
{
    const bike_tuning_values& t = row->tuning;
    return bike_interpolate(t.shock_preload_min, t.shock_preload_max, fraction) * mm_per_ft;
}

void bike_linkage_curve(const bike_info* row, float x, float* position, float* slope)
{
    const bike_tuning_values& t = row->tuning;
    if (!(x > 0)) x = 0;
    if (x > 1) x = 1;
    float b = t.linkage_knee;
    float x0, length, p0, p1, m0, m1;
    if (x <= b) {
        x0 = 0, length = b, p0 = 0, p1 = t.linkage_knee_position, m0 = t.linkage_slope[0], m1 = t.linkage_slope[1];
    } else {
        x0 = b, length = 1 - b, p0 = t.linkage_knee_position, p1 = t.linkage_full_position;
        m0 = t.linkage_slope[1], m1 = t.linkage_slope[2];
    }
    float u = length > 0 ? (x - x0) / length : 0;
    m0 *= length;
    m1 *= length;
    float u2 = u * u, u3 = u2 * u;
    *position = (2 * u3 - 3 * u2 + 1) * p0 + (u3 - 2 * u2 + u) * m0 + (-2 * u3 + 3 * u2) * p1 + (u3 - u2) * m1;
    float derivative = (6 * u2 - 6 * u) * p0 + (3 * u2 - 4 * u + 1) * m0 + (-6 * u2 + 6 * u) * p1 + (3 * u2 - 2 * u) * m1;
    *slope = length > 0 ? derivative / length : 0;
}
