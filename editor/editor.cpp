// The track editor is not built yet: its view is empty and it takes no keys.
#include "editor/editor.h"

void editor_draw() {}

int editor_key(uint32_t code, int pressed)
{
    (void)code;
    (void)pressed;
    return 0;
}

void editor_update() {}
void editor_init() {}
void editor_free() {}
