#pragma once
// The test race server's relay: it admits clients, announces one race on a
// track to all of them, keeps the server clock, and passes each rider's
// states, chat and lap times on to the others, with the reliable items
// acknowledged and re-sent as the clients do. Stepped by the caller.
#include <cstdint>
#include <deque>
#include <string>
#include <utility>
#include <vector>

#include "fake_server.h"

// A state record as a client sent it: its local tic and the packed state.
struct relayed_state {
    uint32_t tic;
    uint8_t record[39];
};

struct relay_client {
    net_address address{};
    int32_t slot = 0;
    uint32_t connection = 0;
    std::string info;           // rider info text from packet 3
    bool loaded = false;        // sent packet 9
    uint32_t last_local_tic = 0;  // its newest state packet's tic, echoed back
    uint32_t expected = 0;      // the next reliable sequence from it
    uint32_t next_out = 0;      // the next reliable sequence to it
    std::deque<bytes> items;    // reliable datagrams to it, head in flight
    double item_sent = -1e9;
    int states_received = 0;
    std::vector<relayed_state> states;  // every state it sent, in arrival order
    std::vector<std::pair<uint32_t, uint32_t>> gates;  // its lap-time items: gate index, tic
    bool gone = false;
};

struct race_relay {
    fake_server server;
    uint32_t race_id = 1;
    uint32_t laps = 1;
    uint8_t digest[20] = {};
    std::string track = "tracks/stadium";
    int expected_clients = 2;
    double start_clock = -1;     // when the first client came
    uint32_t tic = 0;            // server tic
    uint32_t gate_drop = 0;
    std::vector<relay_client> clients;
    std::vector<std::string> chat;  // every chat text, in arrival order
    int datagrams = 0;              // every datagram received, for a failure's message
    int contacts = 0;               // the contact requests among them
};

bool relay_open(race_relay* r);
void relay_close(race_relay* r);
// Handles every waiting datagram and re-sends unacknowledged items; now is
// the relay's clock in seconds (the server tic is 128 a second from the
// first client's contact, starting at 1).
void relay_step(race_relay* r, double now);
