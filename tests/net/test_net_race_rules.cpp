// Which network riders are shown and race: the off-course test against the
// field's splits and the freshness of a rider's states, on a 3-rider race;
// and the items the client sends while racing.
#include <gtest/gtest.h>

#include "core/game_state.h"
#include "game/race_reset.h"
#include "game/results.h"
#include "game/sim_tic.h"
#include "net/client.h"
#include "net/reliable.h"
#include "net_fixture.h"
#include "physics/lap_timing.h"
#include "physics/rider.h"
#include "support/straight_gates.h"

namespace {

constexpr int32_t second = 128;  // tics

// Slot 1 leads with a gate every 10 s from 10 s on; slot 2 passed gates 0
// and 1 at 12 s and 22 s; slot 0 (the player) keeps up with the leader.
class race_rules : public net_test {
protected:
    void SetUp() override
    {
        net_test::SetUp();
        join_race();
        net_slot_kinds[160] = 0;  // the gate drop
        for (int g = 0; g < 4; g++) rider_record_gate(rider_table[1], g, (10 + 10 * g) * second);
        rider_record_gate(rider_table[2], 0, 12 * second);
        rider_record_gate(rider_table[2], 1, 22 * second);
        for (int g = 0; g < 3; g++) rider_record_gate(rider_table[0], g, (11 + 10 * g) * second);
        rider_table[1]->gate_count = 4;
        rider_table[2]->gate_count = 2;
        rider_table[0]->gate_count = 3;
        race_order[0] = {1, 4, 40 * second};
        race_order[1] = {0, 3, 31 * second};
        race_order[2] = {2, 2, 22 * second};
        race_order_count = 3;
    }
    void TearDown() override
    {
        race_order_count = 0;
        net_test::TearDown();
    }
    void at(int32_t seconds)
    {
        tic_counter = seconds * second;
        net_client.last_state_tic[1] = net_client.last_state_tic[2] = uint32_t(tic_counter - 8);
    }
};

TEST_F(race_rules, off_course_when_the_time_since_the_last_gate_passes_scale_times_split_plus_bias)
{
    // Gate 2 waits: the time from gate 1 (22 s) to now against the leader's
    // split 30 s - 20 s = 10 s: off course from 1.5 x 10 + 10 = 25 s on,
    // that is from 47 s.
    at(46);
    EXPECT_EQ(rider_off_course(2), 0);
    at(47);
    EXPECT_EQ(rider_off_course(2), 1);
    // A looser bias moves the line.
    net_client.off_course_bias = 20.0f;
    EXPECT_EQ(rider_off_course(2), 0);
    // No gate passed yet: off course.
    rider_truncate_gates(rider_table[2], 0);
    EXPECT_EQ(rider_off_course(2), 1);
}

TEST_F(race_rules, a_state_is_current_unless_stale_or_its_rider_is_off_course)
{
    at(46);
    EXPECT_EQ(rider_state_current(2), 1);
    at(47);
    EXPECT_EQ(rider_state_current(2), 0);
    EXPECT_EQ(rider_state_current(1), 1);
    // Early in the race everyone is current.
    net_client.off_course_bias = 60.0f;
    EXPECT_EQ(rider_state_current(2), 1);
    net_client.off_course_bias = 10.0f;
    // A second without a state: not current.
    at(20);
    net_client.last_state_tic[1] = uint32_t(tic_counter - second);
    EXPECT_EQ(rider_state_current(1), 0);
    net_client.last_state_tic[1] = uint32_t(tic_counter - second + 1);
    EXPECT_EQ(rider_state_current(1), 1);
    // No rider in the slot: not current; no own rider: all current.
    EXPECT_EQ(rider_state_current(5), 0);
    rider_table[0] = nullptr;
    EXPECT_EQ(rider_state_current(5), 1);
}

TEST_F(race_rules, when_the_player_is_off_course_everyone_is_shown)
{
    at(47);
    rider_truncate_gates(rider_table[0], 0);  // the player has no gate
    EXPECT_EQ(rider_state_current(2), 1);
}

// The results wait for a network rider exactly while its state is current
// (rider_state_current): here, until a second passes without one. The
// player's own rider has finished, so only the other two hold them open.
TEST_F(race_rules, the_results_wait_for_a_network_rider_only_while_its_state_is_current)
{
    straight_gates_load();  // the finished flag counts only on a timed track
    rider_table[0]->finished = 1;
    results_final = 0;
    at(46);  // both fresh
    results_finish();
    EXPECT_EQ(results_final, 0);
    net_client.last_state_tic[2] = uint32_t(tic_counter - second + 1);  // a tic short of a second
    results_finish();
    EXPECT_EQ(results_final, 0);
    net_client.last_state_tic[2] = uint32_t(tic_counter - second);
    ASSERT_EQ(rider_state_current(2), 0);
    results_finish();
    EXPECT_EQ(results_final, 0) << "slot 1 still rides";
    net_client.last_state_tic[1] = uint32_t(tic_counter - second);
    ASSERT_EQ(rider_state_current(1), 0);
    results_finish();
    EXPECT_EQ(results_final, 1);
    results_final = 0;
    memset(&timing_gates, 0, sizeof timing_gates);
}

// A one-lap race on the straight track (F = 3): a network rider finishes
// when its lap-time item says it passed gate 2 after the leader's finish,
// or as the leader. The player finished at 30 s; slot 1's states paused
// for a second, so the results were made final without it; then its gates
// come in, the last at 25 s: it leads and has finished, and the results
// are made again with slot 1 ahead of the player and slot 2 (two gates, its
// states stale) behind both.
TEST_F(race_rules, a_network_rider_finishes_from_its_lap_time_item)
{
    straight_gates_load();
    lap_limit = 1;
    for (int s = 0; s < 3; s++) rider_truncate_gates(rider_table[s], 0);
    for (int g = 0; g < 3; g++) rider_record_gate(rider_table[0], g, (10 + 10 * g) * second);
    rider_table[0]->gate_count = 3;
    rider_table[0]->finished = 1;
    rider_record_gate(rider_table[2], 0, 12 * second);
    rider_record_gate(rider_table[2], 1, 22 * second);
    rider_table[2]->gate_count = 2;
    at(40);
    net_client.last_state_tic[2] = uint32_t(tic_counter - 2 * second);
    results_final = 0;
    results_finish();
    ASSERT_EQ(results_final, 0) << "slot 1 still rides";
    net_client.last_state_tic[1] = uint32_t(tic_counter - second);
    results_finish();
    ASSERT_EQ(results_final, 1) << "slot 1 went quiet";
    uint32_t seq = 0;
    for (int32_t g = 0; g < 3; g++) {
        bytes laps = packet_builder(0).u32(7).u32(1).u32(1).u32(uint32_t(g)).u32(uint32_t((5 + 10 * g) * second)).b;
        laps.erase(laps.begin());
        deliver(server_item(seq++, reliable_lap_time, laps));
        EXPECT_EQ(rider_gate_count(rider_table[1]), g + 1);
    }
    EXPECT_TRUE(rider_has_finished(rider_table[1]));
    EXPECT_FALSE(rider_has_finished(rider_table[2]));
    ASSERT_EQ(results_final, 1);
    ASSERT_EQ(race_results_count, 3);
    EXPECT_EQ(race_results[0].slot, 1);
    EXPECT_EQ(race_results[1].slot, 0);
    EXPECT_EQ(race_results[2].slot, 2);
    results_final = 0;
    lap_limit = 0;
    memset(&timing_gates, 0, sizeof timing_gates);
}

// Online nothing else looks at the results once the player has finished
// and the others' states stop: the tic does, on each tic whose new count
// is 511 modulo 512. Both network riders here went quiet 2 s ago, so the
// results are final from the first such tic on, and not before it.
TEST_F(race_rules, online_the_tic_finishes_the_results_every_512_tics)
{
    straight_gates_load();
    lap_limit = 1;
    rider_table[0]->finished = 1;
    tic_counter = 3 * 512 - 3;
    for (int s = 1; s < 3; s++) net_client.last_state_tic[s] = uint32_t(tic_counter - 2 * second);
    results_final = 0;
    run_tic();  // 3 x 512 - 2
    EXPECT_EQ(results_final, 0);
    run_tic();  // 3 x 512 - 1
    EXPECT_EQ(results_final, 1);
    EXPECT_EQ(race_results_count, 3);
    results_final = 0;
    lap_limit = 0;
    memset(&timing_gates, 0, sizeof timing_gates);
}

TEST_F(race_rules, the_player_sends_each_new_gate_and_a_changed_look)
{
    received();
    tic_counter = 4001;  // no state packet this tic
    rider_record_gate(rider_table[0], 3, 3900);
    rider_table[0]->gate_count = 4;
    net_client.rider_info_changed = 1;
    menu_page = 2;  // the Bike Setup page holds it back
    step(2);  // queued in one step, sent by the next one's resend step
    auto got = received();
    ASSERT_EQ(types_of(got), std::vector<int>{17});
    EXPECT_EQ(got[0][13], reliable_lap_time);
    EXPECT_EQ(u32_at(got[0], 14), 7u);     // race id
    EXPECT_EQ(u32_at(got[0], 18), 3u);     // gate index
    EXPECT_EQ(u32_at(got[0], 22), 3900u);  // its tic
    EXPECT_EQ(net_client.rider_info_changed, 1);
    menu_page = -1;
    deliver(server_ack(0));
    step();
    got = received();
    ASSERT_EQ(types_of(got), std::vector<int>{17});
    EXPECT_EQ(got[0][13], reliable_rider_info);
    EXPECT_EQ(net_client.rider_info_changed, 0);
}

TEST_F(race_rules, a_watcher_says_it_is_still_there_every_ten_seconds)
{
    net_reset();
    received();
    join_race(0, 160);
    ASSERT_EQ(net_riding_slot(), 160);
    std::vector<bytes> items;
    for (int s = 0; s < 21 * 2; s++) {
        step(64);
        for (bytes& p : received())
            if (p[0] == 17) {
                items.push_back(p);
                send(server_ack(u32_at(p, 9)));
            }
    }
    ASSERT_EQ(items.size(), 3u);  // at the start, after 10 s and after 20 s
    EXPECT_EQ(std::string(items[0].begin() + 14, items[0].end()), "Hello server, I'm still here!");
}

}  // namespace
