#include "terrain/terrain_load.h"

#include <cstring>

#include "core/alloc.h"
#include "core/util.h"
#include "gfx/texture.h"
#include "platform/vesk_log.h"
#include "terrain/decals.h"
#include "terrain/heightfield.h"
#include "terrain/surfaces.h"
#include "terrain/terrain_render.h"
#include "terrain/terrain_services.h"
#include "terrain/treadmarks.h"

namespace {

struct file_bytes {
    uint8_t* bytes = nullptr;
    size_t length = 0;
    ~file_bytes()
    {
        if (bytes) alloc_check_free(bytes);
    }
};

int read(const char* folder, const char* name, file_bytes* file)
{
    return terrain_hooks.read_file(folder, name, &file->bytes, &file->length);
}

int read_heights(terrain* t, const char* folder)
{
    file_bytes hf;
    if (!read(folder, "terrain.hf", &hf)) return 0;
    gray16_image png = {nullptr, 0, 0};
    uint16_t* samples = nullptr;
    if (!heightfield_has_inline_samples(hf.bytes, hf.length)) {
        file_bytes image;
        int32_t width = 0, height = 0;
        // Without the image the field stays flat; the log says why.
        if (!read(folder, "terrain.png", &image))
            terrain_console("Can't open '%.900s/terrain.png'", folder);
        else if (terrain_hooks.read_png_gray16(image.bytes, image.length, &samples, &width, &height))
            png = {samples, width, height};
    }
    int ok = heightfield_read(t, hf.bytes, hf.length, &png);
    if (samples) alloc_check_free(samples);
    if (!ok) terrain_hooks.console_print("Error reading heights");
    return ok;
}

int read_surfaces(terrain* t, const char* folder)
{
    file_bytes file;
    if (read(folder, "tileinfo", &file)) {
        tileinfo_parse(t, reinterpret_cast<const char*>(file.bytes), file.length);
    } else if (read(folder, "texturelist", &file)) {
        texturelist_parse(t, reinterpret_cast<const char*>(file.bytes), file.length);
    } else {
        terrain_console("Can't open '%.900s/tileinfo'", folder);
        return 0;
    }
    surfaces_ensure_tile(t);
    return 1;
}

} // namespace

int terrain_load(terrain* t, const char* folder)
{
    // The heights are read into a record of their own: a track whose
    // terrain.hf can't be read leaves the loaded terrain as it was.
    terrain* fresh = static_cast<terrain*>(xmalloc(sizeof(terrain)));
    terrain_reset(fresh);
    copy_bounded(fresh->folder, folder, sizeof fresh->folder);
    terrain_hooks.show_status_restart("Loading terrain");
    if (!read_heights(fresh, folder)) {
        terrain_free(fresh);
        alloc_check_free(fresh);
        return 0;
    }
    terrain_free(t);
    memcpy(t, fresh, sizeof *t);
    alloc_check_free(fresh);
    if (terrain_blocks_changed_hook) terrain_blocks_changed_hook(t);
    terrain_hooks.show_done("Loading terrain");

    terrain_hooks.show_status_restart("Loading shadows");
    {
        file_bytes shadows;
        if (read(folder, "shadows.pgm", &shadows)) {
            if (!shadows_read(t, shadows.bytes, shadows.length)) {
                terrain_free(t);
                return 0;
            }
        } else {
            size_t count = size_t(t->size) * size_t(t->size);
            t->shadow = static_cast<uint8_t*>(xmalloc(count));
            memset(t->shadow, 0, count);
        }
    }
    terrain_hooks.show_done("Loading shadows");

    if (terrain_hooks.verbose)
        vesk_log("%lu bytes texture memory used before ground tiles loaded\n", (unsigned long)texture_memory);
    terrain_hooks.show_status_restart("Loading tileinfo");
    if (!read_surfaces(t, folder)) {
        terrain_free(t);
        return 0;
    }
    treadmarks_make(t, &track_treadmarks, treadmark_limit);
    terrain_hooks.show_done("Loading tileinfo");
    if (terrain_hooks.verbose)
        vesk_log("%lu bytes texture memory used after ground tiles loaded\n", (unsigned long)texture_memory);

    terrain_hooks.show_status_restart("Loading tilemap");
    {
        file_bytes map;
        if (!read(folder, "tilemap", &map)) {
            terrain_console("Can't open '%.900s/tilemap'", folder);
            terrain_free(t);
            return 0;
        }
        tilemap_read(t, map.bytes, map.length);
    }
    terrain_hooks.show_done("Loading tilemap");

    decals_init(t);
    {
        file_bytes decals;
        if (read(folder, "decals", &decals)) decals_parse(t, reinterpret_cast<const char*>(decals.bytes), decals.length);
    }

    terrain_hooks.show_status_restart("Creating terrain texture pyramid");
    if (!terrain_render_create(t)) {
        terrain_free(t);
        return 0;
    }
    terrain_hooks.show_done("Creating terrain texture pyramid");
    return 1;
}
