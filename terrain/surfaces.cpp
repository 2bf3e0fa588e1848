#include "terrain/surfaces.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "core/alloc.h"
#include "core/array.h"
#include "core/util.h"
#include "gfx/image_pnm.h"
#include "terrain/terrain_services.h"

double roost_fade_scale = 1.0;

namespace {

// Everything one tile holds while a tileinfo text describes it.
struct tile_template {
    char name[terrain_tile_name_size];
    const char* texture;
    float friction_values[terrain_curve_points], friction_keys[terrain_curve_points];
    int32_t friction_count;
    int32_t slip_function;
    float roll_pairs[terrain_curve_points][2], roll_keys[terrain_curve_points];
    int32_t roll_count;
    roost_type roost[terrain_roost_types];
    int32_t roost_count;
    treadmark_type treadmark[terrain_treadmark_types];
    const char* treadmark_textures[terrain_treadmark_types];
    int32_t treadmark_count;
    float erosion[terrain_erosion_words];
};

constexpr float friction_key_default = 1048576.0f;
constexpr float friction_key_limit = 1048575.0f;
constexpr float roll_key_floor = 9.536743e-7f;

roost_type default_roost(uint32_t texture)
{
    roost_type r = {};
    r.texture = texture;
    r.count = 10.0f;
    r.dig = 1.0f;
    r.slip_threshold = 4.0f;
    r.slow_angle = 1.5707964f;
    r.fast_angle = 0.19634955f;
    r.slow_speed = 0.0f;
    r.fast_speed = 64.0f;
    r.size = 0.25f;
    r.grow = 4.0f;
    r.drag = 0.5f;
    r.vscale = 1.0f;
    r.randomize = 15.0f;
    r.r = r.g = r.b = r.a = 255;
    r.fade_a = -2;
    return r;
}

treadmark_type default_treadmark()
{
    treadmark_type m = {};
    m.size = 8.0f;
    m.aspect = 0.5f;
    m.spacing = 6.0f;
    m.front = -1;
    return m;
}

void default_erosion(float* e)
{
    static const float first[16] = {1.0f, 50.0f, 150.0f, 2.0f, 4.0f, 0.125f, 2.0f, -0.5f,
                                    0.5f, 10.0f, 15.0f, 0.0f, 5.0f, 1.0f, 1.5f, 0.0f};
    memset(e, 0, terrain_erosion_words * sizeof(float));
    memcpy(e, first, sizeof first);
    e[erode_limit_depth] = 0.0f;
    e[erode_limit_scale] = 1.0f;
    e[erode_limit_inner_scale] = 1.0f;
    e[erode_project_to_ground] = 1.0f;
    e[erode_lateral_scale] = 1.0f;
    e[erode_front_scale] = 1.0f;
}

void template_reset(tile_template* tt, uint32_t roost_texture)
{
    memset(tt, 0, sizeof *tt);
    for (int k = 0; k < terrain_curve_points; k++) {
        tt->friction_values[k] = 1.0f;
        tt->friction_keys[k] = k == 0 ? 1.0f : friction_key_default;
        tt->roll_pairs[k][0] = 5.0f;
        tt->roll_pairs[k][1] = 15.0f;
        tt->roll_keys[k] = k == 0 ? 1.0f : 0.0f;
    }
    for (roost_type& r : tt->roost) r = default_roost(roost_texture);
    for (treadmark_type& m : tt->treadmark) m = default_treadmark();
    default_erosion(tt->erosion);
    terrain_set_erode_limit_rows(tt->erosion, 0);
}

// Exchange sort by key; equal keys keep their order.
void sort_points(float* keys, int32_t count, int32_t width, float* values)
{
    for (int32_t i = 0; i < count; i++) {
        for (int32_t j = i + 1; j < count; j++) {
            if (!(keys[j] < keys[i])) continue;
            float k = keys[i];
            keys[i] = keys[j];
            keys[j] = k;
            for (int32_t w = 0; w < width; w++) {
                float v = values[i * width + w];
                values[i * width + w] = values[j * width + w];
                values[j * width + w] = v;
            }
        }
    }
}

void commit_tile(terrain* t, tile_template* tt, uint32_t roost_texture)
{
    int32_t n = t->tile_count;
    const char* name = tt->name[0] ? tt->name : (tt->texture ? tt->texture : "");
    copy_bounded(t->tile_names[n], name, terrain_tile_name_size);
    sort_points(tt->friction_keys, tt->friction_count, 1, tt->friction_values);
    sort_points(tt->roll_keys, tt->roll_count, 2, &tt->roll_pairs[0][0]);
    memcpy(t->friction_values[n], tt->friction_values, sizeof tt->friction_values);
    memcpy(t->friction_keys[n], tt->friction_keys, sizeof tt->friction_keys);
    memcpy(t->roll_pairs[n], tt->roll_pairs, sizeof tt->roll_pairs);
    memcpy(t->roll_keys[n], tt->roll_keys, sizeof tt->roll_keys);
    t->slip_function[n] = tt->slip_function;
    memcpy(t->roost_types[n], tt->roost, sizeof tt->roost);
    memcpy(t->treadmark_types[n], tt->treadmark, sizeof tt->treadmark);
    memcpy(t->treadmark_textures[n], tt->treadmark_textures, sizeof tt->treadmark_textures);
    if (terrain_erode_limit_rows(tt->erosion) == 0) {
        tt->erosion[erode_limit_depth] = 0.0f;
        tt->erosion[erode_limit_scale] = 1.0f;
        tt->erosion[erode_limit_inner_scale] = 1.0f;
        terrain_set_erode_limit_rows(tt->erosion, 1);
    }
    memcpy(t->erosion[n], tt->erosion, sizeof tt->erosion);
    t->tile_textures[n] = tt->texture;
    t->tile_count = n + 1;
    template_reset(tt, roost_texture);
}

// A float conversion truncated to an int without overflow.
int32_t truncate_to_int(double v)
{
    if (!(v == v)) return 0;
    if (v >= 2147483647.0) return 2147483647;
    if (v <= -2147483648.0) return -2147483647 - 1;
    return int32_t(v);
}

// Reads a decimal number; 0 when none scans (the value is then 0).
int read_number(const char* text, float* value)
{
    char* end = nullptr;
    *value = strtof(text, &end);
    if (end == text) {
        *value = 0.0f;
        return 0;
    }
    return 1;
}

// Splits a value into words (blanks, tabs, CR, LF between words; a double-
// quoted stretch belongs to the word without its quotes). Returns the next
// word in word (at most size - 1 characters) or 0 at the end.
int next_word(const char** cursor, char* word, int size)
{
    const char* p = *cursor;
    while (*p == ' ' || *p == '\t' || *p == '\r' || *p == '\n') p++;
    if (!*p) return 0;
    int n = 0;
    bool quoted = false;
    for (; *p; p++) {
        if (*p == '"') {
            quoted = !quoted;
            continue;
        }
        if (!quoted && (*p == ' ' || *p == '\t' || *p == '\r' || *p == '\n')) break;
        if (n < size - 1) word[n++] = *p;
    }
    word[n] = 0;
    *cursor = p;
    return 1;
}

struct number_field {
    const char* key;
    size_t offset;
};

#define ROOST_FIELD(name) {#name, offsetof(roost_type, name)}
const number_field roost_floats[] = {
    ROOST_FIELD(count), ROOST_FIELD(dig), ROOST_FIELD(slip_threshold), ROOST_FIELD(slow_angle),
    ROOST_FIELD(fast_angle), ROOST_FIELD(slow_speed), ROOST_FIELD(fast_speed), ROOST_FIELD(size),
    ROOST_FIELD(grow), ROOST_FIELD(drag), ROOST_FIELD(vscale), ROOST_FIELD(randomize),
};
const number_field roost_colours[] = {ROOST_FIELD(r), ROOST_FIELD(g), ROOST_FIELD(b), ROOST_FIELD(a)};
const number_field roost_fades[] = {ROOST_FIELD(fade_r), ROOST_FIELD(fade_g), ROOST_FIELD(fade_b), ROOST_FIELD(fade_a)};
#undef ROOST_FIELD
#define TREAD_FIELD(name) {#name, offsetof(treadmark_type, name)}
const number_field tread_floats[] = {
    TREAD_FIELD(size), TREAD_FIELD(aspect), TREAD_FIELD(spacing), TREAD_FIELD(offset),
    TREAD_FIELD(slip_threshold), TREAD_FIELD(speed_threshold),
};
#undef TREAD_FIELD

// The key of "key=value" if word starts with it, then the value.
const char* sub_value(const char* word, const char* key)
{
    size_t n = strlen(key);
    if (strncmp(word, key, n) != 0 || word[n] != '=') return nullptr;
    return word + n + 1;
}

// The field whose key starts word ("key=value"), its value read into number
// (a bad one is named in a warning and reads 0); null when word is none of them.
template <size_t N>
const number_field* match_field(const char* word, const number_field (&fields)[N], const char* what, float* number)
{
    for (const number_field& f : fields) {
        const char* v = sub_value(word, f.key);
        if (!v) continue;
        if (!read_number(v, number)) terrain_console("tileinfo warning: bad %s%s\n", what, f.key);
        return &f;
    }
    return nullptr;
}

void parse_roost(roost_type* r, const char* value)
{
    char word[1024];
    while (next_word(&value, word, sizeof word)) {
        const char* v;
        float number;
        if ((v = sub_value(word, "texture"))) {
            r->texture = terrain_hooks.texture_load(v);
            continue;
        }
        if ((v = sub_value(word, "splash"))) {
            read_number(v, &number);
            if (number != 0.0f) r->kind = 2;
            continue;
        }
        const number_field* f;
        if ((f = match_field(word, roost_floats, "", &number)))
            memcpy(reinterpret_cast<char*>(r) + f->offset, &number, sizeof number);
        else if ((f = match_field(word, roost_colours, "", &number)))
            *(reinterpret_cast<uint8_t*>(r) + f->offset) = uint8_t(truncate_to_int(number));
        else if ((f = match_field(word, roost_fades, "", &number)))
            *(reinterpret_cast<int8_t*>(r) + f->offset) = int8_t(truncate_to_int(number * roost_fade_scale));
        else
            terrain_console("tileinfo warning: unknown roost parameter '%.40s'\n", word);
    }
}

void parse_treadmark(treadmark_type* m, const char** texture, const char* value)
{
    char word[1024];
    while (next_word(&value, word, sizeof word)) {
        const char* v;
        float number;
        if ((v = sub_value(word, "texture"))) {
            *texture = intern_string(v);
            continue;
        }
        if ((v = sub_value(word, "front"))) {
            char* end = nullptr;
            long front = strtol(v, &end, 10);
            if (end == v) terrain_console("tileinfo warning: bad tread front\n");
            m->front = front > 2147483647L ? 2147483647 : (front < -2147483647L ? -2147483647 : int32_t(front));
            continue;
        }
        if (const number_field* f = match_field(word, tread_floats, "tread ", &number))
            memcpy(reinterpret_cast<char*>(m) + f->offset, &number, sizeof number);
        else
            terrain_console("tileinfo warning: unknown tread parameter '%.40s'\n", word);
    }
}

const char* const erode_single_keys[19] = {
    "erode_depth", "erode_lower", "erode_upper", "erode_displacement", "erode_radius",
    "erode_inner_depth", "erode_inner_radius", "erode_min_slope", "erode_max_slope",
    "erode_off_speed", "erode_on_speed", "erode_slip_lower", "erode_slip_upper",
    "erode_slip_base_scale", "erode_slip_scale", "erode_downhill_scale",
    "erode_project_to_ground", "erode_lateral_scale", "erode_front_scale",
};

int erode_single_index(int k) { return k < 16 ? k : erode_project_to_ground + (k - 16); }

void parse_line(terrain* t, tile_template* tt, const char* key, const char* value, uint32_t roost_texture)
{
    if (strcmp(key, "name") == 0) {
        copy_bounded(tt->name, value, terrain_tile_name_size);
    } else if (strcmp(key, "texture") == 0) {
        tt->texture = intern_string(value);
    } else if (strcmp(key, "friction") == 0) {
        float v, k;
        if (tt->friction_count >= terrain_curve_points) {
            terrain_console("tileinfo warning: too many friction points\n");
        } else if (sscanf(value, "%f %f", &v, &k) < 2) {
            terrain_console("tileinfo warning: bad friction parameters\n");
        } else {
            tt->friction_values[tt->friction_count] = v < 0.0f ? 0.0f : v;
            tt->friction_keys[tt->friction_count] = k > friction_key_limit ? friction_key_limit : k;
            tt->friction_count++;
        }
    } else if (strcmp(key, "slip_function") == 0) {
        int f;
        if (sscanf(value, "%d", &f) == 1 && f >= 0 && f <= 2)
            tt->slip_function = f;
        else
            terrain_console("tileinfo warning: bad slip_function\n");
    } else if (strcmp(key, "roll_resist") == 0) {
        float a, b, k;
        if (tt->roll_count >= terrain_curve_points) {
            terrain_console("tileinfo warning: too many roll_resist points\n");
        } else if (sscanf(value, "%f %f %f", &a, &b, &k) < 3) {
            terrain_console("tileinfo warning: bad roll_resist parameters\n");
        } else {
            tt->roll_pairs[tt->roll_count][0] = a < 0.0f ? 0.0f : a;
            tt->roll_pairs[tt->roll_count][1] = b < 0.0f ? 0.0f : b;
            tt->roll_keys[tt->roll_count] = k < roll_key_floor ? roll_key_floor : k;
            tt->roll_count++;
        }
    } else if (strcmp(key, "roost") == 0) {
        if (tt->roost_count >= terrain_roost_types) {
            terrain_console("tileinfo warning: too many roost types\n");
        } else {
            roost_type* r = &tt->roost[tt->roost_count++];
            *r = default_roost(roost_texture);
            r->kind = 1;
            parse_roost(r, value);
        }
    } else if (strcmp(key, "treadmark") == 0) {
        if (tt->treadmark_count >= terrain_treadmark_types) {
            terrain_console("tileinfo warning: too many treadmark types\n");
        } else {
            int32_t k = tt->treadmark_count++;
            tt->treadmark[k] = default_treadmark();
            tt->treadmark[k].active = 1;
            parse_treadmark(&tt->treadmark[k], &tt->treadmark_textures[k], value);
        }
    } else if (strcmp(key, "erode_limit") == 0) {
        int32_t rows = terrain_erode_limit_rows(tt->erosion);
        float d, s, i;
        if (rows >= 8) {
            terrain_console("tileinfo warning: too many erode limits\n");
        } else if (sscanf(value, "%f %f %f", &d, &s, &i) < 3) {
            terrain_console("tileinfo warning: bad erode_limit\n");
        } else if (rows > 0 && !(d > tt->erosion[erode_limit_depth + rows - 1])) {
            terrain_console("tileinfo warning: erode_limit depth <= prev depth\n");
        } else {
            tt->erosion[erode_limit_depth + rows] = d;
            tt->erosion[erode_limit_scale + rows] = s;
            tt->erosion[erode_limit_inner_scale + rows] = i;
            terrain_set_erode_limit_rows(tt->erosion, rows + 1);
        }
    } else if (strcmp(key, "addtile") == 0) {
        commit_tile(t, tt, roost_texture);
    } else {
        for (int k = 0; k < 19; k++) {
            if (strcmp(key, erode_single_keys[k]) != 0) continue;
            float v;
            if (sscanf(value, "%f", &v) == 1)
                tt->erosion[erode_single_index(k)] = v;
            else
                terrain_console("tileinfo warning: bad %s\n", key);
            return;
        }
        terrain_console("tileinfo warning: Unknown identifier '%.950s'\n", key);
    }
}

// Calls fn for each line of at most max_line bytes (a longer line is cut into
// pieces, as a fixed-size line reader would); fn returns 0 to stop.
template <class F> void for_each_line(const char* text, size_t length, size_t max_line, F fn)
{
    char line[1025];
    size_t pos = 0;
    while (pos < length) {
        size_t n = 0;
        while (pos < length && n < max_line) {
            char c = text[pos++];
            line[n++] = c;
            if (c == '\n') break;
        }
        line[n] = 0;
        if (!fn(line)) return;
    }
}

// A zeroed template; the allocator ends the program when memory runs out.
tile_template* new_template()
{
    tile_template* tt = static_cast<tile_template*>(xmalloc(sizeof(tile_template)));
    memset(tt, 0, sizeof *tt);
    return tt;
}

} // namespace

void tileinfo_parse(terrain* t, const char* text, size_t length)
{
    uint32_t roost_texture = terrain_hooks.texture_load("@roost.png");
    tile_template* tt = new_template();
    template_reset(tt, roost_texture);
    t->tile_count = 0;
    for_each_line(text, length, 1023, [&](char* line) {
        terrain_hooks.show_progress("Loading tileinfo");
        char* p = line;
        while (*p == ' ' || *p == '\t' || *p == '\r' || *p == '\n') p++;
        if (!*p) return 1;
        char* key = p;
        while (*p && *p != ' ' && *p != '\t' && *p != '\r' && *p != '\n') p++;
        char* key_end = p;
        while (*p == ' ' || *p == '\t') p++;
        char* value = p;
        value[strcspn(value, "\r\n")] = 0;
        *key_end = 0;
        parse_line(t, tt, key, value, roost_texture);
        return t->tile_count < terrain_max_tiles ? 1 : 0;
    });
    alloc_check_free(tt);
}

void texturelist_parse(terrain* t, const char* text, size_t length)
{
    t->tile_count = 0;
    uint32_t roost_texture = terrain_hooks.texture_load("@roost.png");
    for_each_line(text, length, 1022, [&](char* line) {
        if (line[strspn(line, " \t\r\n\v\f")] == 0) return 1;
        float friction = 1.0f, a = 5.0f, b = 15.0f;
        int used = 0;
        const char* name;
        if (sscanf(line, "%f %f %f %n", &friction, &a, &b, &used) >= 3 && used > 0) {
            name = line + used;
        } else {
            friction = 1.0f;
            a = 5.0f;
            b = 15.0f;
            name = line + strspn(line, " \t");
        }
        // The name ends before any line end or trailing blanks (CRLF files and
        // a last line without a newline alike).
        char texture[1030] = "@";
        copy_bounded(texture + 1, name, sizeof texture - 1);
        size_t n = strlen(texture);
        while (n > 1 && strchr(" \t\r\n", texture[n - 1])) texture[--n] = 0;
        int32_t k = t->tile_count;
        copy_bounded(t->tile_names[k], texture + 1, terrain_tile_name_size);
        for (int i = 0; i < terrain_curve_points; i++) {
            t->friction_values[k][i] = friction < 0.0f ? 0.0f : friction;
            t->friction_keys[k][i] = i == 0 ? 1.0f : friction_key_default;
            t->roll_pairs[k][i][0] = a < 0.0f ? 0.0f : a;
            t->roll_pairs[k][i][1] = b < 0.0f ? 0.0f : b;
            t->roll_keys[k][i] = i == 0 ? 1.0f : 0.0f;
        }
        t->slip_function[k] = 0;
        for (int i = 0; i < terrain_roost_types; i++) t->roost_types[k][i] = default_roost(roost_texture);
        t->roost_types[k][0].kind = 1;
        for (int i = 0; i < terrain_treadmark_types; i++) {
            t->treadmark_types[k][i] = default_treadmark();
            t->treadmark_textures[k][i] = nullptr;
        }
        default_erosion(t->erosion[k]);
        terrain_set_erode_limit_rows(t->erosion[k], 1);
        t->tile_textures[k] = intern_string(texture);
        t->tile_count = k + 1;
        return t->tile_count < terrain_max_tiles ? 1 : 0;
    });
}

void surfaces_ensure_tile(terrain* t)
{
    if (t->tile_count > 0) return;
    terrain_console("No surface types defined: using one default surface");
    tile_template* tt = new_template();
    uint32_t roost_texture = terrain_hooks.texture_load("@roost.png");
    template_reset(tt, roost_texture);
    copy_bounded(tt->name, "default", sizeof tt->name);
    commit_tile(t, tt, roost_texture);
    alloc_check_free(tt);
}

int tilemap_read(terrain* t, const uint8_t* bytes, size_t length)
{
    if (t->size <= 0) return 0;
    size_t count = size_t(1) << (2 * t->exponent);
    uint8_t* map = static_cast<uint8_t*>(xmalloc(count));
    memset(map, 0, count);
    int32_t last = t->tile_count > 0 ? t->tile_count - 1 : 0;
    for (size_t i = 0; i < count && i < length; i++) map[i] = bytes[i] > last ? uint8_t(last) : bytes[i];
    if (t->tile_map) alloc_check_free(t->tile_map);
    t->tile_map = map;
    return 1;
}

int shadows_read(terrain* t, const uint8_t* bytes, size_t length)
{
    image_source src = image_source_make(bytes, length, "shadows.pgm");
    uint8_t* grey = nullptr;
    int width = 0, height = 0;
    if (!pgm_decode(&src, &grey, &width, &height)) {
        terrain_console("Error reading shadows");
        return 0;
    }
    if (width != t->size || height != t->size) {
        alloc_check_free(grey);
        terrain_console("Bad shadow dimensions (%dx%d)\n", width, height);
        return 0;
    }
    // Stored as shade: 255 where the file says no light.
    size_t count = size_t(width) * size_t(height);
    for (size_t i = 0; i < count; i++) grey[i] = uint8_t(255 - grey[i]);
    if (t->shadow) alloc_check_free(t->shadow);
    t->shadow = grey;
    return 1;
}
