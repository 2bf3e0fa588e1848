// The texture registry: load by name in any of the game's formats, aliases,
// animations, generations and purges.
#include <strings.h>

#include <algorithm>
#include <cctype>
#include <cstring>

#include "core/alloc.h"
#include "core/array.h"
#include "core/util.h"
#include "gfx/image_file.h"
#include "gfx/image_message.h"
#include "gfx/image_pnm.h"
#include "gfx/image_q.h"
#include "gfx/pixel_buffer.h"
#include "gfx/texture.h"
#include "gfx/texture_anim.h"
#include "gfx/ztgl.h"
#include "ui/console.h"

int32_t texture_generation;
int32_t texture_drop_levels;
int32_t texture_compression_mode;
int32_t texture_frame_pixel_limit = 512 * 512;
int32_t texture_verbose;

namespace {

struct texture_record {
    int32_t id;
    int32_t generation;
    int32_t bytes;
    char* text;
    char* name;  // in the same allocation as the record
};

struct texture_alias {
    const char* alias;
    const char* target;  // null while the LINK's target has not loaded
};

growable_array registry;    // texture_record*
growable_array aliases;     // texture_alias
growable_array animations;  // animated_texture*

// The name every LINK cycle ends at.
const char* const cycle_breaker = "@colors/white.png";

void ensure_tables()
{
    if (registry.element_size) return;
    array_init(&registry, sizeof(texture_record*));
    array_init(&aliases, sizeof(texture_alias));
    array_init(&animations, sizeof(animated_texture*));
}

texture_record** records() { return array_items<texture_record*>(&registry); }
animated_texture** anims() { return array_items<animated_texture*>(&animations); }

texture_record* record_of(int id)
{
    for (int i = 0; i < registry.count; i++)
        if (records()[i]->id == id) return records()[i];
    return nullptr;
}

animated_texture* anim_of(int id)
{
    for (int i = 0; i < animations.count; i++)
        if (anims()[i]->id == id) return anims()[i];
    return nullptr;
}

texture_alias* alias_of(const char* name)
{
    for (int i = 0; i < aliases.count; i++) {
        texture_alias* a = &array_items<texture_alias>(&aliases)[i];
        if (strcmp(a->alias, name) == 0) return a;
    }
    return nullptr;
}

void register_texture(int id, uint64_t memory_before, char* text, const char* name)
{
    size_t n = strlen(name);
    auto* r = static_cast<texture_record*>(xmalloc(sizeof(texture_record) + n + 1));
    r->id = id;
    r->generation = texture_generation;
    r->bytes = int32_t(texture_memory - memory_before);
    r->text = text;
    r->name = reinterpret_cast<char*>(r + 1);
    memcpy(r->name, name, n + 1);
    if (!array_push(&registry, &r)) fatal_out_of_memory();
}

uint32_t wrap_flags(const char* name)
{
    if (strstr(name, "-repeat.")) return TEXTURE_REPEAT_S | TEXTURE_REPEAT_T;
    uint32_t flags = 0;
    if (strstr(name, "-hrepeat.")) flags |= TEXTURE_REPEAT_S;
    if (strstr(name, "-vrepeat.")) flags |= TEXTURE_REPEAT_T;
    return flags;
}

int read_png_frame(const char* name, uint8_t** pixels, int* width, int* height, int* bytes_per_pixel)
{
    return png_read(name, pixels, width, height, bytes_per_pixel, nullptr);
}

// A LINK file: the alias is preset to the white texture so that a cycle ends
// there, then the target loads. A name seen before keeps its one entry.
int load_link(const char* name, image_source* src)
{
    char target[1024];
    size_t start = src->pos;
    while (start < src->size && isspace(src->data[start])) start++;
    size_t n = std::min<size_t>(src->size - start, sizeof target - 1);
    memcpy(target, src->data + start, n);
    target[n] = 0;
    trim_trailing_blanks(target);
    texture_alias* a = alias_of(name);
    if (!a) {
        texture_alias fresh = {intern_string(name), nullptr};
        if (!array_push(&aliases, &fresh)) fatal_out_of_memory();
        a = &array_items<texture_alias>(&aliases)[aliases.count - 1];
    }
    const char* alias_name = a->alias;
    a->target = intern_string(cycle_breaker);
    int id = texture_load(target);
    // The table may have grown during the load: find the entry again.
    a = alias_of(alias_name);
    const char* loaded = id ? texture_name(id) : nullptr;
    a->target = loaded ? intern_string(loaded) : nullptr;
    return id;
}

int load_animation(image_source* src, uint32_t flags, uint64_t memory_before, const char* name)
{
    animated_texture* anim = anim_read(src, read_png_frame, texture_frame_pixel_limit);
    if (!anim) {
        console_printf("%s", image_last_error());
        return 0;
    }
    const anim_frame* f = &anim->frames[anim->frame];
    anim->id = texture_create(f->pixels, f->width, f->height, f->bytes_per_pixel, flags);
    if (!anim->id) {
        anim_free(anim);
        return 0;
    }
    if (!array_push(&animations, &anim)) fatal_out_of_memory();
    register_texture(anim->id, memory_before, nullptr, name);
    return anim->id;
}
} // namespace

int texture_find(const char* name)
{
    for (int i = 0; i < registry.count; i++) {
        texture_record* r = records()[i];
        if (strcasecmp(r->name, name) != 0) continue;
        if (strcmp(r->name, name) != 0) console_printf("Warning: case mismatch on '%.900s'", name);
        return r->id;
    }
    return 0;
}

int texture_load(const char* name)
{
    ensure_tables();
    int drop = texture_drop_levels;
    if (name[0] == '!') {
        name++;
        drop = 0;
    }
    texture_alias* alias = alias_of(name);
    if (alias && alias->target) name = alias->target;
    if (int id = texture_find(name)) {
        // Used again: keep it through the next purge (generation 0 stays 0).
        texture_record* r = record_of(id);
        if (r->generation != 0) r->generation = texture_generation;
        return id;
    }
    size_t size;
    uint8_t* data = image_file_read(name, &size);
    if (!data) {
        if (texture_verbose >= 1) console_printf("Can't open texture \"%.900s\"", name);
        return 0;
    }
    uint64_t memory_before = texture_memory;
    uint32_t flags = wrap_flags(name);
    image_source src = image_source_make(data, size, name);
    char magic[16] = "";
    image_source_token(&src, magic, sizeof magic);
    uint8_t* pixels = nullptr;
    int width = 0, height = 0, bpp = 3, id = 0, read = 0;
    char* text = nullptr;
    if (strcmp(magic, "Q7") == 0) {
        bpp = 4;
        read = q7_read(magic, &src, &pixels, &width, &height);
    } else if (strcmp(magic, "Q6") == 0) {
        read = q6_read(magic, &src, &pixels, &width, &height);
    } else if (strcmp(magic, "P3") == 0 || strcmp(magic, "P6") == 0) {
        read = ppm_read(magic, &src, &pixels, &width, &height);
    } else if (strncmp(magic, "ANIM", 4) == 0 && magic[4] == '1') {
        id = load_animation(&src, flags, memory_before, name);
        alloc_check_free(data);
        return id;
    } else if (strcmp(magic, "LINK") == 0) {
        id = load_link(name, &src);
        alloc_check_free(data);
        return id;
    }
    if (read) {
        id = texture_create_fitted(pixels, width, height, bpp, drop, flags, name);
    } else if (png_read_memory(name, data, size, &pixels, &width, &height, &bpp, &text)) {
        if (texture_compression_mode == 2 || (texture_compression_mode == 1 && text && strstr(text, "[compress]")))
            flags |= TEXTURE_COMPRESSED;
        id = texture_create_fitted(pixels, width, height, bpp, drop, flags, name);
    } else {
        // The PNG reader's line names the file and why it was refused.
        console_printf("%s", image_last_error());
    }
    alloc_check_free(pixels);
    alloc_check_free(data);
    if (!id) {
        alloc_check_free(text);
        return 0;
    }
    if (!is_power_of_two(width) || !is_power_of_two(height))
        console_printf("Warning: Non power of 2 texture '%.950s'", name);
    register_texture(id, memory_before, text, name);
    return id;
}

int texture_alias_count() { return aliases.count; }

const char* texture_name(int id)
{
    texture_record* r = record_of(id);
    return r ? r->name : nullptr;
}

const char* texture_text(int id)
{
    texture_record* r = record_of(id);
    return r ? r->text : nullptr;
}

int replace_suffix_lookup(const char* name, const char* old_suffix, const char* new_suffix)
{
    if (!ends_with(name, old_suffix)) return 0;
    size_t keep = strlen(name) - strlen(old_suffix), add = strlen(new_suffix);
    char* changed = static_cast<char*>(xmalloc(keep + add + 1));
    memcpy(changed, name, keep);
    memcpy(changed + keep, new_suffix, add + 1);
    int id = texture_load(changed);
    alloc_check_free(changed);
    return id;
}

void textures_purge(int all)
{
    for (int i = registry.count - 1; i >= 0; i--) {
        texture_record* r = records()[i];
        if (!all && (r->generation == 0 || r->generation == texture_generation)) continue;
        if (texture_verbose) console_printf("deleting tid %d (%.900s)", r->id, r->name);
        GLuint id = GLuint(r->id);
        ztglDeleteTextures(1, &id);
        alloc_check_free(r->text);
        alloc_check_free(r);
        memmove(&records()[i], &records()[i + 1], sizeof(texture_record*) * size_t(registry.count - i - 1));
        registry.count--;
    }
    for (int i = animations.count - 1; i >= 0; i--) {
        animated_texture* a = anims()[i];
        if (record_of(a->id)) continue;
        if (texture_verbose) console_printf("deleting anim %d for tid %d", i, a->id);
        anim_free(a);
        memmove(&anims()[i], &anims()[i + 1], sizeof(animated_texture*) * size_t(animations.count - i - 1));
        animations.count--;
    }
    if (all) {
        array_free(&registry);
        array_free(&aliases);
        array_free(&animations);
        registry.element_size = 0;  // the next load makes the tables again
    }
}

void texture_anims_step(int tic)
{
    if (tic < 0) return;
    for (int i = 0; i < animations.count; i++) {
        animated_texture* a = anims()[i];
        if (a->paused) continue;
        int frame = a->sequence[anim_sequence_position(a, tic)];
        if (frame == a->frame) continue;
        const anim_frame* f = &a->frames[frame];
        texture_upload_levels(a->id, f->pixels, f->width, f->height, f->bytes_per_pixel);
        a->frame = frame;
    }
}

void texture_anim_start(int id, int tic)
{
    if (animated_texture* a = anim_of(id)) {
        a->paused = 0;
        a->start = tic;
    }
}

void texture_anim_pause(int id)
{
    if (animated_texture* a = anim_of(id)) a->paused = 1;
}

int texture_begin_custom_frame(int id)
{
    animated_texture* a = anim_of(id);
    if (!a) return 0;
    const anim_frame* f = &a->frames[0];
    if (!a->custom) a->custom = pixel_buffer_alloc(f->width, f->height, f->bytes_per_pixel);
    memset(a->custom, 0, size_t(f->width) * size_t(f->height) * size_t(f->bytes_per_pixel));
    return 1;
}

int texture_paste_custom_frame(int id, int frame, float sx, float sy, float dx, float dy, float fw, float fh)
{
    animated_texture* a = anim_of(id);
    return a ? anim_paste(a, frame, sx, sy, dx, dy, fw, fh) : 0;
}

int texture_end_custom_frame(int id)
{
    animated_texture* a = anim_of(id);
    if (!a || !a->custom) return 0;
    const anim_frame* f = &a->frames[0];
    mip_chain_build(a->custom, f->width, f->height, f->bytes_per_pixel);
    texture_upload_levels(a->id, a->custom, f->width, f->height, f->bytes_per_pixel);
    return 1;
}
