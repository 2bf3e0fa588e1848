// Rasterises the three bitmap fonts (docs/font.md) from the DejaVu faces with
// FreeType: an RGBA atlas of white glyphs with coverage as alpha, and the
// metrics file.
#include <ft2build.h>
#include FT_FREETYPE_H

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "tools/datagen/datagen.h"

namespace {

const char* const face_folder = "/usr/share/fonts/truetype/dejavu/";
constexpr int pixel_size = 32;
constexpr int atlas_width = 512;
constexpr int padding = 2;

struct glyph_bitmap {
    int code;
    int w, h, left, top, advance;
    std::vector<uint8_t> coverage;
    int x = 0, y = 0;
};

int write_font(const std::string& root, FT_Library library, const char* face_file, const char* name)
{
    std::string path = std::string(face_folder) + face_file;
    FT_Face face;
    if (FT_New_Face(library, path.c_str(), 0, &face) || FT_Set_Pixel_Sizes(face, 0, pixel_size)) {
        fprintf(stderr, "zt_datagen: can't read the font '%s'\n", path.c_str());
        return 0;
    }
    int ascent = int(face->size->metrics.ascender >> 6);
    int descent = int(-(face->size->metrics.descender >> 6));
    std::vector<glyph_bitmap> glyphs;
    for (int code = 32; code < 256; code++) {
        if (code >= 127 && code < 160) continue;
        // Latin-1 codes are their own Unicode code points.
        FT_UInt index = FT_Get_Char_Index(face, FT_ULong(code));
        if (index == 0 || FT_Load_Glyph(face, index, FT_LOAD_RENDER)) continue;
        FT_GlyphSlot g = face->glyph;
        glyph_bitmap b{code, int(g->bitmap.width), int(g->bitmap.rows), g->bitmap_left, g->bitmap_top,
                       int((g->advance.x + 32) >> 6), {}};
        for (int y = 0; y < b.h; y++)
            for (int x = 0; x < b.w; x++) b.coverage.push_back(g->bitmap.buffer[y * g->bitmap.pitch + x]);
        glyphs.push_back(std::move(b));
    }
    FT_Done_Face(face);

    // Shelf packing in code order (deterministic).
    int x = padding, y = padding, shelf = 0;
    for (auto& g : glyphs) {
        if (g.w == 0 || g.h == 0) {
            g.w = g.h = 0;
            continue;
        }
        if (x + g.w + padding > atlas_width) {
            x = padding;
            y += shelf + padding;
            shelf = 0;
        }
        g.x = x;
        g.y = y;
        x += g.w + padding;
        shelf = std::max(shelf, g.h);
    }
    int height = 1;
    while (height < y + shelf + padding) height *= 2;
    std::vector<uint8_t> atlas(size_t(atlas_width) * height * 4, 0);
    for (size_t i = 0; i < atlas.size(); i += 4) atlas[i] = atlas[i + 1] = atlas[i + 2] = 255;
    for (const auto& g : glyphs)
        for (int gy = 0; gy < g.h; gy++)
            for (int gx = 0; gx < g.w; gx++)
                atlas[(size_t(g.y + gy) * atlas_width + size_t(g.x + gx)) * 4 + 3] = g.coverage[size_t(gy * g.w + gx)];
    int ok = datagen_write_png(root, std::string("fonts/") + name + ".png", atlas.data(), atlas_width, height, 4);

    std::string text = "ZTF1\n";
    char line[160];
    snprintf(line, sizeof line, "atlas %d %d\nline %d %d\nglyphs %zu\n", atlas_width, height, ascent + descent,
             descent, glyphs.size());
    text += line;
    for (const auto& g : glyphs) {
        snprintf(line, sizeof line, "%d %d %d %d %d %d %d %d\n", g.code, g.x, g.y, g.w, g.h, g.left, g.top,
                 g.advance);
        text += line;
    }
    text += "end\n";
    return ok && datagen_write_text(root, std::string("fonts/") + name + ".font", text);
}

int gen_fonts(const std::string& root)
{
    FT_Library library;
    if (FT_Init_FreeType(&library)) {
        fprintf(stderr, "zt_datagen: can't start FreeType\n");
        return 0;
    }
    int ok = write_font(root, library, "DejaVuSans.ttf", "main") &&
             write_font(root, library, "DejaVuSans-Bold.ttf", "bold") &&
             write_font(root, library, "DejaVuSansMono.ttf", "mono");
    FT_Done_FreeType(library);
    return ok;
}

} // namespace

DATAGEN_STEP("20_fonts", gen_fonts);
