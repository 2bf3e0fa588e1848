// The client against the test race server on loopback: the handshake and
// its variants, the state exchange, the clock, file transfer, restart and
// redirect, and the fake lag and loss queue.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>

#include "core/game_state.h"
#include "core/ripemd160.h"
#include "core/vfs.h"
#include "game/startup.h"
#include "game/state_history.h"
#include "net/client.h"
#include "net/reliable.h"
#include "net_fixture.h"
#include "physics/setup.h"
#include "support/temp_dir.h"
#include "ui/console.h"

namespace {

using scenario = net_test;

// ---- 1. Handshake ------------------------------------------------------------

TEST_F(scenario, handshake_walks_every_state_with_the_right_packets)
{
    options.password = "secret";
    net_set_server(fake_server_name(server).c_str());
    step();
    auto got = received();
    ASSERT_EQ(types_of(got), std::vector<int>{0});
    EXPECT_EQ(got[0].size(), 21u);
    EXPECT_EQ(u32_at(got[0], 1), 1u);   // a password is set
    EXPECT_EQ(u32_at(got[0], 9), 43u);  // protocol number
    uint32_t nonce = u32_at(got[0], 13);
    EXPECT_EQ(nonce, net_client.nonce);

    deliver(server_welcome(0, 0xA1B2C3D4u, 6));
    got = received();
    ASSERT_EQ(types_of(got), std::vector<int>{3});
    const bytes& info = got[0];
    EXPECT_EQ(u32_at(info, 1), 0u);
    EXPECT_EQ(u32_at(info, 5), 0xA1B2C3D4u);
    // The proof: digest bytes 3, 2, 1, 0 of RIPEMD-160(password, connection LE).
    ripemd160_ctx ctx;
    ripemd160_init(&ctx);
    ripemd160_update(&ctx, "secret", 6);
    const uint8_t le[4] = {0xD4, 0xC3, 0xB2, 0xA1};
    ripemd160_update(&ctx, le, 4);
    ripemd160_final(&ctx);
    EXPECT_EQ(info[9], ctx.digest[3]);
    EXPECT_EQ(info[10], ctx.digest[2]);
    EXPECT_EQ(info[11], ctx.digest[1]);
    EXPECT_EQ(info[12], ctx.digest[0]);
    EXPECT_EQ(u32_at(info, 17), nonce);
    std::string text(info.begin() + 41, info.end());
    std::string want = std::string(player_setup.bike) + "|" + player_setup.rider_texture + "|" +
                       player_setup.bike_texture + "|" + player_setup.wheel_texture + "|" +
                       player_setup.head_texture + "\n" + player_setup.number + "\n" + player_setup.name;
    EXPECT_EQ(text, want);

    deliver(server_race(7, 0, 3, 1600, loaded_digest, "tracks/stadium"));
    got = received();
    ASSERT_EQ(types_of(got), std::vector<int>{5});
    EXPECT_EQ(got[0].size(), 13u);
    EXPECT_EQ(u32_at(got[0], 9), 7u);
    // Repeated once a second while nothing comes.
    step(127);
    EXPECT_TRUE(received().empty());
    step(1);
    EXPECT_EQ(types_of(received()), std::vector<int>{5});

    deliver(server_rider_info(7, 1, "kx250f(2008)|@r1|@b1|@w1|@h1\n12\nOne"));
    deliver(server_rider_info(7, 2, "cr125\n34\nTwo"));
    got = received();
    ASSERT_EQ(types_of(got), (std::vector<int>{7, 7}));
    EXPECT_EQ(got[0].size(), 17u);
    EXPECT_EQ(u32_at(got[1], 13), 2u);  // last info slot
    EXPECT_STREQ(net_rider_infos[1].rider_skin, "@r1");
    EXPECT_STREQ(net_rider_infos[2].name, "Two");

    deliver(server_riding(7, 0, "yz250f(2017)\n999\nMe"));
    ASSERT_EQ(reset_calls.size(), 1u);
    EXPECT_EQ(reset_calls[0].kinds[0], 1);
    EXPECT_EQ(reset_calls[0].kinds[1], 5);
    EXPECT_EQ(reset_calls[0].kinds[2], 5);
    EXPECT_EQ(reset_calls[0].kinds[3], 0);
    EXPECT_EQ(reset_calls[0].kinds[160], 1600);  // the gate-drop tic
    EXPECT_EQ(reset_calls[0].laps, 3);
    EXPECT_EQ(net_client.state, client_loaded);
    EXPECT_EQ(types_of(received()), std::vector<int>{9});

    deliver(server_clock(7, 1500, 0));
    EXPECT_EQ(net_client.state, client_racing);
    EXPECT_TRUE(log_has("3 laps"));
}

TEST(net_race_message, laps_minutes_and_both)
{
    struct row {
        int32_t time, laps;
        const char* text;
    };
    // 38400 tics are 5 minutes; half a minute less rounds up to 5 too.
    const row rows[] = {{0, 3, "3 laps"}, {38400, 0, "5 minutes"}, {38400, 2, "5 minutes + 2 laps"},
                        {38400 - 64 * 60, 0, "5 minutes"}, {38400 - 64 * 60 - 1, 0, "4 minutes"}};
    for (const row& r : rows) {
        char text[64];
        net_race_message(r.time, r.laps, text, int(sizeof text));
        EXPECT_STREQ(text, r.text);
    }
}

TEST_F(scenario, handshake_variants_end_in_leaving)
{
    // A wrong version; an unknown track; a digest that differs in one byte.
    connect();
    deliver(server_welcome(0, 1, 5));
    EXPECT_TRUE(log_has("Server version does not match client version"));
    EXPECT_EQ(net_client.state, client_leaving);
    EXPECT_EQ(types_of(received()), std::vector<int>{15});

    net_reset();
    received();
    connect();
    deliver(server_welcome(0, 1, 6));
    deliver(server_race(7, 0, 3, 1600, loaded_digest, "no such track"));
    EXPECT_TRUE(log_has("Can't find track 'no such track'"));
    EXPECT_EQ(net_client.state, client_leaving);

    net_reset();
    received();
    connect();
    deliver(server_welcome(0, 1, 6));
    uint8_t flipped[20];
    memcpy(flipped, loaded_digest, 20);
    flipped[19] ^= 1;
    deliver(server_race(7, 0, 3, 1600, flipped, "tracks/stadium"));
    deliver(server_riding(7, 0, "a\n1\nb"));
    EXPECT_TRUE(log_has("Client track modified - does not match server's track"));
    EXPECT_EQ(net_client.state, client_leaving);

    deliver(bytes{1});
    EXPECT_TRUE(log_has("Server is full"));
}

// ---- 2. State exchange -------------------------------------------------------

TEST_F(scenario, state_packets_go_out_every_fourth_tic_and_records_enter_the_history)
{
    join_race();
    for (int t = 0; t < 8; t++) {
        tic_counter = 1600 + t;
        step();
    }
    std::vector<bytes> states;
    for (bytes& p : received())
        if (p[0] == 11) states.push_back(p);
    ASSERT_EQ(states.size(), 2u);
    EXPECT_EQ(states[0].size(), 60u);
    EXPECT_EQ(u32_at(states[0], 1), 0u);
    EXPECT_EQ(u32_at(states[0], 5), 0x1234u);
    EXPECT_EQ(u32_at(states[0], 9), 7u);
    EXPECT_EQ(u32_at(states[0], 13), 1500u);  // the highest server tic seen
    EXPECT_EQ(u32_at(states[0], 17), 1600u);
    EXPECT_EQ(u32_at(states[1], 17), 1604u);

    state_entry rec{1, 9, 1650, {}};
    for (int i = 0; i < 39; i++) rec.record[i] = uint8_t(i + 1);
    state_entry older{1, 9, 1640, {}};
    deliver(server_states(7, 1700, 1590, 2, {rec, older}));
    EXPECT_EQ(net_last_state_tic(1), 1650);
    EXPECT_EQ(net_client.lag[1], 9);
    const slot_history& h = state_history[1];
    EXPECT_EQ(h.stamp[h.head], 1650);
    EXPECT_EQ(memcmp(h.record[h.head].bytes, rec.record, 39), 0);
    EXPECT_EQ(net_client.own_lag, tic_counter - 1590);

    // Count 0 in a 17-byte packet: the clock moves, the own lag stays.
    int32_t lag = net_client.own_lag;
    deliver(server_states(7, 1800, 1000, 0, {}));
    EXPECT_EQ(net_client.own_lag, lag);
    EXPECT_EQ(net_server_tic, 1800);
}

TEST_F(scenario, a_count_zero_state_packet_completes_the_move_to_racing)
{
    reach_loaded();
    deliver(server_states(7, 1500, 0, 0, {}));
    EXPECT_EQ(net_client.state, client_racing);
    EXPECT_EQ(tic_counter, 1500);
}

// ---- 3. Clock ----------------------------------------------------------------

TEST_F(scenario, the_first_clock_sets_the_tic_and_the_estimate_follows_the_server)
{
    reach_loaded();
    tic_counter = 5;
    step(10);
    EXPECT_EQ(net_server_tic, 0);  // the race may not run yet
    send(server_clock(7, 1000, 0));
    step();
    EXPECT_EQ(tic_counter, 1000);
    EXPECT_EQ(net_server_tic, 1000);
    step(3);
    EXPECT_EQ(net_server_tic, 1003);
    // Equal or lower: nothing; the local tic is not set again.
    tic_counter = 1010;
    deliver(server_clock(7, 1000, 0));
    deliver(server_clock(7, 900, 0));
    EXPECT_EQ(net_server_tic, 1005);
    EXPECT_EQ(tic_counter, 1010);
    // Higher: the estimate jumps (then grows on the next step).
    send(server_clock(7, 2000, 0));
    step();
    EXPECT_EQ(net_server_tic, 2000);
    EXPECT_EQ(net_client.highest_server_tic, 2000u);
    // Echo 0 leaves the own lag; an echo sets it.
    int32_t lag = net_client.own_lag;
    deliver(server_clock(7, 2001, 0));
    EXPECT_EQ(net_client.own_lag, lag);
    deliver(server_clock(7, 2002, 1000));
    EXPECT_EQ(net_client.own_lag, 10);
}

// ---- 5. File transfer --------------------------------------------------------

// The player's folder in a temporary folder, where "@outgoing/" files are.
class transfer : public net_test {
protected:
    temp_dir tmp;
    void SetUp() override
    {
        std::filesystem::create_directories(tmp.file("home/Zentrik/outgoing"));
        std::filesystem::create_directories(tmp.file("data"));
        setenv("XDG_DATA_HOME", tmp.file("home").c_str(), 1);
        setenv("ZT_HOME", tmp.file("data").c_str(), 1);
        vfs_shutdown();
        net_test::SetUp();
        join_race();
    }
    void TearDown() override
    {
        net_test::TearDown();
        vfs_shutdown();
        unsetenv("ZT_HOME");
        unsetenv("XDG_DATA_HOME");
    }
    void write_outgoing(const std::string& name, const std::string& data)
    {
        write_whole_file(tmp.file("home/Zentrik/outgoing/" + name), data);
    }
    // Steps until a packet 17 comes, acknowledging it; its body, or "".
    std::string next_item(int limit = 256)
    {
        for (int i = 0; i < limit; i++) {
            step();
            for (bytes& p : received()) {
                if (p[0] != 17) continue;
                send(server_ack(u32_at(p, 9)));
                return std::string(p.begin() + 14, p.end());
            }
        }
        return "";
    }
};

TEST_F(transfer, a_file_goes_in_parts_after_sendready_then_its_name)
{
    std::string data;
    for (int i = 0; i < 600; i++) data += char(i * 7 + 3);
    write_outgoing("sample.bin", data);
    ASSERT_EQ(net_upload_start("sample.bin"), 1);
    EXPECT_TRUE(log_has("Sending file"));
    EXPECT_EQ(next_item(), "sendfile");
    send(server_item_text(0, reliable_file, "sendready"));
    std::string assembled;
    std::vector<size_t> parts;
    for (;;) {
        std::string item = next_item();
        ASSERT_FALSE(item.empty());
        if (item.rfind("sendpart -", 0) == 0) {
            parts.push_back(item.size() - 10);
            assembled += item.substr(10);
            continue;
        }
        EXPECT_EQ(item, "namefile sample.bin");
        break;
    }
    EXPECT_EQ(parts, (std::vector<size_t>{256, 256, 88}));
    EXPECT_EQ(assembled, data);
    EXPECT_EQ(net_upload_open(), 0);
}

TEST_F(transfer, a_part_waits_for_the_previous_ones_ack)
{
    write_outgoing("big.bin", std::string(2000, 'b'));
    ASSERT_EQ(net_upload_start("big.bin"), 1);
    EXPECT_EQ(next_item(), "sendfile");
    send(server_item_text(0, reliable_file, "sendready"));
    step(128 * 5);  // five seconds without any acknowledgement
    int parts_queued = 0;
    for (const reliable_message* m = reliable_head; m; m = m->next) parts_queued++;
    EXPECT_EQ(parts_queued, 1);
}

TEST_F(transfer, senddenied_closes_the_file_and_bad_names_are_refused)
{
    write_outgoing("x.bin", "abc");
    ASSERT_EQ(net_upload_start("x.bin"), 1);
    deliver(server_item_text(0, reliable_file, "senddenied"));
    EXPECT_TRUE(log_has("Send file denied"));
    EXPECT_EQ(net_upload_open(), 0);
    struct bad {
        std::string name;
        const char* message;
    };
    const bad names[] = {{"a/b", "Filename may only contain"}, {"..", "Filename may not begin with '.'"},
                         {".", "Filename may not begin with '.'"}, {std::string(458, 'n'), "Filename too long"}};
    for (const bad& b : names) {
        console_clear();
        EXPECT_EQ(net_upload_start(b.name.c_str()), 0) << b.name;
        EXPECT_TRUE(log_has(b.message)) << b.name;
    }
    console_clear();
    EXPECT_EQ(net_upload_start(std::string(457, 'n').c_str()), 0);
    EXPECT_FALSE(log_has("Filename too long"));
    EXPECT_TRUE(log_has("Can't open file"));
}

// ---- 6. Restart and redirect -------------------------------------------------

TEST_F(scenario, a_newer_race_restarts_the_handshake_and_a_late_duplicate_does_not)
{
    join_race();
    deliver(server_restart(7));  // not newer: nothing
    EXPECT_EQ(net_client.state, client_racing);
    deliver(server_restart(8));
    EXPECT_EQ(net_client.state, client_restarting);
    auto got = received();
    ASSERT_EQ(types_of(got).back(), 14);
    EXPECT_EQ(u32_at(got.back(), 9), 8u);
    step(128);
    EXPECT_EQ(types_of(received()), std::vector<int>{14});
    deliver(server_race(9, 0, 3, 1600, loaded_digest, "tracks/stadium"));  // another id: ignored
    EXPECT_EQ(net_client.state, client_restarting);
    deliver(server_race(8, 0, 2, 1600, loaded_digest, "tracks/practice"));
    EXPECT_EQ(net_client.state, client_track_known);
    deliver(server_riding(8, 0, "a\n1\nb"));
    deliver(server_clock(8, 3000, 0));
    ASSERT_EQ(net_client.state, client_racing);
    deliver(server_restart(8));  // delayed copy of the restart
    EXPECT_EQ(net_client.state, client_racing);
}

TEST_F(scenario, a_redirect_leaves_after_ten_seconds_and_connects_to_the_new_server)
{
    fake_server second;
    ASSERT_TRUE(fake_server_open(&second));
    join_race();
    deliver(server_item_text(0, reliable_file, "redirect " + fake_server_name(second)));
    // Ten seconds of racing, taking the state packets as they come.
    int last = -1;
    for (int second = 0; second < 10; second++) {
        step(128);
        for (int t : types_of(received())) last = t;
    }
    EXPECT_EQ(net_client.state, client_leaving);
    EXPECT_EQ(last, 15);
    deliver(bytes{15});  // the server lets the client go
    step();
    auto there = fake_server_receive(&second);
    EXPECT_EQ(types_of(there), std::vector<int>{0});
    fake_server_close(&second);
}

TEST_F(scenario, a_silent_server_lets_the_client_go_after_five_seconds)
{
    connect();
    deliver(server_welcome(0, 1, 5));
    ASSERT_EQ(net_client.state, client_leaving);
    step(128 * 5 - 2);
    EXPECT_TRUE(net_connected());
    step(2);
    EXPECT_FALSE(net_connected());
    EXPECT_FALSE(net_server_set());
}

TEST_F(scenario, a_moved_packet_with_the_nonce_connects_elsewhere)
{
    fake_server second;
    ASSERT_TRUE(fake_server_open(&second));
    connect();
    deliver(server_query(net_client.nonce + 1, fake_server_name(second)));  // wrong nonce
    EXPECT_TRUE(fake_server_receive(&second).empty());
    deliver(server_query(net_client.nonce, fake_server_name(second)));
    step();
    EXPECT_EQ(types_of(fake_server_receive(&second)), std::vector<int>{0});
    fake_server_close(&second);
}

// ---- 8. Fake lag and loss ----------------------------------------------------

int fixed_random_at;
const int fixed_randoms[] = {0, 32767, 32699, 32700};
int fixed_random() { return fixed_randoms[fixed_random_at++ % 4]; }

TEST_F(scenario, full_fake_loss_passes_only_the_top_random_values)
{
    connect();
    options.fake_loss = 100;
    int (*saved)() = net_loss_random;
    net_loss_random = fixed_random;
    fixed_random_at = 0;
    // Values 0 and 32699 drop; 32767 and 32700 pass.
    for (int i = 0; i < 4; i++) {
        const char text[] = {'m', char('0' + i), 0};
        send(server_item_text(uint32_t(i), reliable_chat, text));
    }
    step(2);  // queued in the first step, handled in the next
    net_loss_random = saved;
    options.fake_loss = 0;
    EXPECT_FALSE(log_has("m0"));
    EXPECT_FALSE(log_has("m2"));
    EXPECT_EQ(types_of(received()), (std::vector<int>{18, 18}));
}

TEST_F(scenario, fake_lag_delays_handling_by_game_clock)
{
    connect();
    options.fake_lag = 0.5;
    send(bytes{1});
    step();
    EXPECT_FALSE(log_has("Server is full"));
    step(64);  // the arrival plus 0.5 s: not past it yet
    EXPECT_FALSE(log_has("Server is full"));
    step(1);
    EXPECT_TRUE(log_has("Server is full"));
    options.fake_lag = 0;
}

}  // namespace
