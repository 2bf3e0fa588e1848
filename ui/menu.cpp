// The menu pages are not built yet: no page draws and no key acts.
#include "ui/menu.h"

void menu_draw() {}

void handle_menu_key(uint32_t code)
{
    (void)code;
}
