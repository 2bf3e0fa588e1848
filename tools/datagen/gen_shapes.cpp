// The generic collision sphere sets every bike row names. Centres are in
// the body's own frame (feet, y up, z backward) around the body's rest
// centre on a full-size bike; each sphere carries a friction scale, a
// stiffness scale and flags (1: touching the ground or an object with this
// sphere crashes the rider), as docs/shp.md describes.
#include <cstdio>
#include <string>
#include <vector>

#include "tools/datagen/datagen.h"

namespace {

struct sphere {
    float x, y, z, radius, friction, stiffness, flags;
};

struct shape_file {
    const char* name;
    std::vector<sphere> spheres;
};

const float crash = 1;

const shape_file shapes[] = {
    {"generic_frame.shp",
     {{0, 0.55f, -1.65f, 0.35f, 1, 1, 0},     // steering head
      {0, 0.55f, -0.8f, 0.5f, 1, 1, 0},       // tank
      {0, 0.55f, 0.3f, 0.5f, 1, 1, 0},        // seat
      {0, 0.75f, 1.6f, 0.4f, 1, 1, 0},        // rear fender
      {0, -0.55f, -0.3f, 0.55f, 0.6f, 1, 0},  // engine cases
      {0, -0.6f, 0.4f, 0.45f, 0.6f, 1, 0}}},  // footpegs and lower frame
    {"generic_fork_upper.shp",
     {{-1.2f, 0.7f, 0.24f, 0.25f, 1, 1, 0},   // bar ends
      {1.2f, 0.7f, 0.24f, 0.25f, 1, 1, 0}}},
    {"generic_fork_lower.shp",
     {{0, 0.83f, -0.27f, 0.35f, 1, 1, 0},     // front fender
      {0, 0.3f, -0.1f, 0.3f, 1, 1, 0}}},      // fork legs
    {"generic_swingarm.shp",
     {{0, 0.1f, -0.8f, 0.3f, 0.6f, 1, 0},
      {0, 0, 0, 0.25f, 0.6f, 1, 0},
      {0, -0.1f, 0.7f, 0.25f, 0.6f, 1, 0}}},
    {"front_wheel.shp", {{0, 0, 0, 1.14f, 1, 1, 0}}},
    {"rear_wheel.shp", {{0, 0, 0, 1.12f, 1, 1, 0}}},
    {"generic_rider.shp",
     {{0, 1.6f, -0.1f, 0.45f, 1, 1, crash},   // head
      {0, 0.9f, 0, 0.6f, 1, 1, crash},        // chest
      {0, 0.2f, 0.1f, 0.6f, 1, 1, crash},     // belly
      {0, -0.5f, 0.25f, 0.5f, 1, 1, 0},       // hips
      {-0.55f, -0.9f, -0.6f, 0.3f, 1, 1, 0},  // knees
      {0.55f, -0.9f, -0.6f, 0.3f, 1, 1, 0}}},
};

int write_shapes(const std::string& root)
{
    for (const auto& shape : shapes) {
        std::string text = std::to_string(shape.spheres.size()) + "\n";
        for (const sphere& s : shape.spheres) {
            char line[160];
            snprintf(line, sizeof line, "%f %f %f %f %f %f %f\n", s.x, s.y, s.z, s.radius, s.friction, s.stiffness,
                     s.flags);
            text += line;
        }
        if (!datagen_write_text(root, shape.name, text)) return 0;
    }
    return 1;
}

} // namespace

DATAGEN_STEP("50_shapes", write_shapes);
