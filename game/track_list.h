#pragma once
// The track list: every folder of the game data that holds a height field
// ("terrain.hf" or "terrain.hf.gz"), with the first line of its "desc" file
// as its description, sorted by description ignoring case.
#include <cstdint>

struct track_list_record {
    char** folders;       // owned, folder names (the index name up to its last '/')
    char** descriptions;  // owned, same order
    int32_t count;
};
extern track_list_record track_list;

// Builds the list from the file index; 1 when at least one track was found,
// else 0 with the list empty.
int track_list_build();
// The same over a given sorted, null-terminated list of names.
int track_list_build_from(const char* const* names);
void track_list_free();
// The entry whose folder equals name, else the first whose description
// does (case ignored for both); -1 when none.
int track_list_find(const char* name);
// The first line of a "desc" text: up to the end, a NUL, "\n" or "\r". The
// result is a heap string (alloc_check_free).
char* track_desc_first_line(const char* text, int32_t length);
