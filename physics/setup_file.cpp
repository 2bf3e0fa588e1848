// Setup files through the file system.
#include <cstdio>
#include <string>

#include "core/alloc.h"
#include "core/vfs.h"
#include "physics/physics_messages.h"
#include "physics/rider_access.h"
#include "physics/setup.h"

int setup_write(vfs_stream* stream, const bike_setup* setup)
{
    char text[8192];
    int n = setup_format(setup, text, sizeof text);
    if (n < 0 || n >= int(sizeof text)) return 0;
    return vfs_write(stream, text, size_t(n)) == size_t(n);
}

int setup_read(bike_setup* setup, const char* name)
{
    char* text = file_to_string(name);
    if (!text) {
        physics_message("Can't read setup '%.200s'", name);
        return 0;
    }
    setup_parse_text(setup, text, name);
    alloc_check_free(text);
    return 1;
}

vfs_stream* open_default_setup(const rider* r)
{
    char name[64];
    snprintf(name, sizeof name, "@default%s.braap", rider_get_bike_class(r));
    return vfs_open(name, "rb");
}
