#pragma once
// The race-server client.
#include <cstdint>

// Nonzero while a server is set (connecting or connected).
int net_server_set();
// Nonzero once connected.
int net_connected();
// The server's tic count once the race has started there.
extern int32_t net_server_tic;
// The slot the server gave us to ride, 160 for none (a spectator).
extern int32_t net_riding_slot;
// One tic of the client: connect, receive, send.
void net_step();
// Sends the disconnect packet ("Disconnecting").
void net_send_disconnect();
// Closes the socket and forgets the connection.
void net_reset();
