// Textures on a real GL context: uploads read back level by level, the
// registry over a temporary data root, animations and custom frames, text and
// models drawn into a framebuffer.
#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <cstring>
#include <filesystem>
#include <string>
#include <tuple>
#include <vector>

#include "core/alloc.h"
#include "core/vfs_test_util.h"
#include "gfx/image_png.h"
#include "gfx/image_q.h"
#include "gfx/imm.h"
#include "gfx/model.h"
#include "gfx/number_plate.h"
#include "gfx/pixel_buffer.h"
#include "gfx/text.h"
#include "gfx/texture.h"
#include "gl_test_ztgl_context.h"
#include "support_png_writer.h"
#include "ui/console.h"

namespace {

// One context for the whole program (core profile: what the game asks for).
class gl_textures : public vfs_test::roots_fixture {
protected:
    static void SetUpTestSuite()
    {
        std::string why = gl_test_open(GL_TEST_CORE);
        if (!why.empty()) FAIL() << why;
        ASSERT_EQ(ztgl_build_programs(), 1);
    }
    static void TearDownTestSuite() { gl_test_close(); }
    void TearDown() override
    {
        textures_purge(1);
        models_purge(1);
        texture_generation = 0;
        model_generation = 0;
        vfs_test::roots_fixture::TearDown();
    }

    // The build's own data root, for the fonts and models the generator wrote.
    void use_build_data()
    {
        setenv("ZT_HOME", (vfs_test::program_folder() + "/../data").c_str(), 1);
        vfs_shutdown();
    }

    // Level `level` of texture id, read back through a framebuffer, tightly packed.
    static std::vector<uint8_t> read_level(int id, int level, int w, int h, int bpp)
    {
        GLuint fb;
        ztglGenFramebuffers(1, &fb);
        ztglBindFramebuffer(GL_FRAMEBUFFER, fb);
        ztglFramebufferTexture2D(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_TEXTURE_2D, GLuint(id), level);
        std::vector<uint8_t> rgba(size_t(w) * h * 4);
        ztglPixelStorei(GL_PACK_ALIGNMENT, 1);
        ztglReadPixels(0, 0, w, h, GL_RGBA, GL_UNSIGNED_BYTE, rgba.data());
        ztglBindFramebuffer(GL_FRAMEBUFFER, 0);
        ztglDeleteFramebuffers(1, &fb);
        std::vector<uint8_t> out;
        for (size_t i = 0; i < size_t(w) * h; i++)
            for (int c = 0; c < bpp; c++) out.push_back(rgba[i * 4 + c]);
        return out;
    }

    void write_png(const std::string& file, int w, int h, int channels, uint8_t seed, const char* text = nullptr)
    {
        std::vector<uint8_t> px(size_t(w) * h * channels);
        for (size_t i = 0; i < px.size(); i++) px[i] = uint8_t(seed + i * 13);
        size_t size;
        uint8_t* png = png_encode(px.data(), w, h, channels, text, &size);
        vfs_test::write_all(data + file, std::string(reinterpret_cast<char*>(png), size));
        alloc_check_free(png);
    }
};

TEST_F(gl_textures, UploadReadsBackEveryLevel)
{
    // Odd RGB widths unpack skewed unless the alignment is 1.
    for (int bpp : {3, 4})
        for (auto [w, h] : {std::pair{5, 3}, std::pair{16, 8}, std::pair{1, 7}}) {
            uint8_t* p = pixel_buffer_alloc(w, h, bpp);
            for (int i = 0; i < w * h * bpp; i++) p[i] = uint8_t(i * 29 + 7);
            mip_chain_build(p, w, h, bpp);
            uint64_t before = texture_memory;
            int id = texture_create(p, w, h, bpp, 0);
            ASSERT_NE(id, 0);
            EXPECT_EQ(texture_memory - before, mip_chain_bytes(w, h, bpp));
            for (int level = 0; level < mip_level_count(w, h); level++) {
                int lw, lh;
                uint8_t* src = mip_level(p, w, h, bpp, level, &lw, &lh);
                EXPECT_EQ(read_level(id, level, lw, lh, bpp), std::vector<uint8_t>(src, src + lw * lh * bpp))
                    << w << "x" << h << " bpp " << bpp << " level " << level;
            }
            GLuint name = GLuint(id);
            ztglDeleteTextures(1, &name);
            alloc_check_free(p);
        }
}

TEST_F(gl_textures, RegistryFindsByNameAndWarnsOnCase)
{
    write_png("a.png", 8, 8, 3, 1);
    int id = texture_load("@a.png");
    ASSERT_NE(id, 0);
    EXPECT_EQ(texture_load("!@a.png"), id);
    EXPECT_STREQ(texture_name(id), "@a.png");
    console_clear();
    EXPECT_EQ(texture_load("@A.png"), id);
    EXPECT_STREQ(console_recent_line(1, 0), "Warning: case mismatch on '@A.png'");
    EXPECT_EQ(texture_load("@missing.png"), 0);
    // The suffix swap the track loader uses.
    write_png("ground_n.png", 8, 8, 3, 2);
    int normal_map = replace_suffix_lookup("@ground.png", ".png", "_n.png");
    EXPECT_NE(normal_map, 0);
    EXPECT_EQ(normal_map, texture_find("@ground_n.png"));
    EXPECT_EQ(replace_suffix_lookup("@ground.ppm", ".png", "_n.png"), 0);
    EXPECT_EQ(replace_suffix_lookup("@ground.png", ".png", "_s.png"), 0);
}

TEST_F(gl_textures, EveryFormatLoadsWithTextAndWarnings)
{
    write_png("t.png", 8, 8, 4, 3, "[compress]");
    vfs_test::write_all(data + "t.png.info", "extra");
    vfs_test::write_all(data + "p.ppm", "P3 2 2 255\n1 2 3 4 5 6 7 8 9 10 11 12\n");
    std::vector<uint8_t> px(4 * 4 * 4, 77);
    size_t size;
    uint8_t* q = q_encode(px.data(), 4, 4, 4, &size);
    vfs_test::write_all(data + "q.q7", std::string(reinterpret_cast<char*>(q), size));
    alloc_check_free(q);
    write_png("odd.png", 6, 4, 3, 9);
    vfs_test::write_all(data + "broken.ppm", "P6 4 4 255\nshort");
    int t = texture_load("@t.png");
    ASSERT_NE(t, 0);
    EXPECT_STREQ(texture_text(t), "[compress]extra");
    EXPECT_NE(texture_load("@p.ppm"), 0);
    EXPECT_NE(texture_load("@q.q7"), 0);
    console_clear();
    EXPECT_NE(texture_load("@odd.png"), 0);
    EXPECT_STREQ(console_recent_line(1, 0), "Warning: Non power of 2 texture '@odd.png'");
    // A flat image carries no detail above 16x16: the size policy says so.
    std::vector<uint8_t> flat(64 * 64 * 3, 90);
    uint8_t* png = png_encode(flat.data(), 64, 64, 3, nullptr, &size);
    vfs_test::write_all(data + "flat.png", std::string(reinterpret_cast<char*>(png), size));
    alloc_check_free(png);
    uint64_t before = texture_memory;
    EXPECT_NE(texture_load("@flat.png"), 0);
    EXPECT_STREQ(console_recent_line(1, 0), "@flat.png reduced to 16x16 (originally 64x64)");
    EXPECT_EQ(texture_memory - before, mip_chain_bytes(16, 16, 3));
    // A reader that fails falls back to PNG, which fails too: 0, nothing registered.
    EXPECT_EQ(texture_load("@broken.ppm"), 0);
    EXPECT_EQ(texture_find("@broken.ppm"), 0);
}

TEST_F(gl_textures, BadFilesAreReportedWithOneLineNamingThem)
{
    write_png("good.png", 8, 8, 3, 4);
    std::string good = vfs_test::read_all(data + "good.png");
    const struct {
        const char* file;
        std::string bytes;
    } cases[] = {
        {"cut.png", good.substr(0, good.size() / 2)},
        {"junk.png", "not an image at all"},
        {"empty.png", ""},
        {"huge.ppm", "P6 99999 99999 255\n"},
        {"short.q7", "Q7 4"},
    };
    for (const auto& c : cases) {
        vfs_test::write_all(data + c.file, c.bytes);
        console_clear();
        std::string name = std::string("@") + c.file;
        EXPECT_EQ(texture_load(name.c_str()), 0) << c.file;
        EXPECT_NE(std::string(console_recent_line(1, 0)).find("'" + name + "'"), std::string::npos)
            << c.file << ": " << console_recent_line(1, 0);
        EXPECT_STREQ(console_recent_line(2, 0), "") << c.file;
        EXPECT_EQ(texture_find(name.c_str()), 0) << c.file;
    }
}

TEST_F(gl_textures, LinksAndCycles)
{
    write_png("colors/white.png", 4, 4, 3, 255);
    write_png("real.png", 4, 4, 3, 5);
    vfs_test::write_all(data + "alias.png", "LINK  @real.png \n");
    vfs_test::write_all(data + "self.png", "LINK @self.png");
    vfs_test::write_all(data + "a.png", "LINK @b.png");
    vfs_test::write_all(data + "b.png", "LINK @a.png");
    vfs_test::write_all(data + "dangling.png", "LINK @nothing.png");
    int real = texture_load("@alias.png");
    EXPECT_EQ(real, texture_find("@real.png"));
    EXPECT_EQ(texture_find("@alias.png"), 0);  // a LINK has no record of its own
    EXPECT_EQ(texture_load("@alias.png"), real);
    int white = texture_load("@self.png");
    EXPECT_STREQ(texture_name(white), "@colors/white.png");
    EXPECT_EQ(texture_load("@a.png"), white);
    EXPECT_EQ(texture_load("@b.png"), white);
    // A failing target: every later load retries, and the alias table stays one entry.
    int aliases = texture_alias_count();
    for (int i = 0; i < 3; i++) {
        EXPECT_EQ(texture_load("@dangling.png"), 0);
        EXPECT_EQ(texture_alias_count(), aliases + 1) << "load " << i;
    }
    write_png("nothing.png", 4, 4, 3, 1);
    EXPECT_NE(texture_load("@dangling.png"), 0);
    EXPECT_EQ(texture_alias_count(), aliases + 1);
}

TEST_F(gl_textures, PurgeKeepsGenerationZeroAndTexturesUsedAgain)
{
    write_png("hud.png", 4, 4, 3, 1);
    write_png("old.png", 4, 4, 3, 2);
    write_png("shared.png", 4, 4, 3, 3);
    write_png("new.png", 4, 4, 3, 4);
    int hud = texture_load("@hud.png");
    texture_generation = 1;
    int old_id = texture_load("@old.png");
    int shared = texture_load("@shared.png");
    texture_generation = 2;
    EXPECT_EQ(texture_load("@shared.png"), shared);  // the new track uses it again
    int fresh = texture_load("@new.png");
    textures_purge(0);
    EXPECT_EQ(texture_find("@hud.png"), hud);
    EXPECT_EQ(texture_find("@old.png"), 0);
    EXPECT_EQ(texture_name(old_id), nullptr);
    EXPECT_EQ(texture_find("@shared.png"), shared);
    EXPECT_EQ(texture_find("@new.png"), fresh);
    textures_purge(1);
    EXPECT_EQ(texture_find("@hud.png"), 0);
    EXPECT_NE(texture_load("@hud.png"), 0);  // the tables come back after the exit purge
}

std::string seq_of(int frames, int loop)
{
    std::string s = "ANIM1\n" + std::to_string(frames) + " " + std::to_string(frames) + " 2 " +
                    std::to_string(loop) + "\n";
    for (int i = 0; i < frames; i++) s += std::to_string(i) + " ";
    s += "\n";
    for (int f = 0; f < frames; f++) {
        std::vector<uint8_t> px(8 * 4 * 4, uint8_t(40 * (f + 1)));
        for (size_t i = 3; i < px.size(); i += 4) px[i] = 255;
        size_t size;
        uint8_t* q = q_encode(px.data(), 8, 4, 4, &size);
        s.append(reinterpret_cast<char*>(q), size);
        alloc_check_free(q);
    }
    return s;
}

TEST_F(gl_textures, AnimationsStepLoopPauseAndPurge)
{
    vfs_test::write_all(data + "once.seq", seq_of(3, 0));
    vfs_test::write_all(data + "loop.seq", seq_of(3, 1));
    int once = texture_load("@once.seq"), loop = texture_load("@loop.seq");
    ASSERT_NE(once, 0);
    ASSERT_NE(loop, 0);
    auto shown = [&](int id) { return int(read_level(id, 0, 8, 4, 4)[0]) / 40 - 1; };
    auto last_level = [&](int id) { return int(read_level(id, 3, 1, 1, 4)[0]) / 40 - 1; };
    texture_anims_step(0);
    EXPECT_EQ(shown(once), 0);
    texture_anims_step(2);
    EXPECT_EQ(shown(once), 1);
    EXPECT_EQ(last_level(once), 1);  // every level follows, down to 1x1
    texture_anims_step(100);
    EXPECT_EQ(shown(once), 2);  // holds the last entry
    EXPECT_EQ(shown(loop), (100 / 2) % 3);
    texture_anim_pause(loop);
    texture_anims_step(102);
    EXPECT_EQ(shown(loop), (100 / 2) % 3);
    texture_anim_start(loop, 102);
    texture_anims_step(102);
    EXPECT_EQ(shown(loop), 0);

    EXPECT_EQ(texture_begin_custom_frame(once), 1);
    EXPECT_EQ(texture_paste_custom_frame(once, 2, 0, 0, 0.5f, 0, 1, 1), 1);
    EXPECT_EQ(texture_end_custom_frame(once), 1);
    auto level0 = read_level(once, 0, 8, 4, 4);
    EXPECT_EQ(level0[0], 0);         // cleared
    EXPECT_EQ(level0[4 * 4], 120);   // frame 2 from x = 4 on
    EXPECT_EQ(texture_begin_custom_frame(12345), 0);
    EXPECT_EQ(texture_end_custom_frame(loop), 0);

    texture_generation = 1;
    textures_purge(0);
    EXPECT_NE(texture_find("@once.seq"), 0);  // generation 0
}

// A 256 x 64 pixel view with the text origin at (x, y) and `scale` pixels a
// text unit, blending on.
void text_view(float x, float y, float scale)
{
    ztgl_use_program(ZTGL_UNLIT);
    ztglMatrixMode(ZTGL_PROJECTION);
    ztglLoadIdentity();
    ztglOrtho(0, 256, 0, 64, -1, 1);
    ztglMatrixMode(ZTGL_MODELVIEW);
    ztglLoadIdentity();
    ztglEnable(GL_BLEND);
    ztglBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
    ztglTranslatef(x, y, 0);
    ztglScalef(scale, scale, 1);
}

TEST_F(gl_textures, TextWidthMatchesTheDrawnGlyphs)
{
    use_build_data();
    gl_test_target t = gl_test_target_open(256, 64);
    ASSERT_EQ(load_fonts(), 1) << "fonts from the build's data root";
    text_view(10, 10, 40);
    draw_text(0, 1, 0, 1, "HI \033[31mH\033[0mI");
    imm_flush();
    auto px = gl_test_read(t);
    int min_x = 256, max_x = -1, red = 0, green = 0;
    for (int y = 0; y < 64; y++)
        for (int x = 0; x < 256; x++) {
            const uint8_t* p = &px[(size_t(y) * 256 + x) * 4];
            if (p[3] < 128) continue;
            min_x = std::min(min_x, x);
            max_x = std::max(max_x, x);
            red += p[0] > 200 && p[1] < 50;
            green += p[1] > 200 && p[0] < 50;
        }
    const font_glyph& h = fonts[FONT_MAIN].glyphs['H'];
    const font_glyph& i = fonts[FONT_MAIN].glyphs['I'];
    float width = text_width("HI \033[31mH\033[0mI");
    // Ink from H's left bearing to the last I's right edge.
    EXPECT_NEAR(min_x, 10 + 40 * h.x0, 1.5);
    EXPECT_NEAR(max_x + 1, 10 + 40 * (width - i.advance + i.x1), 1.5);
    EXPECT_GT(red, 50);
    EXPECT_GT(green, 100);
    gl_test_target_close(&t);
    free_fonts();
}

TEST_F(gl_textures, ShadowedCentredAndRightAlignedText)
{
    use_build_data();
    gl_test_target t = gl_test_target_open(256, 64);
    ASSERT_EQ(load_fonts(), 1);
    auto ink = [&](const std::function<void()>& draw) {
        ztglClear(GL_COLOR_BUFFER_BIT);
        text_view(0, 16, 32);
        draw();
        imm_flush();
        auto px = gl_test_read(t);
        int lo = 256, hi = -1, shadow = 0;
        for (int y = 0; y < 64; y++)
            for (int x = 0; x < 256; x++) {
                const uint8_t* p = &px[(size_t(y) * 256 + x) * 4];
                if (p[3] == 0) continue;
                lo = std::min(lo, x);
                hi = std::max(hi, x);
                shadow += p[0] < 40 && p[3] > 60 && p[3] < 200;  // black at about half alpha
            }
        return std::tuple{lo, hi, shadow};
    };
    const char* text = "WIDE";
    auto [lo, hi, shadow] = ink([&] { draw_text_centred(1, 1, 1, 1, 0, 8, text); });
    EXPECT_NEAR((lo + hi + 1) / 2.0, 128, 2);  // centred on 4 units = 128 px
    EXPECT_EQ(shadow, 0);
    std::tie(lo, hi, shadow) = ink([&] { draw_text_right_shadowed(1, 1, 1, 1, 6, text); });
    // The pen ends at x; the ink ends short of it by E's right side bearing,
    // and the shadow reaches 1/16 further.
    const font_glyph& e = fonts[FONT_MAIN].glyphs['E'];
    EXPECT_NEAR(hi + 1, 32 * (6 + 1.0f / 16 - (e.advance - e.x1)), 2);
    EXPECT_GT(shadow, 20);
    std::tie(lo, hi, shadow) = ink([&] { draw_text_shadowed(1, 1, 1, 1, "   "); });
    EXPECT_EQ(hi, -1);  // blank strings draw nothing
    gl_test_target_close(&t);
    free_fonts();
}

// Draws into a 64 x 64 target, the model seen from the side or at three
// quarters, and counts the pixels written.
struct model_view {
    gl_test_target t;
    explicit model_view(bool three_quarters = false)
    {
        t = gl_test_target_open(64, 64);
        ztglMatrixMode(ZTGL_PROJECTION);
        ztglLoadIdentity();
        ztglOrtho(-4, 4, -2, 6, -10, 10);
        ztglMatrixMode(ZTGL_MODELVIEW);
        ztglLoadIdentity();
        if (three_quarters) ztglRotatef(25, 1, 0, 0);
        ztglRotatef(three_quarters ? 45 : 90, 0, 1, 0);
        ztglActiveTexture(GL_TEXTURE0);
        ztglBindTexture(GL_TEXTURE_2D, ztgl_state.white_texture);
        ztglActiveTexture(GL_TEXTURE1);
        ztglBindTexture(GL_TEXTURE_2D, ztgl_state.flat_normal_texture);
        ztglActiveTexture(GL_TEXTURE2);
        ztglBindTexture(GL_TEXTURE_2D, ztgl_state.white_texture);
        ztglActiveTexture(GL_TEXTURE0);
    }
    ~model_view() { gl_test_target_close(&t); }
    // Pixels written and the mean x of them.
    std::pair<int, double> ink(const std::function<void()>& draw)
    {
        ztglClear(GL_COLOR_BUFFER_BIT);
        draw();
        imm_flush();
        auto px = gl_test_read(t);
        int n = 0;
        double sx = 0;
        for (size_t k = 0; k < px.size(); k += 4)
            if (px[k + 3] > 0) {
                n++;
                sx += double((k / 4) % 64);
            }
        return {n, n ? sx / n : 0};
    }
};

const float origin[3] = {0, 0, 0}, identity[9] = {1, 0, 0, 0, 1, 0, 0, 0, 1};
const model_material material = {{0.4f, 0.4f, 0.4f, 1}, {0.6f, 0.6f, 0.6f}, {1, 1, 1}, 0};

TEST_F(gl_textures, GeneratedModelsDrawLitGlowAndOutline)
{
    use_build_data();
    model_view view(true);
    int count = 0;
    for (const auto& entry : std::filesystem::directory_iterator(vfs_test::program_folder() + "/../data")) {
        if (entry.path().extension() != ".qm") continue;
        std::string name = "@" + entry.path().filename().string();
        mesh* m = model_load(name.c_str());
        ASSERT_NE(m, nullptr) << name;
        count++;
        EXPECT_EQ(model_load(name.c_str()), m);  // cached
        EXPECT_EQ(model_find(name.c_str()), m);
        EXPECT_EQ(model_name(m), name);
        EXPECT_GT(view.ink([&] { model_draw_lit_ex(m, origin, identity, &material, nullptr); }).first, 2) << name;
        if (model_has_glow(m)) {
            EXPECT_GT(view.ink([&] { model_draw_glow_ex(m, origin, identity, &material, nullptr); }).first, 0)
                << name;
        }
        EXPECT_GT(view.ink([&] {
                      ztgl_use_program(ZTGL_UNLIT);
                      imm_color(1, 1, 1, 1);
                      model_draw_outline(m);
                  }).first,
                  2)
            << name;
    }
    EXPECT_GE(count, 10 + 24 * 6);
    EXPECT_EQ(ztglGetError(), GL_NO_ERROR);
    EXPECT_EQ(model_load("@absent.qm"), nullptr);
    // Purges: start-up models stay, older tracks' models go.
    models_purge(1);
    mesh* kept = model_load("@cone.qm");
    model_generation = 1;
    EXPECT_EQ(model_load("@hay_bale.qm")->generation, 1);
    model_generation = 2;
    models_purge(0);
    EXPECT_EQ(model_find("@cone.qm"), kept);  // generation 0
    EXPECT_EQ(model_find("@hay_bale.qm"), nullptr);
}

TEST_F(gl_textures, APartsOwnSkinDrawsAndTheCallersTextureComesBack)
{
    std::vector<uint8_t> red(4 * 4 * 3, 0);
    for (size_t i = 0; i < red.size(); i += 3) red[i] = 255;
    size_t size;
    uint8_t* png = png_encode(red.data(), 4, 4, 3, nullptr, &size);
    vfs_test::write_all(data + "red.png", std::string(reinterpret_cast<char*>(png), size));
    alloc_check_free(png);
    // One triangle in the x = 0 plane, wound both ways so that either side shows.
    vfs_test::write_all(data + "sign.qm", "QM1 lods 1 0\n"
                                          "part sign 0 lit @red.png colour 1 1 1 1 specular 0 0 0 1 vertices 3 0\n"
                                          "0 0 -3  1 0 0  0 0 1  0 0\n"
                                          "0 5 0  1 0 0  0 0 1  0 1\n"
                                          "0 0 3  1 0 0  0 0 1  1 0\n"
                                          "triangles 2 0 1 2 2 1 0\nend\n");
    mesh* m = model_load("@sign.qm");
    ASSERT_NE(m, nullptr);
    model_view view(true);
    ASSERT_GT(view.ink([&] { model_draw_lit_ex(m, origin, identity, &material, nullptr); }).first, 20);
    auto px = gl_test_read(view.t);
    int red_pixels = 0, other = 0;
    for (size_t k = 0; k < px.size(); k += 4) {
        if (px[k + 3] == 0) continue;
        (px[k] > 0 && px[k + 1] == 0 && px[k + 2] == 0 ? red_pixels : other)++;
    }
    EXPECT_GT(red_pixels, 20);
    EXPECT_EQ(other, 0);
    GLint bound = 0;
    ztgl_flush();
    ztgl_fn.GetIntegerv(GL_TEXTURE_BINDING_2D, &bound);
    EXPECT_EQ(GLuint(bound), ztgl_state.white_texture);
}

TEST_F(gl_textures, BonesMoveTheSkinnedRider)
{
    use_build_data();
    model_view view;
    mesh* rider = model_load("@rider_body.qm");
    ASSERT_NE(rider, nullptr);
    ASSERT_TRUE(rider->has_bones);
    float centres[30] = {}, moved[30] = {}, rotations[90] = {};
    for (int b = 0; b < 10; b++) {
        moved[3 * b + 2] = -2;  // every bone two feet forward (towards -z)
        for (int k = 0; k < 3; k++) rotations[9 * b + 4 * k] = 1;
    }
    const model_bones rest = {10, centres, centres, rotations}, shifted = {10, centres, moved, rotations};
    auto at_rest = view.ink([&] { model_draw_lit_ex(rider, origin, identity, &material, &rest); });
    auto forward = view.ink([&] { model_draw_lit_ex(rider, origin, identity, &material, &shifted); });
    ASSERT_GT(at_rest.first, 100);
    // Looking down +x, -z is screen right... or left: the shift is 2 feet = 16 pixels either way.
    EXPECT_NEAR(std::fabs(forward.second - at_rest.second), 16, 2);
}

TEST_F(gl_textures, SceneExportThroughAStream)
{
    use_build_data();
    mesh* m = model_load("@cone.qm");
    ASSERT_NE(m, nullptr);
    vfs_stream* out = vfs_open("@cone.pov", "w");
    ASSERT_NE(out, nullptr);
    model_export_pov(m, out);
    vfs_close(out);
    std::string expected;
    mesh_write_pov(m, [](void* c, const char* t) { static_cast<std::string*>(c)->append(t); }, &expected);
    char path[vfs_path_max];
    ASSERT_EQ(vfs_resolve_for_write("@cone.pov", path, sizeof path), 1);
    EXPECT_EQ(vfs_test::read_all(path), expected);
}

TEST_F(gl_textures, NumberPlateTexture)
{
    const uint8_t white[3] = {255, 255, 255}, black[3] = {0, 0, 0};
    int id = number_plate_texture("42", white, black);
    ASSERT_NE(id, 0);
    auto level0 = read_level(id, 0, NUMBER_PLATE_WIDTH, NUMBER_PLATE_HEIGHT, 3);
    uint8_t* expected = number_plate_build("42", white, black);
    EXPECT_EQ(0, memcmp(level0.data(), expected, level0.size()));
    alloc_check_free(expected);
    GLuint name = GLuint(id);
    ztglDeleteTextures(1, &name);
}

// Creation in every context the game may get: GL_CLAMP and the border colour
// are refused by core and ES contexts, compressed formats may be stored plain.
class gl_texture_dialects : public ::testing::TestWithParam<int> {
protected:
    void SetUp() override
    {
        std::string why = gl_test_open(GetParam());
        if (!why.empty()) GTEST_SKIP() << why;
    }
    void TearDown() override { gl_test_close(); }
};

TEST_P(gl_texture_dialects, CreateUploadsAndCountsEveryLevel)
{
    const int w = 6, h = 3;
    for (uint32_t flags : {0u, uint32_t(TEXTURE_REPEAT_S), uint32_t(TEXTURE_COMPRESSED), uint32_t(TEXTURE_NO_MIPS)}) {
        uint8_t* p = pixel_buffer_alloc(w, h, 3);
        for (int i = 0; i < w * h * 3; i++) p[i] = uint8_t(i * 11);
        mip_chain_build(p, w, h, 3);
        uint64_t before = texture_memory;
        int id = texture_create(p, w, h, 3, flags);
        ASSERT_NE(id, 0);
        uint64_t used = texture_memory - before;
        if (flags == TEXTURE_NO_MIPS)
            EXPECT_EQ(used, uint64_t(w * h * 3));
        else if (flags == TEXTURE_COMPRESSED)
            EXPECT_GT(used, 0u);
        else
            EXPECT_EQ(used, mip_chain_bytes(w, h, 3));
        EXPECT_EQ(ztglGetError(), GL_NO_ERROR) << flags;
        GLuint name = GLuint(id);
        ztglDeleteTextures(1, &name);
        alloc_check_free(p);
    }
}

INSTANTIATE_TEST_SUITE_P(contexts, gl_texture_dialects, ::testing::Values(GL_TEST_COMPAT, GL_TEST_CORE, GL_TEST_ES),
                         [](const auto& info) { return std::string(gl_test_dialect_name(info.param)); });

} // namespace
