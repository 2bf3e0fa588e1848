#include "ai/line_planner.h"

#include <cmath>
#include <cstring>

// No plan is worked out yet: every line scores alike, so the auto pilot
// chooses by how well a line continues its path.
void plan_ahead(int32_t set_index, float scores[45], int32_t mode)
{
    (void)set_index;
    (void)mode;
    memset(scores, 0, sizeof(float) * 45);
}

int32_t line_plan_entry(int32_t set_index, int32_t mode)
{
    (void)set_index;
    (void)mode;
    return 0;
}

int circle_through_points(const float a[2], const float b[2], const float c[2], double centre[2], double* radius)
{
    double bx = b[0] - a[0], bz = b[1] - a[1], cx = c[0] - a[0], cz = c[1] - a[1];
    double d = 2.0 * (bx * cz - bz * cx);
    double scale = (bx * bx + bz * bz) * (cx * cx + cz * cz);
    // Relative to the spans, a tiny cross product is a straight run.
    if (std::fabs(d) * std::fabs(d) <= 1e-18 * scale || scale == 0.0) return 0;
    double b2 = bx * bx + bz * bz, c2 = cx * cx + cz * cz;
    double ux = (cz * b2 - bz * c2) / d, uz = (bx * c2 - cx * b2) / d;
    centre[0] = a[0] + ux;
    centre[1] = a[1] + uz;
    *radius = std::sqrt(ux * ux + uz * uz);
    return 1;
}
