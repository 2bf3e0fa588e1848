#pragma once
// The track folders found among the game data, with their descriptions.
#include <cstdint>

extern const char** track_list_folders;
extern const char** track_list_descriptions;
extern int32_t track_list_count;

// The index of a track folder in the list; -1 when it is not listed.
int32_t track_list_index(const char* folder);
