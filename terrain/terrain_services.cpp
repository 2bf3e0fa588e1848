#include "terrain/terrain_services.h"

#include <cstdarg>
#include <cstdio>

#include "core/vfs.h"
#include "gfx/image_file.h"
#include "gfx/image_message.h"
#include "gfx/image_png.h"
#include "gfx/texture.h"
#include "gfx/ztgl.h"
#include "ui/console.h"
#include "ui/loading.h"

namespace {

// The registry needs a GL context; without one (tools, tests of the ground
// alone) surfaces get no textures.
uint32_t load_texture(const char* name) { return ztgl_fn.GenTextures ? uint32_t(texture_load(name)) : 0; }

const char* registry_texture_name(uint32_t id) { return texture_name(int(id)); }

int read_track_file(const char* folder, const char* name, uint8_t** bytes, size_t* length)
{
    *bytes = nullptr;
    *length = 0;
    char path[1100];
    if (snprintf(path, sizeof path, "%s/%s", folder, name) >= int(sizeof path)) return 0;
    // The image layer's whole-file read: plain or ".gz", with its size limit.
    *bytes = image_file_read(path, length);
    return *bytes != nullptr;
}

int write_track_file(const char* folder, const char* name, const void* bytes, size_t length)
{
    // Written beside the old file and renamed over it when whole: a save cut
    // short leaves the old file, never a truncated one.
    char path[vfs_path_max];
    int n = snprintf(path, sizeof path, "%s/%s", folder, name);
    if (n <= 0 || n >= int(sizeof path)) return 0;
    vfs_stream* f = vfs_open_replacement(path);
    if (!f) return 0;
    bool ok = vfs_write(f, bytes, length) == length;
    return vfs_commit_replacement(f, path) && ok;
}

int decode_png_gray16(const uint8_t* bytes, size_t length, uint16_t** samples, int32_t* width, int32_t* height)
{
    int w = 0, h = 0;
    *samples = nullptr;
    if (!png_decode_gray16("terrain.png", bytes, length, samples, &w, &h)) {
        terrain_console("%s", image_last_error());
        return 0;
    }
    *width = w;
    *height = h;
    return 1;
}

} // namespace

terrain_services terrain_hooks;

void terrain_services_reset()
{
    terrain_hooks.console_print = console_print;
    terrain_hooks.show_status_restart = show_status_restart;
    terrain_hooks.show_progress = show_progress;
    terrain_hooks.show_done = show_done;
    terrain_hooks.texture_load = load_texture;
    terrain_hooks.texture_name = registry_texture_name;
    terrain_hooks.read_file = read_track_file;
    terrain_hooks.write_file = write_track_file;
    terrain_hooks.read_png_gray16 = decode_png_gray16;
    terrain_hooks.verbose = 0;
}

namespace {
const int services_ready = (terrain_services_reset(), 1);
}

void terrain_console(const char* format, ...)
{
    char line[1024];
    va_list args;
    va_start(args, format);
    vsnprintf(line, sizeof line, format, args);
    va_end(args);
    terrain_hooks.console_print(line);
}
