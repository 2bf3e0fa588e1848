#include "ui/keycam.h"

#include <cmath>
#include <cstdio>
#include <cstring>

#include "core/vfs.h"

growable_array keyframe_list;
int32_t keycam_mode;

namespace {

int keycam_path(const char* name, char* out, int size)
{
    if (!name || !name[0]) return 0;
    int n = snprintf(out, size_t(size), "@keycam/%s", name);
    return n > 0 && n < size;
}

}  // namespace

void keyframe_list_init()
{
    if (!keyframe_list.element_size) array_init(&keyframe_list, sizeof(camera_keyframe));
}

void keyframe_list_free()
{
    array_free(&keyframe_list);
}

void keyframe_add(const aimed_camera* camera, float fov, int32_t tic)
{
    keyframe_list_init();
    camera_keyframe k;
    k.position[0] = camera->x;
    k.position[1] = camera->y;
    k.position[2] = camera->z;
    camera_quaternion(camera->yaw, camera->pitch, k.q);
    k.fov = fov;
    k.tic = tic;
    if (!array_push(&keyframe_list, &k)) return;
    camera_keyframe* items = array_items<camera_keyframe>(&keyframe_list);
    int32_t at = keyframe_list.count - 1;
    while (at > 0 && items[at - 1].tic > tic) {
        items[at] = items[at - 1];
        at--;
    }
    items[at] = k;
}

void keyframe_remove(int32_t index)
{
    if (index < 0 || index >= keyframe_list.count) return;
    camera_keyframe* items = array_items<camera_keyframe>(&keyframe_list);
    memmove(items + index, items + index + 1, sizeof(camera_keyframe) * size_t(keyframe_list.count - index - 1));
    keyframe_list.count--;
}

void keyframe_delete(int32_t tic)
{
    if (keyframe_list.count < 2) {
        keyframe_list.count = 0;
        return;
    }
    const camera_keyframe* items = array_items<camera_keyframe>(&keyframe_list);
    int32_t chosen = keyframe_list.count - 1;
    for (int32_t i = 0; i < keyframe_list.count; i++)
        if (items[i].tic > tic) {
            chosen = i;
            break;
        }
    if (chosen > 0 && items[chosen - 1].tic >= items[chosen].tic) chosen--;
    keyframe_remove(chosen);
}

int keyframes_read(const char* name)
{
    char path[1100];
    if (!keycam_path(name, path, sizeof path)) return 0;
    vfs_stream* in = vfs_open(path, "r");
    if (!in) return 0;
    keyframe_list_init();
    keyframe_list.count = 0;
    char line[1024];
    int whole = 1;
    while (vfs_gets(in, line, sizeof line)) {
        camera_keyframe k;
        if (sscanf(line, "%f %f %f %f %f %f %f %f %d", &k.position[0], &k.position[1], &k.position[2],
                   &k.q[0], &k.q[1], &k.q[2], &k.q[3], &k.fov, &k.tic) != 9) {
            whole = 0;
            break;
        }
        if (!array_push(&keyframe_list, &k)) {
            whole = 0;
            break;
        }
    }
    vfs_close(in);
    return whole;
}

int keyframes_write(const char* name)
{
    char path[1100];
    if (!keycam_path(name, path, sizeof path)) return 0;
    vfs_stream* out = vfs_open(path, "w");
    if (!out) return 0;
    int ok = 1;
    const camera_keyframe* items = array_items<camera_keyframe>(&keyframe_list);
    for (int32_t i = 0; i < keyframe_list.count && ok; i++) {
        const camera_keyframe& k = items[i];
        ok = vfs_printf(out, "%.4f %.4f %.4f %.4f %.4f %.4f %.4f %.2f %d\n", double(k.position[0]),
                        double(k.position[1]), double(k.position[2]), double(k.q[0]), double(k.q[1]),
                        double(k.q[2]), double(k.q[3]), double(k.fov), k.tic) > 0;
    }
    ok = vfs_flush(out) == 0 && ok;
    vfs_close(out);
    return ok;
}
