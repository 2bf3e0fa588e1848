#pragma once
// Racing lines learned from human laps.

// Writes the racing-lines cache of a skill (0..2) and frees every line.
void lines_write(int skill);
