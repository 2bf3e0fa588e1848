#include "game/track_list.h"

#include <strings.h>

#include <cstring>

#include "core/alloc.h"
#include "core/game_state.h"
#include "core/util.h"
#include "core/vfs.h"
#include "platform/vesk_log.h"
#include "ui/loading.h"

track_list_record track_list;

namespace {

// The folder of a height-field name ("tracks/a/terrain.hf" -> "tracks/a"),
// 0 when the name is not one.
int track_folder_length(const char* name)
{
    static const char* const suffixes[] = {"/terrain.hf", "/terrain.hf.gz"};
    size_t n = strlen(name);
    for (const char* s : suffixes) {
        size_t k = strlen(s);
        if (n > k && !strcmp(name + n - k, s)) return int(n - k);
    }
    return 0;
}

char* copy_text(const char* text, size_t length)
{
    char* out = static_cast<char*>(xmalloc(length + 1));
    memcpy(out, text, length);
    out[length] = 0;
    return out;
}

char* read_description(const char* folder)
{
    char name[vfs_path_max];
    snprintf(name, sizeof name, "@%s/desc", folder);
    vfs_stream* s = vfs_open(name, "rb");
    if (!s) return copy_text(folder, strlen(folder));
    // Only the first line matters; a description never needs more than this.
    char text[1024];
    int n = vfs_read(s, text, sizeof text);
    vfs_close(s);
    return track_desc_first_line(text, n < 0 ? 0 : n);
}

} // namespace

char* track_desc_first_line(const char* text, int32_t length)
{
    int32_t n = 0;
    while (n < length && text[n] && text[n] != '\n' && text[n] != '\r') n++;
    return copy_text(text, size_t(n));
}

void track_list_free()
{
    for (int i = 0; i < track_list.count; i++) {
        alloc_check_free(track_list.folders[i]);
        alloc_check_free(track_list.descriptions[i]);
    }
    alloc_check_free(track_list.folders);
    alloc_check_free(track_list.descriptions);
    track_list = track_list_record{};
}

int track_list_build_from(const char* const* names)
{
    track_list_free();
    int capacity = 0;
    for (int i = 0; names && names[i]; i++)
        if (track_folder_length(names[i])) capacity++;
    if (!capacity) return 0;
    track_list.folders = static_cast<char**>(xmalloc(sizeof(char*) * size_t(capacity)));
    track_list.descriptions = static_cast<char**>(xmalloc(sizeof(char*) * size_t(capacity)));
    for (int i = 0; names[i]; i++) {
        int k = track_folder_length(names[i]);
        if (!k) continue;
        // A folder holding both the plain and the compressed height field is
        // one track.
        int seen = 0;
        for (int j = 0; j < track_list.count && !seen; j++)
            seen = int(strlen(track_list.folders[j])) == k && !strncasecmp(track_list.folders[j], names[i], size_t(k));
        if (seen) continue;
        loading_tick();
        int at = track_list.count++;
        track_list.folders[at] = copy_text(names[i], size_t(k));
        track_list.descriptions[at] = read_description(track_list.folders[at]);
    }
    // Exchange sort by description, ignoring case.
    for (int i = 0; i < track_list.count; i++)
        for (int j = i + 1; j < track_list.count; j++)
            if (strcasecmp(track_list.descriptions[j], track_list.descriptions[i]) < 0) {
                char* t = track_list.descriptions[i];
                track_list.descriptions[i] = track_list.descriptions[j];
                track_list.descriptions[j] = t;
                t = track_list.folders[i];
                track_list.folders[i] = track_list.folders[j];
                track_list.folders[j] = t;
            }
    if (debug_level)
        for (int i = 0; i < track_list.count; i++)
            vesk_log("%s -> %s\n", track_list.folders[i], track_list.descriptions[i]);
    return track_list.count > 0;
}

int track_list_build() { return track_list_build_from(vfs_build_index()); }

int track_list_find(const char* name)
{
    for (int i = 0; i < track_list.count; i++)
        if (!strcasecmp(track_list.folders[i], name)) return i;
    for (int i = 0; i < track_list.count; i++)
        if (!strcasecmp(track_list.descriptions[i], name)) return i;
    return -1;
}
