#include "terrain/decals.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "core/alloc.h"
#include "terrain/terrain_services.h"

void decals_init(terrain* t)
{
    array_init(&t->decals, sizeof(decal));
    for (growable_array& bin : t->decal_bins) array_init(&bin, sizeof(int32_t));
}

void decals_free(terrain* t)
{
    if (t->decals.items) array_free(&t->decals);
    for (growable_array& bin : t->decal_bins)
        if (bin.items) array_free(&bin);
    if (t->decal_kinds) alloc_check_free(t->decal_kinds);
    t->decal_kinds = nullptr;
    t->decal_kind_count = t->decal_kind_capacity = 0;
}

int32_t decal_kind_find_or_add(terrain* t, const char* texture_name)
{
    size_t length = strlen(texture_name);
    if (length == 0 || length >= sizeof(decal_kind::name)) return -1;
    for (int32_t k = 0; k < t->decal_kind_count; k++)
        if (strcmp(t->decal_kinds[k].name, texture_name) == 0) return k;
    if (t->decal_kind_count == t->decal_kind_capacity) {
        int32_t grown = t->decal_kind_capacity ? t->decal_kind_capacity * 2 : 16;
        void* kinds = alloc_check_realloc(t->decal_kinds, uint64_t(grown) * sizeof(decal_kind));
        if (!kinds) return -1;
        t->decal_kinds = static_cast<decal_kind*>(kinds);
        t->decal_kind_capacity = grown;
    }
    decal_kind& kind = t->decal_kinds[t->decal_kind_count];
    memcpy(kind.name, texture_name, length + 1);
    kind.texture = terrain_hooks.texture_load(texture_name);
    return t->decal_kind_count++;
}

namespace {

int32_t bin_cell(const terrain* t, float world)
{
    if (!(t->extent > 0.0f) || !std::isfinite(world)) return 0;
    float c = world / t->extent * float(decal_bin_side);
    if (c < 0.0f) return 0;
    if (c >= float(decal_bin_side - 1)) return decal_bin_side - 1;
    return int32_t(c);
}

// The bins a decal reaches: its square of half-side size, clamped.
void bin_range(const terrain* t, const decal* d, int32_t range[4])
{
    float reach = fabsf(d->size);
    range[0] = bin_cell(t, d->x - reach);
    range[1] = bin_cell(t, d->z - reach);
    range[2] = bin_cell(t, d->x + reach);
    range[3] = bin_cell(t, d->z + reach);
}

void bin_add(growable_array* bin, int32_t index)
{
    if (!bin->items) array_init(bin, sizeof(int32_t));
    if (!array_push(bin, &index)) return;
    // Keep the bin sorted: decals draw in table order.
    int32_t* items = array_items<int32_t>(bin);
    int32_t k = bin->count - 1;
    while (k > 0 && items[k - 1] > index) {
        items[k] = items[k - 1];
        k--;
    }
    items[k] = index;
}

void bin_remove(growable_array* bin, int32_t index)
{
    int32_t* items = array_items<int32_t>(bin);
    int32_t kept = 0;
    for (int32_t k = 0; k < bin->count; k++)
        if (items[k] != index) items[kept++] = items[k];
    bin->count = kept;
}

void bins_add(terrain* t, int32_t index)
{
    if (t->hide_decals) return;
    int32_t r[4];
    bin_range(t, &array_items<decal>(&t->decals)[index], r);
    for (int32_t z = r[1]; z <= r[3]; z++)
        for (int32_t x = r[0]; x <= r[2]; x++) bin_add(&t->decal_bins[z * decal_bin_side + x], index);
}

void bins_remove(terrain* t, int32_t index)
{
    // A decal may have moved since it was binned: look everywhere.
    for (growable_array& bin : t->decal_bins)
        if (bin.items) bin_remove(&bin, index);
}

int index_ok(const terrain* t, int32_t index, int32_t limit)
{
    if (index >= 0 && index <= limit && t->decals.items) return 1;
    terrain_hooks.console_print("Out of range decal index");
    return 0;
}

} // namespace

int decal_insert(terrain* t, int32_t index, const decal* d)
{
    if (!index_ok(t, index, t->decals.count)) return 0;
    if (!array_push(&t->decals, d)) return 0;
    decal* items = array_items<decal>(&t->decals);
    memmove(&items[index + 1], &items[index], size_t(t->decals.count - 1 - index) * sizeof(decal));
    items[index] = *d;
    bins_add(t, index);
    return 1;
}

int decal_delete(terrain* t, int32_t index)
{
    if (!index_ok(t, index, t->decals.count - 1)) return 0;
    bins_remove(t, index);
    decal* items = array_items<decal>(&t->decals);
    memmove(&items[index], &items[index + 1], size_t(t->decals.count - 1 - index) * sizeof(decal));
    t->decals.count--;
    return 1;
}

int decal_replace(terrain* t, int32_t index, const decal* d)
{
    if (!index_ok(t, index, t->decals.count - 1)) return 0;
    bins_remove(t, index);
    array_items<decal>(&t->decals)[index] = *d;
    bins_add(t, index);
    return 1;
}

void decal_shift_indices(terrain* t, int32_t index, int32_t delta)
{
    for (growable_array& bin : t->decal_bins) {
        if (!bin.items) continue;
        int32_t* items = array_items<int32_t>(&bin);
        for (int32_t k = 0; k < bin.count; k++)
            if (items[k] >= index) items[k] += delta;
    }
}

void decal_rebuild_bins(terrain* t)
{
    for (growable_array& bin : t->decal_bins) bin.count = 0;
    if (!t->decals.items) return;
    for (int32_t i = 0; i < t->decals.count; i++) bins_add(t, i);
}

int32_t decal_bin_at(terrain* t, float x0, float z0, float x1, float z1, growable_array* bins[64])
{
    int32_t c0 = bin_cell(t, fminf(x0, x1)), c1 = bin_cell(t, fmaxf(x0, x1));
    int32_t r0 = bin_cell(t, fminf(z0, z1)), r1 = bin_cell(t, fmaxf(z0, z1));
    int32_t count = 0;
    for (int32_t r = r0; r <= r1; r++)
        for (int32_t c = c0; c <= c1; c++) bins[count++] = &t->decal_bins[r * decal_bin_side + c];
    return count;
}

void decals_parse(terrain* t, const char* text, size_t length)
{
    if (!t->decals.items) decals_init(t);
    std::string line;
    int32_t line_number = 0;
    size_t pos = 0;
    while (pos < length) {
        size_t end = pos;
        while (end < length && text[end] != '\n') end++;
        line.assign(text + pos, end - pos);
        pos = end + 1;
        line_number++;
        terrain_hooks.show_progress("Loading decals");
        while (!line.empty() && (line.back() == '\r' || line.back() == ' ' || line.back() == '\t')) line.pop_back();
        size_t first = line.find_first_not_of(" \t");
        if (first == std::string::npos || line[first] == '#') continue;
        decal d = {};
        int used = 0;
        if (sscanf(line.c_str(), "%f %f %f %f %n", &d.x, &d.z, &d.angle, &d.size, &used) < 4 || used == 0 ||
            !std::isfinite(d.x) || !std::isfinite(d.z) || !std::isfinite(d.angle) || !std::isfinite(d.size)) {
            terrain_console("decals: bad line %d", line_number);
            continue;
        }
        int32_t kind = decal_kind_find_or_add(t, line.c_str() + used);
        if (kind < 0) {
            terrain_console("decals: bad texture name on line %d", line_number);
            continue;
        }
        d.sine = sinf(d.angle);
        d.cosine = cosf(d.angle);
        d.textures[0] = t->decal_kinds[kind].texture;
        d.textures[3] = uint32_t(kind);
        d.corners[2] = d.corners[4] = 1.0f;  // the whole texture: (0,0) (1,0) (1,1) (0,1)
        d.corners[5] = d.corners[7] = 1.0f;
        array_push(&t->decals, &d);
    }
    decal_rebuild_bins(t);
}

namespace {

// A decal's kind is its first texture id; the editor sets only that. The
// kind number in word 3 serves decals without a texture (read where no
// texture registry runs). Null when neither names a texture.
const char* decal_texture_name(const terrain* t, const decal& d)
{
    if (d.textures[0]) {
        for (int32_t k = 0; k < t->decal_kind_count; k++)
            if (t->decal_kinds[k].texture == d.textures[0]) return t->decal_kinds[k].name;
        const char* name = terrain_hooks.texture_name(d.textures[0]);
        return name && *name && strlen(name) < sizeof(decal_kind::name) ? name : nullptr;
    }
    int32_t kind = int32_t(d.textures[3]);
    return kind >= 0 && kind < t->decal_kind_count ? t->decal_kinds[kind].name : nullptr;
}

} // namespace

char* decals_format(const terrain* t, size_t* length)
{
    std::string text = "# x z angle size texture\n";
    char line[256];
    const decal* items = static_cast<const decal*>(t->decals.items);
    for (int32_t i = 0; i < t->decals.count; i++) {
        const decal& d = items[i];
        const char* name = decal_texture_name(t, d);
        if (!name) {
            terrain_console("decals: decal %d has no texture name and is not saved", i);
            continue;
        }
        snprintf(line, sizeof line, "%.9g %.9g %.9g %.9g %s\n", d.x, d.z, d.angle, d.size, name);
        text += line;
    }
    char* out = static_cast<char*>(xmalloc(text.size() + 1));
    memcpy(out, text.c_str(), text.size() + 1);
    *length = text.size();
    return out;
}
