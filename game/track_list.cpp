#include "game/track_list.h"

#include <cstring>

const char** track_list_folders;
const char** track_list_descriptions;
int32_t track_list_count;

int32_t track_list_index(const char* folder)
{
    for (int32_t i = 0; i < track_list_count; i++)
        if (track_list_folders[i] && strcmp(track_list_folders[i], folder) == 0) return i;
    return -1;
}
