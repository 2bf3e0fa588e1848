// Statues: creation with their texture maps and collision shape, the frame
// that stands them on the ground, the grid that finds them near a point, and
// the "statues" file with its saver.
#include <cmath>
#include <cstring>

#include "core/alloc.h"
#include "core/game_state.h"
#include "core/util.h"
#include "core/vfs.h"
#include "game/track_file_text.h"
#include "game/track_objects.h"
#include "physics/collision_shape.h"
#include "physics/physics_tic.h"
#include "physics/rider.h"
#include "physics/rider_collide.h"
#include "terrain/heightfield.h"
#include "terrain/terrain.h"

namespace {

float finite_or_zero(float v) { return std::isfinite(v) ? v : 0.0f; }

void normalise(float v[3])
{
    float length = sqrtf(v[0] * v[0] + v[1] * v[1] + v[2] * v[2]);
    if (length > 0) v[0] /= length, v[1] /= length, v[2] /= length;
}

// The first of the three images (".seq", ".png", ".ppm" after the stem
// "kind") that exists in place of name's tail from the last of its
// separator; 0 when there is none.
int lookup_map(const char* name, char separator, const char* kind, const char* ending)
{
    const char* tail = strrchr(name, separator);
    if (!tail) return 0;
    static const char* const types[3] = {".seq", ".png", ".ppm"};
    for (const char* type : types) {
        char suffix[64];
        snprintf(suffix, sizeof suffix, "%s%s%s", kind, ending, type);
        if (int id = track_object_hooks.replace_suffix_lookup(name, tail, suffix)) return id;
    }
    return 0;
}

// A statue's normal or specular map (kind "_norm" or "_spec"): named after
// the texture ("x-repeat.png" -> "x_norm-repeat.seq", "x.png" -> "x_norm.seq",
// ...), else after the model.
int find_map(const char* texture, const char* model, const char* kind)
{
    int id = 0;
    if (ends_with(texture, "-repeat.png") || ends_with(texture, "-repeat.ppm") || ends_with(texture, "-repeat.seq"))
        id = lookup_map(texture, '-', kind, "-repeat");
    else
        id = lookup_map(texture, '.', kind, "");
    if (!id) id = lookup_map(model, '.', kind, "");
    return id;
}

// A name as stored: null for none (a null pointer or the file's "null").
int copy_optional(const char* name, char** out)
{
    *out = nullptr;
    if (!name) return 1;
    *out = track_name_copy(name);
    return *out != nullptr;
}

} // namespace

void place_statue_on_ground(statue* s)
{
    s->y = terrain_height_at(&track_terrain, s->x, s->z) + s->relative_height;
    float* m = s->orientation;
    if (s->angle >= statue_upright_angle) {
        const float identity[9] = {1, 0, 0, 0, 1, 0, 0, 0, 1};
        memcpy(m, identity, sizeof identity);
        return;
    }
    float n[3] = {0, 1, 0};
    if (s->angle > -2.0f * float(M_PI)) {
        float a = terrain_height_at(&track_terrain, s->x, s->z);
        float b = terrain_height_at(&track_terrain, s->x + 1, s->z);
        float c = terrain_height_at(&track_terrain, s->x, s->z + 1);
        n[0] = a - b, n[1] = 1, n[2] = a - c;
        normalise(n);
    }
    // The heading (sin, cos) laid into the ground plane.
    float sa = sinf(s->angle), ca = cosf(s->angle);
    float f[3] = {sa * n[1], -sa * n[0] - ca * n[2], ca * n[1]};
    normalise(f);
    float r[3] = {n[1] * f[2] - n[2] * f[1], n[2] * f[0] - n[0] * f[2], n[0] * f[1] - n[1] * f[0]};
    for (int i = 0; i < 3; i++) {
        m[3 * i + 0] = r[i];
        m[3 * i + 1] = n[i];
        m[3 * i + 2] = f[i];
    }
}

int32_t create_statue(float x, float y, float z, float angle, const char* model, const char* texture,
                      const char* shape, int32_t origin)
{
    track_objects_init();
    statue s = {};
    s.x = finite_or_zero(x);
    s.z = finite_or_zero(z);
    s.relative_height = finite_or_zero(y);
    s.angle = finite_or_zero(angle);
    s.origin = origin;
    s.facing_distance = s.angle >= statue_upright_angle ? exp2f(s.angle) : 0.0f;
    if (!copy_optional(model, &s.model_name) || !copy_optional(texture, &s.texture_name) ||
        !copy_optional(shape, &s.shape_name)) {
        alloc_check_free(s.model_name);
        alloc_check_free(s.texture_name);
        track_objects_console("Out of memory for statue %.900s", model ? model : "null");
        return -1;
    }
    if (model) s.model = track_object_hooks.model_load(model);
    if (s.model && texture) {
        s.texture = track_object_hooks.texture_load(texture);
        s.normal_map = find_map(texture, model, "_norm");
        s.specular_map = find_map(texture, model, "_spec");
    }
    if (shape) {
        s.shape = track_object_hooks.shape_instance(shape);
        if (!s.shape) track_objects_console("Warning: missing shape file %.900s", shape);
    }
    place_statue_on_ground(&s);
    if (!array_push(&track_objects.statues, &s)) {
        // Out of memory: the caller gets no index rather than another statue's.
        alloc_check_free(s.shape);
        alloc_check_free(s.model_name);
        alloc_check_free(s.texture_name);
        alloc_check_free(s.shape_name);
        track_objects_console("Out of memory for statue %.900s", model ? model : "null");
        return -1;
    }
    return track_objects.statues.count - 1;
}

int32_t statue_grid_cell(float v, float terrain_size)
{
    if (!(terrain_size > 0)) return 0;
    // The middle three quarters of the terrain over 8 cells; the rest falls
    // into the border cells.
    float c = floorf((v / terrain_size - 0.125f) * 4.0f / 3.0f * float(statue_grid_side));
    if (!(c >= 0)) return 0;  // NaN too
    if (c > float(statue_grid_side - 1)) return statue_grid_side - 1;
    return int32_t(c);
}

void rebuild_statue_grid()
{
    track_objects_init();
    for (growable_array& cell : track_objects.statue_grid) cell.count = 0;
    float size = track_terrain.extent;
    for (int32_t i = 0; i < track_objects.statues.count; i++) {
        const statue* s = statue_at(i);
        if (!s->shape) continue;
        float r = collision_shape_radius(s->shape);
        int32_t x0 = statue_grid_cell(s->x - r, size), x1 = statue_grid_cell(s->x + r, size);
        int32_t z0 = statue_grid_cell(s->z - r, size), z1 = statue_grid_cell(s->z + r, size);
        for (int32_t cz = z0; cz <= z1; cz++)
            for (int32_t cx = x0; cx <= x1; cx++)
                array_push(&track_objects.statue_grid[cz * statue_grid_side + cx], &i);  // a full cell skips
    }
}

namespace {
// The two lists the merge of several cells alternates between; they grow
// with the largest neighbourhood seen and are never shrunk.
growable_array near_lists[2];

bool room(growable_array* list, int32_t n)
{
    if (!list->element_size) array_init(list, sizeof(int32_t));
    while (list->count < n)
        if (!array_push(list, nullptr)) return false;
    return true;
}
}  // namespace

int32_t merge_ascending_unique(const int32_t* a, int32_t na, const int32_t* b, int32_t nb, int32_t* out)
{
    int32_t i = 0, j = 0, n = 0;
    while (i < na || j < nb) {
        int32_t v = j >= nb || (i < na && a[i] <= b[j]) ? a[i] : b[j];
        if (i < na && a[i] == v) i++;
        if (j < nb && b[j] == v) j++;
        if (n == 0 || out[n - 1] != v) out[n++] = v;
    }
    return n;
}

int32_t statues_near(float x, float z, const int32_t** list)
{
    constexpr float reach = 6;
    float size = track_terrain.extent;
    int32_t x0 = statue_grid_cell(x - reach, size), x1 = statue_grid_cell(x + reach, size);
    int32_t z0 = statue_grid_cell(z - reach, size), z1 = statue_grid_cell(z + reach, size);
    static const int32_t none = 0;
    *list = &none;
    // One cell's list is already ascending and unique.
    if (x0 == x1 && z0 == z1) {
        growable_array& cell = track_objects.statue_grid[z0 * statue_grid_side + x0];
        if (cell.count > 0) *list = array_items<int32_t>(&cell);
        return cell.count;
    }
    int32_t total = 0;
    for (int32_t cz = z0; cz <= z1; cz++)
        for (int32_t cx = x0; cx <= x1; cx++) total += track_objects.statue_grid[cz * statue_grid_side + cx].count;
    if (total == 0 || !room(&near_lists[0], total) || !room(&near_lists[1], total)) return 0;
    int32_t n = 0, from = 0;
    for (int32_t cz = z0; cz <= z1; cz++)
        for (int32_t cx = x0; cx <= x1; cx++) {
            growable_array& cell = track_objects.statue_grid[cz * statue_grid_side + cx];
            if (cell.count <= 0) continue;
            n = merge_ascending_unique(array_items<int32_t>(&near_lists[from]), n, array_items<int32_t>(&cell),
                                       cell.count, array_items<int32_t>(&near_lists[1 - from]));
            from = 1 - from;
        }
    *list = array_items<int32_t>(&near_lists[from]);
    return n;
}

void rider_statue_collide(const ride_world& w, rider* r, bool with_start_gates)
{
    if (!r) return;
    bike_tyre_forces(w, r);
    if (!r->frame_body) return;
    const dReal* p = dBodyGetPosition(r->frame_body);
    const int32_t* near;
    int32_t n = statues_near(float(p[0]), float(p[2]), &near);
    static const double identity[9] = {1, 0, 0, 0, 1, 0, 0, 0, 1};
    for (int32_t k = 0; k < n; k++) {
        if (near[k] < 0 || near[k] >= track_objects.statues.count) continue;
        // The reset makes the start gates before the track's own statues.
        if (!with_start_gates && near[k] < track_objects.first_file_statue) continue;
        statue* s = statue_at(near[k]);
        if (!s->shape) continue;
        // A statue that turns to face the camera collides unturned.
        double position[3] = {s->x, s->y, s->z}, rotation[9];
        for (int i = 0; i < 9; i++) rotation[i] = s->facing_distance != 0 ? identity[i] : s->orientation[i];
        if (rider_collide_object(w, r, s->shape, position, rotation, 1.0)) s->last_touch_tic = tic_counter;
    }
}

void statue_release(statue* s)
{
    alloc_check_free(s->shape);
    s->shape = nullptr;
    for (void*& buffer : s->bone_buffers) {
        alloc_check_free(buffer);
        buffer = nullptr;
    }
    s->bone_count = 0;
}

int32_t statues_load(const char* path)
{
    vfs_stream* f = vfs_open(path, "r");
    if (!f) return 0;
    int32_t read = 0;
    static char names[3][1024];
    for (;;) {
        float v[4];
        int n = vfs_scanf(f, " [ %f %f %f ] %f %1023s %1023s %1023s", &v[0], &v[1], &v[2], &v[3], names[0], names[1],
                          names[2]);
        if (!track_record_read(f, path, n, 7, v, 4, read)) break;
        const char* given[3];
        for (int k = 0; k < 3; k++) given[k] = strcmp(names[k], "null") == 0 ? nullptr : names[k];
        create_statue(v[0], v[1], v[2], v[3], given[0], given[1], given[2]);
        read++;
    }
    vfs_close(f);
    return read;
}

int statues_save()
{
    vfs_stream* f = open_track_file_for_writing("statues");
    if (!f) return 0;
    for (int32_t i = track_objects.first_file_statue; i < track_objects.statues.count; i++) {
        const statue* s = statue_at(i);
        if (s->origin == origin_script) continue;
        vfs_printf(f, "[%f %f %f] %f %s %s %s\n", s->x, s->relative_height, s->z, s->angle,
                   s->model_name ? s->model_name : "null", s->texture_name ? s->texture_name : "null",
                   s->shape_name ? s->shape_name : "null");
    }
    return close_track_file_written(f, "statues");
}
