#include "game/timing_gates.h"

#include <cmath>
#include <cstdio>
#include <cstring>

#include "core/game_state.h"
#include "core/util.h"
#include "core/vfs.h"
#include "game/track_file_text.h"
#include "game/track_objects.h"

const char* const start_gate_default_names[3] = {"@startgate.qm", "@startgate.ppm", "@startgate.shp"};

namespace {

// The writer marks files whose counts an old reader's byte-sized counts
// could not hold.
bool needs_version2(const timing_gates_record& g)
{
    return g.checkpoint_count > 254 || g.first_lap_entries + g.normal_lap_entries > 254;
}

// Reads up to lap_entry_limit integers into entries; returns the entry count
// and adds the counted ones to *counted.
int32_t read_lap(vfs_stream* f, int32_t* entries, int32_t checkpoints, int32_t* counted)
{
    int32_t n = 0;
    *counted = 0;
    int32_t v;
    while (n < lap_entry_limit && vfs_scanf(f, " %d", &v) == 1) {
        entries[n++] = timing_gate_entry_clamp(v, checkpoints);
        if (v < lap_entry_marked) ++*counted;
    }
    return n;
}

bool token_is(const char* token, const char* word) { return strcmp(token, word) == 0; }

// Reads the gate lines after "startinggate:"; 1 when the section ended at a
// line beginning with "checkpoints:", which is then consumed.
int read_start_gates(vfs_stream* f, timing_gates_record& g)
{
    char line[1024];
    // The rest of the "startinggate:" line itself: blank in what we write.
    if (!vfs_gets(f, line, sizeof line)) return 0;
    bool have_line = line[strspn(line, " \t\r\n")] != 0;
    for (;;) {
        if (!have_line && !vfs_gets(f, line, sizeof line)) return 0;
        have_line = false;
        if (keyword_match(line, "checkpoints:")) return 1;
        if (g.start_gate_count == start_gate_limit) return 0;  // a gate beyond the last
        float v[4];
        char names[3][1024];
        int n = sscanf(line, " [ %f %f %f ] %f %1023s %1023s %1023s", &v[0], &v[1], &v[2], &v[3], names[0], names[1],
                       names[2]);
        if (n < 4 || !track_values_finite(v, 4)) return 0;
        const char* model = n > 4 ? names[0] : start_gate_default_names[0];
        const char* texture = n > 5 ? names[1] : start_gate_default_names[1];
        const char* shape = n > 6 ? names[2] : start_gate_default_names[2];
        start_gate& gate = g.start_gates[g.start_gate_count++];
        float a = timing_gate_angle_fold(v[3]);
        gate = {v[0], v[1], v[2], a, -1, 1.0f, 0};
        // The gate's statue stands 3 ft ahead of the line the riders wait at.
        gate.statue = create_statue(v[0] - 3 * sinf(a), v[1], v[2] - 3 * cosf(a), a, model, texture, shape);
    }
}

} // namespace

int32_t timing_gate_entry_clamp(int32_t value, int32_t checkpoint_count)
{
    int32_t last = checkpoint_count - 1;
    if (value < 0) return checkpoint_count == 0 ? -1 : 0;
    if (value < lap_entry_marked) return value < last ? value : last;
    int32_t c = value % lap_entry_marked;
    return lap_entry_marked + (c < last ? c : last);
}

float timing_gate_angle_fold(float angle)
{
    const float pi = float(M_PI);
    if (angle >= -pi && angle <= pi) return angle;
    float turns = (angle + pi) / (2 * pi);
    return (turns - floorf(turns)) * (2 * pi) - pi;
}

void timing_gates_clear()
{
    timing_gates_record& g = timing_gates;
    g.checkpoint_count = g.counted_first_lap = g.counted_normal_lap = 0;
    g.first_lap_entries = g.normal_lap_entries = g.start_gate_count = g.line_set_count = 0;
}

void timing_gates_load(const char* path)
{
    timing_gates_record& g = timing_gates;
    timing_gates_clear();
    vfs_stream* f = vfs_open(path, "r");
    if (!f) return;
    char token[81] = "";
    if (vfs_scanf(f, " %80s", token) == 1 && token_is(token, "version2")) {
        token[0] = 0;
        vfs_scanf(f, " %80s", token);
    }
    bool at_checkpoints = token_is(token, "checkpoints:");
    if (token_is(token, "startinggate:")) at_checkpoints = read_start_gates(f, g);
    if (!at_checkpoints) {
        track_objects_console("Error reading starting gate\n");
        vfs_close(f);
        return;
    }
    int32_t checkpoints = 0;
    for (;;) {
        if (checkpoints == checkpoint_limit) break;
        checkpoint c = {};
        float v[7];
        if (vfs_scanf(f, " %f [ %f %f %f ] [ %f %f %f ]", &v[0], &v[1], &v[2], &v[3], &v[4], &v[5], &v[6]) != 7)
            break;
        if (!track_values_finite(v, 7)) {
            checkpoints = -1;  // a number no gate can have
            break;
        }
        c.width = v[0], c.x = v[1], c.y = v[2], c.z = v[3], c.dx = v[4], c.dy = v[5], c.dz = v[6];
        g.checkpoints[checkpoints++] = c;
    }
    token[0] = 0;
    if (checkpoints < 0 || vfs_scanf(f, " %80s", token) != 1 || !token_is(token, "firstlap:")) {
        track_objects_console("Error reading checkpoints\n");
        vfs_close(f);
        return;
    }
    int32_t counted_first, counted_normal;
    int32_t first = read_lap(f, g.lap_entries, checkpoints, &counted_first);
    token[0] = 0;
    if (vfs_scanf(f, " %80s", token) != 1 || !token_is(token, "normallap:")) {
        track_objects_console("Error reading firstlap\n");
        vfs_close(f);
        return;
    }
    int32_t normal = read_lap(f, g.lap_entries + first, checkpoints, &counted_normal);
    vfs_close(f);
    if (checkpoints == 0 || first < 3 || normal < 3 || counted_first < 3 || counted_normal < 3) {
        track_objects_console("Timing gate error: lap length must be at least 3\n");
        return;
    }
    g.checkpoint_count = checkpoints;
    g.first_lap_entries = first;
    g.normal_lap_entries = normal;
    g.counted_first_lap = counted_first;
    g.counted_normal_lap = counted_normal;
    // One racing-line set per counted gate of each lap: the sum, not the
    // product, which a large but valid file would make too big to allocate.
    g.line_set_count = counted_first + counted_normal;
    if (track_object_hooks.verbose)
        track_objects_console("Found %d timing gates, first lap has %d gates, normal lap has %d\n", checkpoints, first,
                              normal);
}

int timing_gates_save()
{
    vfs_stream* f = open_track_file_for_writing("timing_gates");
    if (!f) return 0;
    const timing_gates_record& g = timing_gates;
    if (needs_version2(g)) vfs_puts(f, "version2\n");
    if (g.start_gate_count > 0) {
        vfs_puts(f, "startinggate:\n");
        for (int32_t i = 0; i < g.start_gate_count; i++) {
            const start_gate& gate = g.start_gates[i];
            vfs_printf(f, "[%f %f %f] %f", gate.x, gate.y, gate.z, gate.angle);
            if (gate.statue < 0 || gate.statue >= track_objects.statues.count) {
                vfs_puts(f, "\n");
                continue;
            }
            const statue* s = statue_at(gate.statue);
            const char* names[3] = {s->model_name, s->texture_name, s->shape_name};
            bool defaults = true;
            for (int k = 0; k < 3; k++) defaults = defaults && names[k] && strcmp(names[k], start_gate_default_names[k]) == 0;
            if (defaults)
                vfs_puts(f, "\n");
            else
                vfs_printf(f, " %s %s %s\n", names[0] ? names[0] : "null", names[1] ? names[1] : "null",
                           names[2] ? names[2] : "null");
        }
    }
    if (g.checkpoint_count > 0) {
        vfs_puts(f, "checkpoints:\n");
        for (int32_t i = 0; i < g.checkpoint_count; i++) {
            const checkpoint& c = g.checkpoints[i];
            vfs_printf(f, "%f [%f %f %f] [%f %f %f]\n", c.width, c.x, c.y, c.z, c.dx, c.dy, c.dz);
        }
    }
    const char* headers[2] = {"firstlap:\n", "normallap:\n"};
    const int32_t counts[2] = {g.first_lap_entries, g.normal_lap_entries};
    const int32_t* entries = g.lap_entries;
    for (int lap = 0; lap < 2; lap++) {
        if (counts[lap] > 0) {
            vfs_puts(f, headers[lap]);
            for (int32_t i = 0; i < counts[lap]; i++) vfs_printf(f, "%d ", entries[i]);
            vfs_puts(f, "\n");
        }
        entries += counts[lap];
    }
    return close_track_file_written(f, "timing_gates");
}
