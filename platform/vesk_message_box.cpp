#include <cstdio>

#include "platform/vesk.h"

// Until the window back end exists there is no display to show a box on.
void vesk_message_box(const char* caption, const char* text)
{
    fprintf(stderr, "%s: %s\n", caption, text);
}

void vesk_close_for_fatal() {}
