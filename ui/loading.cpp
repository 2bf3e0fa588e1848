#include "ui/loading.h"

#include <cstdio>
#include <cstring>

#include "core/util.h"
#include "platform/vesk_clock.h"
#include "platform/vesk_log.h"

loading_state loading;

namespace {
double wall_seconds()
{
    int32_t s, us;
    vesk_get_time(&s, &us);
    return s + us * 1e-6;
}
} // namespace

void loading_screen(const char* text)
{
    copy_bounded(loading.drawn, text, sizeof loading.drawn);
}

void show_status(const char* text)
{
    loading_screen(text);
    double now = wall_seconds();
    if (loading.status_time > 0 && now - loading.status_time > loading.slowest_interval) {
        loading.slowest_interval = now - loading.status_time;
        copy_bounded(loading.slowest_status, loading.status, sizeof loading.slowest_status);
    }
    loading.status_time = now;
    copy_bounded(loading.status, text, sizeof loading.status);
}

void show_status_logged(const char* text)
{
    show_status(text);
    if (text[0]) vesk_log("%s\n", text);
}

void show_status_restart(const char* text)
{
    show_status_logged(text);
    loading.progress_dots = 0;
}

void show_progress(const char* text)
{
    double now = wall_seconds();
    if (now - loading.last_progress_time < 0.125) return;
    loading.last_progress_time = now;
    static const char* const dots[] = {"", ".", "..", "..."};
    char line[80];
    snprintf(line, sizeof line, "%.64s%s", text, dots[loading.progress_dots & 3]);
    loading.progress_dots = (loading.progress_dots + 1) % 4;
    loading_screen(line);
    vesk_log("%s\n", line);
}

void show_done(const char* text)
{
    char line[80];
    snprintf(line, sizeof line, "%.64s...done", text);
    loading_screen(line);
    vesk_log("%s\n", line);
}

void loading_tick()
{
    loading.tick_count++;
    double now = wall_seconds();
    if (now - loading.last_tick_time < 0.0625) return;
    loading.last_tick_time = now;
}
