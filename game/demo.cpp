#include "game/demo.h"

// No recorder or replay yet: nothing is written and nothing replayed.
int demo_recording() { return 0; }
int demo_replay_version() { return 0; }
int32_t demo_rider_index(int) { return -1; }
void demo_write_chunk(int, const void*, int32_t) {}
void demo_flush() {}
