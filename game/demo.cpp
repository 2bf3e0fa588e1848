// Demos are not built yet: nothing opens, nothing is recorded.
#include "game/demo.h"

char demo_track[256];
int32_t lap_mode_restart_count;

int demo_open(const char* file_name)
{
    (void)file_name;
    return 0;
}

void demo_close() {}
void demo_finish() {}
void demo_begin() {}
void demo_read_step() {}
void lap_mode_restart() {}

int demo_recording() { return 0; }
int demo_replay_version() { return 0; }
int32_t demo_rider_index(int) { return -1; }
void demo_write_chunk(int, const void*, int32_t) {}
void demo_flush() {}
