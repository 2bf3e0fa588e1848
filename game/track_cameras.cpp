#include "game/track_cameras.h"

#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <cstring>

#include "core/util.h"
#include "core/vfs.h"
#include "game/track_file_text.h"
#include "game/track_objects.h"
#include "terrain/heightfield.h"
#include "terrain/terrain.h"

growable_array track_cameras;
int32_t gate_camera[gate_camera_count];

namespace {

track_camera fresh_camera() { return {0, 0, 0, 0, 0, 0, 0, 90.0f, 0}; }

// A view narrower than a degree or as wide as a half-turn makes a
// degenerate projection.
float clamp_fov(float degrees)
{
    degrees = fabsf(degrees);
    return degrees < 1 ? 1 : (degrees > 179 ? 179 : degrees);
}

// The rest of a line after its word, when the line begins with the word and
// white space or its end.
const char* after_word(const char* line, const char* word)
{
    if (!keyword_match(line, word)) return nullptr;
    const char* p = line + strspn(line, " \t");
    return p + strlen(word);
}

// Up to n finite numbers from text; the count read.
int read_floats(const char* text, float* out, int n)
{
    int k = 0;
    while (k < n) {
        char* end;
        errno = 0;
        float v = strtof(text, &end);
        if (end == text || !std::isfinite(v)) break;
        out[k++] = v;
        text = end;
    }
    return k;
}

// "gate" numbers: each whole decimal token 0..1023 maps that checkpoint to
// the camera the next "addcamera" appends; anything else ends the line.
void map_gates(const char* text, int32_t camera)
{
    for (;;) {
        text += strspn(text, " \t\r\n");
        if (!*text) return;
        char* end;
        errno = 0;
        long n = strtol(text, &end, 10);
        if (end == text || (*end && !strchr(" \t\r\n", *end)) || errno || n < 0 || n >= gate_camera_count) return;
        gate_camera[n] = camera;
        text = end;
    }
}

} // namespace

void track_cameras_free() { array_free(&track_cameras); }

void track_cameras_load(const char* path)
{
    if (!track_cameras.element_size) array_init(&track_cameras, sizeof(track_camera));
    track_cameras.count = 0;
    for (int32_t& c : gate_camera) c = -1;
    vfs_stream* f = vfs_open(path, "r");
    if (f) {
        track_camera pending = fresh_camera();
        char line[1024];
        int bad_lines = 0;
        while (vfs_gets(f, line, sizeof line)) {
            const char* rest;
            float v[3];
            if ((rest = after_word(line, "addcamera"))) {
                if (read_floats(rest, v, 3) < 3) {
                    bad_lines++;
                    continue;
                }
                pending.x = v[0], pending.z = v[2];
                pending.y = v[1] + terrain_height_at(&track_terrain, v[0], v[2]);
                if (!array_push(&track_cameras, &pending)) break;
                pending = fresh_camera();
            } else if ((rest = after_word(line, "fov"))) {
                if (read_floats(rest, v, 1) == 1) pending.fov = clamp_fov(v[0]);
                else bad_lines++;
            } else if ((rest = after_word(line, "autofovsize"))) {
                if (read_floats(rest, v, 1) == 1) pending.autofov_size = fabsf(v[0]);
                else bad_lines++;
            } else if ((rest = after_word(line, "gate"))) {
                map_gates(rest, track_cameras.count);
            }
        }
        vfs_close(f);
        if (bad_lines) track_objects_console("%.900s: %d camera lines without usable numbers skipped", path, bad_lines);
    }
    // "gate" lines after the last camera name a camera that never came.
    for (int32_t& c : gate_camera)
        if (c >= track_cameras.count) c = -1;
    if (track_object_hooks.verbose) track_objects_console("%d cameras found\n", track_cameras.count);
}
