// Engine sound is not built yet: the bikes are silent.
#include "ui/engine_sound.h"

void update_engine_sounds(float master_level)
{
    (void)master_level;
}

void engine_sounds_free() {}
