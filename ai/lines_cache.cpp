// The racing-lines cache files: "ct03 <sets>", then per set the count of
// its lines and for each line nine statistics and its points. Track folders
// are shared between players, so the reader treats every number as hostile.
#include <algorithm>
#include <cmath>
#include <cstdio>

#include "ai/racing_lines.h"
#include "core/alloc.h"
#include "core/game_state.h"
#include "core/vfs.h"
#include "game/startup.h"
#include "platform/vesk_log.h"

namespace {

// A line holds one section sampled every quarter second; no real section
// comes near this many points.
constexpr int32_t point_limit = 100000;
constexpr int64_t sum_limit = 100000000;
constexpr int64_t count_limit = 65535;

const char* const skill_files[3] = {"lines_novice", "lines_amateur", "lines_expert"};

vfs_stream* open_cache(int skill, const char* mode)
{
    const char* name = lines_file_name(skill);
    if (!name || !track_dir[0]) return nullptr;
    char path[512];
    snprintf(path, sizeof path, "@%s/%s", track_dir, name);
    return vfs_open(path, mode);
}

// Halves the counts until the sums and counts fit, keeping each average,
// then caps them. 64-bit throughout: the file's numbers are not trusted.
void normalise(int64_t* tested, int64_t* failures, int64_t* sum_mid, int64_t* sum)
{
    for (int pass = 0; pass < 17 && (*sum > sum_limit || *tested > count_limit || *failures > count_limit); pass++) {
        *failures /= 2;
        int64_t halved = *tested / 2;
        // Halving to nothing would lose the averages: keep them this pass.
        if (halved == 0) continue;
        *sum_mid = halved * (*sum_mid / *tested);
        *sum = halved * (*sum / *tested);
        *tested = halved;
    }
    *tested = std::min(*tested, count_limit);
    *failures = std::min(*failures, count_limit);
    *sum_mid = std::min(*sum_mid, sum_limit);
    *sum = std::min(*sum, sum_limit);
}

bool point_is_finite(const line_point& p)
{
    return std::isfinite(p.x) && std::isfinite(p.y) && std::isfinite(p.z) && std::isfinite(p.speed) &&
           std::isfinite(p.lean);
}

bool line_is_writable(const racing_line& l)
{
    if (l.point_count <= 0 || !l.points) return false;
    for (int32_t i = 0; i < l.point_count; i++)
        if (!point_is_finite(l.points[i])) return false;
    return true;
}

}  // namespace

const char* lines_file_name(int skill) { return skill >= 0 && skill < 3 ? skill_files[skill] : nullptr; }

int lines_read_entry(vfs_stream* f, racing_line* line)
{
    int32_t v[9];
    if (vfs_scanf(f, " %d %d %d %d %d %d %d %d %d ", &v[0], &v[1], &v[2], &v[3], &v[4], &v[5], &v[6], &v[7], &v[8]) !=
        9)
        return 0;
    int32_t count = v[0];
    if (count < 1 || count > point_limit) return -1;
    line_point* points = line ? static_cast<line_point*>(xmalloc(sizeof(line_point) * size_t(count))) : nullptr;
    for (int32_t i = 0; i < count; i++) {
        line_point p;
        if (vfs_scanf(f, " [ %f %f %f ] %f %f ", &p.x, &p.y, &p.z, &p.speed, &p.lean) != 5 || !point_is_finite(p)) {
            alloc_check_free(points);
            return -1;
        }
        if (points) points[i] = p;
    }
    if (!line) return 1;
    racing_line_empty(line);
    for (int32_t& x : v) x = x < 0 ? 0 : x;
    int64_t tested = v[3], failures = v[8], sum_mid = v[6], sum = v[7];
    normalise(&tested, &failures, &sum_mid, &sum);
    line->points = points;
    line->point_count = count;
    line->recorded_time_mid = v[1];
    line->recorded_time = v[2];
    line->tested = int32_t(tested);
    line->best_time_mid = v[4];
    line->best_time = v[5];
    line->sum_time_mid = int32_t(sum_mid);
    line->sum_time = int32_t(sum);
    line->failures = int32_t(failures);
    line->id = ++line_id_counter;
    return 1;
}

int32_t lines_read(int skill)
{
    racing_line_store& s = racing_line_sets;
    if (!s.sets) return 0;
    vfs_stream* f = open_cache(skill, "r");
    if (!f) return 0;
    int32_t total = s.first_lap_sections + s.normal_lap_sections, header = -1, read = 0, count;
    if (vfs_scanf(f, "ct03 %d ", &header) != 1 || header != total) {
        vfs_close(f);
        return 0;
    }
    for (; read < total && vfs_scanf(f, " %d ", &count) == 1; read++) {
        if (options.verbose) vesk_log("%d: %d\n", int(read), int(count));
        int bad = 0;
        for (int32_t k = 0; k < count && !bad; k++) {
            int r = lines_read_entry(f, k < line_set_size ? &s.sets[read].lines[k] : nullptr);
            bad = r <= 0;
        }
        // The stream no longer stands at an entry: the rest stays empty.
        if (bad) {
            read++;
            break;
        }
    }
    vfs_close(f);
    return read;
}

void lines_write(int skill)
{
    racing_line_store& s = racing_line_sets;
    if (s.sets && options.learn_lines && lines_file_name(skill)) {
        if (vfs_stream* f = open_cache(skill, "wb")) {
            int32_t total = s.first_lap_sections + s.normal_lap_sections;
            vfs_printf(f, "ct03 %d\n", int(total));
            for (int32_t i = 0; i < total; i++) {
                int n = 0;
                for (const racing_line& l : s.sets[i].lines) n += line_is_writable(l);
                vfs_printf(f, "%d\n", n);
                for (const racing_line& l : s.sets[i].lines) {
                    if (!line_is_writable(l)) continue;
                    vfs_printf(f, "%d %d %d %d %d %d %d %d %d\n", int(l.point_count), int(l.recorded_time_mid),
                               int(l.recorded_time), int(l.tested), int(l.best_time_mid), int(l.best_time),
                               int(l.sum_time_mid), int(l.sum_time), int(l.failures));
                    for (int32_t k = 0; k < l.point_count; k++) {
                        const line_point& p = l.points[k];
                        vfs_printf(f, "[%f %f %f] %f %f\n", double(p.x), double(p.y), double(p.z), double(p.speed),
                                   double(p.lean));
                    }
                }
            }
            vfs_close(f);
        }
    }
    line_sets_empty();
}
