#include "gfx/texture.h"

#include <algorithm>

#include "core/alloc.h"
#include "gfx/image_message.h"
#include "gfx/number_plate.h"
#include "gfx/pixel_buffer.h"
#include "gfx/ztgl.h"
#include "ui/console.h"

uint64_t texture_memory;

namespace {
// Names of the compatibility profile, used as plain values.
constexpr GLint gl_clamp = 0x2900;
constexpr GLenum gl_compressed_rgb = 0x84ED, gl_compressed_rgba = 0x84EE;

// Wrap modes: GL_CLAMP first (which core and ES contexts refuse, harmlessly),
// then the edge clamp on every axis that does not repeat. 1 when the GL
// reported an error afterwards, which selects the nearest filters.
int set_wrap(uint32_t flags)
{
    ztglTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, (flags & TEXTURE_REPEAT_S) ? GL_REPEAT : gl_clamp);
    ztglTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, (flags & TEXTURE_REPEAT_T) ? GL_REPEAT : gl_clamp);
    ztgl_drain_errors();
    if (!(flags & TEXTURE_REPEAT_S)) ztglTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_CLAMP_TO_EDGE);
    if (!(flags & TEXTURE_REPEAT_T)) ztglTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_CLAMP_TO_EDGE);
    return ztglGetError() != GL_NO_ERROR;
}

void set_border(const uint8_t* pixels, int width, int height, int bpp)
{
    // GL ES has no border colour; it only matters for a border clamp, which
    // is never the final wrap mode.
    if (ztgl_state.es) return;
    float colour[4];
    texture_border_colour(pixels, width, height, bpp, colour);
    ztglTexParameterfv(GL_TEXTURE_2D, GL_TEXTURE_BORDER_COLOR, colour);
}

// The bytes a level took: the driver's compressed size when it did compress,
// else the plain size.
uint64_t level_bytes(int level, int w, int h, int bpp, bool compressed)
{
    if (compressed) {
        GLint is_compressed = 0, size = 0;
        ztglGetTexLevelParameteriv(GL_TEXTURE_2D, level, GL_TEXTURE_COMPRESSED, &is_compressed);
        if (is_compressed) {
            ztglGetTexLevelParameteriv(GL_TEXTURE_2D, level, GL_TEXTURE_COMPRESSED_IMAGE_SIZE, &size);
            if (size > 0) return uint64_t(size);
        }
    }
    return uint64_t(w) * uint64_t(h) * uint64_t(bpp);
}

int create(const uint8_t* pixels, int width, int height, int bpp, uint32_t flags, bool allow_compression)
{
    GLenum format = bpp == 4 ? GL_RGBA : GL_RGB;
    bool compressed = allow_compression && (flags & TEXTURE_COMPRESSED) && ztgl_state.major > 1 && !ztgl_state.es;
    GLint internal = GLint(compressed ? (bpp == 4 ? gl_compressed_rgba : gl_compressed_rgb) : format);
    GLuint id = 0;
    ztglGenTextures(1, &id);
    ztglBindTexture(GL_TEXTURE_2D, id);
    int error = set_wrap(flags);
    bool mips = !(flags & TEXTURE_NO_MIPS);
    GLint min_filter = mips ? (error ? GL_NEAREST_MIPMAP_NEAREST : GL_LINEAR_MIPMAP_LINEAR) : (error ? GL_NEAREST : GL_LINEAR);
    ztglTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, min_filter);
    ztglTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
    set_border(pixels, width, height, bpp);
    // Rows are packed without gaps: any width must unpack exactly.
    ztglPixelStorei(GL_UNPACK_ALIGNMENT, 1);
    int w = std::max(1, width), h = std::max(1, height), level = 0;
    const uint8_t* p = pixels;
    for (;;) {
        ztglTexImage2D(GL_TEXTURE_2D, level, internal, w, h, 0, format, GL_UNSIGNED_BYTE, p);
        texture_memory += level_bytes(level, w, h, bpp, compressed);
        if (!mips || (w < 2 && h < 2)) break;
        p += size_t(w) * size_t(h) * size_t(bpp);
        w = std::max(1, w / 2);
        h = std::max(1, h / 2);
        level++;
    }
    ztglBindTexture(GL_TEXTURE_2D, 0);
    return int(id);
}
} // namespace

int texture_create(const uint8_t* pixels, int width, int height, int bytes_per_pixel, uint32_t flags)
{
    return create(pixels, width, height, bytes_per_pixel, flags, true);
}

int texture_create_clamped(const uint8_t* pixels, int width, int height, int bytes_per_pixel)
{
    return create(pixels, width, height, bytes_per_pixel, 0, false);
}

int texture_create_clamped_fwd(const uint8_t* pixels, int width, int height, int bytes_per_pixel)
{
    return texture_create_clamped(pixels, width, height, bytes_per_pixel);
}

int texture_create_fitted(uint8_t* pixels, int width, int height, int bytes_per_pixel, int drop_levels,
                          uint32_t flags, const char* name)
{
    if (!is_power_of_two(width) || !is_power_of_two(height)) {
        int w = pot_strictly_below(width), h = pot_strictly_below(height);
        uint8_t* resampled = image_resample_nearest(pixels, width, height, bytes_per_pixel, w, h);
        int id = texture_create_fitted(resampled, w, h, bytes_per_pixel, drop_levels, flags, name);
        alloc_check_free(resampled);
        return id;
    }
    fitted_choice choice = texture_fit_choose(pixels, width, height, bytes_per_pixel, drop_levels);
    if (choice.dropped_by_detail && name)
        console_printf("%.64s reduced to %dx%d (originally %dx%d)", name, choice.width, choice.height, width, height);
    const uint8_t* top = mip_level(pixels, width, height, bytes_per_pixel, choice.level, nullptr, nullptr);
    return texture_create(top, choice.width, choice.height, bytes_per_pixel, flags);
}

void texture_upload_levels(int id, const uint8_t* pixels, int width, int height, int bytes_per_pixel)
{
    GLenum format = bytes_per_pixel == 4 ? GL_RGBA : GL_RGB;
    ztglBindTexture(GL_TEXTURE_2D, GLuint(id));
    ztglPixelStorei(GL_UNPACK_ALIGNMENT, 1);
    // Down to 1x1, as texture_create made the levels.
    int w = width, h = height, level = 0;
    for (;;) {
        ztglTexSubImage2D(GL_TEXTURE_2D, level, 0, 0, w, h, format, GL_UNSIGNED_BYTE, pixels);
        if (w < 2 && h < 2) break;
        pixels += size_t(w) * size_t(h) * size_t(bytes_per_pixel);
        w = std::max(1, w / 2);
        h = std::max(1, h / 2);
        level++;
    }
    ztglBindTexture(GL_TEXTURE_2D, 0);
}

int number_plate_texture(const char* number, const uint8_t background[3], const uint8_t digit[3])
{
    uint8_t* p = number_plate_build(number, background, digit);
    int id = texture_create(p, NUMBER_PLATE_WIDTH, NUMBER_PLATE_HEIGHT, 3, 0);
    alloc_check_free(p);
    return id;
}
