#pragma once
// What the race asks of the network client.
#include <cstdint>

// 1 while a race-server socket is open.
int net_server_open();
// The client's own slot from the server, 160 when it has none.
int32_t net_own_slot();
// The slot the client rides in this race, 160 when it only watches.
int32_t net_riding_slot();
// The tic of the last state received for a slot, -1 when none.
int32_t net_last_state_tic(int slot);
