// The natives, each case a JavaScript expression run in a loaded fixture
// script, with a hand-made rider in slot 3, a track with two file billboards
// and two file statues, and a gate sequence.
#include <cmath>
#include <cstdlib>
#include <string>

#include "core/array.h"
#include "core/game_state.h"
#include "game/race_reset.h"
#include "game/track_objects.h"
#include "physics/lap_timing.h"
#include "physics/rider.h"
#include "script/script_api.h"
#include "script/script_host.h"
#include "script/script_sound.h"
#include "script_fixture.h"

namespace {

struct api : script_fixture {
    rider* fake = nullptr;

    void SetUp() override
    {
        script_fixture::SetUp();
        // Objects made before the track's files (the flying pool, flaggers).
        for (int i = 0; i < 2; i++) {
            create_billboard(0, 0, 0, 1, 1, "");
            create_statue(0, 0, 0, 0, nullptr, nullptr, nullptr);
        }
        track_objects.first_file_billboard = track_objects.billboards.count;
        track_objects.first_file_statue = track_objects.statues.count;
        create_billboard(10, 2, 20, 3, 1.5f, "#ff0000#");  // no texture: id 0
        create_billboard(11, 2, 21, 3, 1.5f, "flag");
        create_statue(5, 0, 5, 0, nullptr, "skin", nullptr);
        create_statue(6, 0, 6, 0, nullptr, nullptr, nullptr);
        fake = static_cast<rider*>(calloc(1, sizeof(rider)));
        rider_gates_init(fake);
        fake->slot = 3;
        snprintf(fake->number, sizeof fake->number, "%s", "1234567");
        rider_record_gate(fake, 0, 1000);
        rider_record_gate(fake, 1, 1128);
        fake->gate_count = 2;
        rider_table[3] = fake;
        race_order_count = 1;
        race_order[0] = {3, 2, 1128};
        timing_gates = {};
        const int32_t entries[] = {0, 100012, 2, 3, 4, 5};
        for (int i = 0; i < 6; i++) timing_gates.lap_entries[i] = entries[i];
        timing_gates.first_lap_entries = timing_gates.normal_lap_entries = 3;
        for (int32_t& s : slot_status) s = slot_driven_by_autopilot;
        slot_status[7] = slot_driven_by_player;
    }

    void TearDown() override
    {
        rider_table[3] = nullptr;
        array_free(&fake->gate_tics);
        free(fake);
        race_order_count = 0;
        timing_gates = {};
        script_fixture::TearDown();
    }
};

struct row {
    const char* expression;
    const char* expected;
};

void check_rows(api& t, const row* rows, size_t n)
{
    for (size_t i = 0; i < n; i++) EXPECT_EQ(t.js(rows[i].expression), rows[i].expected) << rows[i].expression;
}

TEST_F(api, the_table_has_62_natives_with_their_argument_counts)
{
    int n = 0;
    while (script_native_names[n]) n++;
    EXPECT_EQ(n, 62);
    ASSERT_EQ(load(""), 1);
    const row rows[] = {
        {"zt.paste_custom_frame.length", "8"},
        {"zt.add_statue.length", "7"},
        {"zt.add_billboard.length", "6"},
        {"zt.get_max_slots.length", "0"},
    };
    check_rows(*this, rows, std::size(rows));
}

TEST_F(api, race_queries)
{
    ASSERT_EQ(load(""), 1);
    const row rows[] = {
        {"zt.get_running_count()", "1"},
        {"zt.get_running_order_slot(0)", "3"},
        {"zt.get_running_order_slot(160)", "0"},
        {"zt.get_running_order_slot(1e10)", "0"},
        {"zt.get_running_order_position(0)", "2"},
        {"zt.get_running_order_time(0)", "1128"},
        {"JSON.stringify(zt.get_running_order())", "[{\"slot\":3,\"position\":2,\"time\":8.8125}]"},
        {"zt.get_timing_position(3)", "2"},
        {"zt.get_timing_position(3.9)", "2"},
        {"zt.get_timing_position(NaN)", "-1"},
        {"zt.get_timing_position('3')", "-1"},  // a text is not a number: slot 0, empty
        {"zt.get_timing(3, 1)", "8.8125"},      // tic 1128 of 1/128 s
        {"zt.get_timing(3, 5)", "-0.0078125"},  // not passed: tic -1
        {"zt.get_timing(2, 1)", "-1"},
        {"zt.gate_from_timing_position(1)", "12"},  // entry 100012
        {"zt.gate_from_timing_position(2)", "2"},
        {"zt.gate_from_timing_position(7)", "4"},  // 3 + (7 - 3) mod 3
        {"zt.gate_from_timing_position(-5)", "0"},
        {"zt.gate_from_timing_position(NaN)", "0"},
        {"zt.get_rider_number(3)", "1234567"},
        {"zt.get_rider_number(4)", ""},
        {"zt.get_rider_down(3)", "0"},
        {"zt.get_first_lap_length()", "3"},
        {"zt.lap_to_index(0) + ',' + zt.lap_to_index(1) + ',' + zt.lap_to_index(3)", "0,2,8"},
        {"zt.index_to_lap(2) + ',' + zt.index_to_lap(3) + ',' + zt.index_to_lap(8)", "0,1,2"},
        {"zt.get_player_slot()", "7"},
        {"zt.broadcast_script_message('hi')", "undefined"},  // offline: nothing is sent
        {"zt.get_gate_drop_time()", "-1"},                    // tic 0, before the gate drop at 1700
        {"zt.get_bike_model(4)", ""},
    };
    check_rows(*this, rows, std::size(rows));
    EXPECT_EQ(log_count("Not connected"), 0);
}

TEST_F(api, out_arrays_are_filled_or_left_alone)
{
    ASSERT_EQ(load(""), 1);
    const row rows[] = {
        {"(function () { var a = [9, 9, 9]; return zt.get_position_(3, a) + ':' + a; })()", "0:0,0,0"},
        {"(function () { var a = [9, 9, 9]; return zt.get_velocity_(NaN, a) + ':' + a; })()", "0:0,0,0"},
        {"zt.get_position_(3, undefined)", "0"},
        {"zt.get_front_contact_position(3, 7)", "0"},
        {"zt.get_camera_location(undefined, null)", "1"},
        {"(function () { var p = [], r = []; zt.get_camera_location(p, r); return p + '|' + r; })()",
         "0,0,0|1,0,0,0,1,0,0,0,1"},
    };
    check_rows(*this, rows, std::size(rows));
}

TEST_F(api, objects_are_counted_from_the_track_files)
{
    ASSERT_EQ(load("zt.added = zt.add_billboard(1, 1, 1, 2, 1, '#00ff00#new');"
                   "zt.statue = zt.add_statue(1, 0, 1, 0, '', 'skin', 'ignored');"
                   "zt.bad = zt.add_billboard(NaN, 1, 1, 2, 1, 'x');"
                   "zt.tic_handler = function () { zt.late = zt.add_billboard(1, 1, 1, 2, 1, 'x'); };"),
              1);
    int billboards = track_objects.billboards.count;
    script_tic();
    EXPECT_EQ(track_objects.billboards.count, billboards);
    const row rows[] = {
        {"zt.added", "2"},
        {"zt.statue", "2"},
        {"zt.bad", "-1"},
        {"zt.late", "-1"},  // added from a tic handler
        {"zt.find_billboard('', 0)", "0"},
        {"zt.find_billboard('', 1)", "-1"},
        {"zt.find_billboard('flag', 0)", "-1"},     // a name no texture was loaded under
        {"zt.find_billboard('', -1e9)", "-2"},      // the start clamps to the first billboard of all
        {"zt.find_billboard('', -2147483648)", "-2"},
        {"zt.find_statue('', '', 0)", "0"},
        {"zt.find_statue('', '', 1)", "1"},
        {"zt.find_statue('', '', -1e9)", "-2"},     // the statues made before the files
        {"zt.find_statue('', 'missing', 0)", "-1"},
        {"zt.move_billboard(1, 50, 4, 60)", "1"},
        {"zt.move_billboard(2, NaN, 4, 60)", "0"},
        {"zt.move_billboard(3, 1, 1, 1)", "0"},
        {"zt.move_billboard(-1, 1, 1, 1)", "0"},
        {"zt.move_billboard_absolute(0, 1, 2, Infinity)", "0"},
        {"zt.size_billboard(0, 7)", "1"},
        {"zt.color_billboard(0, -1, NaN, 2, 0.5)", "1"},
        {"zt.color_billboard(2147483647, 1, 1, 1, 1)", "0"},
        {"zt.move_statue(0, 9, 0, 9, 0)", "1"},
        {"zt.move_statue(-2, 9, 0, 9, 0)", "1"},  // a negative index reaches statues before the files
        {"zt.move_statue(-3, 9, 0, 9, 0)", "0"},
        {"zt.move_statue(-2147483648, 9, 0, 9, 0)", "0"},
        {"zt.move_statue(1, 9, NaN, 9, 0)", "0"},
        {"zt.move_statue_absolute(1, 1, 2, 3, [1, 0, 0, 0, 1, 0, 0, 0, 1])", "1"},
        {"zt.move_statue_absolute(1, 1, 2, 3, [1, 0, 0])", "0"},
        {"zt.get_elevation(Infinity, 0)", "0"},
        {"zt.get_tile_number(NaN, 0)", "0"},
    };
    check_rows(*this, rows, std::size(rows));
    const billboard* b = billboard_at(track_objects.first_file_billboard);
    EXPECT_EQ(b->colour[0], 0);
    EXPECT_EQ(b->colour[1], 0);
    EXPECT_EQ(b->colour[2], 255);
    EXPECT_EQ(b->colour[3], 127);  // 0.5 x 255 truncated
    EXPECT_EQ(b->size, 7.0f);
    const billboard* moved = billboard_at(track_objects.first_file_billboard + 1);
    EXPECT_EQ(moved->x, 50.0f);
    EXPECT_EQ(moved->z, 60.0f);
    EXPECT_EQ(statue_at(track_objects.first_file_statue + 1)->y, 2.0f);
}

TEST_F(api, pose_sequences_are_bounded)
{
    ASSERT_EQ(load(""), 1);
    const row rows[] = {
        {"zt.create_pose_sequence(1e9, 1e9)", "-1"},
        {"zt.create_pose_sequence(4097, 1)", "-1"},
        {"zt.create_pose_sequence(1, 33)", "-1"},
        {"zt.create_pose_sequence(0, 1)", "-1"},
        {"zt.create_pose_sequence(-1, -1)", "-1"},
        {"zt.create_pose_sequence(NaN, 2)", "-1"},
        {"zt.create_pose_sequence(3, 2)", "0"},
        {"zt.set_pose_sequence_rest(0, 1, [1, 2, 3])", "1"},
        {"zt.set_pose_sequence_rest(0, 2, [1, 2, 3])", "0"},
        {"zt.set_pose_sequence_frame(0, 0, 0, [0, 0, 0], [1, 0, 0, 0, 1, 0, 0, 0, 1])", "1"},
        {"zt.set_pose_sequence_frame(0, 1, 0, [10, 20, 40], [3, 0, 0, 0, 3, 0, 0, 0, 3])", "1"},
        {"zt.set_pose_sequence_frame(0, 3, 0, [0, 0, 0], [])", "0"},
        {"zt.set_pose_sequence_frame(1, 0, 0, [0, 0, 0], [])", "0"},
        {"zt.pose_statue_from_sequence(0, 0, 0.25)", "1"},
        {"zt.pose_statue(0, 33, [], [], [])", "0"},
        {"zt.pose_statue(0, 3, [], [], [])", "0"},  // the statue holds 2 bones now
        {"zt.pose_statue(1, 32, [], [], [])", "1"},
        {"zt.pose_statue_from_sequence(1, 0, 0)", "0"},  // 32 bones against 2
    };
    check_rows(*this, rows, std::size(rows));
    const statue* s = statue_at(track_objects.first_file_statue);
    ASSERT_EQ(s->bone_count, 2);
    const float* rest = static_cast<const float*>(s->bone_buffers[0]);
    const float* pos = static_cast<const float*>(s->bone_buffers[1]);
    const float* rot = static_cast<const float*>(s->bone_buffers[2]);
    EXPECT_EQ(rest[3], 1.0f);
    EXPECT_EQ(rest[5], 3.0f);
    // A quarter of the way from frame 0 to frame 1.
    EXPECT_EQ(pos[0], 2.5f);
    EXPECT_EQ(pos[2], 10.0f);
    EXPECT_EQ(rot[0], 1.5f);
    EXPECT_EQ(rot[1], 0.0f);
    // A NaN frame takes frame 0; a frame past the end the last one.
    EXPECT_EQ(js("zt.pose_statue_from_sequence(0, 0, NaN)"), "1");
    EXPECT_EQ(pos[0], 0.0f);
    EXPECT_EQ(js("zt.pose_statue_from_sequence(0, 0, 1e300)"), "1");
    EXPECT_EQ(pos[0], 0.0f);  // frame 2 was never set: zeros
    EXPECT_EQ(rot[0], 1.0f);  // with identity rotations
}

TEST_F(api, the_1025th_pose_sequence_is_refused)
{
    ASSERT_EQ(load("zt.made = 0; for (var i = 0; i < 1024; i++) if (zt.create_pose_sequence(1, 1) == i) zt.made++;"), 1);
    EXPECT_EQ(js("zt.made"), "1024");
    EXPECT_EQ(js("zt.create_pose_sequence(1, 1)"), "-1");
    EXPECT_EQ(pose_sequence_count, 1024);
    script_unload();
    EXPECT_EQ(pose_sequence_count, 0);
}

TEST_F(api, cache_pose_sequence_builds_from_an_animation_object)
{
    ASSERT_EQ(load("zt.seq = zt.cache_pose_sequence({ frame_count: 2, bone_count: 1, rest_centers: [1, 2, 3],"
                   " poses: [{ centers: [0, 0, 0], rotations: [1, 0, 0, 0, 1, 0, 0, 0, 1] },"
                   "         { centers: [4, 4, 4], rotations: [0, 1, 0, 1, 0, 0, 0, 0, 1] }] });"),
              1);
    EXPECT_EQ(js("zt.seq"), "0");
    ASSERT_EQ(pose_sequence_count, 1);
    EXPECT_EQ(pose_sequences[0].rest[2], 3.0f);
    EXPECT_EQ(pose_sequences[0].positions[3], 4.0f);
    EXPECT_EQ(pose_sequences[0].rotations[9 + 1], 1.0f);
}

TEST_F(api, add_sound_without_audio_makes_no_entry)
{
    write_data_file("tracks/t/cheer.raw", std::string(400, '\x10'));
    ASSERT_EQ(load("zt.s = zt.add_sound('@tracks/t/cheer.raw');"), 1);  // --nosound: no audio back end
    EXPECT_EQ(js("zt.s"), "-1");
    EXPECT_EQ(script_sound_count, 0);
    EXPECT_EQ(js("zt.start_sound(0) + zt.set_sound_vol(0, 1) + zt.set_sound_loop(-1, 1)"), "0");
}

}  // namespace
