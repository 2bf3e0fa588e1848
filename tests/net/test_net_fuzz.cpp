// 100,000 random and mutated datagrams from the server's own address: valid
// packets with flipped bytes, cut short, with extreme fields, and plain
// noise. The client must not crash, hang or write out of range (the
// sanitizer build checks that), must keep its tables in range, and must
// still race afterwards.
#include <gtest/gtest.h>

#include <random>

#include "core/game_state.h"
#include "game/race_reset.h"
#include "game/state_history.h"
#include "net/client.h"
#include "net/reliable.h"
#include "net_fixture.h"
#include "physics/physics_tic.h"
#include "ui/console.h"

namespace {

constexpr int fuzz_datagrams = 100000;
constexpr int batch = 16;  // between client steps: well within a socket buffer

// Well-formed server packets of every type for the running race (race 7,
// own slot 0), the templates the mutations start from. The moved packet
// carries a nonce that never matches, so no name from the noise is looked up.
std::vector<bytes> templates()
{
    state_entry rec{1, 4, 2000, {}};
    bytes laps = packet_builder(0).u32(7).u32(2).u32(1).u32(3).u32(2100).u32(2).u32(1).u32(2200).b;
    laps.erase(laps.begin());
    return {
        bytes{1},
        server_welcome(0, 1, 6),
        server_race(7, 100, 3, 1600, loaded_digest, "tracks/stadium"),
        server_rider_info(7, 3, "kx250f(2008)|@a|@b|@c|@d\n12\nName"),
        server_riding(7, 0, "a\n1\nb"),
        server_clock(7, 2000, 1990),
        server_states(7, 2000, 1990, 3, {rec, rec, rec}),
        server_restart(7),
        packet_builder(16).text("go away").b,
        server_item_text(0, 19, "chat"),
        server_item(1, 20, {}),
        server_item(2, 21, laps),
        server_item_text(3, 24, "knockout 1 2 3"),
        server_item_text(4, 24, "erode 7 3"),
        server_item_text(5, 24, "off_course_bias 3"),
        server_item(6, 27, bytes(40, 0x55)),
        server_item_text(7, 32, "7 hello"),
        server_ack(0),
        server_query(1, "127.0.0.1:9"),
    };
}

bytes mutate(std::mt19937& rng, const std::vector<bytes>& base)
{
    std::uniform_int_distribution<int> pick(0, 99);
    int how = pick(rng);
    if (how < 15) {  // noise of any length, a known type first most times
        bytes b(size_t(rng() % 1100));
        for (uint8_t& c : b) c = uint8_t(rng());
        if (!b.empty() && pick(rng) < 70) b[0] = uint8_t(1 + rng() % 25);
        return b;
    }
    bytes b = base[rng() % base.size()];
    if (how < 50) {  // flipped bytes
        int flips = 1 + int(rng() % 4);
        for (int i = 0; i < flips; i++) b[rng() % b.size()] ^= uint8_t(1u << (rng() % 8));
    } else if (how < 70) {  // cut short
        b.resize(rng() % b.size());
    } else if (how < 90) {  // an extreme 32-bit field
        static const uint32_t extremes[] = {0, 1, 159, 160, 161, 0x7FFFFFFF, 0x80000000, 0xFFFFFFFF, 65535, 65536};
        if (b.size() >= 5) {
            size_t at = 1 + rng() % (b.size() - 4);
            uint32_t v = extremes[rng() % 10];
            for (int i = 0; i < 4; i++) b[at + size_t(i)] = uint8_t(v >> (8 * i));
        }
    } else {  // grown past the receive buffer
        b.resize(1023 + rng() % 200, uint8_t(rng()));
    }
    return b;
}

// What must hold whatever arrived.
void expect_in_range()
{
    EXPECT_TRUE(net_client.own_slot >= 0 && net_client.own_slot <= 160);
    EXPECT_TRUE(net_riding_slot() >= 0 && net_riding_slot() <= 160);
    EXPECT_TRUE(net_client.last_info_slot >= 0 && net_client.last_info_slot <= 160);
    EXPECT_TRUE(net_client.laps >= 0 && net_client.laps <= 1000000);
    EXPECT_GE(net_client.race_time, 0);
    for (int s = 0; s < 160; s++) {
        for (const char* skin : {net_rider_infos[s].rider_skin, net_rider_infos[s].bike_skin})
            if (skin[0]) {
                EXPECT_TRUE(net_skin_name_safe(skin));
            }
    }
    for (int32_t k : crash_knockout_tics) EXPECT_TRUE(k >= 0 && k <= 460800);
}

using fuzz_test = net_test;

TEST_F(fuzz_test, a_hundred_thousand_hostile_datagrams_then_a_normal_race)
{
    std::mt19937 rng(20261211);
    const std::vector<bytes> base = templates();
    join_race();
    int rejoins = 0;
    for (int sent = 0; sent < fuzz_datagrams;) {
        for (int i = 0; i < batch && sent < fuzz_datagrams; i++, sent++) send(mutate(rng, base));
        tic_counter += 1 + int(rng() % 4);
        step();
        expect_in_range();
        received();
        // A reset, a restart or a farewell from the noise ends the race:
        // join again so the rest of the noise meets a racing client too.
        if (!net_connected() || net_client.state != client_racing) {
            net_reset();
            received();
            join_race();
            rejoins++;
        }
        if (HasFailure()) return;
    }
    RecordProperty("rejoins", rejoins);
    erosion_amount = 0;
    track_reload_forced = 0;

    // Afterwards a clean race runs: states both ways.
    net_reset();
    received();
    join_race();
    tic_counter = 4000;
    step();
    bool state_sent = false;
    for (const bytes& p : received()) state_sent |= p[0] == 11 && p.size() == 60;
    EXPECT_TRUE(state_sent);
    state_entry rec{1, 2, 4100, {}};
    deliver(server_states(7, 4100, 4000, 1, {rec}));
    EXPECT_EQ(net_last_state_tic(1), 4100);
    EXPECT_EQ(net_client.own_lag, tic_counter - 4000);
}

}  // namespace
