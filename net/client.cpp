// The race-server client is not built yet: the game is always offline.
#include "net/client.h"

int32_t net_server_tic;
int32_t net_riding_slot = 160;

int net_server_set() { return 0; }
int net_connected() { return 0; }
void net_step() {}
void net_send_disconnect() {}
void net_reset() {}
