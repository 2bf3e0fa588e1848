// The display-mode list and the choice of a full-screen mode.
#include "platform/vesk_window_record.h"

namespace {

bool depth_accepted(int bits)
{
    return bits == 8 || bits == 15 || bits == 16 || bits == 24 || bits == 32;
}

bool listed(const vesk_display_mode* out, int n, const vesk_mode_report& mode)
{
    for (int i = 0; i < n; i++) {
        if (out[i].width == mode.width && out[i].height == mode.height && out[i].bits == mode.bits) return true;
    }
    return false;
}

}  // namespace

int vesk_build_mode_list(const vesk_mode_report* desktop, const vesk_mode_report* modes, int count,
                         vesk_display_mode* out)
{
    int n = 0;
    // A zero-sized mode (offscreen drivers report one) would end the list early.
    if (desktop) {
        const vesk_mode_report& d = *desktop;
        bool ok = depth_accepted(d.bits) && d.width > 0 && d.height > 0;
        vesk_log("Registry mode is %dx%dx%d@%dhz%s\n", d.width, d.height, d.bits, d.refresh, ok ? "" : " (ignored)");
        if (ok) out[n++] = {d.width, d.height, d.bits};
    }
    for (int i = 0; i < count; i++) {
        const vesk_mode_report& m = modes[i];
        if (!depth_accepted(m.bits) || m.width <= 0 || m.height <= 0) {
            vesk_log("Found mode %dx%dx%d@%dhz (ignored)\n", m.width, m.height, m.bits, m.refresh);
            continue;
        }
        if (listed(out, n, m)) continue;
        vesk_log("Found mode %dx%dx%d@%dhz\n", m.width, m.height, m.bits, m.refresh);
        out[n++] = {m.width, m.height, m.bits};
    }
    out[n] = {0, 0, 0};
    return n;
}

void vesk_choose_full_screen(const vesk_display_mode* list, int width, int height, int desktop_width,
                             int desktop_height, int* out_width, int* out_height)
{
    *out_width = desktop_width;
    *out_height = desktop_height;
    if (width == 0 || height == 0 || !list) return;
    int best = -1;
    for (int i = 0; list[i].width; i++) {
        if (list[i].width < width || list[i].height < height) continue;
        if (best < 0 || list[i].width + list[i].height < list[best].width + list[best].height) best = i;
    }
    if (best >= 0) {
        *out_width = list[best].width;
        *out_height = list[best].height;
    }
}

void vesk_color_bits(int depth, int* red, int* green, int* blue)
{
    switch (depth) {
    case 16: *red = 5, *green = 6, *blue = 5; break;
    case 15: *red = 5, *green = 5, *blue = 5; break;
    case 8: *red = 3, *green = 3, *blue = 2; break;
    default: *red = 8, *green = 8, *blue = 8; break;
    }
}
