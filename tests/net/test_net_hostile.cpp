// The hostile table: packets cut short, slots out of range, texts without
// an end, floods and strangers. None may crash the client, change its state
// or write out of range (the sanitizer build checks the last).
#include <gtest/gtest.h>

#include <cstring>

#include "core/game_state.h"
#include "game/race_reset.h"
#include "net/client.h"
#include "net/reliable.h"
#include "net_fixture.h"
#include "physics/rider.h"
#include "ui/console.h"

namespace {

// What a hostile packet must leave alone.
struct client_snapshot {
    int32_t state, own_slot, race_id, riding, last_info, tic, server_tic;
    uint32_t connection, highest;
    size_t resets;
    int32_t kinds[161];

    static client_snapshot take()
    {
        client_snapshot s{net_client.state, net_client.own_slot, net_client.race_id, net_riding_slot(),
                          net_client.last_info_slot, tic_counter, net_server_tic, net_client.connection,
                          net_client.highest_server_tic, reset_calls.size(), {}};
        memcpy(s.kinds, net_slot_kinds, sizeof s.kinds);
        return s;
    }
    void expect_same(const char* what) const
    {
        client_snapshot now = take();
        EXPECT_EQ(now.state, state) << what;
        EXPECT_EQ(now.own_slot, own_slot) << what;
        EXPECT_EQ(now.race_id, race_id) << what;
        EXPECT_EQ(now.riding, riding) << what;
        EXPECT_EQ(now.last_info, last_info) << what;
        EXPECT_EQ(now.connection, connection) << what;
        EXPECT_EQ(now.highest, highest) << what;
        EXPECT_EQ(now.resets, resets) << what;
        EXPECT_EQ(memcmp(now.kinds, kinds, sizeof kinds), 0) << what;
    }
};

using hostile_test = net_test;

TEST_F(hostile_test, every_type_cut_to_one_byte_changes_nothing)
{
    // In state 0 and in a running race; type 15 alone is whole at one byte
    // and 1 only prints.
    connect();
    for (int pass = 0; pass < 2; pass++) {
        client_snapshot before = client_snapshot::take();
        for (int type = 0; type < 256; type++) {
            if (type == 15 || type == 16) continue;
            deliver(bytes{uint8_t(type)});
            before.expect_same(("type " + std::to_string(type)).c_str());
        }
        // Each fixed part one byte short.
        for (int type : {2, 4, 6, 8, 10, 11, 14, 17, 18, 25}) {
            const int fixed[] = {0, 0, 13, 0, 37, 0, 9, 0, 9, 0, 13, 17, 0, 0, 5, 0, 0, 6, 5, 0, 0, 0, 0, 0, 0, 5};
            bytes p(size_t(fixed[type] - 1), 0);
            p[0] = uint8_t(type);
            if (p.size() > 1) p[1] = 7;
            deliver(p);
            before.expect_same(("short type " + std::to_string(type)).c_str());
        }
        if (pass == 0) {
            net_reset();
            received();
            join_race();
        }
    }
}

TEST_F(hostile_test, own_slot_out_of_range_keeps_the_client_contacting)
{
    connect();
    for (uint32_t slot : {500u, 0xFFFFFFFFu, 160u}) {
        deliver(server_welcome(slot, 1, 6));
        EXPECT_EQ(net_client.state, client_contacting) << slot;
        EXPECT_EQ(net_client.own_slot, net_no_slot) << slot;
    }
    deliver(server_welcome(159, 1, 6));
    EXPECT_EQ(net_client.state, client_admitted);
}

TEST_F(hostile_test, rider_info_slots_and_riding_slots_out_of_range_are_ignored)
{
    connect();
    deliver(server_welcome(0, 1, 6));
    deliver(server_race(7, 0, 3, 100, loaded_digest, "tracks/stadium"));
    ASSERT_EQ(net_client.state, client_track_known);
    client_snapshot before = client_snapshot::take();
    for (uint32_t slot : {0xFFFFFFFFu, 160u, 0x80000000u}) {
        deliver(server_rider_info(7, slot, "bike\n1\nx"));
        before.expect_same("packet 6 slot");
    }
    for (uint32_t slot : {0xFFFFFFFFu, 161u, 0x80000000u}) {
        deliver(server_riding(7, slot, "bike\n1\nx"));
        before.expect_same("riding slot");
    }
    // A packet 6 at or below the last info slot is ignored: infos rise.
    deliver(server_rider_info(7, 5, "a\n1\nfive"));
    deliver(server_rider_info(7, 3, "a\n1\nthree"));
    EXPECT_EQ(net_client.last_info_slot, 5);
    EXPECT_STREQ(net_rider_infos[3].name, "");
    deliver(server_riding(7, 160, "me\n9\nwatcher"));
    EXPECT_EQ(net_client.state, client_loaded);
    EXPECT_EQ(net_riding_slot(), 160);
}

TEST_F(hostile_test, rider_info_texts_are_bounded_and_skins_must_be_plain_at_names)
{
    std::string huge(900, 'N');
    store_rider_info(4, (huge + "|@ok|/etc/passwd|@a/../b|@c\\d\n12345\n" + huge).c_str());
    const net_rider_info& r = net_rider_infos[4];
    EXPECT_EQ(strlen(r.bike), 63u);
    EXPECT_STREQ(r.rider_skin, "@ok");
    EXPECT_STREQ(r.bike_skin, "");   // not an "@" name
    EXPECT_STREQ(r.wheel_skin, "");  // ".."
    EXPECT_STREQ(r.head_skin, "");   // backslash
    EXPECT_STREQ(r.number, "123");
    EXPECT_EQ(strlen(r.name), 63u);
    store_rider_info(4, "@x|@\x01y|@z|@w|@v|@extra\n1\nn");
    EXPECT_STREQ(net_rider_infos[4].rider_skin, "");  // a control character
    EXPECT_STREQ(net_rider_infos[4].head_skin, "@v");  // ends at a further '|'
    store_rider_info(-1, "a\n1\nb");
    store_rider_info(160, "a\n1\nb");
}

TEST_F(hostile_test, a_track_name_is_only_matched_against_the_track_list)
{
    connect();
    deliver(server_welcome(0, 1, 6));
    deliver(server_race(7, 0, 3, 100, loaded_digest, "../../etc"));
    EXPECT_TRUE(log_has("Can't find track '../../etc'"));
    EXPECT_EQ(net_client.state, client_leaving);
}

TEST_F(hostile_test, texts_without_an_end_are_cut_and_end_at_a_nul)
{
    connect();
    std::string text(1500, 'T');  // longer than the receive buffer
    deliver(packet_builder(16).text(text).b);
    EXPECT_EQ(net_client.state, client_leaving);
    EXPECT_TRUE(log_has(std::string(200, 'T')));
    console_clear();
    deliver(packet_builder(16).text(std::string("short\0hidden", 12)).b);
    EXPECT_TRUE(log_has("short"));
    EXPECT_FALSE(log_has("hidden"));
}

TEST_F(hostile_test, state_records_out_of_range_or_cut_short)
{
    join_race();
    state_entry good{1, 3, 2000, {}};
    good.record[0] = 5;
    state_entry far{200, 3, 2001, {}};
    state_entry own{0, 3, 2002, {}};
    state_entry stamp_max{1, 3, 0xFFFFFFFFu, {}};
    // Count says 1000 records; three are there and the last is cut.
    bytes p = server_states(7, 1600, 0, 1000, {good, far, own, stamp_max});
    ASSERT_GT(p.size(), size_t(10));
    p.resize(p.size() - 10);
    deliver(p);
    EXPECT_TRUE(log_has("State packet too small"));
    EXPECT_EQ(net_last_state_tic(1), 2000);
    EXPECT_EQ(net_last_state_tic(0), -1);
    // The biggest tic is refused whole: it would stand for an empty entry.
    deliver(server_states(7, 1601, 0, 1, {stamp_max}));
    EXPECT_EQ(net_last_state_tic(1), 2000);
    // A non-zero count in a packet too short for one record.
    console_clear();
    deliver(server_states(7, 1602, 0, 1, {}));
    EXPECT_TRUE(log_has("State packet too small"));
}

TEST_F(hostile_test, datagrams_from_another_port_are_dropped)
{
    join_race();
    fake_server stranger;
    ASSERT_TRUE(fake_server_open(&stranger));
    client_snapshot before = client_snapshot::take();
    for (const bytes& p : {bytes{15}, packet_builder(16).text("bye").b, server_item_text(0, 24, "redirect evil:1"),
                           server_query(net_client.nonce, "evil:1"), server_restart(99)}) {
        fake_server_send_to(&stranger, p, server.client);
        step();
    }
    before.expect_same("stranger");
    EXPECT_STREQ(redirect_target(), "");
    EXPECT_FALSE(log_has("bye"));
    fake_server_close(&stranger);
}

TEST_F(hostile_test, a_flood_of_future_messages_is_not_held_beyond_the_ring)
{
    join_race();
    for (uint32_t s = 2000; s < 12000; s++) {
        send(server_item_text(s, reliable_chat, "flood"));
        if (s % 64 == 0) step();
    }
    step();
    for (const bytes& p : received()) EXPECT_NE(p[0], 18);
    EXPECT_FALSE(log_has("flood"));
}

}  // namespace
