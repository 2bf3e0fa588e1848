#include "ai/racing_lines.h"

#include <algorithm>

racing_line_store racing_line_sets;

namespace {

int32_t sections_before(const int32_t* gates, int64_t count)
{
    int32_t n = 0;
    for (int64_t i = 0; i < count; i++)
        n += gates[i] < gate_no_section;
    return n;
}

}  // namespace

int32_t gate_section_index(int32_t position)
{
    const racing_line_store& s = racing_line_sets;
    if (position <= 0 || !s.first_lap_gates)
        return 0;
    int32_t f = s.first_lap_gate_count;
    if (position <= f)
        return sections_before(s.first_lap_gates, position);
    int32_t n = s.normal_lap_gate_count;
    int32_t first = sections_before(s.first_lap_gates, f);
    if (n <= 0 || !s.normal_lap_gates)
        return first;
    int64_t into = (int64_t)position - f;
    int64_t index = first + (into / n) * (int64_t)sections_before(s.normal_lap_gates, n) +
                    sections_before(s.normal_lap_gates, into % n);
    return (int32_t)std::min<int64_t>(index, INT32_MAX);
}

line_set* line_set_of_section(int32_t section)
{
    const racing_line_store& s = racing_line_sets;
    if (!s.sets || section < 0)
        return nullptr;
    if (section < s.first_lap_sections)
        return &s.sets[section];
    if (s.normal_lap_sections <= 0)
        return nullptr;
    return &s.sets[s.first_lap_sections + (section - s.first_lap_sections) % s.normal_lap_sections];
}

const racing_line* racing_line_find(const line_set* set, int32_t id)
{
    if (!set || id == 0)
        return nullptr;
    for (const racing_line& l : set->lines)
        if (l.id == id && l.points && l.point_count > 0)
            return &l;
    return nullptr;
}

const line_point* racing_line_point_ahead(const racing_line* line, double x, double z, int ahead)
{
    if (!line || !line->points || line->point_count <= 0)
        return nullptr;
    int best = 0;
    double best_d = 0.0;
    for (int i = 0; i < line->point_count; i++) {
        double dx = line->points[i].x - x, dz = line->points[i].z - z;
        double d = dx * dx + dz * dz;
        if (i == 0 || d < best_d) {
            best = i;
            best_d = d;
        }
    }
    return &line->points[std::min(best + std::max(ahead, 0), line->point_count - 1)];
}

// Writing the lines cache belongs to the line learner, not built yet:
// there is nothing to write.
void lines_write(int skill)
{
    (void)skill;
}

// The gate passage and the line recorder belong to the line learner, not
// built yet: no gate is passed.
void line_recorder_tic(rider* r)
{
    (void)r;
}
