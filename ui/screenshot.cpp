// Screenshots and stall reports are not built yet.
#include "ui/screenshot.h"

double stutter_threshold;

void screenshot_save() {}

void stutter_check(const char* label)
{
    (void)label;
}
