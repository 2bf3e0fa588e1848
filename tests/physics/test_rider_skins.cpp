// Skins and plate colours without a GL context (the physics runs headless
// in tests and on a race server): names kept, no textures made, the default
// plate; and the plate colours every generated skin carries in its text.
#include <gtest/gtest.h>

#include <set>
#include <string>

#include "core/alloc.h"
#include "gfx/image_file.h"
#include "physics/bike_info.h"
#include "physics/rider.h"
#include "physics/rider_skins.h"

namespace {

TEST(SkinPlateColours, ReadFromTheImageText)
{
    struct row {
        const char* text;
        int found;
        float background0, digit2;
    } rows[] = {
        {"plate_colours 255 0 0 0 0 255\n", 1, 1.0f, 1.0f},
        {"[compress]\nplate_colours 51 0 0 0 0 102", 1, 0.2f, 0.4f},  // after other text
        {"plate_colours 1 2 3 4 5", 0, 1.0f, 0.0f},                     // five numbers
        {"plate_colours 1 2 3 4 5 256", 0, 1.0f, 0.0f},                 // past a byte
        {"plate_colours -1 2 3 4 5 6", 0, 1.0f, 0.0f},
        {"plate_colours red", 0, 1.0f, 0.0f},
        {"", 0, 1.0f, 0.0f},
        {nullptr, 0, 1.0f, 0.0f},                                        // no text at all
    };
    for (const row& r : rows) {
        float c[2][3];
        EXPECT_EQ(skin_plate_colours(r.text, c), r.found) << (r.text ? r.text : "(null)");
        EXPECT_FLOAT_EQ(c[0][0], r.background0) << (r.text ? r.text : "(null)");
        EXPECT_FLOAT_EQ(c[1][2], r.digit2) << (r.text ? r.text : "(null)");
    }
}

TEST(RiderSkins, HeadlessTheNamesStayAndNoTextureIsMade)
{
    riders_init_all();
    rider* r = rider_create("crf450(2011)", 3, 0, "42", nullptr, "", "@crf450-alt1.png", nullptr);
    ASSERT_NE(r, nullptr);
    EXPECT_STREQ(r->rider_texture.name, "@rider_body.png");
    EXPECT_STREQ(r->head_texture.name, "@rider_head.png") << "an empty name takes the row's";
    EXPECT_STREQ(r->bike_texture.name, "@crf450-alt1.png");
    EXPECT_STREQ(r->wheel_texture.name, "@wheels.png");
    for (const rider_skin* s : {&r->rider_texture, &r->head_texture, &r->bike_texture, &r->wheel_texture}) {
        EXPECT_EQ(s->texture, 0u) << s->name;
        EXPECT_FLOAT_EQ(s->plate_colours[0][1], 1.0f) << s->name;
        EXPECT_FLOAT_EQ(s->plate_colours[1][1], 0.0f) << s->name;
    }
    EXPECT_EQ(r->number_texture, 0u);
    rider_destroy(r);
}

TEST(RiderSkins, EveryGeneratedSkinCarriesItsPlateColours)
{
    // Every skin a row names, and each one's "-alt1" paint, as the game's
    // own PNG reader hands over the text.
    std::set<std::string> names;
    for (int i = 0; i < bike_info_count; i++) {
        const bike_info& row = bike_info_table()[i];
        for (int f : {bike_file_bike_skin, bike_file_wheel_skin, bike_file_rider_head_skin, bike_file_rider_body_skin}) {
            std::string name = row.files[f];
            names.insert(name);
            names.insert(name.substr(0, name.size() - 4) + "-alt1.png");
        }
    }
    for (const std::string& name : names) {
        uint8_t* pixels = nullptr;
        char* text = nullptr;
        int w, h, bpp;
        ASSERT_TRUE(png_read(name.c_str(), &pixels, &w, &h, &bpp, &text)) << name << ": the generator writes it";
        float c[2][3];
        EXPECT_EQ(skin_plate_colours(text, c), 1) << name;
        // Digits that read on the plate: black or white against a paint a
        // good way from it in brightness.
        double plate = 0.299 * c[0][0] + 0.587 * c[0][1] + 0.114 * c[0][2];
        double digit = 0.299 * c[1][0] + 0.587 * c[1][1] + 0.114 * c[1][2];
        EXPECT_GT(std::abs(plate - digit), 0.3) << name;
        alloc_check_free(pixels);
        alloc_check_free(text);
    }
}

}  // namespace
