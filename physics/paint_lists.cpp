#include "physics/paint_lists.h"

#include <cstdio>
#include <cstring>

#include "core/alloc.h"
#include "core/array.h"
#include "core/util.h"
#include "core/vfs.h"
#include "physics/bike_info.h"

paint_list rider_body_paints, rider_head_paints, bike_paints, wheel_paints;

namespace {
void add(paint_list* list, const char* name)
{
    if (list->count == list->capacity) {
        int32_t grown = list->capacity ? list->capacity * 2 : 16;
        void* names = alloc_check_realloc(list->names, uint64_t(grown) * sizeof(const char*));
        if (!names) return;
        list->names = static_cast<const char**>(names);
        list->capacity = grown;
    }
    list->names[list->count++] = intern_string(name);
}
} // namespace

void paint_list_collect(paint_list* list, const char* stem)
{
    list->count = 0;
    char name[600];
    snprintf(name, sizeof name, "@%s.png", stem);
    add(list, name);
    char prefix[80];
    int prefix_length = snprintf(prefix, sizeof prefix, "%s-", stem);
    for (const char* const* entry = vfs_build_index(); entry && *entry; entry++)
        if (strncmp(*entry, prefix, size_t(prefix_length)) == 0 && ends_with(*entry, ".png")) {
            snprintf(name, sizeof name, "@%s", *entry);
            add(list, name);
        }
}

void graphics_lists_build(const char* model)
{
    const bike_info* row = bike_info_find_or_fallback(model);
    const char* skin = row->files[bike_file_bike_skin];  // "@stem.png"
    char stem[64];
    copy_bounded(stem, skin + 1, int(strlen(skin)) - 4);
    paint_list_collect(&bike_paints, stem);
    paint_list_collect(&wheel_paints, "wheels");
}

void paint_list_free(paint_list* list)
{
    alloc_check_free(list->names);
    *list = {};
}
