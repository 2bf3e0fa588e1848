#include "ai/autopilot.h"

#include <cstring>

#include "ai/racing_lines.h"
#include "platform/vesk_log.h"

const autopilot_personality_row autopilot_personalities[autopilot_personality_count] = {
    {"empty", 0, 0, 0.0f, 0.0f, 0.0f},    {"pell", 0, 0, 1.0f, 0.2f, 0.4f},
    {"corwen", 2, 1, 10.0f, 0.2f, 0.4f},  {"dorn", 1, 0, 10.0f, 0.0f, 0.1f},
    {"tester", 3, 3, 1.0f, 0.2f, 0.4f},
};

int32_t rider_set_autopilot_personality(rider* r, const char* name)
{
    int32_t row = 0;
    for (int32_t i = 1; i < autopilot_personality_count && !row; i++)
        if (name && !strcmp(name, autopilot_personalities[i].name)) row = i;
    if (!row) {
        vesk_log("auto pilot personality '%s' not found\n", name ? name : "");
        row = 1;
    }
    r->autopilot_personality = row;
    return row;
}

double path_progress(const rider* r)
{
    const line_point* path = static_cast<const line_point*>(r->line_path.items);
    int32_t count = r->line_path.count;
    int32_t target = r->path_target < count ? r->path_target : count;
    if (target <= 0 || !path || !r->frame_body) return target > 0 ? target : 0;
    const dReal* p = dBodyGetPosition(r->frame_body);
    const dReal* m = dBodyGetRotation(r->frame_body);
    // The body's z axis points backward: a positive offset is behind.
    double axis[3] = {m[2], m[6], m[10]};
    auto behind = [&](int32_t k) {
        return (path[k].x - p[0]) * axis[0] + (path[k].y - p[1]) * axis[1] + (path[k].z - p[2]) * axis[2];
    };
    for (int32_t k = target - 1; k >= 0; k--) {
        double b = behind(k);
        if (b <= 0.0) continue;
        int32_t i = k + 1;
        if (i >= count) return count - 1;
        double a = -behind(i);
        double f = b + a > 0.0 ? b / (b + a) : 0.0;
        return i + (f < 0.0 ? 0.0 : f > 1.0 ? 1.0 : f);
    }
    return 0.0;
}

// Following the lines is not built yet: a computer rider keeps the controls
// it has.
void autopilot_tic(rider* r) { (void)r; }
