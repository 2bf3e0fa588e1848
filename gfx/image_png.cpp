#include "gfx/image_png.h"

#include <png.h>

#include <csetjmp>
#include <cstring>

#include "core/alloc.h"
#include "gfx/image_message.h"
#include "gfx/pixel_buffer.h"

namespace {
struct memory_reader {
    const uint8_t* data;
    size_t size;
    size_t pos;
};

struct error_state {
    char text[200];
};

void read_callback(png_structp png, png_bytep out, png_size_t count)
{
    auto* r = static_cast<memory_reader*>(png_get_io_ptr(png));
    if (r->size - r->pos < count) png_error(png, "unexpected end of file");
    memcpy(out, r->data + r->pos, count);
    r->pos += count;
}

void error_callback(png_structp png, png_const_charp message)
{
    auto* e = static_cast<error_state*>(png_get_error_ptr(png));
    snprintf(e->text, sizeof e->text, "%s", message);
    png_longjmp(png, 1);
}

void warning_callback(png_structp, png_const_charp) {}

// Appends the values of the text chunks of info to text (from the allocator).
void append_text(png_structp png, png_infop info, char** text, size_t* len)
{
    png_textp chunks = nullptr;
    int count = png_get_text(png, info, &chunks, nullptr);
    for (int i = 0; i < count; i++) {
        size_t n = chunks[i].text ? strlen(chunks[i].text) : 0;
        if (n == 0) continue;
        *text = static_cast<char*>(alloc_check_realloc(*text, *len + n + 1));
        if (!*text) fatal_out_of_memory();
        memcpy(*text + *len, chunks[i].text, n);
        *len += n;
        (*text)[*len] = 0;
    }
}

struct png_reading {
    png_structp png = nullptr;
    png_infop info = nullptr;
    png_infop end = nullptr;
    memory_reader reader{};
    error_state error{};
};

// Creates the reader with limits; 0 with the error set.
int begin_reading(png_reading* r, const char* name, const void* data, size_t size)
{
    if (size < 8 || png_sig_cmp(static_cast<png_const_bytep>(data), 0, 8) != 0) {
        image_set_error("Not a PNG file '%.900s'", name);
        return 0;
    }
    r->reader = {static_cast<const uint8_t*>(data), size, 0};
    r->png = png_create_read_struct(PNG_LIBPNG_VER_STRING, &r->error, error_callback, warning_callback);
    if (!r->png) fatal_out_of_memory();
    r->info = png_create_info_struct(r->png);
    r->end = png_create_info_struct(r->png);
    if (!r->info || !r->end) fatal_out_of_memory();
    png_set_read_fn(r->png, &r->reader, read_callback);
    png_set_user_limits(r->png, IMAGE_MAX_SIDE, IMAGE_MAX_SIDE);
    // Text chunks are small; cap what a hostile file can make libpng hold.
    png_set_chunk_malloc_max(r->png, 8u << 20);
    return 1;
}

void end_reading(png_reading* r) { png_destroy_read_struct(&r->png, &r->info, &r->end); }
} // namespace

namespace {
// Transforms for the game's two sample layouts: 8-bit RGB or RGBA (the
// returned bytes per pixel, 3 or 4), or 16-bit grey in host order (2).
int set_colour_transforms(png_structp png, png_infop info)
{
    int colour = png_get_color_type(png, info);
    int depth = png_get_bit_depth(png, info);
    bool alpha = (colour & PNG_COLOR_MASK_ALPHA) || png_get_valid(png, info, PNG_INFO_tRNS);
    if (colour == PNG_COLOR_TYPE_PALETTE) png_set_palette_to_rgb(png);
    if (colour == PNG_COLOR_TYPE_GRAY && depth < 8) png_set_expand_gray_1_2_4_to_8(png);
    if (png_get_valid(png, info, PNG_INFO_tRNS)) png_set_tRNS_to_alpha(png);
    if (depth == 16) png_set_strip_16(png);
    if (colour == PNG_COLOR_TYPE_GRAY || colour == PNG_COLOR_TYPE_GRAY_ALPHA) png_set_gray_to_rgb(png);
    return alpha ? 4 : 3;
}

int set_gray16_transforms(png_structp png, png_infop info)
{
    int depth = png_get_bit_depth(png, info);
    if (png_get_color_type(png, info) != PNG_COLOR_TYPE_GRAY) png_error(png, "not a grey image");
    if (depth < 8) png_set_expand_gray_1_2_4_to_8(png);
    if (depth < 16) png_set_expand_16(png);
    // Samples are stored big-endian in the file.
    uint16_t probe = 1;
    if (*reinterpret_cast<uint8_t*>(&probe) == 1) png_set_swap(png);
    return 2;
}

// One decode for both layouts; text (when asked for) joins every text chunk.
int decode(const char* name, const void* data, size_t size, bool gray16, uint8_t** pixels, int* width,
           int* height, int* bytes_per_pixel, char** text)
{
    png_reading r;
    if (!begin_reading(&r, name, data, size)) return 0;
    // Everything setjmp may come back to is volatile or lives outside.
    uint8_t* volatile buffer = nullptr;
    png_bytep* volatile rows = nullptr;
    char* volatile joined = nullptr;
    if (setjmp(png_jmpbuf(r.png))) {
        image_set_error("Can't read PNG '%.800s': %s", name, r.error.text);
        alloc_check_free(buffer);
        alloc_check_free(rows);
        alloc_check_free(joined);
        end_reading(&r);
        return 0;
    }
    png_read_info(r.png, r.info);
    png_uint_32 w = png_get_image_width(r.png, r.info), h = png_get_image_height(r.png, r.info);
    int bpp = gray16 ? set_gray16_transforms(r.png, r.info) : set_colour_transforms(r.png, r.info);
    png_set_interlace_handling(r.png);
    png_read_update_info(r.png, r.info);
    if (png_get_rowbytes(r.png, r.info) != size_t(w) * size_t(bpp)) png_error(r.png, "unexpected row layout");
    // Deflate shrinks at most about 1032:1 and one source bit may become 32
    // output bits (a 1-bit palette to RGBA), so a header claiming more than
    // that is a lie, refused before the buffer is made.
    if (double(w) * double(h) * bpp > double(size) * 1032.0 * 32.0) png_error(r.png, "image larger than its data");
    // Colour images get room for their mip chain.
    if (gray16)
        buffer = static_cast<uint8_t*>(xmalloc(size_t(w) * size_t(h) * 2));
    else
        buffer = pixel_buffer_alloc(int(w), int(h), bpp);
    rows = static_cast<png_bytep*>(xmalloc(sizeof(png_bytep) * h));
    for (png_uint_32 y = 0; y < h; y++) rows[y] = buffer + size_t(y) * w * size_t(bpp);
    png_read_image(r.png, rows);
    png_read_end(r.png, r.end);
    if (text) {
        size_t len = 0;
        char* t = nullptr;
        append_text(r.png, r.info, &t, &len);
        joined = t;
        append_text(r.png, r.end, &t, &len);
        joined = t;
        *text = joined;
    }
    alloc_check_free(rows);
    end_reading(&r);
    *pixels = buffer;
    *width = int(w);
    *height = int(h);
    *bytes_per_pixel = bpp;
    return 1;
}
} // namespace

int png_decode(const char* name, const void* data, size_t size, uint8_t** pixels, int* width, int* height,
               int* bytes_per_pixel, char** text)
{
    return decode(name, data, size, false, pixels, width, height, bytes_per_pixel, text);
}

void png_build_chain(const char* name, const char* text, uint8_t** pixels, int* width, int* height,
                     int bytes_per_pixel)
{
    if (text && strstr(text, "[mip_custom]") && mip_custom_relayout(name, pixels, width, height, bytes_per_pixel))
        return;
    uint32_t flags = text && strstr(text, "[mip_max_alpha]") ? uint32_t(MIP_MAX_ALPHA) : 0u;
    if (bytes_per_pixel == 4)
        mip_chain_build_rgba(*pixels, *width, *height, flags);
    else
        mip_chain_build_rgb(*pixels, *width, *height);
}

int png_decode_gray16(const char* name, const void* data, size_t size, uint16_t** samples, int* width,
                      int* height)
{
    uint8_t* bytes = nullptr;
    int bpp = 0;
    if (!decode(name, data, size, true, &bytes, width, height, &bpp, nullptr)) return 0;
    *samples = reinterpret_cast<uint16_t*>(bytes);
    return 1;
}

namespace {
struct memory_writer {
    uint8_t* data;
    size_t size;
    size_t capacity;
};

void write_callback(png_structp png, png_bytep bytes, png_size_t count)
{
    auto* w = static_cast<memory_writer*>(png_get_io_ptr(png));
    if (w->size + count > w->capacity) {
        size_t cap = w->capacity ? w->capacity : 4096;
        while (cap < w->size + count) cap *= 2;
        void* grown = alloc_check_realloc(w->data, cap);
        if (!grown) fatal_out_of_memory();
        w->data = static_cast<uint8_t*>(grown);
        w->capacity = cap;
    }
    memcpy(w->data + w->size, bytes, count);
    w->size += count;
}

void flush_callback(png_structp) {}

int size_ok(int width, int height)
{
    if (width >= 1 && height >= 1 && width <= IMAGE_MAX_SIDE && height <= IMAGE_MAX_SIDE) return 1;
    image_set_error("Bad image size %dx%d", width, height);
    return 0;
}

// Rows are given as pointers so each caller decides the order and layout.
uint8_t* encode(const png_bytep* rows, int width, int height, int colour, int depth, bool swap, const char* text,
                size_t* size)
{
    error_state error{};
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, &error, error_callback, warning_callback);
    if (!png) fatal_out_of_memory();
    png_infop info = png_create_info_struct(png);
    if (!info) fatal_out_of_memory();
    memory_writer* volatile out = static_cast<memory_writer*>(xmalloc(sizeof(memory_writer)));
    *out = {nullptr, 0, 0};
    if (setjmp(png_jmpbuf(png))) {
        image_set_error("Can't write PNG: %s", error.text);
        alloc_check_free(out->data);
        alloc_check_free(out);
        png_destroy_write_struct(&png, &info);
        return nullptr;
    }
    png_set_write_fn(png, out, write_callback, flush_callback);
    png_set_IHDR(png, info, png_uint_32(width), png_uint_32(height), depth, colour, PNG_INTERLACE_NONE,
                 PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    if (text) {
        png_text chunk{};
        chunk.compression = PNG_TEXT_COMPRESSION_NONE;
        chunk.key = const_cast<char*>("Comment");
        chunk.text = const_cast<char*>(text);
        png_set_text(png, info, &chunk, 1);
    }
    png_write_info(png, info);
    if (swap) png_set_swap(png);
    png_write_image(png, const_cast<png_bytepp>(rows));
    png_write_end(png, nullptr);
    png_destroy_write_struct(&png, &info);
    uint8_t* data = out->data;
    *size = out->size;
    alloc_check_free(out);
    return data;
}
} // namespace

uint8_t* png_encode(const uint8_t* pixels, int width, int height, int channels, const char* text, size_t* size)
{
    if (!size_ok(width, height)) return nullptr;
    auto** rows = static_cast<png_bytep*>(xmalloc(sizeof(png_bytep) * size_t(height)));
    for (int y = 0; y < height; y++)
        rows[y] = const_cast<png_bytep>(pixels + size_t(y) * size_t(width) * size_t(channels));
    uint8_t* data = encode(rows, width, height, channels == 4 ? PNG_COLOR_TYPE_RGBA : PNG_COLOR_TYPE_RGB, 8, false,
                           text, size);
    alloc_check_free(rows);
    return data;
}

uint8_t* png_encode_rgb(const uint8_t* bottom_up_rgb, int width, int height, size_t* size)
{
    if (!size_ok(width, height)) return nullptr;
    auto** rows = static_cast<png_bytep*>(xmalloc(sizeof(png_bytep) * size_t(height)));
    for (int y = 0; y < height; y++)
        rows[y] = const_cast<png_bytep>(bottom_up_rgb + size_t(height - 1 - y) * size_t(width) * 3);
    uint8_t* data = encode(rows, width, height, PNG_COLOR_TYPE_RGB, 8, false, nullptr, size);
    alloc_check_free(rows);
    return data;
}

uint8_t* png_encode_gray16(const uint16_t* samples, int width, int height, size_t* size)
{
    if (!size_ok(width, height)) return nullptr;
    auto** rows = static_cast<png_bytep*>(xmalloc(sizeof(png_bytep) * size_t(height)));
    for (int y = 0; y < height; y++)
        rows[y] = reinterpret_cast<png_bytep>(const_cast<uint16_t*>(samples + size_t(y) * size_t(width)));
    uint16_t probe = 1;
    bool little = *reinterpret_cast<uint8_t*>(&probe) == 1;
    uint8_t* data = encode(rows, width, height, PNG_COLOR_TYPE_GRAY, 16, little, nullptr, size);
    alloc_check_free(rows);
    return data;
}
