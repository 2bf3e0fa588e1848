// The reliable channel over loopback: the outgoing queue with its resend and
// acknowledgements, the incoming order with acks, the held ring's bound,
// the items from the server and the server's text commands.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>

#include "core/game_state.h"
#include "net/client.h"
#include "net/reliable.h"
#include "net_fixture.h"
#include "physics/lap_timing.h"
#include "physics/physics_tic.h"
#include "physics/rider.h"
#include "net/erode_send.h"
#include "terrain/erode.h"
#include "terrain/terrain.h"
#include "ui/console.h"

namespace {

class reliable_test : public net_test {
protected:
    void SetUp() override
    {
        net_test::SetUp();
        join_race();
    }
    // Client packets of one type from the next steps' traffic.
    std::vector<bytes> sent_of(int type)
    {
        std::vector<bytes> out;
        for (bytes& p : received())
            if (p[0] == type) out.push_back(p);
        return out;
    }
    static int log_count(const std::string& text)
    {
        int n = 0;
        for (int i = 0; i < console_line_count; i++) n += strcmp(message_log.lines[i], text.c_str()) == 0;
        return n;
    }
};

TEST_F(reliable_test, chat_goes_out_resends_after_half_a_second_and_waits_for_its_ack)
{
    send_script_message(reliable_chat, "hello", 5);
    send_script_message(reliable_chat, "again", 5);
    step();
    auto first = sent_of(17);
    ASSERT_EQ(first.size(), 1u);
    const bytes& m = first[0];
    ASSERT_EQ(m.size(), 13u + 1 + 5);
    EXPECT_EQ(u32_at(m, 1), 0u);       // own slot
    EXPECT_EQ(u32_at(m, 5), 0x1234u);  // connection
    EXPECT_EQ(u32_at(m, 9), 0u);       // sequence
    EXPECT_EQ(m[13], reliable_chat);
    EXPECT_EQ(std::string(m.begin() + 14, m.end()), "hello");
    // 63 tics is under half a second: nothing again.
    step(63);
    EXPECT_TRUE(sent_of(17).empty());
    step(1);
    auto again = sent_of(17);
    ASSERT_EQ(again.size(), 1u);
    EXPECT_EQ(again[0], m);
    // An ack for another sequence is ignored: the head goes again.
    send(server_ack(1));
    step(64);
    again = sent_of(17);
    ASSERT_EQ(again.size(), 1u);
    EXPECT_EQ(u32_at(again[0], 9), 0u);
    // Its own ack lets the next one go at the next step.
    deliver(server_ack(0));
    auto next = sent_of(17);
    ASSERT_EQ(next.size(), 1u);
    EXPECT_EQ(u32_at(next[0], 9), 1u);
    EXPECT_EQ(std::string(next[0].begin() + 14, next[0].end()), "again");
}

TEST_F(reliable_test, a_long_chat_is_cut_to_exactly_480_bytes)
{
    std::string text(1000, 'x');
    send_script_message(reliable_chat, text.c_str(), int32_t(text.size()));
    step();
    auto m = sent_of(17);
    ASSERT_EQ(m.size(), 1u);
    EXPECT_EQ(m[0].size(), 480u);
}

TEST_F(reliable_test, server_messages_are_acked_at_once_and_handled_in_order_exactly_once)
{
    send(server_item_text(0, reliable_chat, "chat zero"));
    send(server_item_text(2, reliable_chat, "chat two"));
    EXPECT_FALSE(log_has("chat two"));
    send(server_item_text(1, reliable_chat, "chat one"));
    send(server_item_text(1, reliable_chat, "chat one"));  // its ack was lost
    step();
    auto acks = sent_of(18);
    ASSERT_EQ(acks.size(), 4u);
    EXPECT_EQ(u32_at(acks[0], 9), 0u);
    EXPECT_EQ(u32_at(acks[1], 9), 2u);
    EXPECT_EQ(u32_at(acks[2], 9), 1u);
    EXPECT_EQ(u32_at(acks[3], 9), 1u);
    EXPECT_EQ(log_count("chat zero"), 1);
    EXPECT_EQ(log_count("chat one"), 1);
    EXPECT_EQ(log_count("chat two"), 1);
    // Handled in sequence order: zero, one, two are the three newest lines.
    EXPECT_STREQ(console_recent_line(3, 0), "chat zero");
    EXPECT_STREQ(console_recent_line(3, 1), "chat one");
    EXPECT_STREQ(console_recent_line(3, 2), "chat two");
}

TEST_F(reliable_test, a_message_beyond_the_held_ring_is_neither_held_nor_acked)
{
    // 1024 ahead is the last one held; 1025 ahead is dropped unacknowledged
    // so the server sends it again when its turn is near.
    send(server_item_text(1024, reliable_chat, "held"));
    send(server_item_text(1025, reliable_chat, "too far"));
    send(server_item_text(0xFFFFFFFFu, reliable_chat, "far far"));
    step();
    auto acks = sent_of(18);
    ASSERT_EQ(acks.size(), 1u);
    EXPECT_EQ(u32_at(acks[0], 9), 1024u);
    // In batches a socket's receive buffer holds.
    for (uint32_t s = 0; s < 1024; s++) {
        send(server_item_text(s, reliable_chat, ""));
        if (s % 64 == 63) step();
    }
    step();
    EXPECT_TRUE(log_has("held"));
    EXPECT_FALSE(log_has("too far"));
    EXPECT_FALSE(log_has("far far"));
}

TEST_F(reliable_test, items_from_the_server)
{
    // 20: answered with item 31.
    deliver(server_item(0, reliable_keep_alive, {}));
    step();
    auto answer = sent_of(17);
    ASSERT_EQ(answer.size(), 1u);
    EXPECT_EQ(answer[0][13], reliable_alive_answer);
    EXPECT_EQ(std::string(answer[0].begin() + 14, answer[0].end()), "Roger that!  Still alive!");
    // 21: lap times for slot 1; a gate index of 0xFFFFFFFF or 65536 is
    // skipped, the own slot and slot 200 are left alone.
    packet_builder laps(0);
    laps.b.clear();
    laps.u32(7).u32(5);
    laps.u32(1).u32(2).u32(3000);
    laps.u32(1).u32(0xFFFFFFFFu).u32(3100);
    laps.u32(1).u32(65536).u32(3200);
    laps.u32(0).u32(0).u32(3300);
    laps.u32(200).u32(0).u32(3400);
    deliver(server_item(1, reliable_lap_time, laps.b));
    ASSERT_NE(rider_table[1], nullptr);
    EXPECT_EQ(rider_gate_count(rider_table[1]), 3);
    EXPECT_EQ(rider_gate_tic(rider_table[1], 2), 3000);
    EXPECT_EQ(rider_gate_tic(rider_table[1], 1), -1);
    EXPECT_EQ(rider_gate_count(rider_table[0]), 0);
    // A lap-time body shorter than its race id and count is ignored.
    deliver(server_item(2, reliable_lap_time, {7, 0, 0}));
    EXPECT_EQ(rider_gate_count(rider_table[1]), 3);
}

TEST_F(reliable_test, ruts_go_out_with_the_race_id_and_come_in_only_for_this_race)
{
    const erode_point points[2] = {{100, 100, 0.5f, 0.5f, 3}, {102, 101, 0.5f, -0.5f, 3}};
    const float bounds[4] = {100, 100, 102, 101};
    uint8_t strip[erode_strip_max_bytes];
    int32_t n = erode_strip_pack(points, 2, bounds, 1024.0f, strip);
    float extent = track_terrain.extent;
    track_terrain.extent = 1024.0f;
    erode_queue_reset();
    // Ours go to the server as item 27: the race id, then the strip.
    send_erode_message(strip, n);
    EXPECT_EQ(erode_queue.count, 0);
    step();
    auto out = sent_of(17);
    ASSERT_EQ(out.size(), 1u);
    EXPECT_EQ(out[0][13], reliable_ruts);
    EXPECT_EQ(u32_at(out[0], 14), 7u);
    EXPECT_EQ(bytes(out[0].begin() + 18, out[0].end()), bytes(strip, strip + n));
    // The server's: another race's are not applied; this race's are queued.
    bytes body = packet_builder(0).u32(8).raw(strip, size_t(n)).b;
    body.erase(body.begin());
    deliver(server_item(0, reliable_ruts, body));
    EXPECT_EQ(erode_queue.count, 0);
    body[0] = 7;
    deliver(server_item(1, reliable_ruts, body));
    EXPECT_EQ(erode_queue.count, 2);
    deliver(server_item(2, reliable_ruts, {7, 0, 0}));  // shorter than its race id
    EXPECT_EQ(erode_queue.count, 2);
    erode_queue_reset();
    track_terrain.extent = extent;
}

struct knockout_case {
    const char* command;
    int32_t first, second, last;
};

TEST_F(reliable_test, knockout_commands_parse_without_overflow)
{
    const knockout_case cases[] = {
        {"knockout 5", 5, 5, 5},
        {"knockout 999999", 460800, 460800, 460800},
        {"knockout 1 2", 1, 2, 2},
        {"knockout -5 7", 0, 7, 7},
        {"knockout 99999999999999999999999", 460800, 460800, 460800},
        {"  knockout", 0, 0, 0},
    };
    for (const knockout_case& c : cases) {
        server_text_command(c.command);
        EXPECT_EQ(crash_knockout_tics[0], c.first) << c.command;
        EXPECT_EQ(crash_knockout_tics[1], c.second) << c.command;
        EXPECT_EQ(crash_knockout_tics[15], c.last) << c.command;
    }
    server_text_command("knockouts 9");  // not the word: nothing
    EXPECT_EQ(crash_knockout_tics[0], 0);
}

struct erode_case {
    const char* command;
    int32_t before, after;
    bool malformed;
};

TEST_F(reliable_test, erode_commands_take_only_this_race_and_clamp_the_rate)
{
    const erode_case cases[] = {
        {"erode 7 3", 0, 3, false},
        {"erode 8 3", 0, 0, false},  // another race
        {"erode 7 999999", 0, 102400, false},
        {"erode 7 -50", 5, -1, false},
        {"erode x", 5, 5, true},
        {"erode 7", 5, 5, true},
    };
    for (const erode_case& c : cases) {
        console_clear();
        erosion_amount = c.before;
        server_text_command(c.command);
        EXPECT_EQ(erosion_amount, c.after) << c.command;
        EXPECT_EQ(log_has("Malformed erode command received"), c.malformed) << c.command;
    }
    erosion_amount = 0;
    track_reload_forced = 0;
}

TEST_F(reliable_test, off_course_values_refuse_what_is_not_finite)
{
    server_text_command("off_course_bias 4.5");
    server_text_command("off_course_scale 2");
    EXPECT_FLOAT_EQ(net_client.off_course_bias, 4.5f);
    EXPECT_FLOAT_EQ(net_client.off_course_scale, 2.0f);
    for (const char* bad : {"off_course_bias nan", "off_course_bias inf", "off_course_bias 1e99", "off_course_bias"})
        server_text_command(bad);
    server_text_command("off_course_scale -inf");
    EXPECT_FLOAT_EQ(net_client.off_course_bias, 4.5f);
    EXPECT_FLOAT_EQ(net_client.off_course_scale, 2.0f);
}

TEST_F(reliable_test, a_redirect_is_trimmed_and_due_ten_seconds_later)
{
    server_text_command("redirect   host:1  ");
    EXPECT_TRUE(log_has("Redirecting to 'host:1' in 10 seconds"));
    EXPECT_STREQ(redirect_target(), "host:1");
    step(128 * 10 - 2);
    EXPECT_EQ(net_client.state, client_racing);
    step(2);
    EXPECT_EQ(net_client.state, client_leaving);
    EXPECT_TRUE(log_has("Redirecting to 'host:1'"));
}

TEST_F(reliable_test, no_arcade_turns_the_players_riders_arcade_off)
{
    rider_table[0]->arcade = 1;
    rider_table[1]->arcade = 1;
    server_text_command("no_arcade");
    EXPECT_EQ(net_client.arcade_disabled, 1);
    EXPECT_EQ(rider_table[0]->arcade, 0);
    EXPECT_EQ(rider_table[1]->arcade, 1);  // a network rider is not ours
}

}  // namespace
