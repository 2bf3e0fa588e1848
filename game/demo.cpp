// Demos are not built yet: nothing opens, nothing is recorded.
#include "game/demo.h"

char demo_track[256];

int demo_open(const char* file_name)
{
    (void)file_name;
    return 0;
}

void demo_close() {}
void demo_finish() {}

int demo_recording() { return 0; }
int demo_replay_version() { return 0; }
int32_t demo_rider_index(int) { return -1; }
void demo_write_chunk(int, const void*, int32_t) {}
void demo_flush() {}
