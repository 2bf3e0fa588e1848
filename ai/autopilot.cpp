// The auto pilot is not built yet: its riders keep the controls they have.
#include "ai/autopilot.h"

void autopilot_tic(rider* r)
{
    (void)r;
}
