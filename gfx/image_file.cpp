#include "gfx/image_file.h"

#include <algorithm>
#include <cstring>

#include "core/alloc.h"
#include "core/vfs.h"
#include "gfx/image_message.h"
#include "gfx/image_png.h"
#include "gfx/image_pnm.h"
#include "ui/console.h"

namespace {
constexpr size_t largest_image_file = size_t(256) << 20;

// Appends the whole of a text file to *text (from the allocator).
void append_side_file(const char* name, char** text)
{
    size_t size;
    uint8_t* side = image_file_read(name, &size);
    if (!side) return;
    size_t had = *text ? strlen(*text) : 0;
    char* joined = static_cast<char*>(alloc_check_realloc(*text, had + size + 1));
    if (!joined) fatal_out_of_memory();
    memcpy(joined + had, side, size);
    joined[had + size] = 0;
    *text = joined;
    alloc_check_free(side);
}

int write_file(const char* name, const uint8_t* data, size_t size)
{
    vfs_stream* out = vfs_open(name, "wb");
    if (!out) {
        console_printf("Can't write '%.900s'", name);
        return 0;
    }
    bool ok = vfs_write(out, data, size) == size && vfs_flush(out) == 0;
    vfs_close(out);
    if (!ok) console_printf("Error writing '%.900s'", name);
    return ok;
}
// The whole file, or null with "Can't open" as the last error.
uint8_t* read_for_decoding(const char* name, size_t* size)
{
    uint8_t* data = image_file_read(name, size);
    if (!data) image_set_error("Can't open '%.900s'", name);
    return data;
}
} // namespace

uint8_t* image_file_read(const char* name, size_t* size)
{
    vfs_stream* in = vfs_open(name, "rb");
    if (!in) return nullptr;
    size_t capacity = 65536, used = 0;
    uint8_t* data = static_cast<uint8_t*>(xmalloc(capacity));
    for (;;) {
        if (used == capacity) {
            if (capacity >= largest_image_file) {
                alloc_check_free(data);
                vfs_close(in);
                image_set_error("File too large: '%.900s'", name);
                return nullptr;
            }
            capacity *= 2;
            data = static_cast<uint8_t*>(alloc_check_realloc(data, capacity));
            if (!data) fatal_out_of_memory();
        }
        int want = int(std::min<size_t>(capacity - used, 1 << 20));
        int got = vfs_read(in, data + used, want);
        if (got <= 0) break;
        used += size_t(got);
    }
    // Damaged data (reported by the stream) must not decode as a whole file.
    int damaged = vfs_error(in);
    vfs_close(in);
    if (damaged) {
        alloc_check_free(data);
        return nullptr;
    }
    *size = used;
    return data;
}

int png_read_memory(const char* name, const uint8_t* data, size_t size, uint8_t** pixels, int* width, int* height,
                    int* bytes_per_pixel, char** text)
{
    char* t = nullptr;
    if (!png_decode(name, data, size, pixels, width, height, bytes_per_pixel, &t)) return 0;
    char info[1100];
    snprintf(info, sizeof info, "%.1000s.info", name);
    append_side_file(info, &t);
    png_build_chain(name, t, pixels, width, height, *bytes_per_pixel);
    if (text)
        *text = t;
    else
        alloc_check_free(t);
    return 1;
}

int png_read(const char* name, uint8_t** pixels, int* width, int* height, int* bytes_per_pixel, char** text)
{
    size_t size;
    uint8_t* data = read_for_decoding(name, &size);
    if (!data) return 0;
    int ok = png_read_memory(name, data, size, pixels, width, height, bytes_per_pixel, text);
    alloc_check_free(data);
    return ok;
}

uint8_t* pgm_read(const char* name, int* width, int* height)
{
    size_t size;
    uint8_t* data = read_for_decoding(name, &size);
    if (!data) return nullptr;
    image_source src = image_source_make(data, size, name);
    uint8_t* grey = nullptr;
    int ok = pgm_decode(&src, &grey, width, height);
    alloc_check_free(data);
    return ok ? grey : nullptr;
}

uint16_t* image_read_png_gray16(const char* name, int* width, int* height)
{
    size_t size;
    uint8_t* data = read_for_decoding(name, &size);
    if (!data) return nullptr;
    uint16_t* samples = nullptr;
    int ok = png_decode_gray16(name, data, size, &samples, width, height);
    alloc_check_free(data);
    return ok ? samples : nullptr;
}

namespace {
// Writes an encoder's result (null when encoding failed) and frees it.
int write_encoded(const char* name, uint8_t* png, size_t size)
{
    if (!png) {
        console_printf("Can't write '%.900s': %s", name, image_last_error());
        return 0;
    }
    int ok = write_file(name, png, size);
    alloc_check_free(png);
    return ok;
}
} // namespace

int image_write_png_gray16(const char* name, const uint16_t* samples, int width, int height)
{
    size_t size = 0;
    uint8_t* png = png_encode_gray16(samples, width, height, &size);
    return write_encoded(name, png, size);
}

int image_write_png_rgb(const char* name, const uint8_t* samples, int width, int height)
{
    size_t size = 0;
    uint8_t* png = png_encode_rgb(samples, width, height, &size);
    return write_encoded(name, png, size);
}
