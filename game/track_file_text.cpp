#include "game/track_file_text.h"

#include <cmath>
#include <cstdio>
#include <cstring>

#include "core/alloc.h"
#include "core/game_state.h"
#include "core/vfs.h"
#include "game/track_objects.h"

int track_file_name(const char* file, char* out, int size)
{
    int n = snprintf(out, size_t(size), "@%s/%s", track_dir, file);
    return n > 0 && n < size;
}

vfs_stream* open_track_file_for_writing(const char* file)
{
    char path[track_dir_size + 64];
    vfs_stream* f = track_file_name(file, path, sizeof path) ? vfs_open_replacement(path) : nullptr;
    if (!f) track_objects_console("Can't open '%s'\n", file);
    return f;
}

int close_track_file_written(vfs_stream* f, const char* file)
{
    char path[track_dir_size + 64];
    if (track_file_name(file, path, sizeof path) && vfs_commit_replacement(f, path)) return 1;
    track_objects_console("Can't write '%s'\n", file);
    return 0;
}

char* track_name_copy(const char* name)
{
    size_t n = strlen(name) + 1;
    char* copy = static_cast<char*>(alloc_check_malloc(n));
    if (copy) memcpy(copy, name, n);
    return copy;
}

int track_values_finite(const float* values, int n)
{
    for (int k = 0; k < n; k++)
        if (!std::isfinite(values[k])) return 0;
    return 1;
}

int track_file_has_more(vfs_stream* f)
{
    char c;
    return vfs_scanf(f, " %c", &c) == 1;
}

void track_file_stopped(const char* path, int32_t records_read)
{
    track_objects_console("%.900s: damaged after %d records, the rest is skipped", path, records_read);
}

int track_record_read(vfs_stream* f, const char* path, int scanned, int wanted, const float* values, int n,
                      int32_t records_read)
{
    if (scanned == wanted && track_values_finite(values, n)) return 1;
    // A scan that stops before its first value at the end of the file is
    // the normal end; anything else leaves records unread.
    if (scanned > 0 || track_file_has_more(f)) track_file_stopped(path, records_read);
    return 0;
}
