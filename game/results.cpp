// Results and series are not built yet.
#include "game/results.h"

void series_update() {}

void lineup_rotate(int n)
{
    (void)n;
}
