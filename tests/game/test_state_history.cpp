// The state history: the ring per slot, the lookup of the two entries around
// a tic, the blend of a history-driven rider and the demo payload.
#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <cstring>
#include <string>
#include <vector>

#include "game/race_reset.h"
#include "game/state_history.h"
#include "ui/console.h"

namespace {

// A record whose bytes all hold the value v, to tell entries apart.
rider_state_record filled(uint8_t v)
{
    rider_state_record r;
    memset(r.bytes, v, sizeof r.bytes);
    return r;
}

std::string last_message() { return console_recent_line(1, 0); }

class StateHistoryTest : public testing::Test {
protected:
    void SetUp() override
    {
        history_clear_all();
        history_verbose = 0;
        console_clear();
    }
    void TearDown() override
    {
        history_clear_all();
        history_verbose = 0;
    }
    static void add_tics(int slot, const std::vector<int32_t>& tics)
    {
        for (int32_t t : tics) add_state_to_history(slot, filled(uint8_t(t)), t);
    }
    static int32_t stamp(int slot, int32_t i) { return state_history[slot].stamp[i]; }
};

TEST_F(StateHistoryTest, LookupFindsTheEntriesAroundATic)
{
    struct row {
        const char* what;
        std::vector<int32_t> tics;  // added in order
        int32_t target;
        int found;
        int32_t lo_tic, hi_tic;
    };
    std::vector<int32_t> full;
    for (int32_t t = 1000; t < 1128; t++) full.push_back(t);
    const row rows[] = {
        {"empty history", {}, 10, 0, 0, 0},
        {"single entry, target before it", {100}, 50, 1, 100, 100},
        {"single entry, target on it", {100}, 100, 1, 100, 100},
        {"single entry, target after it", {100}, 500, 1, 100, 100},
        {"beyond the newest: second newest and newest", {10, 20, 30}, 40, 1, 20, 30},
        {"between two entries", {10, 20, 30}, 25, 1, 20, 30},
        {"on an entry: the one strictly below and it", {10, 20, 30}, 20, 1, 10, 20},
        {"on the newest", {10, 20, 30}, 30, 1, 20, 30},
        {"older than all of a partly filled ring: oldest two", {10, 20, 30}, 5, 1, 10, 20},
        {"older than all 128 entries: oldest two", full, 5, 1, 1000, 1001},
        {"a full ring, target inside it", full, 1064, 1, 1063, 1064},
        {"a negative target counts as tic 0", {0, 4}, -5, 1, 0, 4},
    };
    for (const row& r : rows) {
        history_clear_all();
        add_tics(3, r.tics);
        int32_t lo = -7, hi = -7;
        ASSERT_EQ(history_lookup(3, r.target, &lo, &hi), r.found) << r.what;
        if (!r.found) continue;
        EXPECT_EQ(stamp(3, lo), r.lo_tic) << r.what;
        EXPECT_EQ(stamp(3, hi), r.hi_tic) << r.what;
    }
    int32_t lo, hi;
    EXPECT_EQ(history_lookup(-1, 10, &lo, &hi), 0);
    EXPECT_EQ(history_lookup(160, 10, &lo, &hi), 0);
}

TEST_F(StateHistoryTest, TheFirstStateForATicWins)
{
    add_state_to_history(5, filled(1), 100);
    add_state_to_history(5, filled(2), 100);
    int32_t head = state_history[5].head;
    EXPECT_EQ(stamp(5, head), 100);
    EXPECT_EQ(state_history[5].record[head].bytes[0], 1);
    EXPECT_EQ(state_history[5].unwritten, 1);
    // An older tic that is stored already is ignored without a word.
    add_state_to_history(5, filled(3), 200);
    history_verbose = 1;
    console_clear();
    add_state_to_history(5, filled(4), 100);
    EXPECT_EQ(last_message(), "");
    EXPECT_EQ(state_history[5].unwritten, 2);
}

TEST_F(StateHistoryTest, The129thEntryReplacesTheOldestAndUnwrittenStopsAt128)
{
    for (int32_t t = 0; t <= 128; t++) add_state_to_history(7, filled(uint8_t(t)), t);
    EXPECT_EQ(state_history[7].unwritten, 128);
    int32_t lowest = INT_MAX;
    for (int32_t s : state_history[7].stamp) lowest = std::min(lowest, s);
    EXPECT_EQ(lowest, 1) << "tic 0 was the oldest and made room";
    add_state_to_history(7, filled(0), 129);
    EXPECT_EQ(state_history[7].unwritten, 128);
    int32_t lo, hi;
    ASSERT_TRUE(history_lookup(7, 0, &lo, &hi));
    EXPECT_EQ(stamp(7, lo), 2);
    EXPECT_EQ(stamp(7, hi), 3);
}

TEST_F(StateHistoryTest, AnOlderTicThanTheNewestIsDroppedKeepingTheRingInOrder)
{
    add_tics(2, {10, 20});
    history_verbose = 1;
    add_state_to_history(2, filled(9), 15);
    EXPECT_EQ(last_message(), "add_state_to_history: tic 15 older than the newest (20) for slot 2 dropped");
    add_state_to_history(2, filled(9), -3);
    EXPECT_EQ(last_message(), "add_state_to_history: negative tic -3 for slot 2 dropped");
    EXPECT_EQ(state_history[2].unwritten, 2);
    int32_t lo, hi;
    ASSERT_TRUE(history_lookup(2, 16, &lo, &hi));
    EXPECT_EQ(stamp(2, lo), 10);
    EXPECT_EQ(stamp(2, hi), 20);
    // Quiet unless verbose.
    history_verbose = 0;
    console_clear();
    add_state_to_history(2, filled(9), 12);
    EXPECT_EQ(last_message(), "");
}

// Slots come from demo files and network packets: any number at all.
TEST_F(StateHistoryTest, SlotsOutsideTheTableAreRefusedWithAMessage)
{
    for (int slot : {-1, -160, INT_MIN, 160, 255, INT_MAX}) {
        console_clear();
        add_state_to_history(slot, filled(1), 10);
        EXPECT_EQ(last_message(), "add_state_to_history: slot out of range") << slot;
    }
    for (int slot = 0; slot < rider_slot_count; slot++) ASSERT_EQ(state_history[slot].unwritten, 0) << slot;
}

// Records with a known position field (bytes 0-2), steering byte (17), wheel
// turn bytes (34, 35), engine speed (37-38) and frame quaternion (9-16).
struct blend_record {
    uint32_t position;
    uint8_t steering;
    uint8_t front_turn, rear_turn;
    uint16_t rpm;
    double quat[4];
};

void put_u16(uint8_t* p, uint32_t v)
{
    p[0] = uint8_t(v);
    p[1] = uint8_t(v >> 8);
}

rider_state_record make(const blend_record& b)
{
    rider_state_record r = {};
    r.bytes[0] = uint8_t(b.position);
    r.bytes[1] = uint8_t(b.position >> 8);
    r.bytes[2] = uint8_t(b.position >> 16);
    r.bytes[17] = b.steering;
    r.bytes[34] = b.front_turn;
    r.bytes[35] = b.rear_turn;
    put_u16(r.bytes + 37, b.rpm);
    // A quaternion component c in -1..1 is packed as round((c + 1) * 32767.5).
    for (int i = 0; i < 4; i++) put_u16(r.bytes + 9 + 2 * i, uint32_t(std::floor((b.quat[i] + 1) * 32767.5 + 0.5)));
    return r;
}

uint32_t position_of(const rider_state_record& r) { return r.bytes[0] | r.bytes[1] << 8 | r.bytes[2] << 16; }
uint32_t rpm_of(const rider_state_record& r) { return r.bytes[37] | r.bytes[38] << 8; }
double quat_of(const rider_state_record& r, int i)
{
    return 2.0 * (r.bytes[9 + 2 * i] | r.bytes[10 + 2 * i] << 8) / 65535.0 - 1.0;
}

TEST_F(StateHistoryTest, BlendPicksTheRecordsAndCarriesPositionsPastTheNewest)
{
    blend_record a = {0x100000, 100, 250, 5, 1000, {1, 0, 0, 0}};
    blend_record b = {0x200000, 200, 5, 250, 2000, {1, 0, 0, 0}};
    struct row {
        const char* what;
        std::vector<int32_t> stamps;  // a at the first, b at the second
        int32_t target;
        int version;
        uint32_t position;  // of the shown record
        uint32_t rpm;
        int32_t tics;
        bool older_is_a, newer_is_b;
    };
    // Stamps 100 and 164 lie 64 tics apart, so every factor below is a
    // multiple of 1/64 and the positions are exact: a + f (b - a) with
    // a = 1/16 and b = 1/8 of the 24-bit range.
    const row rows[] = {
        {"one entry: shown alone", {100}, 130, 5, 0x100000, 1000, 1, true, false},
        {"target before both: the older alone", {100, 164}, 90, 5, 0x100000, 1000, 1, true, false},
        {"target on the older: the older alone", {100, 164}, 100, 5, 0x100000, 1000, 1, true, false},
        {"target on the newer: the newer shown", {100, 164}, 164, 5, 0x200000, 2000, 64, true, true},
        {"halfway", {100, 164}, 132, 5, 0x180000, 1500, 64, true, true},
        {"half a span past the newest: positions go on, the rest stops at b", {100, 164}, 196, 5, 0x280000, 2000, 64,
         true, true},
        {"far past the newest: carried 64 tics at most", {100, 164}, 5000, 5, 0x300000, 2000, 64, true, true},
        {"a version-4 replay copies the older", {100, 164}, 132, 4, 0x100000, 1000, 64, true, true},
    };
    for (const row& r : rows) {
        history_clear_all();
        add_state_to_history(1, make(a), r.stamps[0]);
        if (r.stamps.size() > 1) add_state_to_history(1, make(b), r.stamps[1]);
        history_pose p;
        ASSERT_TRUE(history_blend(1, r.target, r.version, &p)) << r.what;
        EXPECT_EQ(position_of(p.shown), r.position) << r.what;
        EXPECT_EQ(rpm_of(p.shown), r.rpm) << r.what;
        EXPECT_EQ(p.tics, r.tics) << r.what;
        EXPECT_EQ(position_of(p.older), 0x100000u) << r.what;
        EXPECT_EQ(position_of(p.newer), r.newer_is_b ? 0x200000u : 0x100000u) << r.what;
    }
    history_clear_all();
    history_pose p;
    EXPECT_FALSE(history_blend(1, 10, 5, &p));
}

// 255/255 of a turn is a whole turn: the same angle as 0.
bool same_turn(uint8_t got, uint8_t want) { return got == want || (got % 255) == (want % 255); }

// The wheels' turn bytes go the short way through the 255/0 seam: forward by
// less than 0.875 of a turn, backward by less than 0.125.
TEST_F(StateHistoryTest, TurnFractionsBlendThroughTheSeam)
{
    struct row {
        uint8_t from, to;
        int32_t target;  // stamps 100 and 164
        uint8_t want;
    };
    const row rows[] = {
        {250, 5, 132, 0},     // 10/255 forward through 255 and 0: halfway is the seam
        {5, 250, 132, 0},     // 10/255 backward through 0: halfway is the seam too
        {100, 60, 116, 154},  // 40 back is more than 1/8 turn: 215 forward, a quarter is 153.75
        {100, 120, 148, 115}, // plain forward, three quarters of 20
    };
    for (const row& r : rows) {
        history_clear_all();
        blend_record a = {0, 0, r.from, r.from, 0, {1, 0, 0, 0}};
        blend_record b = {0, 0, r.to, r.to, 0, {1, 0, 0, 0}};
        add_state_to_history(0, make(a), 100);
        add_state_to_history(0, make(b), 164);
        history_pose p;
        ASSERT_TRUE(history_blend(0, r.target, 5, &p));
        EXPECT_TRUE(same_turn(p.shown.bytes[34], r.want)) << int(r.from) << " to " << int(r.to) << ": "
                                                          << int(p.shown.bytes[34]);
        EXPECT_TRUE(same_turn(p.shown.bytes[35], r.want)) << int(r.from) << " to " << int(r.to);
    }
}

// q and -q are one rotation; the blend must not pass through zero between
// them. From 30 degrees about x to -(90 degrees about x), halfway is 60
// degrees about x: (cos 30, sin 30, 0, 0) up to sign, within the 1/32768
// step of the packing.
TEST_F(StateHistoryTest, QuaternionsOfOppositeSignBlendWithoutAFlip)
{
    const double pi = 3.14159265358979323846;
    struct row {
        double a_deg, b_deg;  // rotations about x; b is stored negated
        double want_deg;
    };
    const row rows[] = {{0, 0, 0}, {30, 90, 60}, {-20, 40, 10}};
    for (const row& r : rows) {
        history_clear_all();
        blend_record a = {0, 0, 0, 0, 0, {std::cos(r.a_deg * pi / 360), std::sin(r.a_deg * pi / 360), 0, 0}};
        blend_record b = {0, 0, 0, 0, 0, {-std::cos(r.b_deg * pi / 360), -std::sin(r.b_deg * pi / 360), 0, 0}};
        add_state_to_history(0, make(a), 100);
        add_state_to_history(0, make(b), 164);
        history_pose p;
        ASSERT_TRUE(history_blend(0, 132, 5, &p));
        double w = quat_of(p.shown, 0), x = quat_of(p.shown, 1);
        double sign = w < 0 ? -1 : 1;
        EXPECT_NEAR(sign * w, std::cos(r.want_deg * pi / 360), 1e-4) << r.a_deg << " to " << r.b_deg;
        EXPECT_NEAR(sign * x, std::sin(r.want_deg * pi / 360), 1e-4) << r.a_deg << " to " << r.b_deg;
        EXPECT_NEAR(quat_of(p.shown, 2), 0, 1e-4);
        EXPECT_NEAR(quat_of(p.shown, 3), 0, 1e-4);
    }
}

TEST_F(StateHistoryTest, DemoPayloadCarriesEachWrittenSlotsNewEntriesOldestFirst)
{
    add_tics(4, {16, 20});
    add_tics(9, {0x01020304});
    add_tics(11, {8});  // not in the demo
    int32_t index[rider_slot_count];
    for (int32_t& k : index) k = -1;
    index[4] = 0;
    index[9] = 1;
    uint8_t out[1024];
    int32_t n = history_demo_payload(index, out, sizeof out);
    ASSERT_EQ(n, 3 * 44);
    const uint8_t want_heads[3][5] = {{0, 16, 0, 0, 0}, {0, 20, 0, 0, 0}, {1, 4, 3, 2, 1}};
    const uint8_t want_fill[3] = {16, 20, 4};
    for (int e = 0; e < 3; e++) {
        for (int b = 0; b < 5; b++) EXPECT_EQ(out[44 * e + b], want_heads[e][b]) << e << " " << b;
        EXPECT_EQ(out[44 * e + 5], want_fill[e]) << e;
        EXPECT_EQ(out[44 * e + 43], want_fill[e]) << e;
    }
    EXPECT_EQ(state_history[4].unwritten, 0);
    EXPECT_EQ(state_history[9].unwritten, 0);
    EXPECT_EQ(state_history[11].unwritten, 1);
    EXPECT_EQ(history_demo_payload(index, out, sizeof out), 0) << "nothing new";
    // A slot that does not fit whole waits for the next chunk.
    add_tics(4, {24, 28});
    EXPECT_EQ(history_demo_payload(index, out, 44), 0);
    EXPECT_EQ(state_history[4].unwritten, 2);
}

// Offline the demo carries the riders this machine drives: the player and
// the computer riders, not the replayed or network ones.
TEST_F(StateHistoryTest, OfflineTheDemoCarriesThePlayerAndComputerRiders)
{
    riders_init_all();
    struct row {
        int slot;
        int32_t status;
        bool rider;
        int in_demo;
    };
    const row rows[] = {
        {0, slot_driven_by_player, true, 1},
        {1, slot_driven_by_autopilot, true, 1},
        {2, slot_driven_by_history, true, 0},
        {3, slot_driven_by_player, false, 0},
    };
    for (const row& r : rows) {
        slot_status[r.slot] = r.status;
        if (r.rider) rider_table[r.slot] = rider_create("kx450f(2016)", r.slot, 0, "1", nullptr, nullptr, nullptr, nullptr);
    }
    for (const row& r : rows) EXPECT_EQ(history_slot_in_demo(r.slot), r.in_demo) << r.slot;
    EXPECT_EQ(history_slot_in_demo(-1), 0);
    EXPECT_EQ(history_slot_in_demo(160), 0);
    for (const row& r : rows) {
        if (rider_table[r.slot]) rider_destroy(rider_table[r.slot]);
        rider_table[r.slot] = nullptr;
        slot_status[r.slot] = slot_driven_by_history;
    }
}

} // namespace
