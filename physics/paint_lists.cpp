#include "physics/paint_lists.h"

#include <cstdio>
#include <cstring>

#include "core/array.h"
#include "core/util.h"
#include "core/vfs.h"
#include "physics/bike_info.h"

paint_list rider_body_paints, rider_head_paints, bike_paints, wheel_paints;

namespace {
void add(paint_list* list, const char* name)
{
    const char* interned = intern_string(name);
    array_push(list, &interned);  // a list that can't grow just offers fewer paints
}
} // namespace

void paint_list_collect(paint_list* list, const char* stem)
{
    if (!list->element_size) list->element_size = sizeof(const char*);
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

void paint_list_free(paint_list* list) { array_free(list); }
