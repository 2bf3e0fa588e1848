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
