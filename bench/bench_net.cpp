// The race client's receive and step costs. A full state packet holds 21
// records (17 + 21 x 47 = 1004 bytes; a 22nd would pass the 1023-byte
// receive buffer), each going into a slot's history. The per-tic step with
// 40 remote riders takes two such packets every fourth tic from a loopback
// server and sends its own state packet on those tics; the figure per tic
// is the average over the four.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstring>
#include <vector>

#include <arpa/inet.h>
#include <fcntl.h>
#include <sys/socket.h>
#include <unistd.h>

#include "core/game_state.h"
#include "game/race_reset.h"
#include "game/state_history.h"
#include "net/client.h"
#include "net/wire.h"
#include "physics/rider.h"

namespace {

constexpr int full_records = (net_receive_size - 17) / net_state_record_bytes;  // 21

// A racing client: own slot 0, race 7, remote riders in slots 1..remote.
void racing_client(int remote)
{
    net_reset();
    history_clear_all();
    net_client.state = client_racing;
    net_client.own_slot = 0;
    net_client.race_id = 7;
    net_client.highest_server_tic = 1;
    net_server_tic = 1;
    tic_counter = 4;
    for (int s = 0; s < rider_slot_count; s++) {
        rider_table[s] = s <= remote ? &rider_records[s] : nullptr;
        slot_status[s] = s == 0 ? slot_driven_by_player : slot_driven_by_history;
    }
}

// A state packet of count records for slots first.. at tic.
int state_packet(uint8_t* p, int first, int count, uint32_t tic)
{
    memset(p, 0, net_receive_size + 1);
    p[0] = 11;
    wire_put_u32(p + 1, 7);
    wire_put_u32(p + 5, tic);
    wire_put_u32(p + 13, uint32_t(count));
    for (int k = 0; k < count; k++) {
        uint8_t* r = p + 17 + k * net_state_record_bytes;
        wire_put_u16(r, uint16_t(first + k));
        wire_put_u16(r + 2, 10);
        wire_put_u32(r + 4, tic);
        for (int i = 0; i < 39; i++) r[8 + i] = uint8_t(i * 5 + k);
    }
    return 17 + count * net_state_record_bytes;
}

void handle_full_state_packet(benchmark::State& state)
{
    racing_client(full_records);
    static uint8_t packet[net_receive_size + 1];
    uint32_t tic = 4;
    for (auto _ : state) {
        int n = state_packet(packet, 1, full_records, tic += 4);
        net_handle_packet(packet, n);
    }
    if (net_last_state_tic(full_records) != int32_t(tic)) state.SkipWithError("records were not taken");
    state.SetItemsProcessed(state.iterations());
    net_reset();
}
BENCHMARK(handle_full_state_packet)->Unit(benchmark::kMicrosecond);

void step_with_40_remote_riders(benchmark::State& state)
{
    constexpr int remote = 40;
    racing_client(remote);
    // The server: a loopback socket the client is pointed at.
    int server = socket(AF_INET, SOCK_DGRAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    bind(server, reinterpret_cast<sockaddr*>(&a), sizeof a);
    socklen_t len = sizeof a;
    getsockname(server, reinterpret_cast<sockaddr*>(&a), &len);
    fcntl(server, F_SETFL, fcntl(server, F_GETFL, 0) | O_NONBLOCK);
    net_client.socket = net_open_udp();
    net_client.server.length = int32_t(sizeof a);
    net_client.server.in = a;
    // The client's address, learned from one datagram.
    net_send_packet("x", 1);
    sockaddr_in client{};
    socklen_t clen = sizeof client;
    uint8_t sink[2048];
    recvfrom(server, sink, sizeof sink, 0, reinterpret_cast<sockaddr*>(&client), &clen);
    static uint8_t packet[net_receive_size + 1];
    uint32_t tic = 4;
    for (auto _ : state) {
        tic_counter++;
        if (tic_counter % 4 == 0) {
            tic += 4;
            for (int first = 1; first <= remote; first += full_records) {
                int n = state_packet(packet, first, std::min(full_records, remote + 1 - first), tic);
                sendto(server, packet, size_t(n), 0, reinterpret_cast<sockaddr*>(&client), sizeof client);
            }
        }
        game_clock += tic_length;
        net_step();
        while (recv(server, sink, sizeof sink, 0) > 0) {
        }
    }
    // The first trial run may be too short for a packet tic.
    if (tic > 4 && net_last_state_tic(remote) != int32_t(tic)) state.SkipWithError("records were not taken");
    state.SetItemsProcessed(state.iterations());
    net_reset();
    close(server);
    for (int s = 0; s < rider_slot_count; s++) rider_table[s] = nullptr;
}
BENCHMARK(step_with_40_remote_riders)->Unit(benchmark::kMicrosecond);

}  // namespace
