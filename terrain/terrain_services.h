#pragma once
// What the terrain asks of the rest of the program while it loads and saves:
// the message log, the loading screen, textures and the track files. The
// defaults are the message log, the loading screen, the file system (folder +
// "/" + name, so "@tracks/x" reads game data), the texture registry (id 0
// without a GL context) and the PNG decoder. Tests swap in their own.
#include <cstddef>
#include <cstdint>

struct terrain_services {
    void (*console_print)(const char* text);
    void (*show_status_restart)(const char* text);
    void (*show_progress)(const char* text);
    void (*show_done)(const char* text);
    uint32_t (*texture_load)(const char* name);
    // The name a texture id was loaded under; null when unknown.
    const char* (*texture_name)(uint32_t id);
    // Reads a whole file of the track folder into a block the caller frees
    // with alloc_check_free; 0 when it can't be opened.
    int (*read_file)(const char* folder, const char* name, uint8_t** bytes, size_t* length);
    int (*write_file)(const char* folder, const char* name, const void* bytes, size_t length);
    // 16-bit grey samples of a PNG (freed with alloc_check_free); 0 on failure.
    int (*read_png_gray16)(const uint8_t* bytes, size_t length, uint16_t** samples, int32_t* width, int32_t* height);
    // The program's debug level: 1 verbose, 2 very verbose.
    int32_t verbose;
};

extern terrain_services terrain_hooks;

// Restores the defaults described above.
void terrain_services_reset();

// printf-style convenience over terrain_hooks.console_print (cut at 1023).
void terrain_console(const char* format, ...) __attribute__((format(printf, 1, 2)));
