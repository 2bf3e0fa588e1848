#pragma once
// The two outlets of the image and texture code: the loader's last error (a
// reader leaves one line there and the caller reports it) and the message log.
// Until the console exists the message log is the platform log; the last line
// is kept so callers and tests can look at what was said.

void image_set_error(const char* format, ...) __attribute__((format(printf, 1, 2)));
const char* image_last_error();
void image_clear_error();

void gfx_message(const char* format, ...) __attribute__((format(printf, 1, 2)));
const char* gfx_last_message();
// Counts every gfx_message line, so a test can tell whether one was written.
int gfx_message_count();
