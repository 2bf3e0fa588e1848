#pragma once
// Reliable messages to the race server: items queued in order and re-sent
// until the server acknowledges them.
#include <cstdint>

// Item kinds this machine sends.
enum : int { reliable_chat = 19 };

// Queues one item of the given kind with text (no terminator), cut to the
// datagram's room; without a server socket prints "Not connected to server".
void send_script_message(int kind, const char* text, int32_t length);
