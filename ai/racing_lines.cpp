// Racing lines are not built yet: there is nothing to write.
#include "ai/racing_lines.h"

void lines_write(int skill)
{
    (void)skill;
}
