#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "gfx/font.h"
#include "gfx/image_message.h"

namespace {

const char* tiny = R"(ZTF1
atlas 64 32
line 20 5
glyphs 4
32 0 0 0 0 0 0 6
63 0 0 8 14 1 14 10
65 10 0 12 15 0 15 12
103 30 0 9 14 1 10 11
end
)";

font parsed(const std::string& text)
{
    font f;
    EXPECT_EQ(font_parse("t.font", text.data(), text.size(), &f), 1) << image_last_error();
    return f;
}

TEST(Font, MetricsInLineUnits)
{
    font f = parsed(tiny);
    const font_glyph& a = f.glyphs['A'];
    ASSERT_TRUE(a.present);
    EXPECT_FLOAT_EQ(a.advance, 12 / 20.0f);
    EXPECT_FLOAT_EQ(a.y1, (5 + 15) / 20.0f);  // top at baseline + 15 px
    EXPECT_FLOAT_EQ(a.y0, 5 / 20.0f);
    EXPECT_FLOAT_EQ(a.u0, 10 / 64.0f);
    EXPECT_FLOAT_EQ(a.v1, 15 / 32.0f);
    const font_glyph& g = f.glyphs['g'];
    EXPECT_FLOAT_EQ(g.y0, (5 + 10 - 14) / 20.0f);  // the descender reaches below the baseline
    EXPECT_FALSE(f.glyphs['B'].present);
}

TEST(Font, WidthSkipsEscapesAndSubstitutesMissingGlyphs)
{
    font f = parsed(tiny);
    struct {
        const char* text;
        float px;
    } cases[] = {
        {"", 0},
        {"A", 12},
        {"A A", 30},
        {"\033[31mA\033[0mA", 24},
        {"\033[1;33mA", 12},  // other sequences are skipped too
        {"B", 10},            // drawn as "?"
        {"\033", 0},
        {"\033[31", 0},
    };
    for (auto c : cases) EXPECT_FLOAT_EQ(font_text_width(&f, c.text), c.px / 20) << c.text;
    // Drawing takes no text as nothing to draw; measuring it agrees.
    EXPECT_FLOAT_EQ(font_text_width(&f, nullptr), 0);
}

TEST(Font, LayoutPlacesGlyphsAndSwitchesColour)
{
    font f = parsed(tiny);
    struct placed {
        float pen;
        int red;
        const font_glyph* g;
    };
    std::vector<placed> quads;
    font_layout(&f, "A \033[31mAg\033[0mA", [](void* c, const font_glyph* g, float pen, int red) {
        static_cast<std::vector<placed>*>(c)->push_back({pen, red, g});
    }, &quads);
    ASSERT_EQ(quads.size(), 4u);  // the blank has no quad
    EXPECT_FLOAT_EQ(quads[1].pen, 18 / 20.0f);
    EXPECT_EQ(quads[0].red, 0);
    EXPECT_EQ(quads[1].red, 1);
    EXPECT_EQ(quads[2].g, &f.glyphs['g']);
    EXPECT_EQ(quads[2].red, 1);
    EXPECT_EQ(quads[3].red, 0);
}

TEST(Font, BadMetricsAreRefused)
{
    const std::string t = tiny;
    auto with = [&](const std::string& from, const std::string& to) {
        std::string s = t;
        return s.replace(s.find(from), from.size(), to);
    };
    const std::string cases[] = {
        "",
        with("ZTF1", "ZTF2"),
        with("glyphs 4", "glyphs 5"),
        with("65 10 0 12", "65 60 0 12"),          // outside the atlas
        with("103 30", "65 30"),                   // a code twice
        with("63 0 0", "7 0 0"),                   // a control code
        with("line 20 5", "line 0 5"),
        with("atlas 64 32", "atlas 64 99999"),
        with("end", ""),
        t.substr(0, t.size() / 2),
    };
    for (const auto& c : cases) {
        font f;
        EXPECT_EQ(font_parse("bad.font", c.data(), c.size(), &f), 0) << c;
        EXPECT_STREQ(image_last_error(), "Bad font metrics in 'bad.font'");
        EXPECT_FALSE(f.glyphs['A'].present);
    }
}

TEST(Font, GeneratedFontsHoldPrintableAscii)
{
    for (const char* name : {"main", "bold", "mono"}) {
        std::ifstream in(std::string("../data/fonts/") + name + ".font");
        ASSERT_TRUE(in) << name;
        std::stringstream ss;
        ss << in.rdbuf();
        font f;
        ASSERT_EQ(font_parse(name, ss.str().data(), ss.str().size(), &f), 1) << image_last_error();
        for (int c = 32; c < 127; c++) EXPECT_TRUE(f.glyphs[c].present) << name << " " << c;
        // A capital stands between the baseline and the line's top.
        EXPECT_GT(f.glyphs['H'].y0, 0.1f);
        EXPECT_LT(f.glyphs['H'].y1, 1.0f);
        EXPECT_GT(f.glyphs['W'].advance, f.glyphs['i'].advance * (std::string(name) == "mono" ? 0.99f : 1.5f));
    }
}

} // namespace
