// Collision sphere sets: the cache, private copies, and files that must be
// refused (shapes arrive with track folders that players exchange).
#include <climits>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "core/alloc.h"
#include "physics/collision_shape.h"
#include "physics_test_support.h"

namespace {

TEST(CollisionShape, GeneratedGenericSetsLoad)
{
    struct {
        const char* name;
        int count;
        float radius;
    } cases[] = {{"@generic_frame.shp", 6, 0}, {"@generic_fork_upper.shp", 2, 0}, {"@generic_fork_lower.shp", 2, 0},
                 {"@generic_swingarm.shp", 3, 0}, {"@front_wheel.shp", 1, 1.14f}, {"@rear_wheel.shp", 1, 1.12f},
                 {"@generic_rider.shp", 6, 0}};
    for (const auto& c : cases) {
        const collision_shape* shape = collision_shape_load(c.name);
        ASSERT_NE(shape, nullptr) << c.name;
        EXPECT_EQ(shape->count, c.count) << c.name;
        EXPECT_STREQ(collision_shape_name(shape), c.name);
        EXPECT_EQ(shape->source, nullptr);
        if (c.radius > 0) {
            EXPECT_FLOAT_EQ(collision_shape_radius(shape), c.radius) << c.name;
        }
        EXPECT_GT(collision_shape_radius(shape), 0.5f) << c.name;
        EXPECT_LT(collision_shape_radius(shape), 3.0f) << c.name;
    }
    // The rider's head and torso are the spheres that crash the rider.
    const collision_shape* rider = collision_shape_load("@generic_rider.shp");
    int crashing = 0;
    for (int i = 0; i < rider->count; i++) crashing += rider->spheres[i].extra[2] == 1;
    EXPECT_EQ(crashing, 3);
}

TEST(CollisionShape, ReadOnceSharedByPrivateCopies)
{
    physics_test_write_home("shapes/pair.shp", "2\n 3 4 0  1 0.5 1 0\n0 0 0 2 1 1 1\n");
    const collision_shape* cached = collision_shape_load("@shapes/pair.shp");
    ASSERT_NE(cached, nullptr);
    EXPECT_FLOAT_EQ(collision_shape_radius(cached), 6);  // |(3, 4, 0)| + 1
    EXPECT_FLOAT_EQ(cached->spheres[0].extra[0], 0.5f);
    EXPECT_FLOAT_EQ(cached->spheres[1].extra[2], 1);

    // A second load does not read the file again.
    physics_test_write_home("shapes/pair.shp", "0\n");
    EXPECT_EQ(collision_shape_load("@shapes/pair.shp"), cached);

    collision_shape* a = collision_shape_instance("@shapes/pair.shp");
    collision_shape* b = collision_shape_instance("@shapes/pair.shp");
    ASSERT_NE(a, nullptr);
    ASSERT_NE(b, nullptr);
    EXPECT_NE(a, b);
    EXPECT_NE(a->spheres, cached->spheres);
    EXPECT_EQ(a->source, cached);
    EXPECT_EQ(b->source, cached);
    EXPECT_EQ(a->count, 2);
    EXPECT_FLOAT_EQ(a->radius, 6);
    EXPECT_STREQ(a->name, "@shapes/pair.shp");
    EXPECT_NE(a->name, cached->name);

    float centre[3] = {9, 9, 9}, radius = 9;
    EXPECT_EQ(collision_shape_sphere(a, 0, centre, &radius), 1);
    EXPECT_FLOAT_EQ(centre[0], 3);
    EXPECT_FLOAT_EQ(centre[1], 4);
    EXPECT_FLOAT_EQ(radius, 1);
    centre[0] = 9;
    EXPECT_EQ(collision_shape_sphere(a, 2, centre, &radius), 0);
    EXPECT_EQ(collision_shape_sphere(a, -1, centre, &radius), 0);
    EXPECT_FLOAT_EQ(centre[0], 9);
    alloc_check_free(a);
    alloc_check_free(b);
}

TEST(CollisionShape, EmptySetHasNoRadius)
{
    physics_test_write_home("shapes/empty.shp", "  0  ");
    const collision_shape* shape = collision_shape_load("@shapes/empty.shp");
    ASSERT_NE(shape, nullptr);
    EXPECT_EQ(shape->count, 0);
    EXPECT_EQ(collision_shape_radius(shape), 0);
    float centre[3], radius;
    EXPECT_EQ(collision_shape_sphere(shape, 0, centre, &radius), 0);
}

TEST(CollisionShape, BadFilesAreRefusedAndNotCached)
{
    struct {
        const char* name;
        const char* text;
    } cases[] = {
        {"missing_radius.shp", "2\n0 0 0 1 1 1 0\n5 5 5\n"},  // ends after the last centre
        {"short_extra.shp", "1\n0 0 0 1 1 1\n"},
        {"empty_file.shp", ""},
        {"not_a_count.shp", "many\n"},
        {"negative.shp", "-1\n0 0 0 1 1 1 0\n"},
        {"too_many.shp", "4097\n0 0 0 1 1 1 0\n"},
        {"overflowing.shp", "153391690\n0 0 0 1 1 1 0\n"},  // x 28 bytes wraps 32 bits
        {"huge.shp", "2147483647\n"},
        {"garbage_number.shp", "1\n0 zero 0 1 1 1 0\n"},
        {"nan_radius.shp", "1\n0 0 0 nan 1 1 0\n"},
        {"infinite_centre.shp", "1\ninf 0 0 1 1 1 0\n"},
        {"nan_friction.shp", "1\n0 0 0 1 nan 1 0\n"},
        {"negative_radius.shp", "1\n0 0 0 -1 1 1 0\n"},
        {"far_centre.shp", "1\n0 1e30 0 1 1 1 0\n"},
        {"huge_radius.shp", "1\n0 0 0 3e38 1 1 0\n"},
    };
    physics_message_capture capture;
    std::vector<std::string>& messages = physics_message_capture::messages();
    for (const auto& c : cases) {
        std::string name = std::string("shapes/") + c.name;
        physics_test_write_home(name, c.text);
        int live = alloc_live_count();
        messages.clear();
        EXPECT_EQ(collision_shape_load(("@" + name).c_str()), nullptr) << c.name;
        // One line that names the file, per refused load.
        ASSERT_EQ(messages.size(), 1u) << c.name;
        EXPECT_NE(messages[0].find("@" + name), std::string::npos) << messages[0];
        EXPECT_EQ(messages[0].find('\n'), std::string::npos) << messages[0];
        EXPECT_EQ(collision_shape_instance(("@" + name).c_str()), nullptr) << c.name;
        EXPECT_EQ(alloc_live_count(), live) << c.name;
    }
    messages.clear();
    EXPECT_EQ(collision_shape_load("@shapes/no_such_file.shp"), nullptr);
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0], "Can't read collision shape '@shapes/no_such_file.shp'");

    // Mended, the same name loads: the failure was not cached.
    physics_test_write_home("shapes/missing_radius.shp", "1\n0 0 0 1 1 1 0\n");
    ASSERT_NE(collision_shape_load("@shapes/missing_radius.shp"), nullptr);
}

TEST(CollisionShape, CacheGrowsByDoublingAndFreesWhole)
{
    collision_shapes_free();
    EXPECT_EQ(collision_shape_cache_capacity(), 0);
    for (int i = 0; i < 17; i++) {
        std::string name = "shapes/many" + std::to_string(i) + ".shp";
        physics_test_write_home(name, "1 0 0 0 0.5 1 1 0");
        ASSERT_NE(collision_shape_load(("@" + name).c_str()), nullptr);
        EXPECT_EQ(collision_shape_cache_capacity(), i < 16 ? 16 : 32) << i;
    }
    collision_shape* kept = collision_shape_instance("@shapes/many3.shp");
    collision_shapes_free();
    EXPECT_EQ(collision_shape_cache_capacity(), 0);
    EXPECT_FLOAT_EQ(kept->spheres[0].radius, 0.5f) << "copies outlive the cache";
    alloc_check_free(kept);
    EXPECT_NE(collision_shape_load("@shapes/many3.shp"), nullptr);
    EXPECT_EQ(collision_shape_cache_capacity(), 16);
}

} // namespace
