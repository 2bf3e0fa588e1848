#pragma once
// The race-server client: joining a server, learning its race, announcing
// the player's bike and looks, receiving the other riders and keeping the
// local tic in step with the server's, with rider states exchanged every
// fourth tic. Every byte from the network is checked before use: packets
// shorter than their fixed part are dropped, slots and texts are bounded,
// and datagrams from anywhere but the server's address and port are dropped.
// The packet formats are in docs/race_protocol.md.
#include <cstdint>

#include "net/socket.h"

constexpr int net_default_port = 19800;
constexpr int net_receive_size = 1023;   // longer datagrams are cut
constexpr int32_t net_no_slot = 160;
constexpr int32_t net_server_version = 6;
constexpr uint32_t net_protocol_number = 43;
constexpr int net_state_record_bytes = 47;  // u16 slot, u16 lag, u32 tic, rider state
constexpr int net_text_size = 64;           // rider-info fields: 63 characters

// client_state: where the handshake is; each but 11 repeats its packet once
// a second.
enum : int32_t {
    client_contacting = 0,   // packet 0
    client_admitted = 3,     // packet 3
    client_track_known = 5,  // packet 5
    client_taking_infos = 7, // packet 7
    client_loaded = 9,       // packet 9, waiting for the server's clock
    client_racing = 11,      // state packets every 4th tic
    client_restarting = 14,  // packet 14
    client_leaving = 15,     // packet 15; ends by itself after 5 s
};

// One slot's rider as the server announced it. Skins are "@" names or empty
// (the default skin); a skin from the network that is not a plain "@" name
// is never kept.
struct net_rider_info {
    char bike[net_text_size];
    char rider_skin[net_text_size];
    char bike_skin[net_text_size];
    char wheel_skin[net_text_size];
    char head_skin[net_text_size];
    char number[4];
    char name[net_text_size];
};

struct net_client_record {
    int socket;  // -1: none
    net_address server;
    char server_name[128];  // empty: no server to connect to
    int32_t state;
    int32_t own_slot;        // from packet 2; 160 none
    uint32_t connection;     // from packet 2
    int32_t race_id;         // 0: none yet
    int32_t last_info_slot;  // 160: none yet
    int32_t race_time, laps; // from packet 4, clamped
    uint8_t digest[20];      // the server's digest of its track
    uint32_t nonce;          // seconds of the calendar clock at connect
    uint32_t highest_server_tic;  // 0: none seen
    double last_send_time;   // game clock
    double state_since;      // game clock of the last state change
    double keep_alive_time;  // next keep-alive while only watching
    int32_t last_gates_sent;
    uint32_t last_state_tic[160];
    int32_t lag[160];        // tics
    int32_t own_lag;
    float off_course_bias;   // seconds, default 10
    float off_course_scale;  // default 1.5
    int32_t rider_info_changed;
    int32_t arcade_disabled;      // the server's "no_arcade"; riders made later take it
};
extern net_client_record net_client;

// The server tic estimate: 0 before the server's clock, then it grows by one
// a tic and jumps to every higher server tic. The race runs only from 1 on.
extern int32_t net_server_tic;
// The riding slot from packet 8: where the player starts; 160 = watching.
int32_t net_riding_slot();
// The client's own slot from packet 2, 160 when it has none.
int32_t net_own_slot();
// Slot kinds handed to the race reset, with the gate-drop tic in entry 160.
extern int32_t net_slot_kinds[161];
extern net_rider_info net_rider_infos[160];

// Makes name the server to connect to (the main loop's step connects); an
// empty name forgets it.
void net_set_server(const char* name);
// Nonzero while a server is set or a socket is open.
int net_server_set();
// Nonzero while the socket is open.
int net_connected();
// The same: a race-server socket is open.
int net_server_open();
// The tic of the last state received for a slot, -1 when none.
int32_t net_last_state_tic(int slot);

// One tic of the client: connect when no socket is open, else the per-tic
// step (clock estimate, poll, reliable resend and upload, redirect, sends).
void net_step();
// Receives and handles every waiting datagram.
void poll_network();
// One datagram from the server (already checked to come from it); buffer
// must hold length + 1 bytes so texts can be ended in place.
void net_handle_packet(uint8_t* data, int length);

void net_send_contact();
void net_send_client_info();
void net_send_disconnect();
void net_send_restart();
// Sends raw bytes to the server, "sendto error (%.100s)" on failure.
int net_send_packet(const void* bytes, int length);
// Closes the socket and returns every client global to its start value,
// freeing both reliable queues; a redirect whose time has come becomes the
// server to connect to.
void net_reset();
// Clears the per-slot tables and every slot's state history.
void slots_reset();
// Moves to a state; the next state's packet goes out at the next step.
void net_set_state(int32_t state);

// "bike|rider|bike skin|wheel|head\nnumber\nname" of the player's setup
// (the short form "bike\nnumber\nname" when it does not fit); the length.
int appearance_string(char* out, int size);
// Splits a rider-info text into the slot's record (bounded fields; missing
// fields keep the earlier values). Slot outside 0..159: nothing.
void store_rider_info(int slot, const char* text);
// 1 when a skin name from the network may be opened: "@" first, printable,
// no ".." and no backslash.
int net_skin_name_safe(const char* name);
// The packet-3 password proof: RIPEMD-160 of the password
// and the connection number (LE); its first four bytes big-endian. 0 for
// no password.
uint32_t net_password_proof(const char* password, uint32_t connection);
// 1 when a network rider's state is fresh enough to be shown and to race.
int rider_state_current(int slot);
// 1 when the rider has passed no gate or lost too much time to the field on
// one of its last gates.
int rider_off_course(int slot);
// The race message of the first entry into state 11 ("3 laps", "5 minutes",
// "5 minutes + 2 laps") into out.
void net_race_message(int32_t race_time, int32_t laps, char* out, int size);

// The race reset the client calls when the server's race is announced; the
// protocol tests put a light one in its place.
extern void (*net_race_reset)(const int32_t* slot_kinds, int track_from_demo, int record_demo, int32_t race_time,
                              int32_t laps, int32_t skill);
// "--fake-lag" and "--fake-loss" (run_options) route received datagrams
// through a 1024-slot queue: each is dropped when a random value 0..32767
// is below loss percent x 327, and handled only fake-lag seconds of game
// clock after it arrived.
int net_fake_drop(int32_t loss_percent, int random_value);
// The random value the fake loss draws per datagram (tests fix it).
extern int (*net_loss_random)();
