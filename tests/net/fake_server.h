#pragma once
// The test race server: one UDP socket on 127.0.0.1 at an ephemeral port,
// stepped by the test (no threads). It builds the server's packets and
// parses what the client sends, as the race-server protocol lays them out
// (docs/race_protocol.md).
#include <cstdint>
#include <string>
#include <vector>

#include "net/socket.h"

using bytes = std::vector<uint8_t>;

struct fake_server {
    int socket = -1;
    int port = 0;
    net_address self{};
    net_address client{};  // the last sender
    bool has_client = false;
};

bool fake_server_open(fake_server* s);
void fake_server_close(fake_server* s);
// Every datagram waiting, oldest first (the sender becomes the client).
std::vector<bytes> fake_server_receive(fake_server* s);
// One waiting datagram and its sender; false when none.
bool fake_server_receive_one(fake_server* s, bytes* packet, net_address* from);
// Sends to the client (or to the given address).
void fake_server_send(fake_server* s, const bytes& packet);
void fake_server_send_to(fake_server* s, const bytes& packet, const net_address& to);
// "127.0.0.1:<port>".
std::string fake_server_name(const fake_server& s);

// Little-endian field readers and a packet builder.
uint32_t u32_at(const bytes& b, int offset);
struct packet_builder {
    bytes b;
    explicit packet_builder(int type) { b.push_back(uint8_t(type)); }
    packet_builder& u32(uint32_t v);
    packet_builder& u16(uint16_t v);
    packet_builder& raw(const void* data, size_t n);
    packet_builder& text(const std::string& t) { return raw(t.data(), t.size()); }
};

// Server packets.
bytes server_welcome(uint32_t slot, uint32_t connection, uint32_t version);  // 2
bytes server_race(uint32_t race, uint32_t time, uint32_t laps, uint32_t drop, const uint8_t digest[20],
                  const std::string& track);                                   // 4
bytes server_rider_info(uint32_t race, uint32_t slot, const std::string& info);  // 6
bytes server_riding(uint32_t race, uint32_t slot, const std::string& info);      // 8
bytes server_clock(uint32_t race, uint32_t tic, uint32_t echo);                  // 10
struct state_entry {
    uint16_t slot, lag;
    uint32_t tic;
    uint8_t record[39];
};
bytes server_states(uint32_t race, uint32_t tic, uint32_t echo, uint32_t count, const std::vector<state_entry>& records);  // 11
bytes server_restart(uint32_t race);  // 14
bytes server_item(uint32_t sequence, int kind, const bytes& body);  // 17
bytes server_item_text(uint32_t sequence, int kind, const std::string& body);
bytes server_ack(uint32_t sequence);                                 // 18
bytes server_query(uint32_t nonce, const std::string& name);         // 25

// The packet types of a batch, in order.
std::vector<int> types_of(const std::vector<bytes>& packets);
// The first packet of a type, or empty.
bytes first_of(const std::vector<bytes>& packets, int type);
