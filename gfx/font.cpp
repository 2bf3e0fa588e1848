#include "gfx/font.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "gfx/image_message.h"

namespace {
struct reader {
    const char* p;
    const char* end;
};

int read_long(reader* r, long lo, long hi, long* out)
{
    while (r->p < r->end && strchr(" \t\r\n", *r->p)) r->p++;
    char buf[24];
    int n = 0;
    while (r->p < r->end && !strchr(" \t\r\n", *r->p) && n < 23) buf[n++] = *r->p++;
    buf[n] = 0;
    char* e;
    errno = 0;
    long v = strtol(buf, &e, 10);
    if (n == 0 || *e || errno || v < lo || v > hi) return 0;
    *out = v;
    return 1;
}

int expect(reader* r, const char* word)
{
    while (r->p < r->end && strchr(" \t\r\n", *r->p)) r->p++;
    size_t n = strlen(word);
    if (size_t(r->end - r->p) < n || memcmp(r->p, word, n) != 0) return 0;
    r->p += n;
    return r->p == r->end || strchr(" \t\r\n", *r->p);
}

// The glyph drawn for a code: its own, else "?", else none.
const font_glyph* glyph_for(const font* f, unsigned char code)
{
    if (f->glyphs[code].present) return &f->glyphs[code];
    if (f->glyphs['?'].present) return &f->glyphs['?'];
    return nullptr;
}

// Skips an escape sequence "\033[ ... m" at text; sets *red for the two the
// text system knows. Returns the number of bytes taken.
size_t escape_length(const char* text, int* red)
{
    if (text[1] != '[') return 1;
    size_t n = 2;
    while (text[n] && text[n] != 'm' && n < 16) n++;
    if (text[n] != 'm') return n;
    if (n == 3 && text[2] == '0') *red = 0;
    if (n == 4 && text[2] == '3' && text[3] == '1') *red = 1;
    return n + 1;
}
} // namespace

int font_parse(const char* name, const char* text, size_t size, font* out)
{
    memset(out, 0, sizeof *out);
    reader r = {text, text + size};
    long aw, ah, line, base, count;
    bool ok = expect(&r, "ZTF1") && expect(&r, "atlas") && read_long(&r, 1, 4096, &aw) && read_long(&r, 1, 4096, &ah) &&
              expect(&r, "line") && read_long(&r, 1, 4096, &line) && read_long(&r, 0, line, &base) &&
              expect(&r, "glyphs") && read_long(&r, 0, 224, &count);
    for (long i = 0; ok && i < count; i++) {
        long v[8];
        static const long lo[8] = {32, 0, 0, 0, 0, -4096, -4096, 0};
        static const long hi[8] = {255, 4096, 4096, 4096, 4096, 4096, 4096, 4096};
        for (int k = 0; ok && k < 8; k++) ok = read_long(&r, lo[k], hi[k], &v[k]);
        if (!ok) break;
        font_glyph* g = &out->glyphs[v[0]];
        if (g->present || v[1] + v[3] > aw || v[2] + v[4] > ah) {
            ok = false;
            break;
        }
        const float unit = 1.0f / float(line);
        g->present = 1;
        g->u0 = float(v[1]) / float(aw);
        g->v0 = float(v[2]) / float(ah);
        g->u1 = float(v[1] + v[3]) / float(aw);
        g->v1 = float(v[2] + v[4]) / float(ah);
        g->x0 = float(v[5]) * unit;
        g->x1 = float(v[5] + v[3]) * unit;
        g->y1 = float(base + v[6]) * unit;
        g->y0 = g->y1 - float(v[4]) * unit;
        g->advance = float(v[7]) * unit;
    }
    if (!ok || !expect(&r, "end")) {
        image_set_error("Bad font metrics in '%.900s'", name);
        memset(out, 0, sizeof *out);
        return 0;
    }
    return 1;
}

namespace {
// Walks the string, calling quad (when given) per visible glyph; the pen's end.
float walk(const font* f, const char* text, void (*quad)(void*, const font_glyph*, float, int), void* context)
{
    float pen = 0;
    int red = 0;
    if (!text) return pen;
    for (const char* p = text; *p;) {
        if (*p == '\033') {
            p += escape_length(p, &red);
            continue;
        }
        const font_glyph* g = glyph_for(f, static_cast<unsigned char>(*p));
        p++;
        if (!g) continue;
        if (quad && g->x1 > g->x0) quad(context, g, pen, red);
        pen += g->advance;
    }
    return pen;
}
} // namespace

void font_layout(const font* f, const char* text, void (*quad)(void* context, const font_glyph* g, float pen, int red),
                 void* context)
{
    walk(f, text, quad, context);
}

float font_text_width(const font* f, const char* text) { return walk(f, text, nullptr, nullptr); }
