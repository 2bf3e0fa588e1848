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

void demo_begin() {}
void demo_stop() {}
void demo_read_step() {}

int32_t demo_slot_map[160] = {};
int32_t demo_rider_count() { return 0; }
const demo_rider_line* demo_rider(int32_t) { return nullptr; }

int64_t demo_data_start() { return 0; }
int64_t demo_file_length() { return 0; }
int demo_position(int64_t) { return 0; }
int demo_walk_back(int32_t) { return 0; }
void demo_set_next_tic(int32_t) {}
