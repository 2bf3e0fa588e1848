#pragma once
// Screenshots and the stall report, which the console commands and the main
// loop share.

// Saves the next numbered screenshot.
void screenshot_save();
// Reports a stall longer than stutter_threshold seconds since the previous
// checkpoint; the main loop calls it only while the threshold is not 0.
void stutter_check(const char* label);
extern double stutter_threshold;
