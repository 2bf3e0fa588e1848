#pragma once
// Reliable messages to and from the race server: a stop-and-wait channel on
// packets 17 and 18. Each outgoing item travels alone and is re-sent every
// 0.5 s until acknowledged; only the oldest is in flight. Incoming items are
// acknowledged at once, put in sequence order and handled exactly once; at
// most 1024 are held ahead of their turn, and one further ahead is dropped
// unacknowledged so the server sends it again later.
#include <cstdint>

constexpr int reliable_size = 480;       // a whole datagram
constexpr int reliable_header = 13;      // type, own slot, connection, sequence
constexpr int reliable_body_max = reliable_size - reliable_header - 1;  // after the kind byte: 466
constexpr int reliable_held_max = 1024;
constexpr int upload_name_max = 457;     // "namefile " + name fits the body

// Item kinds.
enum : int {
    reliable_rider_info = 3,
    reliable_chat = 19,
    reliable_keep_alive = 20,
    reliable_lap_time = 21,
    reliable_file = 24,
    reliable_ruts = 27,
    reliable_alive_answer = 31,
    reliable_script = 32,
};

struct reliable_message {
    double resend_time;  // game clock; new messages go at the next step
    reliable_message* next;
    int32_t sequence;
    int32_t length;
    uint8_t buffer[reliable_size];
};

// The outgoing queue, oldest first (null when empty).
extern reliable_message* reliable_head;

// A new message at the tail with its header (length 13); the caller adds the
// kind byte and body with reliable_put. Without a socket: "Not connected to
// server" and null.
reliable_message* net_queue_message();
// Appends bytes, cut so the datagram stays within 480 bytes.
void reliable_put(reliable_message* m, const void* bytes, int32_t length);
// Queues one item of the given kind with text (no terminator), cut to the
// datagram's room; without a server socket prints "Not connected to server".
void send_script_message(int kind, const char* text, int32_t length);
// A rut strip for the server (item 27 with the race id), set as
// erode_send_online while a socket is open.
void send_erode_online(const uint8_t* message, int32_t length);
void queue_lap_time(int32_t race_id, int32_t gate_index, int32_t tic);
void queue_keep_alive();
void queue_rider_info();

// A server packet 18 / 17 (length at least 5 / 6; data[length] writable).
void reliable_ack(uint32_t sequence);
void reliable_receive(uint8_t* data, int length);
// One item of a server datagram 17 ([5] kind, [6] body to the end).
void handle_reliable_item(const uint8_t* data, int length);
void server_text_command(const char* text);

// Per tic with a socket: the upload step, then the resend of the head.
void reliable_step();
// Empties both queues and the sequence counters and ends any upload; a
// redirect that has come due becomes the server to connect to.
void reliable_reset();
// 1 once, when a pending redirect's time has come; its target.
int redirect_due();
const char* redirect_target();

// The "sendfile" command: checks the name (letters, digits, '_' and '.',
// not beginning with '.', at most 457 characters), opens "@outgoing/" +
// name and asks the server with item 24 "sendfile"; after its "sendready"
// the upload step sends 256-byte parts, then "namefile <name>". 1 when the
// transfer was started.
int net_upload_start(const char* name);
// The name rule of an upload: 1 when name may be sent, else 0 with the
// console line that says why.
int net_upload_name_check(const char* name, const char** message);
// 1 while an upload file is open.
int net_upload_open();
