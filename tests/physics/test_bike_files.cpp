// The bike data in the generated data root: every file a row names, the
// default setups, setup files through the file system, the paint lists.
#include <algorithm>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "core/vfs.h"
#include "physics/bike_info.h"
#include "physics/paint_lists.h"
#include "physics/rider.h"
#include "physics/rider_access.h"
#include "physics/setup.h"
#include "physics_test_support.h"

namespace {

std::vector<std::string>& messages = physics_message_capture::messages();

class BikeFilesTest : public testing::Test {
protected:
    physics_message_capture capture;
};

bool model_generator_ran()
{
    for (const char* const* name = vfs_build_index(); *name; name++)
        if (std::string(*name).ends_with(".qm")) return true;
    return false;
}

TEST_F(BikeFilesTest, EveryRowsFilesAreInTheDataRoot)
{
    vfs_build_index();
    const bike_info* rows = bike_info_table();
    std::vector<std::string> missing;
    for (int i = 0; i < bike_info_count; i++)
        for (int f = 0; f < bike_file_count; f++) {
            std::string name = rows[i].files[f];
            ASSERT_EQ(name[0], '@');
            bool shape = name.ends_with(".shp");
            if (!vfs_exists(name.c_str() + 1) && (shape || model_generator_ran())) missing.push_back(name);
        }
    std::sort(missing.begin(), missing.end());
    missing.erase(std::unique(missing.begin(), missing.end()), missing.end());
    EXPECT_TRUE(missing.empty()) << missing.size() << " missing, first " << missing[0];
    if (!model_generator_ran()) GTEST_SKIP() << "models and skins: their generator has not written this data root";
}

TEST_F(BikeFilesTest, EveryDefaultSetupLoadsForItsClass)
{
    riders_init_all();
    for (const char* bike : {"rs50cr", "rm125", "kx250(2006)", "rmz250(2016)", "fc450(2018)"}) {
        rider* r = rider_create(bike, 0, 1, "5", nullptr, nullptr, nullptr, nullptr);
        vfs_stream* stream = open_default_setup(r);
        ASSERT_NE(stream, nullptr) << bike;
        vfs_close(stream);
        std::string name = std::string("@default") + rider_get_bike_class(r) + ".braap";
        bike_setup setup;
        setup_defaults(&setup);
        ASSERT_EQ(setup_read(&setup, name.c_str()), 1) << name;
        EXPECT_TRUE(messages.empty()) << name << ": " << messages[0];
        EXPECT_STREQ(bike_info_lookup(setup.bike)->bike_class, rider_get_bike_class(r)) << name;
        setup_apply_physics(r, &setup);
        rider_destroy(r);
    }
}

TEST_F(BikeFilesTest, SetupWrittenThroughAStreamReadsBack)
{
    bike_setup setup;
    setup_defaults(&setup);
    setup_parse_pair(&setup, "bike", "kx125");
    setup_parse_pair(&setup, "name", "Rolf = the second");
    stability_apply(&setup, 40);
    vfs_stream* out = vfs_open("@setups/mine.braap", "wb");
    ASSERT_NE(out, nullptr);
    EXPECT_EQ(setup_write(out, &setup), 1);
    vfs_close(out);

    bike_setup read_back;
    setup_defaults(&read_back);
    ASSERT_EQ(setup_read(&read_back, "@setups/mine.braap"), 1);
    EXPECT_TRUE(messages.empty());
    char a[8192], b[8192];
    setup_format(&setup, a, sizeof a);
    setup_format(&read_back, b, sizeof b);
    EXPECT_STREQ(a, b);
    EXPECT_STREQ(read_back.name, "Rolf = the second");

    EXPECT_EQ(setup_read(&read_back, "@setups/none.braap"), 0);
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0], "Can't read setup '@setups/none.braap'");
}

std::vector<std::string> names_of(paint_list& list)
{
    const char** names = array_items<const char*>(&list);
    return std::vector<std::string>(names, names + list.count);
}

TEST_F(BikeFilesTest, PaintListsOfferTheDefaultThenItsVariants)
{
    for (const char* name : {"yz250f-alt7.png", "yz250f-blue.png", "yz250f-alt7.png.info", "yz250f_se-red.png",
                             "wheels-gold.png", "yz250fx.png"})
        physics_test_write_home(name, "x");
    vfs_shutdown();  // index the new files
    graphics_lists_build("yz250f(2017)");
    std::vector<std::string> bikes = names_of(bike_paints);
    ASSERT_FALSE(bikes.empty());
    EXPECT_EQ(bikes[0], "@yz250f.png");
    for (const char* expected : {"@yz250f-alt7.png", "@yz250f-blue.png"})
        EXPECT_NE(std::find(bikes.begin(), bikes.end(), expected), bikes.end()) << expected;
    for (const std::string& name : bikes) {
        EXPECT_TRUE(name.ends_with(".png")) << name;
        EXPECT_TRUE(name == "@yz250f.png" || name.starts_with("@yz250f-")) << name;
    }
    std::vector<std::string> wheels = names_of(wheel_paints);
    EXPECT_EQ(wheels[0], "@wheels.png");
    EXPECT_NE(std::find(wheels.begin(), wheels.end(), "@wheels-gold.png"), wheels.end());

    graphics_lists_build("mx500");  // the fallback row's skins
    EXPECT_STREQ(array_items<const char*>(&bike_paints)[0], "@kx250f.png");
    paint_list_free(&bike_paints);
    paint_list_free(&wheel_paints);
}

} // namespace
