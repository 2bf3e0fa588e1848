#include "game/flaggers.h"

#include "core/game_state.h"
#include "core/vfs.h"
#include "game/track_file_text.h"
#include "game/track_objects.h"

growable_array flaggers;
start_flagger_record start_flagger;
lap_board_record lap_board;

namespace {

// The texture of a flagger's frame; the name may carry a billboard's colour.
int frame_texture(const char* name)
{
    uint8_t colour[4];
    return track_object_hooks.texture_load(split_colour_prefix(name, colour));
}

// Reads count names into textures; the first also creates the billboard at p.
// The number of names read.
int read_frames(vfs_stream* f, int count, int32_t* textures, int32_t* billboard, const float p[3], float size,
                float aspect)
{
    char name[1024];
    for (int k = 0; k < count; k++) {
        if (vfs_scanf(f, " %1023s", name) != 1) return k;
        textures[k] = frame_texture(name);
        if (k == 0) *billboard = create_billboard(p[0], p[1], p[2], size, aspect, name);
    }
    return count;
}

int32_t clamp_checkpoint(int32_t c)
{
    int32_t last = timing_gates.checkpoint_count - 1;
    if (c > last) c = last;
    return c < -1 ? -1 : c;
}

} // namespace

void flaggers_free() { array_free(&flaggers); }

void flaggers_load(const char* path)
{
    start_flagger = {-1, {0, 0, 0, 0, 0}, {0, 0, 0}, {0, 0, 0}, 1.0f};
    lap_board = {-1, {0, 0, 0, 0}};
    if (!flaggers.element_size) array_init(&flaggers, sizeof(flagger));
    flaggers.count = 0;
    vfs_stream* f = vfs_open(path, "r");
    if (!f) return;
    // One stream of values: the start flagger, the lap board, then any
    // number of track flaggers; the first value that does not scan ends it.
    int32_t parts = 0;
    int n;
    float v[9];
    n = vfs_scanf(f, " [ %f %f %f ] [ %f %f %f ] %f %f %f", &v[0], &v[1], &v[2], &v[3], &v[4], &v[5], &v[6], &v[7],
                  &v[8]);
    if (n == 9 && track_values_finite(v, 9)) {
        start_flagger.start[0] = v[0], start_flagger.start[1] = v[1], start_flagger.start[2] = v[2];
        start_flagger.end[0] = v[3], start_flagger.end[1] = v[4], start_flagger.end[2] = v[5];
        start_flagger.walk_time = v[8];
        n = read_frames(f, 5, start_flagger.textures, &start_flagger.billboard, v, v[6], v[7]) == 5 ? 0 : 1;
        parts++;
        if (n == 0) {
            n = vfs_scanf(f, " [ %f %f %f ] %f %f", &v[0], &v[1], &v[2], &v[3], &v[4]);
            if (n == 5 && track_values_finite(v, 5)) {
                n = read_frames(f, 4, lap_board.textures, &lap_board.billboard, v, v[3], v[4]) == 4 ? 0 : 1;
                parts++;
            }
        }
        while (n == 0) {
            int32_t c[4];
            n = vfs_scanf(f, " [ %f %f %f ] %f %f %d %d %d %d", &v[0], &v[1], &v[2], &v[3], &v[4], &c[0], &c[1], &c[2],
                          &c[3]);
            if (n != 9 || !track_values_finite(v, 5)) break;
            flagger fl = {-1, 0, 0, {clamp_checkpoint(c[0]), clamp_checkpoint(c[1]), clamp_checkpoint(c[2]),
                                     clamp_checkpoint(c[3])}};
            char name[1024];
            if (vfs_scanf(f, " %1023s", name) != 1) {
                n = 1;
                break;
            }
            fl.calm_texture = frame_texture(name);
            fl.billboard = create_billboard(v[0], v[1], v[2], v[3], v[4], name);
            if (vfs_scanf(f, " %1023s", name) != 1) {
                n = 1;
                break;
            }
            fl.warning_texture = frame_texture(name);
            if (!array_push(&flaggers, &fl)) break;
            n = 0;
            parts++;
        }
    }
    // Ending at the end of the file is normal; ending anywhere else loses
    // the rest of the file, which is worth one line.
    if (n > 0 || track_file_has_more(f)) track_file_stopped(path, parts);
    vfs_close(f);
}
