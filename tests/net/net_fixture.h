#pragma once
// A client wired to the test race server on loopback: the race reset is
// replaced by a light one that makes bare rider records (the player's slot
// driven by input, network slots by their history) and gives the loaded
// track the digest the test chose; the track list holds "tracks/practice"
// and "tracks/stadium". The test moves game_clock and tic_counter itself.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "fake_server.h"

struct reset_call {
    std::vector<int32_t> kinds;  // 161 entries
    int32_t race_time, laps;
};

// Every race reset the client asked for, and the digest the light reset
// gives the loaded track.
extern std::vector<reset_call> reset_calls;
extern uint8_t loaded_digest[20];

class net_test : public ::testing::Test {
protected:
    fake_server server;

    void SetUp() override;
    void TearDown() override;

    // One client tic: the game clock moves on by a tic, then the network step.
    void step(int tics = 1);
    // Everything the server has received since the last call.
    std::vector<bytes> received() { return fake_server_receive(&server); }
    void send(const bytes& p) { fake_server_send(&server, p); }
    // Sends p to the client and runs one client step.
    void deliver(const bytes& p)
    {
        send(p);
        step();
    }
    // Sets the test server and takes the contact packet, so the server knows
    // the client's address.
    void connect();
    // Connects and walks the handshake to state 9 as own slot 0 riding slot
    // 0 in race 7 on "tracks/stadium", with no other riders.
    void reach_loaded();
    // Connects and walks the handshake to state 11 as own slot 0 with
    // riders in slots 1 and 2 (network) and the race id 7.
    void join_race(uint32_t own = 0, uint32_t riding = 0);
    // Whether any line of the message log holds text.
    static bool log_has(const std::string& text);
};
