#include "gfx/text.h"

#include <cctype>
#include <cstdio>
#include <cstring>

#include "core/alloc.h"
#include "gfx/image_file.h"
#include "gfx/image_message.h"
#include "gfx/imm.h"
#include "gfx/texture.h"
#include "gfx/ztgl.h"
#include "ui/console.h"

font fonts[FONT_COUNT];
int32_t text_drawing_on = 1;

namespace {
const char* const font_names[FONT_COUNT] = {"main", "bold", "mono"};

constexpr float shadow_offset = 1.0f / 16.0f;

struct pen_state {
    float x, y;
    float colour[4];
    float red[4];
};

void emit_quad(void* context, const font_glyph* g, float pen, int red)
{
    auto* s = static_cast<pen_state*>(context);
    const float* c = red ? s->red : s->colour;
    imm_color(c[0], c[1], c[2], c[3]);
    float x0 = s->x + pen + g->x0, x1 = s->x + pen + g->x1, y0 = s->y + g->y0, y1 = s->y + g->y1;
    imm_texcoord(g->u0, g->v1);
    imm_vertex2(x0, y0);
    imm_texcoord(g->u1, g->v1);
    imm_vertex2(x1, y0);
    imm_texcoord(g->u1, g->v0);
    imm_vertex2(x1, y1);
    imm_texcoord(g->u0, g->v0);
    imm_vertex2(x0, y1);
}

bool blank(const char* text)
{
    for (; *text; text++)
        if (!isspace(static_cast<unsigned char>(*text))) return false;
    return true;
}
} // namespace

int load_fonts()
{
    int loaded = 0;
    for (int i = 0; i < FONT_COUNT; i++) {
        char name[64];
        snprintf(name, sizeof name, "@fonts/%s.font", font_names[i]);
        size_t size;
        uint8_t* data = image_file_read(name, &size);
        if (!data) {
            console_printf("Can't open font \"%s\"", name);
            continue;
        }
        int ok = font_parse(name, reinterpret_cast<const char*>(data), size, &fonts[i]);
        alloc_check_free(data);
        if (!ok) {
            console_printf("%s", image_last_error());
            continue;
        }
        // The atlas keeps its full resolution whatever the detail setting.
        snprintf(name, sizeof name, "!@fonts/%s.png", font_names[i]);
        fonts[i].texture = uint32_t(texture_load(name));
        loaded += fonts[i].texture != 0;
    }
    return loaded == FONT_COUNT;
}

void free_fonts()
{
    // The atlases belong to the texture registry (generation 0), which the
    // exit purge deletes; only the metrics go here.
    memset(fonts, 0, sizeof fonts);
}

float text_width(const char* text) { return font_text_width(&fonts[FONT_MAIN], text); }

namespace {
void draw_run(const font* f, pen_state* s, const char* text)
{
    if (!text_drawing_on) return;
    ztglBindTexture(GL_TEXTURE_2D, f->texture);
    imm_begin(IMM_QUADS);
    font_layout(f, text, emit_quad, s);
    imm_end();
}
} // namespace

void draw_text_font(const font* f, float x, float y, float r, float g, float b, float a, const char* text)
{
    if (!text || blank(text)) return;
    pen_state s = {x, y, {r, g, b, a}, {1, 0, 0, a}};
    draw_run(f, &s, text);
}

void draw_text(float r, float g, float b, float a, const char* text)
{
    draw_text_font(&fonts[FONT_MAIN], 0, 0, r, g, b, a, text);
}

void draw_text_white(const char* text) { draw_text(1, 1, 1, 1, text); }

namespace {
void shadowed_at(float x, float r, float g, float b, float a, const char* text)
{
    const font* f = &fonts[FONT_MAIN];
    // The shadow ignores colour escapes: every glyph black at half alpha.
    if (!text || blank(text)) return;
    pen_state s = {x + shadow_offset, -shadow_offset, {0, 0, 0, a * 0.5f}, {0, 0, 0, a * 0.5f}};
    draw_run(f, &s, text);
    draw_text_font(f, x, 0, r, g, b, a, text);
}
} // namespace

void draw_text_shadowed(float r, float g, float b, float a, const char* text) { shadowed_at(0, r, g, b, a, text); }

void draw_text_centred(float r, float g, float b, float a, float x0, float x1, const char* text)
{
    draw_text_font(&fonts[FONT_MAIN], (x0 + x1 - text_width(text)) * 0.5f, 0, r, g, b, a, text);
}

void draw_text_centred_shadowed(float r, float g, float b, float a, float x0, float x1, const char* text)
{
    shadowed_at((x0 + x1 - text_width(text)) * 0.5f, r, g, b, a, text);
}

void draw_text_right_shadowed(float r, float g, float b, float a, float x, const char* text)
{
    shadowed_at(x - text_width(text), r, g, b, a, text);
}
