// Race order, penalties for skipped gates, the results table, "@results.txt"
// and the line-up rotation, on riders that hold gate lists only.
#include <gtest/gtest.h>

#include <climits>
#include <ctime>
#include <string>
#include <vector>

#include "core/game_state.h"
#include "core/vfs_test_util.h"
#include "game/race_reset.h"
#include "game/results.h"
#include "game/state_history.h"
#include "physics/lap_timing.h"

namespace {

// Three riders on a track whose first lap has 2 gates and every later lap 3
// (gate indices 0-1, 2-4, 5-7), three laps, the gate dropping at tic 1000.
class ResultsTest : public vfs_test::roots_fixture {
protected:
    void SetUp() override
    {
        roots_fixture::SetUp();
        riders_init_all();
        const char* bikes[3] = {"kx450f(2016)", "yz250f(2017)", "crf250(2008)"};
        const char* numbers[3] = {"12", "7", "101"};
        for (int s = 0; s < 3; s++) {
            rider_table[s] = rider_create(bikes[s], s, 0, numbers[s], nullptr, nullptr, nullptr, nullptr);
            ASSERT_NE(rider_table[s], nullptr);
            slot_status[s] = slot_driven_by_autopilot;
        }
        timing_gates = {};
        timing_gates.checkpoint_count = 8;
        timing_gates.counted_first_lap = 2;
        timing_gates.counted_normal_lap = 3;
        timing_gates.first_lap_entries = 2;  // no marked entries: every entry counts
        timing_gates.normal_lap_entries = 3;
        gate_drop_tic = 1000;
        race_time_tics = 0;
        race_laps = 3;
        lap_limit = 3;
        halfway_lap = 2;
        leader_slot = 0;
        tic_counter = 3000;
        results_final = 0;
        race_order_count = race_results_count = 0;
        snprintf(track_dir, sizeof track_dir, "tracks/stadium");
        history_clear_all();
    }
    void TearDown() override
    {
        for (int s = 0; s < 3; s++) {
            rider_destroy(rider_table[s]);
            rider_table[s] = nullptr;
            slot_status[s] = slot_driven_by_history;
        }
        timing_gates = {};
        leader_slot = 160;
        track_dir[0] = 0;
        roots_fixture::TearDown();
    }
    // Gate tics in index order, -1 for a missed gate.
    static void ride(int slot, const std::vector<int32_t>& tics)
    {
        rider* r = rider_table[slot];
        rider_truncate_gates(r, 0);
        r->finished = 0;
        for (size_t i = 0; i < tics.size(); i++)
            if (tics[i] != -1) rider_record_gate(r, int32_t(i), tics[i]);
        r->gate_count = int32_t(tics.size());
    }
    // The leader rides gates 100 tics apart from 1100, finishing at 1800;
    // the second rider 50 tics behind it all the way.
    static void ride_front_two()
    {
        ride(0, {1100, 1200, 1300, 1400, 1500, 1600, 1700, 1800});
        ride(1, {1150, 1250, 1350, 1450, 1550, 1650, 1750, 1850});
    }
};

TEST_F(ResultsTest, OrderIsGatesThenTicThenSlot)
{
    struct row {
        std::vector<race_order_entry> in;
        std::vector<int32_t> slots;  // sorted
    };
    const row rows[] = {
        {{{5, 8, 100}, {2, 8, 100}, {9, 8, 100}}, {2, 5, 9}},  // ties go by slot
        {{{1, 3, 500}, {0, 4, 900}}, {0, 1}},                    // more gates first
        {{{0, 4, 901}, {3, 4, 900}}, {3, 0}},                    // then the earlier tic
        {{{7, 0, 0}, {1, 0, 0}, {4, 1, 5}}, {4, 1, 7}},
    };
    for (const row& r : rows) {
        std::vector<race_order_entry> e = r.in;
        race_order_sort(e.data(), int32_t(e.size()));
        for (size_t i = 0; i < e.size(); i++) EXPECT_EQ(e[i].slot, r.slots[i]) << i;
    }
    // The table built from riders with the same gates and tics.
    ride(0, {1100, 1200});
    ride(1, {1100, 1200, 1300});
    ride(2, {1100, 1200});
    race_order_build();
    ASSERT_EQ(race_order_count, 3);
    EXPECT_EQ(race_order[0].slot, 1);
    EXPECT_EQ(race_order[1].slot, 0);
    EXPECT_EQ(race_order[2].slot, 2);
    EXPECT_EQ(race_order[1].last_gate_tic, 1200);
}

// Penalties worked out by hand. The stretch is from the last gate passed
// before the skip to the first passed after it; the field's time over it is
// averaged per rider over the laps it rode the stretch whole, then over the
// riders (integer divisions), and a second (128 tics) is added.
TEST_F(ResultsTest, PenaltiesAndTheResultsTable)
{
    struct row {
        const char* what;
        std::vector<int32_t> third;  // the third rider's gates
        int32_t penalty;
        race_order_entry results[3];
    };
    const row rows[] = {
        // Skips gate 3. Stretch 2->4: the leader 200 in lap 2 and 200 in lap
        // 3 (5->7), the second likewise, the rider itself only lap 3: 300;
        // (200+200+300)/3 = 233, +128 = 361; its own 100 gains 261. Its best
        // lap is lap 2 (200 < 500 tics), shorter than the penalty: it loses
        // a lap (8 -> 5 gates) and the other 61 tics go on its last gate.
        {"a penalty longer than a lap costs a lap",
         {1100, 1200, 1300, -1, 1400, 1600, 1750, 1900},
         261,
         {{0, 8, 1800}, {1, 8, 1850}, {2, 5, 1961}}},
        // Skips gate 3 again: its lap 3 stretch is 240, (200+200+240)/3 =
        // 213, +128 = 341, own 150: 191 tics, less than its best lap (lap 2,
        // 250). Crossing at 1840 would beat the second rider; 2031 doesn't.
        {"a penalty shorter than a lap goes on the last gate",
         {1100, 1200, 1300, -1, 1450, 1600, 1700, 1840},
         191,
         {{0, 8, 1800}, {1, 8, 1850}, {2, 8, 2031}}},
        // Skips gate 4, the end of lap 2: stretch 3->5 sits at the same place
        // as 0->2 one lap earlier; everyone's 200 there, +128 = 328, own 100:
        // 228. Laps 2 and 3 both lack a time, so its best lap is 0 and no
        // lap can be taken off: all 228 tics go on its last gate.
        {"without a timed best lap the penalty only adds time",
         {1100, 1200, 1300, 1400, -1, 1500, 1700, 1900},
         228,
         {{0, 8, 1800}, {1, 8, 1850}, {2, 8, 2128}}},
        {"a clean ride level with the second rider is ordered by slot",
         {1150, 1250, 1350, 1450, 1550, 1650, 1750, 1850},
         0,
         {{0, 8, 1800}, {1, 8, 1850}, {2, 8, 1850}}},
    };
    for (const row& r : rows) {
        ride_front_two();
        ride(2, r.third);
        results_final = 0;
        race_order_build();
        EXPECT_EQ(rider_penalty(rider_table[2]), r.penalty) << r.what;
        EXPECT_EQ(rider_penalty(rider_table[0]), 0) << r.what;
        results_finish();
        ASSERT_EQ(results_final, 1) << r.what;
        ASSERT_EQ(race_results_count, 3) << r.what;
        for (int i = 0; i < 3; i++) {
            EXPECT_EQ(race_results[i].slot, r.results[i].slot) << r.what << " place " << i;
            EXPECT_EQ(race_results[i].gates_passed, r.results[i].gates_passed) << r.what << " place " << i;
            EXPECT_EQ(race_results[i].last_gate_tic, r.results[i].last_gate_tic) << r.what << " place " << i;
        }
    }
}

TEST_F(ResultsTest, AStretchNobodyRodeWholeIsTakenAsAMinute)
{
    // Everyone skips gate 1; the stretch 0->2 has no complete time, so it is
    // expected to take 60 s + 1 s = 7808 tics; riding it in 200 costs 7608.
    ride(0, {1100, -1, 1300});
    ride(1, {1100, -1, 1400});
    ride(2, {1100, -1, 9000});
    race_order_build();
    EXPECT_EQ(rider_penalty(rider_table[0]), 7608);
    EXPECT_EQ(rider_penalty(rider_table[1]), 7508);
    EXPECT_EQ(rider_penalty(rider_table[2]), 0) << "slower than expected: no penalty";
    // Skipping the very first gate: the stretch runs from tic 0 to gate 1,
    // which the others rode in 1200 and 1250: 1225 + 128 = 1353; 900 gains 453.
    ride(0, {1100, 1200});
    ride(1, {1100, 1250});
    ride(2, {-1, 900});
    race_order_build();
    EXPECT_EQ(rider_penalty(rider_table[2]), 453);
}

TEST_F(ResultsTest, BestLapSkipsTheFirstAndUntimedLaps)
{
    struct row {
        std::vector<int32_t> gates;
        int32_t lap;
        float seconds;
    };
    const row rows[] = {
        {{1100, 1200, 1300, 1400}, 0, 0.0f},                          // one lap done
        {{1100, 1200, 1300, 1400, 1500}, 2, 300 / 128.0f},            // two: lap 2
        {{1100, 1200, 1300, 1400, 1500, 1600, 1700, 1800}, 2, 300 / 128.0f},  // equal: the earlier
        {{1100, 1200, 1300, 1400, 1500, 1600, 1700, 1764}, 3, 264 / 128.0f},  // lap 3 faster
        {{1100, 1200, 1300, 1400, -1, 1600, 1700, 1800}, 3, 0.0f},   // neither timed
    };
    for (const row& r : rows) {
        ride(0, r.gates);
        float seconds = -1;
        EXPECT_EQ(rider_best_lap(rider_table[0], &seconds), r.lap) << r.gates.size();
        EXPECT_FLOAT_EQ(seconds, r.seconds) << r.gates.size();
    }
}

TEST_F(ResultsTest, ResultsWaitForEveryRider)
{
    ride_front_two();
    ride(2, {1100, 1200, 1300});
    slot_status[2] = slot_driven_by_player;
    results_finish();
    EXPECT_EQ(results_final, 0) << "the player is still riding";
    EXPECT_EQ(race_order_count, 3) << "the race order is kept up to date all the same";
    EXPECT_EQ(vfs_test::roots_fixture::read_name("@results.txt"), "<none>");

    // A replayed rider is done once its newest state is 10 s old.
    slot_status[2] = slot_driven_by_history;
    add_state_to_history(2, rider_state_record{}, tic_counter - 1000);
    add_state_to_history(2, rider_state_record{}, tic_counter - 100);
    results_finish();
    EXPECT_EQ(results_final, 0) << "its state is 100 tics old";
    tic_counter += 1281;
    results_finish();
    EXPECT_EQ(results_final, 1);
}

// "@results.txt" for three riders, written out by hand: the third rider
// skips gate 3 and gets 191 tics (see the penalty table above). Times are
// tics / 128 s; milliseconds are cut, gate seconds printed to 3 places.
TEST_F(ResultsTest, ResultsFileMatchesTheHandWrittenOne)
{
    ride_front_two();
    ride(2, {1100, 1200, 1300, -1, 1450, 1600, 1700, 1840});
    long before = long(time(nullptr));
    results_finish();
    long after = long(time(nullptr));
    std::string text = read_name("@results.txt");
    ASSERT_NE(text, "<none>");

    const std::string head = "Time=0.00|Laps=3|Track=tracks/stadium|Date=";
    ASSERT_EQ(text.compare(0, head.size(), head), 0) << text;
    size_t eol = text.find("\r\n");
    ASSERT_NE(eol, std::string::npos);
    long date = std::stol(text.substr(head.size(), eol - head.size()));
    EXPECT_GE(date, before);
    EXPECT_LE(date, after);

    const std::string want =
        " No. |         Bike | Laps | Total Time | BLap |  Best Time\r\n"
        // 800 tics = 6.25 s; best lap 2 of 300 tics = 2.34375 s.
        "  12 | kx450f(2016) |    3 |   0:06.250 |    2 |   0:02.343\r\n"
        // 850 tics = 6.640625 s.
        "   7 | yz250f(2017) |    3 |   0:06.640 |    2 |   0:02.343\r\n"
        // 840 + 191 = 1031 tics = 8.0546875 s; lap 2 of 250 tics = 1.953125 s.
        " 101 | crf250(2008) |    3 |   0:08.054 |    2 |   0:01.953\r\n"
        "\r\n8\r\n"
        "   0.781    1.562\r\n"
        "   2.344    3.125    3.906\r\n"
        "   4.688    5.469    6.250\r\n"
        "\r\n8\r\n"
        "   1.172    1.953\r\n"
        "   2.734    3.516    4.297\r\n"
        "   5.078    5.859    6.641\r\n"
        "\r\n8\r\n"
        "   0.781    1.562\r\n"
        "   2.344       -1    3.516\r\n"
        "   4.688    5.469    6.562\r\n";
    EXPECT_EQ(text.substr(eol + 2), want);
}

TEST_F(ResultsTest, OnlyFinishedRidersAreListedAndAnUnfinishedWinnerWritesNothing)
{
    ride_front_two();
    ride(2, {1100, 1200, 1300});
    slot_status[2] = slot_driven_by_history;  // no history: done, not finished
    results_finish();
    ASSERT_EQ(results_final, 1);
    std::string text = read_name("@results.txt");
    EXPECT_EQ(text.find(" 101 |"), std::string::npos);
    EXPECT_NE(text.find("   7 |"), std::string::npos);
    size_t gate_lists = 0;
    for (size_t at = 0; (at = text.find("\r\n\r\n", at)) != std::string::npos; at += 4) gate_lists++;
    EXPECT_EQ(gate_lists, 2u);

    // Nobody finished (the leader is a lap short): nothing is written.
    vfs_shutdown();
    std::filesystem::remove(home + "results.txt");
    ride(0, {1100, 1200, 1300, 1400, 1500});
    ride(1, {1150, 1250});
    ride(2, {1100});
    for (int s = 0; s < 3; s++) slot_status[s] = slot_driven_by_history;
    results_finish();
    EXPECT_EQ(results_final, 1);
    EXPECT_EQ(read_name("@results.txt"), "<none>");
}

TEST_F(ResultsTest, TimedRaceSettlesItsHalfwayAndFinalLap)
{
    // Two minutes from the drop at 1000: the time runs out at tic 16360.
    // The leader passes gate i at 2000 + 1000 i; lap 1 ends at gate 1, lap n
    // at gate 3n - 2.
    race_time_tics = 15360;
    race_laps = 0;
    lap_limit = halfway_lap = 1000000;
    auto leader_gates = [](int count) {
        std::vector<int32_t> g;
        for (int i = 0; i < count; i++) g.push_back(2000 + 1000 * i);
        return g;
    };
    ride(1, {2500});
    ride(2, {2600});
    struct row {
        int32_t tic, gates;
        int32_t halfway, limit;
    };
    const row rows[] = {
        {8679, 7, 1000000, 1000000},  // a tic before half time: nothing settled
        // Half time: 7 gates, (7 - 2) / 3 laps past the first, + 2.
        {8680, 7, 3, 1000000},
        // Time up, but the end of lap 6 (gate 16) not reached: laps 4 and 5
        // ended before the time, so the race goes on.
        {17500, 16, 3, 1000000},
        // Gate 16 at 18000 ends lap 6 after the time: lap 6 is the last.
        {18000, 17, 3, 6},
        // Later calls keep it.
        {25000, 24, 3, 6},
    };
    for (const row& r : rows) {
        tic_counter = r.tic;
        ride(0, leader_gates(r.gates));
        results_finish();
        EXPECT_EQ(halfway_lap, r.halfway) << r.tic;
        EXPECT_EQ(lap_limit, r.limit) << r.tic;
    }
}

TEST_F(ResultsTest, LineupRotationWrapsBothWays)
{
    struct row {
        int32_t n;
        int32_t same_as;
    };
    const row rows[] = {{-1, 159}, {160, 0}, {-160, 0}, {321, 1}, {INT_MIN, ((INT_MIN % 160) + 160) % 160},
                        {INT_MAX, INT_MAX % 160}};
    for (const row& r : rows) {
        for (int i = 0; i < rider_slot_count; i++) gate_lineup[i] = i;
        lineup_rotate(r.n);
        // Entry i moved to (i + n) mod 160, worked out here as a plain shift.
        for (int i = 0; i < rider_slot_count; i++)
            ASSERT_EQ(gate_lineup[(i + r.same_as) % rider_slot_count], i) << r.n << " at " << i;
    }
}

} // namespace
