#include "terrain/terrain_services.h"

#include <cstdarg>
#include <cstdio>
#include <string>

#include "core/alloc.h"
#include "platform/vesk_log.h"

namespace {

void log_line(const char* text) { vesk_log("%s", text); }
void ignore_text(const char*) {}
uint32_t no_texture(const char*) { return 0; }

std::string join_path(const char* folder, const char* name)
{
    std::string path = folder ? folder : "";
    if (!path.empty() && path.back() != '/') path += '/';
    return path + name;
}

int read_plain_file(const char* folder, const char* name, uint8_t** bytes, size_t* length)
{
    *bytes = nullptr;
    *length = 0;
    FILE* f = fopen(join_path(folder, name).c_str(), "rb");
    if (!f) return 0;
    size_t capacity = 65536, used = 0;
    uint8_t* block = static_cast<uint8_t*>(xmalloc(capacity));
    for (;;) {
        size_t got = fread(block + used, 1, capacity - used, f);
        used += got;
        if (used < capacity) break;
        capacity *= 2;
        void* grown = alloc_check_realloc(block, capacity);
        if (!grown) fatal_out_of_memory();
        block = static_cast<uint8_t*>(grown);
    }
    bool failed = ferror(f) != 0;
    fclose(f);
    if (failed) {
        alloc_check_free(block);
        return 0;
    }
    *bytes = block;
    *length = used;
    return 1;
}

int write_plain_file(const char* folder, const char* name, const void* bytes, size_t length)
{
    std::string path = join_path(folder, name);
    FILE* f = fopen(path.c_str(), "wb");
    if (!f) return 0;
    bool ok = fwrite(bytes, 1, length, f) == length;
    ok = fclose(f) == 0 && ok;
    return ok;
}

int no_png(const uint8_t*, size_t, uint16_t** samples, int32_t* width, int32_t* height)
{
    *samples = nullptr;
    *width = *height = 0;
    return 0;
}

} // namespace

terrain_services terrain_hooks;

void terrain_services_reset()
{
    terrain_hooks.console_print = log_line;
    terrain_hooks.show_status_restart = ignore_text;
    terrain_hooks.show_progress = ignore_text;
    terrain_hooks.show_done = ignore_text;
    terrain_hooks.texture_load = no_texture;
    terrain_hooks.read_file = read_plain_file;
    terrain_hooks.write_file = write_plain_file;
    terrain_hooks.read_png_gray16 = no_png;
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
