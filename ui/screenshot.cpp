#include "ui/screenshot.h"

#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "core/alloc.h"
#include "core/vfs.h"
#include "gfx/image_file.h"
#include "gfx/ztgl.h"
#include "platform/vesk.h"
#include "ui/console.h"

double stutter_threshold;

namespace {

// 0 until the first numbered screenshot looks at the file index.
int next_number;
// The screenshot asked for: "@" + the printed name, or a plain path.
char pending_path[1200];
char pending_label[1100];
int pending;
double last_check_time = -1;

int ensure_next_number()
{
    if (next_number == 0) next_number = screenshot_next_number(vfs_build_index());
    return next_number;
}

}  // namespace

int screenshot_next_number(const char* const* names)
{
    int largest = 0;
    for (int i = 0; names && names[i]; i++) {
        const char* n = names[i];
        if (strncmp(n, "screenshot", 10) != 0 || !isdigit(static_cast<unsigned char>(n[10]))) continue;
        long v = strtol(n + 10, nullptr, 10);
        if (v > largest && v < 1000000000) largest = int(v);
    }
    return largest + 1;
}

void screenshot_next_name(char* out, int size)
{
    snprintf(out, size_t(size), "screenshot%03d.png", ensure_next_number());
}

void screenshot_save()
{
    screenshot_next_name(pending_label, sizeof pending_label);
    next_number++;
    pending_path[0] = '@';
    snprintf(pending_path + 1, sizeof pending_path - 1, "%s", pending_label);
    pending = 1;
}

void screenshot_save_as(const char* path)
{
    snprintf(pending_path, sizeof pending_path, "%s", path);
    snprintf(pending_label, sizeof pending_label, "%s", path);
    pending = 1;
}

void screenshot_frame_end(int width, int height)
{
    if (!pending) return;
    pending = 0;
    uint8_t* pixels = nullptr;
    if (width > 0 && height > 0) pixels = static_cast<uint8_t*>(alloc_check_malloc(size_t(width) * size_t(height) * 3));
    int ok = 0;
    if (pixels) {
        ztgl_flush();
        ztglPixelStorei(GL_PACK_ALIGNMENT, 1);
        ztglReadPixels(0, 0, width, height, GL_RGB, GL_UNSIGNED_BYTE, pixels);
        ok = image_write_png_rgb(pending_path, pixels, width, height);
        alloc_check_free(pixels);
    }
    if (ok) console_printf("Saved \"%.900s\"", pending_label);
    else console_printf("Error saving \"%.900s\"", pending_label);
}

void stutter_check(const char* label)
{
    double now = double(vesk_time_ms()) * 0.001;
    if (last_check_time >= 0 && now - last_check_time > stutter_threshold)
        console_printf("Stutter in %.100s - %f seconds", label, now - last_check_time);
    last_check_time = now;
}
