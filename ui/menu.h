#pragma once
// The menu pages: drawn over the view every frame, driven by key presses.
#include <cstdint>

// Draws the open page (menu_page), nothing when none is open.
void menu_draw();
// One pressed key while a menu is open.
void handle_menu_key(uint32_t code);
