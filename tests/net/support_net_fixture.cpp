#include "net_fixture.h"

#include <cstring>

#include "core/array.h"
#include "core/game_state.h"
#include "game/race_reset.h"
#include "game/startup.h"
#include "game/state_history.h"
#include "game/track_list.h"
#include "net/client.h"
#include "net/reliable.h"
#include "physics/lap_timing.h"
#include "physics/rider.h"
#include "ui/console.h"

std::vector<reset_call> reset_calls;
uint8_t loaded_digest[20];

namespace {

void clear_riders()
{
    for (int s = 0; s < rider_slot_count; s++) {
        // By record, not by table: a test may have emptied the table entry.
        if (rider_records[s].gate_tics.items) array_free(&rider_records[s].gate_tics);
        rider_table[s] = nullptr;
        memset(&rider_records[s], 0, sizeof rider_records[s]);
        slot_status[s] = 0;
    }
}

// The player's slot (kind 1) rides by input, network slots (kind 5) by
// their history; the rest stay empty.
void light_reset(const int32_t* kinds, int, int, int32_t race_time, int32_t laps, int32_t)
{
    reset_calls.push_back({std::vector<int32_t>(kinds, kinds + 161), race_time, laps});
    clear_riders();
    for (int s = 0; s < rider_slot_count; s++) {
        if (kinds[s] != 1 && kinds[s] != 5) continue;
        rider* r = &rider_records[s];
        rider_gates_init(r);
        r->slot = s;
        rider_table[s] = r;
        slot_status[s] = kinds[s] == 1 ? slot_driven_by_player : slot_driven_by_history;
    }
    memcpy(track_digest, loaded_digest, 20);
    gate_drop_tic = kinds[160];
}

}  // namespace

void net_test::SetUp()
{
    ASSERT_TRUE(fake_server_open(&server));
    console_clear();
    net_reset();
    clear_riders();
    reset_calls.clear();
    net_race_reset = light_reset;
    stock_shapes = 1;
    options.password = nullptr;
    options.fake_lag = 0;
    options.fake_loss = 0;
    game_clock = 0;
    tic_counter = 0;
    race_order_count = 0;
    for (int i = 0; i < 20; i++) loaded_digest[i] = uint8_t(0x40 + i);
    static const char* const names[] = {"tracks/practice/terrain.hf", "tracks/stadium/terrain.hf", nullptr};
    track_list_build_from(names);
}

void net_test::TearDown()
{
    net_reset();
    clear_riders();
    history_clear_all();
    net_race_reset = reset_session;
    track_list_free();
    fake_server_close(&server);
}

void net_test::step(int tics)
{
    for (int i = 0; i < tics; i++) {
        game_clock += tic_length;
        net_step();
    }
}

void net_test::connect()
{
    net_set_server(fake_server_name(server).c_str());
    step();
    ASSERT_EQ(types_of(received()), std::vector<int>{0});
}

void net_test::reach_loaded()
{
    connect();
    deliver(server_welcome(0, 1, 6));
    deliver(server_race(7, 0, 3, 1600, loaded_digest, "tracks/stadium"));
    deliver(server_riding(7, 0, "a\n1\nb"));
    ASSERT_EQ(net_client.state, client_loaded);
}

void net_test::join_race(uint32_t own, uint32_t riding)
{
    connect();
    deliver(server_welcome(own, 0x1234, 6));
    deliver(server_race(7, 0, 3, 1600, loaded_digest, "tracks/stadium"));
    deliver(server_rider_info(7, 1, "kx250f(2008)|@r1|@b1|@w1|@h1\n12\nOne"));
    deliver(server_rider_info(7, 2, "cr125\n34\nTwo"));
    deliver(server_riding(7, riding, "yz250f(2017)\n999\nMe"));
    deliver(server_clock(7, 1500, 0));
    received();
    ASSERT_EQ(net_client.state, client_racing);
}

bool net_test::log_has(const std::string& text)
{
    for (int i = 0; i < console_line_count; i++)
        if (strstr(message_log.lines[i], text.c_str())) return true;
    return false;
}
