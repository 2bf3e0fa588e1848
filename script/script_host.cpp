// Track scripts are not built yet: nothing is loaded.
#include "script/script_host.h"

void script_unload() {}
void script_message(const char*) {}
