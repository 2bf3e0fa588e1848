#include "game/lighting.h"

#include <cmath>
#include <cstdio>
#include <cstring>

#include "core/alloc.h"
#include "core/util.h"
#include "core/vfs.h"
#include "gfx/texture.h"
#include "gfx/ztgl.h"
#include "ui/console.h"
#include "ui/loading.h"

// The defaults hold from the start: the views draw with these planes
// before any track is loaded.
lighting_record lighting = {
    {0.57735026f, 0.57735026f, 0.57735026f}, {1, 1, 1}, {0.5f, 0.5f, 0.5f}, {0.2f, 0.2f, 0.2f}, {}, {1, 1, 1}, 0, 0,
    0.25f, 5000};
growable_array lens_flares;
int (*lighting_texture_loader)(const char* name) = texture_load;

namespace {

const char* const sky_default_names[sky_face_count] = {"@sky-n.ppm", "@sky-e.ppm", "@sky-s.ppm",
                                                       "@sky-w.ppm", "@sky-u.ppm", "@sky-env.ppm"};
const char* const sky_keys[sky_face_count] = {"sky_n", "sky_e", "sky_s", "sky_w", "sky_u", "sky_env"};

constexpr float near_min = 0.0009765625f, near_max = 0.875f, far_max = 1048576.0f;

lens_flare pending;

void start_pending()
{
    memset(&pending, 0, sizeof pending);
    pending.kind = 1;
    for (auto& e : pending.elements) {
        e.color[0] = e.color[1] = e.color[2] = 1;
        e.scale = 1;
    }
}

bool all_finite(const float* v, int n)
{
    for (int i = 0; i < n; i++)
        if (!std::isfinite(v[i])) return false;
    return true;
}

// " [ x y z ] " into out when all three scan and are finite.
bool scan_vector(const char* value, float out[3])
{
    float v[3];
    if (sscanf(value, " [ %f %f %f ]", &v[0], &v[1], &v[2]) != 3 || !all_finite(v, 3)) return false;
    memcpy(out, v, sizeof v);
    return true;
}

void set_default_sun()
{
    float s = float(1 / std::sqrt(3.0));
    lighting.sun_vector[0] = lighting.sun_vector[1] = lighting.sun_vector[2] = s;
}

// One line: 1 to go on, 0 at an unknown key.
int lighting_line(char* line)
{
    char* key = line;
    while (*key == ' ' || *key == '\t') key++;
    char* end = key;
    while (*end && *end != ' ' && *end != '\t' && *end != '\n' && *end != '\r') end++;
    char* value = end;
    while (*value == ' ' || *value == '\t') value++;
    *end = 0;
    trim_trailing_blanks(value);
    size_t n = strlen(value);
    while (n > 0 && (value[n - 1] == '\n' || value[n - 1] == '\r' || value[n - 1] == ' ' || value[n - 1] == '\t'))
        value[--n] = 0;
    if (!*key) return 1;

    if (!strcmp(key, "sun_vector")) {
        scan_vector(value, lighting.sun_vector);
    } else if (!strcmp(key, "sun_color")) {
        scan_vector(value, lighting.sun_color);
    } else if (!strcmp(key, "ambient")) {
        scan_vector(value, lighting.ambient);
    } else if (!strcmp(key, "global_ambient")) {
        scan_vector(value, lighting.global_ambient);
    } else if (!strcmp(key, "fog")) {
        float v[4];
        if (sscanf(value, " [ %f %f %f ] %f", &v[0], &v[1], &v[2], &v[3]) == 4 && all_finite(v, 4)) {
            memcpy(lighting.fog_color, v, sizeof lighting.fog_color);
            lighting.fog_density = v[3];
        }
    } else if (!strcmp(key, "dynamic_lighting")) {
        int v = 0;
        lighting.dynamic_lighting = sscanf(value, "%d", &v) == 1 && v > 0;
    } else if (!strcmp(key, "near_plane") || !strcmp(key, "far_plane")) {
        float v;
        if (sscanf(value, "%f", &v) == 1 && std::isfinite(v))
            (key[0] == 'n' ? lighting.near_plane : lighting.far_plane) = v;
    } else if (!strcmp(key, "flare_element")) {
        float v[6];
        char texture[1024];
        if (sscanf(value, " [ %f %f ] [ %f %f %f ] %f %1023s", &v[0], &v[1], &v[2], &v[3], &v[4], &v[5], texture) ==
                7 &&
            all_finite(v, 6) && pending.element_count < flare_element_max)
        {
            flare_element& e = pending.elements[pending.element_count++];
            e.placement[0] = v[0], e.placement[1] = v[1];
            e.color[0] = v[2], e.color[1] = v[3], e.color[2] = v[4];
            e.scale = v[5];
            e.texture = lighting_texture_loader(texture);
        }
    } else if (!strcmp(key, "flare_point") || !strcmp(key, "flare_vector")) {
        scan_vector(value, pending.where);
        pending.kind = !strcmp(key, "flare_vector");
        if (!lens_flares.element_size) array_init(&lens_flares, sizeof(lens_flare));
        array_push(&lens_flares, &pending);
        start_pending();
    } else {
        for (int f = 0; f < sky_face_count; f++)
            if (!strcmp(key, sky_keys[f])) {
                lighting.sky_textures[f] = lighting_texture_loader(value);
                return 1;
            }
        console_printf("Error reading lighting: Unknown identifier '%.950s'\n", key);
        return 0;
    }
    return 1;
}

} // namespace

void lighting_defaults()
{
    set_default_sun();
    for (int i = 0; i < 3; i++) {
        lighting.sun_color[i] = 1;
        lighting.ambient[i] = 0.5f;
        lighting.global_ambient[i] = 0.2f;
    }
    memset(lighting.sky_textures, 0, sizeof lighting.sky_textures);
    // The fog colour stays until a "fog" line sets it; density 0 hides it.
    lighting.fog_density = 0;
    lighting.dynamic_lighting = 0;
    lighting.near_plane = 0.25f;
    lighting.far_plane = 5000;
    if (!lens_flares.element_size) array_init(&lens_flares, sizeof(lens_flare));
    lens_flares.count = 0;
    start_pending();
}

int lighting_parse(const char* text, const char* source)
{
    (void)source;
    int whole = 1;
    while (*text) {
        size_t length = strcspn(text, "\n");
        char line[1025];
        // Lines hold at most 1024 bytes; the rest of a longer one is dropped
        // rather than read as a line of its own.
        size_t take = length < sizeof line - 1 ? length : sizeof line - 1;
        memcpy(line, text, take);
        line[take] = 0;
        text += length;
        if (*text == '\n') text++;
        show_progress("Loading lighting");
        if (!lighting_line(line)) {
            whole = 0;
            break;
        }
    }
    return whole;
}

void lighting_finish()
{
    float& n = lighting.near_plane;
    n = n < near_min ? near_min : n > near_max ? near_max : n;
    // A far plane too close to the near one leaves no depth to draw in.
    float& f = lighting.far_plane;
    f = f < 2 * n ? 2 * n : f > far_max ? far_max : f;
    float* s = lighting.sun_vector;
    double length = std::sqrt(double(s[0]) * s[0] + double(s[1]) * s[1] + double(s[2]) * s[2]);
    if (length > 0 && std::isfinite(length))
        for (int i = 0; i < 3; i++) s[i] = float(s[i] / length);
    else
        set_default_sun();
}

void lighting_load_sky()
{
    for (int f = 0; f < sky_face_count; f++)
        if (!lighting.sky_textures[f]) {
            show_progress("Loading sky");
            lighting.sky_textures[f] = lighting_texture_loader(sky_default_names[f]);
        }
}

void lighting_apply_fog()
{
    // Without built programs (before the window, in tools) there is nothing
    // to set.
    if (!ztgl_state.program[ZTGL_UNLIT]) return;
    static const int slots[] = {ZTGL_NORM_SPEC_LIT, ZTGL_TERRAIN, ZTGL_UNLIT};
    for (int slot : slots) {
        ztgl_use_program(slot);
        ztgl_set_fog_density(lighting.fog_density);
        ztgl_set_fog_color(lighting.fog_color);
    }
}

int lighting_load(const char* path)
{
    lighting_defaults();
    char* text = file_to_string(path);
    if (text) {
        show_status_logged("Loading lighting");
        lighting_parse(text, path);
        alloc_check_free(text);
    }
    lighting_finish();
    // A track without its own light still gets the default sky and no fog,
    // never what the previous track left in the programs.
    lighting_load_sky();
    if (text) show_done("Loading lighting");
    lighting_apply_fog();
    return text != nullptr;
}

void lighting_free()
{
    array_free(&lens_flares);
    lens_flares = growable_array{};
}
