#pragma once
// Demo files: a recorded race replayed from its riders' state histories.

// Opens the demo named on the command line (or the lap mode's fast lap);
// 1 and its track folder in demo_track, 0 when it can't be read.
int demo_open(const char* file_name);
extern char demo_track[256];
// Closes the replayed demo.
void demo_close();
// Finishes and closes the demo being recorded.
void demo_finish();
