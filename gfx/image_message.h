#pragma once
// The loader's last error: a reader leaves one line here and its caller
// reports it in the message log (ui/console.h).

void image_set_error(const char* format, ...) __attribute__((format(printf, 1, 2)));
const char* image_last_error();
void image_clear_error();
