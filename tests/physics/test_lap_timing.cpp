// The gate list, laps done, lap times and the finish.
#include <gtest/gtest.h>

#include "core/game_state.h"
#include "physics/lap_timing.h"
#include "physics/rider.h"

namespace {

class LapTimingTest : public testing::Test {
protected:
    void SetUp() override
    {
        riders_init_all();
        me = rider_create("kx450f(2016)", 0, 1, "1", nullptr, nullptr, nullptr, nullptr);
        leader = rider_create("kx450f(2016)", 1, 0, "2", nullptr, nullptr, nullptr, nullptr);
        rider_table[0] = me;
        rider_table[1] = leader;
        use_track(3, 4);
        gate_drop_tic = 1000;
        lap_limit = 2;
        leader_slot = 1;
    }
    void TearDown() override
    {
        rider_destroy(me);
        rider_destroy(leader);
        rider_table[0] = rider_table[1] = nullptr;
        timing_gates = {};
        leader_slot = 160;
    }
    static void use_track(int first, int normal)
    {
        timing_gates.checkpoint_count = 8;
        timing_gates.first_lap_entries = timing_gates.counted_first_lap = first;
        timing_gates.normal_lap_entries = timing_gates.counted_normal_lap = normal;
    }
    // Passes gates from..to-1 one tic step apart, as the gate passage does.
    static void ride(rider* r, int from, int to, int first_tic, int step)
    {
        for (int i = from; i < to; i++) {
            r->gate_count = i + 1;
            rider_record_gate(r, i, first_tic + (i - from) * step);
        }
    }
    rider* me = nullptr;
    rider* leader = nullptr;
};

TEST_F(LapTimingTest, RecordingFillsSkippedGatesAndRefusesWildIndices)
{
    rider_record_gate(me, 5, 1234);
    ASSERT_EQ(me->gate_tics.count, 6);
    for (int i = 0; i < 5; i++) EXPECT_EQ(rider_gate_tic(me, i), -1) << i;
    EXPECT_EQ(rider_gate_tic(me, 5), 1234);
    EXPECT_EQ(rider_gate_tic(me, 6), -1);
    EXPECT_EQ(rider_gate_tic(me, -1), -1);
    rider_record_gate(me, 2, 99);
    EXPECT_EQ(rider_gate_tic(me, 2), 99);
    EXPECT_EQ(me->gate_tics.count, 6);

    // Indices from the network: negative or absurd ones change nothing.
    for (int32_t wild : {-1, -2147483647 - 1, rider_gate_index_limit + 1, 2147483647}) {
        rider_record_gate(me, wild, 5);
        EXPECT_EQ(me->gate_tics.count, 6) << wild;
    }
    rider_record_gate(me, rider_gate_index_limit, 5);
    EXPECT_EQ(me->gate_tics.count, rider_gate_index_limit + 1);

    // A record that was never built still takes gates.
    rider blank = {};
    rider_record_gate(&blank, 1, 7);
    EXPECT_EQ(rider_gate_tic(&blank, 0), -1);
    EXPECT_EQ(rider_gate_tic(&blank, 1), 7);
    array_free(&blank.gate_tics);
}

// A gate is passed in the tic: a race's gates fit the list as made.
TEST_F(LapTimingTest, ARacesGatesFitWithoutGrowingTheList)
{
    EXPECT_EQ(me->gate_tics.count, 0);
    const void* items = me->gate_tics.items;
    const int32_t capacity = me->gate_tics.capacity;
    EXPECT_GE(capacity, rider_gate_room);
    ride(me, 0, rider_gate_room, 2000, 10);
    EXPECT_EQ(me->gate_tics.items, items);
    EXPECT_EQ(me->gate_tics.capacity, capacity);
    EXPECT_EQ(rider_gate_tic(me, rider_gate_room - 1), 2000 + (rider_gate_room - 1) * 10);
}

TEST_F(LapTimingTest, TruncateCutsBackAndClearsFlags)
{
    ride(me, 0, 6, 2000, 100);
    me->finished = 1;
    me->is_down = 2;
    rider_truncate_gates(me, 6);
    EXPECT_EQ(me->finished, 1);
    EXPECT_EQ(me->is_down, 0);
    rider_truncate_gates(me, 4);
    EXPECT_EQ(me->finished, 0);
    EXPECT_EQ(rider_gate_count(me), 4);
    EXPECT_EQ(me->gate_tics.count, 4);
    EXPECT_EQ(rider_gate_tic(me, 4), -1);
    rider_truncate_gates(me, 10);  // never grows the list
    EXPECT_EQ(me->gate_tics.count, 4);
    EXPECT_EQ(rider_gate_count(me), 10);
}

TEST_F(LapTimingTest, LapsAndGateWithinTheLap)
{
    struct {
        int first, normal, gate_count;
        int laps, lap_gate;
    } cases[] = {
        {3, 4, 0, 0, 0},  {3, 4, 2, 0, 2},  {3, 4, 3, 1, 1},  {3, 4, 6, 1, 4},
        {3, 4, 7, 2, 1},  {3, 4, 10, 2, 4}, {3, 4, 11, 3, 1},
        {5, 0, 7, 0, 7},  // first-lap gates only: no laps, no division
        {0, 0, 3, 0, 3},
    };
    for (const auto& c : cases) {
        use_track(c.first, c.normal);
        me->gate_count = c.gate_count;
        EXPECT_EQ(rider_laps_done(me), c.laps) << c.first << "/" << c.normal << " at " << c.gate_count;
        EXPECT_EQ(rider_lap_gate(me), c.lap_gate) << c.first << "/" << c.normal << " at " << c.gate_count;
    }
    timing_gates.checkpoint_count = 0;
    me->gate_count = 7;
    EXPECT_EQ(rider_laps_done(me), 0);
}

// A marked entry (a gate without an AI switch point) is still a gate the
// rider passes and its timing position counts: laps end where the gate
// passage says the lap ends, after every entry of the lap.
TEST_F(LapTimingTest, LapsCountMarkedEntriesToo)
{
    use_track(3, 4);
    timing_gates.counted_first_lap = 2;   // one first-lap entry marked
    timing_gates.counted_normal_lap = 3;  // one normal-lap entry marked
    struct {
        int gate_count, laps, lap_gate;
    } cases[] = {{2, 0, 2}, {3, 1, 1}, {6, 1, 4}, {7, 2, 1}};
    for (const auto& c : cases) {
        me->gate_count = c.gate_count;
        EXPECT_EQ(rider_laps_done(me), c.laps) << c.gate_count;
        EXPECT_EQ(rider_lap_gate(me), c.lap_gate) << c.gate_count;
    }
}

TEST_F(LapTimingTest, LapTimesRunFromTheGateDrop)
{
    // F = 3, N = 4: lap 1 ends at gate 2, lap 2 at gate 6, lap 3 at gate 10.
    ride(me, 0, 11, 1128, 128);  // a gate a second from 1 s after the drop
    EXPECT_EQ(rider_laps_done(me), 3);
    EXPECT_FLOAT_EQ(rider_lap_time(me, 1), 3.0f);
    EXPECT_FLOAT_EQ(rider_lap_time(me, 2), 4.0f);
    EXPECT_FLOAT_EQ(rider_lap_time(me, 3), 4.0f);
    EXPECT_FLOAT_EQ(rider_lap_time(me, -1), 4.0f);
    EXPECT_FLOAT_EQ(rider_lap_time(me, 0), 0);
    EXPECT_FLOAT_EQ(rider_lap_time(me, 4), 0);

    rider_record_gate(me, 6, -1);  // missed the end of lap 2
    EXPECT_FLOAT_EQ(rider_lap_time(me, 2), 0);
    EXPECT_FLOAT_EQ(rider_lap_time(me, 3), 0);
    timing_gates.checkpoint_count = 0;
    EXPECT_FLOAT_EQ(rider_lap_time(me, 1), 0);
}

TEST_F(LapTimingTest, FinishFollowsTheLeader)
{
    // The finish of a two-lap race is gate index 3 + 4 - 1 = 6.
    ride(me, 0, 5, 1000, 100);
    EXPECT_EQ(rider_has_finished(me), 0) << "leader has no finish tic yet";
    ride(leader, 0, 7, 1500, 100);  // finishes at tic 2100
    EXPECT_EQ(rider_has_finished(leader), 1);
    EXPECT_EQ(leader->finished, 1);
    EXPECT_EQ(rider_has_finished(me), 0) << "its last lap ended at tic 1200, before the leader's finish";
    ride(me, 5, 7, 2500, 100);
    EXPECT_EQ(rider_has_finished(me), 1);

    // A lapped rider finishes at the end of the lap it is on.
    rider* lapped = rider_create("rm125", 2, 0, "3", nullptr, nullptr, nullptr, nullptr);
    ride(lapped, 0, 3, 1500, 250);  // end of lap 1 at tic 2000: before the leader's finish
    EXPECT_EQ(rider_has_finished(lapped), 0);
    rider_truncate_gates(lapped, 0);
    ride(lapped, 0, 3, 1600, 300);  // end of lap 1 at tic 2200
    EXPECT_EQ(rider_has_finished(lapped), 1);
    rider_destroy(lapped);
}

TEST_F(LapTimingTest, FinishWithoutALeaderATimedRaceOrFirstLapGatesOnly)
{
    ride(me, 0, 7, 1500, 100);
    leader_slot = 160;
    EXPECT_EQ(rider_has_finished(me), 0);
    leader_slot = 5;  // an empty slot
    EXPECT_EQ(rider_has_finished(me), 0);
    leader_slot = 1;
    lap_limit = 1000000;  // a timed race before its time is up
    ride(leader, 0, 7, 1500, 100);
    EXPECT_EQ(rider_has_finished(me), 0);
    use_track(7, 0);
    lap_limit = 2;
    EXPECT_EQ(rider_has_finished(me), 0);
    me->finished = 1;
    EXPECT_EQ(rider_has_finished(me), 1);
    timing_gates.checkpoint_count = 0;
    EXPECT_EQ(rider_has_finished(me), 0);
}

TEST_F(LapTimingTest, AFinishGateBeyondThirtyTwoBitsIsNeverReached)
{
    // 65536 gates a lap and 65537 laps: the finish gate is 1 + 65536 * 65536
    // - 1 = 2^32, far past any list. Worked out in 32 bits it would wrap to
    // gate 0, which both riders have passed, and finish the race at once.
    use_track(1, 65536);
    lap_limit = 65537;
    ride(leader, 0, 1, 1500, 100);
    ride(me, 0, 1, 1600, 100);
    EXPECT_EQ(rider_has_finished(me), 0);
    EXPECT_EQ(rider_has_finished(leader), 0);
    EXPECT_EQ(me->finished, 0);
}

} // namespace
