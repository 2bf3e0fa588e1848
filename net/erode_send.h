#pragma once
// The road of a wheel-rut strip out of this machine: offline it is applied
// here at once; online the network client queues it for the server as a
// reliable message and the server's relay brings it back.
#include <cstdint>

// Set by the network client while a server socket is open; null offline.
extern void (*erode_send_online)(const uint8_t* message, int32_t length);

void send_erode_message(const uint8_t* message, int32_t length);
