// Demo files: recording and replaying a race, the header's bounds, the
// backward walk, the old fixed-frame versions and hostile files. Fixtures of
// versions 4, 5 and 6 are written here byte by byte from the format (text
// lines, then {u32 length ^ previous length, i32 tic, u8 channel, payload}
// chunks or fixed frames), not by the recorder under test.
#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "core/game_state.h"
#include "core/vfs_test_util.h"
#include "game/demo.h"
#include "game/race_reset.h"
#include "game/state_history.h"
#include "terrain/erode.h"
#include "ui/console.h"
#include "ui/engine_sound.h"
#include "ui/settings.h"

namespace {

void put32(std::string& out, uint32_t v)
{
    for (int i = 0; i < 4; i++) out.push_back(char(v >> (8 * i)));
}

uint32_t get32(const std::string& s, size_t at)
{
    uint32_t v = 0;
    for (int i = 0; i < 4; i++) v |= uint32_t(uint8_t(s[at + i])) << (8 * i);
    return v;
}

// A version-6 file built from the format's description.
struct demo_builder {
    std::string bytes;
    uint32_t previous = 0;
    explicit demo_builder(int riders, const char* header = nullptr)
    {
        if (header) {
            bytes = header;
        } else {
            bytes = "ZT06 " + std::to_string(riders) + " 0 3 1792\n";
        }
        bytes += "stadium\n";
        for (int i = 0; i < riders; i++)
            bytes += "kx450f(2016)|body-" + std::to_string(i) + "|bike|wheels|head\n" + std::to_string(10 + i) +
                     "\nRider " + std::to_string(i) + "\n\n";
    }
    size_t chunk(int channel, int32_t tic, const std::string& payload)
    {
        size_t at = bytes.size();
        put32(bytes, uint32_t(payload.size()) ^ previous);
        put32(bytes, uint32_t(tic));
        bytes.push_back(char(channel));
        bytes += payload;
        previous = uint32_t(payload.size());
        return at;
    }
    // One channel-1 entry: rider index, tic and a record filled with v.
    static std::string entry(int index, int32_t tic, uint8_t v)
    {
        std::string e(1, char(index));
        put32(e, uint32_t(tic));
        e += std::string(rider_state_size, char(v));
        return e;
    }
};

class DemoTest : public vfs_test::roots_fixture {
protected:
    void SetUp() override
    {
        roots_fixture::SetUp();
        riders_init_all();
        history_clear_all();
        for (int s = 0; s < rider_slot_count; s++) {
            slot_status[s] = slot_driven_by_history;
            slot_rider_name[s][0] = 0;
        }
        snprintf(track_dir, sizeof track_dir, "%s", "stadium");
        settings.demo_backups = 0;
        lap_mode = 0;
        tic_counter = 0;
        race_time_tics = 0;
        race_laps = 3;
        gate_drop_tic = 1792;
        erosion_amount = 0;
        erode_queue_reset();
    }
    void TearDown() override
    {
        demo_close();
        demo_finish();
        for (int s = 0; s < rider_slot_count; s++)
            if (rider_table[s]) {
                rider_destroy(rider_table[s]);
                rider_table[s] = nullptr;
            }
        history_clear_all();
        roots_fixture::TearDown();
    }
    void add_rider(int slot, const char* bike, const char* number, int32_t status)
    {
        rider_table[slot] = rider_create(bike, slot, 0, number, nullptr, nullptr, nullptr, nullptr);
        ASSERT_NE(rider_table[slot], nullptr);
        slot_status[slot] = status;
    }
    std::string demo_path() const { return home + "demos/default.ztdemo"; }
    void write_demo(const std::string& bytes) { vfs_test::write_all(demo_path(), bytes); }
    // Stamps of a slot's history, oldest first.
    static std::vector<int32_t> stamps(int slot)
    {
        std::vector<int32_t> out;
        const slot_history& h = state_history[slot];
        for (int j = history_length - 1; j >= 0; j--) {
            int32_t t = h.stamp[(h.head - j) & (history_length - 1)];
            if (t >= 0) out.push_back(t);
        }
        return out;
    }
    void replay_to(int32_t last_tic)
    {
        for (; tic_counter <= last_tic; tic_counter++) demo_read_step();
    }
};

TEST_F(DemoTest, a_recorded_race_reads_back_rider_for_rider_and_state_for_state)
{
    add_rider(0, "kx450f(2016)", "12", slot_driven_by_player);
    add_rider(2, "yz250f(2017)", "7", slot_driven_by_autopilot);
    add_rider(4, "crf250(2008)", "101", slot_driven_by_history);  // not recorded offline
    snprintf(slot_rider_name[0], 64, "%s", "Kestrin|Vale\n");  // separators must not break the lines
    demo_begin();
    ASSERT_TRUE(demo_recording());
    EXPECT_EQ(demo_rider_index(0), 0);
    EXPECT_EQ(demo_rider_index(2), 1);
    EXPECT_EQ(demo_rider_index(4), -1);
    for (tic_counter = 0; tic_counter <= 64; tic_counter++) {
        if (tic_counter == 20) demo_write_chunk(demo_channel_chat, "hello there", 11);
        if (tic_counter == 30) demo_write_chunk(demo_channel_erode, "erode 2048", 10);
        history_record_tic(0);
    }
    std::vector<int32_t> recorded = stamps(0);
    rider_state_record last0 = state_history[0].record[state_history[0].head];
    race_laps = 12;  // settled later: still fits the header's fixed width
    demo_finish();
    EXPECT_FALSE(demo_recording());

    // The file as the format describes it: header, track, two riders of four
    // lines each, then a chain of chunks whose lengths undo the XOR.
    std::string file = vfs_test::read_all(demo_path());
    ASSERT_EQ(file.compare(0, 5, "ZT06 "), 0);
    int v, riders, time, laps, drop;
    ASSERT_EQ(sscanf(file.c_str(), "ZT%d %d %d %d %d", &v, &riders, &time, &laps, &drop), 5);
    EXPECT_EQ(v, 6);
    EXPECT_EQ(riders, 2);
    EXPECT_EQ(laps, 12);
    EXPECT_EQ(drop, 1792);
    size_t at = 0;
    for (int line = 0; line < 1 + 1 + 2 * 4; line++) at = file.find('\n', at) + 1;
    uint32_t previous = 0;
    int chunks = 0, state_chunks = 0;
    while (at + 9 <= file.size()) {
        uint32_t length = get32(file, at) ^ previous;
        int channel = uint8_t(file[at + 8]);
        if (channel == 1) {
            EXPECT_EQ(length % 44, 0u);
            state_chunks++;
        }
        at += 9 + length;
        previous = length;
        chunks++;
    }
    EXPECT_EQ(at, file.size()) << "the chain ends exactly at the end of the file";
    EXPECT_EQ(chunks, state_chunks + 2);
    EXPECT_EQ(state_chunks, 5) << "tics 0, 16, 32, 48, 64";

    // Replayed into other slots, the history gets the same stamps and states.
    history_clear_all();
    console_clear();
    ASSERT_EQ(demo_open(nullptr), 1);
    EXPECT_EQ(demo_replay_version(), 6);
    EXPECT_STREQ(demo_track, "stadium");
    ASSERT_EQ(demo_header.rider_count, 2);
    EXPECT_STREQ(demo_header.riders[0].bike, "kx450f(2016)");
    EXPECT_STREQ(demo_header.riders[0].number, "12");
    EXPECT_STREQ(demo_header.riders[0].name, "Kestrin Vale ");
    EXPECT_STREQ(demo_header.riders[1].bike, "yz250f(2017)");
    EXPECT_STREQ(demo_header.riders[1].number, "7");
    EXPECT_EQ(demo_header.laps, 12);
    demo_slot_map[0] = 7;
    demo_slot_map[1] = 9;
    tic_counter = 0;
    replay_to(200);
    EXPECT_EQ(stamps(7), recorded);
    EXPECT_EQ(stamps(9).size(), recorded.size());
    EXPECT_EQ(memcmp(state_history[7].record[state_history[7].head].bytes, last0.bytes, rider_state_size), 0);
    EXPECT_EQ(erosion_amount, 2048);
    bool chat = false;
    for (int k = 0; k < 10; k++) {
        const char* line = console_recent_line(10, k);
        chat |= line && std::string(line) == "hello there";
    }
    EXPECT_TRUE(chat);
}

TEST_F(DemoTest, a_header_that_would_grow_is_left_as_first_written)
{
    add_rider(0, "kx450f(2016)", "12", slot_driven_by_player);
    race_laps = 3;
    demo_begin();
    history_record_tic(1);
    race_laps = 123456;  // more digits than the field holds
    demo_finish();
    ASSERT_EQ(demo_open(nullptr), 1);
    EXPECT_EQ(demo_header.laps, 3);
    EXPECT_STREQ(demo_track, "stadium");
    EXPECT_EQ(demo_header.rider_count, 1);
}

TEST_F(DemoTest, backups_rotate_by_the_setting)
{
    struct row {
        int backups;
        std::vector<std::string> before;  // files present, each holding its own name
        std::vector<std::pair<std::string, std::string>> after;  // file, content ("" = absent)
    };
    const row rows[] = {
        {0, {"default"}, {{"default00", ""}}},
        {1, {"default"}, {{"default00", "default"}}},
        {3, {"default", "default00", "default01"},
         {{"default00", "default"}, {"default01", "default00"}, {"default02", "default01"}}},
    };
    add_rider(0, "kx450f(2016)", "12", slot_driven_by_player);
    for (const row& r : rows) {
        std::filesystem::remove_all(home + "demos");
        for (const std::string& f : r.before) vfs_test::write_all(home + "demos/" + f + ".ztdemo", f);
        settings.demo_backups = r.backups;
        demo_begin();
        demo_finish();
        for (const auto& [name, content] : r.after) {
            std::string path = home + "demos/" + name + ".ztdemo";
            if (content.empty())
                EXPECT_FALSE(std::filesystem::exists(path)) << r.backups << " " << name;
            else
                EXPECT_EQ(vfs_test::read_all(path), content) << r.backups << " " << name;
        }
        EXPECT_EQ(vfs_test::read_all(demo_path()).compare(0, 4, "ZT06"), 0) << r.backups;
    }
}

TEST_F(DemoTest, a_save_name_must_be_a_plain_file_name)
{
    const struct {
        const char* name;
        int taken;
    } rows[] = {
        {"race1.ztdemo", 1}, {"../config", 0}, {"a/b.ztdemo", 0}, {"a\\b", 0}, {"", 0}, {"..", 0},
        {"tab\there", 0},    {nullptr, 0},
    };
    for (const auto& r : rows) EXPECT_EQ(demo_request_save(r.name), r.taken) << (r.name ? r.name : "null");
    add_rider(0, "kx450f(2016)", "12", slot_driven_by_player);
    vfs_test::write_all(home + "config", "kept");
    ASSERT_EQ(demo_request_save("race1.ztdemo"), 1);
    demo_begin();
    demo_finish();
    EXPECT_TRUE(std::filesystem::exists(home + "demos/race1.ztdemo"));
    EXPECT_FALSE(std::filesystem::exists(demo_path()));
    EXPECT_EQ(vfs_test::read_all(home + "config"), "kept");
}

TEST_F(DemoTest, bad_headers_open_nothing)
{
    const std::string rider = "kx450f(2016)|a|b|c|d\n12\nName\n\n";
    const struct {
        const char* what;
        std::string bytes;
    } rows[] = {
        {"wrong magic", "XX06 1 0 3 1792\nstadium\n" + rider},
        {"version 3", "ZT03 1 0 3 1792\nstadium\n" + rider},
        {"version 7", "ZT07 1 0 3 1792\nstadium\n" + rider},
        {"two fields", "ZT06 1\nstadium\n" + rider},
        {"161 riders", "ZT06 161 0 3 1792\nstadium\n" + rider},
        {"negative riders", "ZT06 -1 0 3 1792\nstadium\n"},
        {"negative race time", "ZT06 1 -5 3 1792\nstadium\n" + rider},
        {"no track line", "ZT06 0 0 3 1792\n"},
        {"empty track line", "ZT06 0 0 3 1792\n\n"},
        {"track line without its break", "ZT06 0 0 3 1792\nstadium"},
        {"rider lines cut short", "ZT06 2 0 3 1792\nstadium\n" + rider + "kx450f(2016)|a|b|c|d\n12\n"},
        {"a line longer than any field", "ZT06 1 0 3 1792\nstadium\n" + std::string(5000, 'x') + "\n12\nN\n\n"},
        {"empty file", ""},
    };
    for (const auto& r : rows) {
        write_demo(r.bytes);
        EXPECT_EQ(demo_open(nullptr), 0) << r.what;
        EXPECT_EQ(demo_replay_version(), 0) << r.what;
        demo_read_step();  // nothing open: nothing happens
    }
    EXPECT_EQ(demo_open("no/such/file.ztdemo"), 0);
}

TEST_F(DemoTest, fields_are_bounded_and_short_headers_take_defaults)
{
    std::string bytes = "ZT5 1 0\nstadium\n" + std::string(200, 'b') + "|" + std::string(100, 's') + "\n12345\n";
    write_demo(bytes);
    ASSERT_EQ(demo_open(nullptr), 1);
    EXPECT_EQ(demo_header.version, 5);
    EXPECT_EQ(demo_header.laps, 0);
    EXPECT_EQ(demo_header.gate_drop_tic, 1792);
    EXPECT_EQ(strlen(demo_header.riders[0].bike), 63u);
    EXPECT_EQ(strlen(demo_header.riders[0].rider_skin), 63u);
    EXPECT_STREQ(demo_header.riders[0].number, "123");
    EXPECT_STREQ(demo_header.riders[0].head_skin, "");
}

TEST_F(DemoTest, a_header_only_demo_replays_nothing)
{
    demo_builder b(2);
    write_demo(b.bytes);
    ASSERT_EQ(demo_open(nullptr), 1);
    demo_slot_map[0] = 0;
    demo_slot_map[1] = 1;
    replay_to(500);
    EXPECT_TRUE(stamps(0).empty());
    EXPECT_TRUE(stamps(1).empty());
    EXPECT_EQ(tic_counter, 501);
}

TEST_F(DemoTest, state_entries_go_only_to_placed_riders_and_odd_chunks_are_skipped)
{
    demo_builder b(2);
    // Index 1 is not placed, index 200 is past the header's riders.
    b.chunk(1, 100, demo_builder::entry(0, 100, 1) + demo_builder::entry(1, 100, 2) + demo_builder::entry(200, 100, 3));
    b.chunk(1, 116, demo_builder::entry(0, 116, 4) + std::string(1, 'x'));  // 45 bytes: not whole entries
    b.chunk(4, 120, std::string(100, 'z'));                                 // unknown channel
    b.chunk(1, 132, demo_builder::entry(0, 132, 5));
    write_demo(b.bytes);
    ASSERT_EQ(demo_open(nullptr), 1);
    demo_slot_map[0] = 3;
    tic_counter = 0;
    demo_read_step();
    // The first state chunk sets the clock to its tic.
    EXPECT_EQ(tic_counter, 100);
    replay_to(400);
    EXPECT_EQ(stamps(3), (std::vector<int32_t>{100, 132}));
    for (int s = 0; s < rider_slot_count; s++)
        if (s != 3) {
            EXPECT_TRUE(stamps(s).empty()) << s;
        }
}

TEST_F(DemoTest, the_backward_walk_lands_on_the_first_chunk_at_or_before_target_less_64)
{
    demo_builder b(1);
    for (int32_t t = 0; t <= 320; t += 16) b.chunk(1, t, demo_builder::entry(0, t, uint8_t(t / 16)));
    write_demo(b.bytes);
    ASSERT_EQ(demo_open(nullptr), 1);
    demo_slot_map[0] = 0;
    replay_to(400);
    ASSERT_EQ(stamps(0).back(), 320);

    const struct {
        int32_t target;
        int32_t first_read;  // the chunk the walk stops at
    } rows[] = {{200, 128}, {136, 64}, {70, 0}, {30, 0}, {0, 0}};
    for (const auto& r : rows) {
        history_clear_all();
        ASSERT_EQ(demo_position(r.target), 1) << r.target;
        tic_counter = r.target;
        demo_read_step();
        ASSERT_FALSE(stamps(0).empty()) << r.target;
        EXPECT_EQ(stamps(0).front(), r.first_read) << r.target;
        replay_to(400);
        EXPECT_EQ(stamps(0).back(), 320) << r.target << ": playing on reaches the end again";
    }
}

TEST_F(DemoTest, ruts_met_again_after_a_backward_seek_are_not_dug_twice)
{
    track_terrain.extent = 1024.0f;
    erode_point points[2] = {{10, 10, 0.5f, 0.5f, 4}, {12, 12, 0.5f, 0.5f, 4}};
    float bounds[4] = {0, 0, 16, 16};
    uint8_t message[erode_strip_max_bytes];
    int32_t n = erode_strip_pack(points, 2, bounds, track_terrain.extent, message);
    ASSERT_GT(n, 0);
    demo_builder b(1);
    b.chunk(1, 0, demo_builder::entry(0, 0, 1));
    b.chunk(5, 50, std::string(reinterpret_cast<char*>(message), size_t(n)));
    for (int32_t t = 64; t <= 256; t += 16) b.chunk(1, t, demo_builder::entry(0, t, 2));
    write_demo(b.bytes);
    ASSERT_EQ(demo_open(nullptr), 1);
    demo_slot_map[0] = 0;
    replay_to(300);
    int32_t queued = erode_queue.count;
    EXPECT_EQ(queued, 2);
    ASSERT_EQ(demo_position(0), 1);
    tic_counter = 0;
    replay_to(300);
    EXPECT_EQ(erode_queue.count, queued);
}

// Versions 4 and 5: one record per rider per tic after the text lines.
std::string fixed_frames(int version, int riders, int frames, const char* rider_lines)
{
    int size = rider_state_record_size(version);
    std::string b = "ZT0" + std::to_string(version) + " " + std::to_string(riders) + " 0 3 1792\nstadium\n";
    for (int i = 0; i < riders; i++) b += rider_lines;
    for (int f = 0; f < frames; f++)
        for (int i = 0; i < riders; i++) b += std::string(size_t(size), char((f * 7 + i) & 0xFF));
    return b;
}

TEST_F(DemoTest, old_versions_fill_history_slots_in_order_and_position_directly)
{
    const struct {
        int version;
        int demo_riders;
        int slots;  // history-driven riders present
    } rows[] = {{4, 3, 3}, {5, 3, 3}, {5, 4, 2}};
    for (const auto& r : rows) {
        SCOPED_TRACE(r.version * 100 + r.demo_riders * 10 + r.slots);
        for (int s = 0; s < rider_slot_count; s++)
            if (rider_table[s]) {
                rider_destroy(rider_table[s]);
                rider_table[s] = nullptr;
            }
        history_clear_all();
        for (int i = 0; i < r.slots; i++) add_rider(10 + 5 * i, "kx450f(2016)", "1", slot_driven_by_history);
        write_demo(fixed_frames(r.version, r.demo_riders, 300, "kx450f(2016)|a|b|c|d\n12\n"));
        ASSERT_EQ(demo_open(nullptr), 1);
        tic_counter = 0;
        replay_to(20);
        // Frame f holds (7f + i) in every byte of rider i's record.
        for (int i = 0; i < r.slots; i++) {
            const slot_history& h = state_history[10 + 5 * i];
            EXPECT_EQ(h.stamp[h.head], 28);
            EXPECT_EQ(h.record[h.head].bytes[0], uint8_t(28 * 7 + i));
        }
        // A backward seek goes to frame 128 directly: riders x 128 x size in.
        history_clear_all();
        ASSERT_EQ(demo_position(128), 1);
        tic_counter = 128;
        demo_read_step();
        const slot_history& h = state_history[10];
        ASSERT_EQ(h.stamp[(h.head - 8) & (history_length - 1)], 128);
        EXPECT_EQ(h.record[(h.head - 8) & (history_length - 1)].bytes[0], uint8_t(128 * 7));
        demo_close();
    }
}

// A frame cut short at the end of the file: the riders read whole keep
// their engines, the one whose record was cut falls silent; and a direct
// seek lands only on frames the file holds whole.
TEST_F(DemoTest, old_versions_silence_a_cut_rider_and_seek_only_to_whole_frames)
{
    const int size = rider_state_record_size(5);  // 39
    for (int i = 0; i < 3; i++) {
        add_rider(10 + 5 * i, "kx450f(2016)", "1", slot_driven_by_history);
        engine_sounds[10 + 5 * i].level = 0.5f;
    }
    // 10 whole frames of 3 riders, then rider 0 whole and 20 bytes of rider 1.
    std::string bytes = fixed_frames(5, 3, 10, "kx450f(2016)|a|b|c|d\n12\n");
    bytes += std::string(size_t(size) + 20, char(0x55));
    write_demo(bytes);
    ASSERT_EQ(demo_open(nullptr), 1);
    tic_counter = 0;
    replay_to(20);
    EXPECT_EQ(engine_sounds[10].level, 1.0f);
    EXPECT_EQ(engine_sounds[15].level, 0.0f);
    EXPECT_EQ(engine_sounds[20].level, 1.0f);  // its last record was whole
    EXPECT_EQ(state_history[10].stamp[state_history[10].head], 10);
    EXPECT_EQ(state_history[15].stamp[state_history[15].head], 9);
    // Frames 0..9 are whole; frame 10 is not; far beyond is nothing.
    const struct {
        int32_t target;
        int ok;
    } seeks[] = {{0, 1}, {9, 1}, {10, 0}, {11, 0}, {100000, 0}, {5, 1}};
    for (const auto& c : seeks) EXPECT_EQ(demo_position(c.target), c.ok) << c.target;
    // After the last good seek the replay reads frame 5 next.
    history_clear_all();
    tic_counter = 5;
    demo_read_step();
    EXPECT_EQ(stamps(10).front(), 5);
    EXPECT_EQ(state_history[10].record[(state_history[10].head - (int(stamps(10).size()) - 1)) &
                                       (history_length - 1)].bytes[0],
              uint8_t(5 * 7));
}

// The restart gate, worked out by hand from the rule: d = F + N - r; c = F
// below F, else d; at or above F it becomes F + ((d < F ? 0 : N - r) mod N)
// with the remainder taken non-negative. No normal lap: 0.
TEST(lap_restart, picks_the_lap_sequence_position)
{
    const struct {
        int32_t first, normal, restarts, c;
    } rows[] = {
        {3, 5, 2, 6},   // the reset's call: d = 6, 3 + 3
        {3, 5, 3, 5},   // d = 5, 3 + 2
        {3, 5, 5, 3},   // d = 3, 3 + 0
        {3, 5, 7, 3},   // d = 1 < F: back to the first normal gate
        {3, 5, 0, 3},   // N - r = 5, a whole lap: 3 + 0
        {3, 5, 9, 3},   // d = -1 < F
        {0, 4, 2, 2},   // no first lap: 0 + 2
        {0, 4, 4, 0},   // N - r = 0: before the first gate
        {0, 4, 6, 0},   // d = -2 < F = 0
        {2, 0, 2, 0},   // no normal lap
        {6, 4, 1, 9},   // d = 9: 6 + 3
        {6, 4, 11, 6},  // d = -1
    };
    for (const auto& r : rows)
        EXPECT_EQ(lap_restart_index(r.first, r.normal, r.restarts), r.c)
            << r.first << " " << r.normal << " " << r.restarts;
}

TEST_F(DemoTest, positioning_far_past_the_end_fails_without_overflow)
{
    write_demo(fixed_frames(5, 160, 1, "kx450f(2016)|a|b|c|d\n12\n"));
    ASSERT_EQ(demo_open(nullptr), 1);
    // 160 riders x 39 bytes x 2^30 tics is far past 32 bits.
    EXPECT_EQ(demo_position(1 << 30), 0);
    EXPECT_EQ(demo_position(0), 1);
}

// Damaged copies of a real recording: truncated, bytes flipped, lengths and
// counts set to extremes. Every one must open or not, and replay to its end,
// without a crash or an endless loop (the sanitizer build checks the reads).
TEST_F(DemoTest, damaged_recordings_never_crash_or_hang)
{
    add_rider(0, "kx450f(2016)", "12", slot_driven_by_player);
    add_rider(1, "yz250f(2017)", "7", slot_driven_by_autopilot);
    demo_begin();
    for (tic_counter = 0; tic_counter <= 256; tic_counter++) {
        if (tic_counter == 40) demo_write_chunk(demo_channel_chat, "chat", 4);
        if (tic_counter == 80) demo_write_chunk(demo_channel_script, "msg", 3);
        history_record_tic(0);
    }
    demo_finish();
    const std::string good = vfs_test::read_all(demo_path());
    std::mt19937 random(12345);
    const uint32_t extremes[] = {0, 1, 44, 45, 0x7FFFFFFF, 0x80000000u, 0xFFFFFFFFu, 0xFFFFFFF7u};
    int opened = 0;
    for (int i = 0; i < 10000; i++) {
        std::string bad = good;
        switch (i % 4) {
        case 0:
            bad.resize(random() % bad.size());
            break;
        case 1:
            for (int k = 0; k < 1 + int(random() % 8); k++) bad[random() % bad.size()] ^= char(1 + random() % 255);
            break;
        case 2: {
            size_t at = random() % (bad.size() - 4);
            uint32_t v = extremes[random() % 8];
            for (int k = 0; k < 4; k++) bad[at + k] = char(v >> (8 * k));
            break;
        }
        default: {
            // Header numbers set to extremes.
            const char* heads[] = {"ZT06 160 0 3 1792", "ZT06 2 2147483647 2147483647 -2147483648",
                                   "ZT06 2 0 3 2147483647", "ZT04 160 0 0 0", "ZT06 0 0 0 0"};
            bad = heads[random() % 5] + bad.substr(bad.find('\n'));
            break;
        }
        }
        write_demo(bad);
        history_clear_all();
        if (!demo_open(nullptr)) continue;
        opened++;
        for (int k = 0; k < demo_header.rider_count && k < rider_slot_count; k++) demo_slot_map[k] = k;
        // The file may set the clock: step a counter of our own.
        for (int k = 0; k < 400; k += 3) {
            tic_counter = k;
            demo_read_step();
        }
        demo_position(int32_t(random() % 300));
        for (int k = 0; k < 400; k += 7) {
            tic_counter = k;
            demo_read_step();
        }
        demo_close();
    }
    EXPECT_GT(opened, 1000);
}

}  // namespace
