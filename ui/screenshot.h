#pragma once
// Screenshots and the stall report, which the console commands and the main
// loop share.
//
// A screenshot is asked for at any time (the console queue, the screenshot
// key) but taken only in screenshot_frame_end, which the frame calls after
// the menus and overlays are drawn and before the buffers swap: after a swap
// the back buffer's contents are undefined.

// Asks for the next numbered screenshot, "@screenshot%03d.png".
void screenshot_save();
// Asks for a screenshot written to a plain path (no "@" added).
void screenshot_save_as(const char* path);
// Takes a screenshot that was asked for from the window's pixels
// (width x height) and writes it; prints "Saved \"<name>\"", or
// "Error saving \"<name>\"" when nothing could be written.
void screenshot_frame_end(int width, int height);

// The next screenshot number after the largest "screenshot<digits>..."
// among the index names (null-terminated list; null for none); 1 when none.
int screenshot_next_number(const char* const* names);
// The next numbered screenshot's file name as it is printed.
void screenshot_next_name(char* out, int size);

// Reports a stall longer than stutter_threshold seconds since the previous
// checkpoint; the main loop calls it only while the threshold is not 0.
void stutter_check(const char* label);
extern double stutter_threshold;
