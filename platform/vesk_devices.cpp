// Input devices of a window and the axes opened on them.
#include <cstdio>
#include <cstring>

#include "core/alloc.h"
#include "platform/vesk_window_record.h"

namespace {

enum : int { device_capacity = 64 };

int device_open(vesk_device* device)
{
    if (device->user_count == 0 && device->ops && device->ops->open && !device->ops->open(device)) return 0;
    device->user_count++;
    return 1;
}

void device_release(vesk_device* device)
{
    if (device->user_count <= 0) return;
    if (--device->user_count == 0 && device->ops && device->ops->close) device->ops->close(device);
}

}  // namespace

vesk_device* vesk_device_add(vesk_window* window, const char* name, int axis_count, int button_count,
                             const vesk_device_ops* ops, void* handle)
{
    if (!window->devices) {
        window->devices = static_cast<vesk_device*>(xmalloc(sizeof(vesk_device) * device_capacity));
    }
    if (window->device_count >= device_capacity) return nullptr;
    vesk_device* device = &window->devices[window->device_count];
    memset(device, 0, sizeof *device);
    // Cut to the longest name a binding can parse, then number duplicates
    // "<name> #2", "#3"... within the same limit.
    char base[vesk_device_name_max + 1];
    snprintf(base, sizeof base, "%s", name && *name ? name : "device");
    snprintf(device->name, sizeof device->name, "%s", base);
    for (int n = 2; vesk_device_by_name(window, device->name); n++) {
        char suffix[16];
        int suffix_length = snprintf(suffix, sizeof suffix, " #%d", n);
        int keep = vesk_device_name_max - suffix_length;
        snprintf(device->name, sizeof device->name, "%.*s%s", keep, base, suffix);
    }
    device->id = uint32_t(window->device_count + 1) << vesk_code_device_shift;
    device->axis_count = axis_count;
    device->button_count = button_count;
    device->ops = ops;
    device->handle = handle;
    window->device_count++;
    return device;
}

vesk_device* vesk_device_by_name(vesk_window* window, const char* name)
{
    for (int i = 0; i < window->device_count; i++) {
        if (strcmp(window->devices[i].name, name) == 0) return &window->devices[i];
    }
    return nullptr;
}

vesk_device* vesk_device_by_id(vesk_window* window, uint32_t id)
{
    for (int i = 0; i < window->device_count; i++) {
        if (window->devices[i].id == id) return &window->devices[i];
    }
    return nullptr;
}

void vesk_devices_collect_axis_names(vesk_window* window)
{
    int total = 0;
    for (int i = 0; i < window->device_count; i++) total += window->devices[i].axis_count;
    alloc_check_free(window->axis_names);
    window->axis_names = static_cast<const char**>(xmalloc(sizeof(const char*) * size_t(total + 1)));
    int count = 0;
    for (int i = 0; i < window->device_count; i++) {
        const vesk_device& device = window->devices[i];
        for (int a = 0; a < device.axis_count; a++) {
            char name[96];
            snprintf(name, sizeof name, "%s.axis[%d]", device.name, a);
            const char* interned = vesk_intern(name);
            if (!interned) continue;
            bool seen = false;
            for (int k = 0; k < count && !seen; k++) seen = window->axis_names[k] == interned;
            if (!seen) window->axis_names[count++] = interned;
        }
    }
    window->axis_names[count] = nullptr;
}

void vesk_devices_free(vesk_window* window)
{
    for (int i = 0; i < window->device_count; i++) {
        vesk_device* device = &window->devices[i];
        if (device->user_count > 0 && device->ops && device->ops->close) device->ops->close(device);
        device->user_count = 0;
    }
    alloc_check_free(window->devices);
    alloc_check_free(window->axis_names);
    window->devices = nullptr;
    window->device_count = 0;
    window->axis_names = nullptr;
}

int vesk_device_start_polling(vesk_device* device)
{
    if (device->polling) return 1;
    if (!device_open(device)) return 0;
    device->polling = 1;
    return 1;
}

vesk_axis* vesk_axis_open(vesk_window* window, const char* name)
{
    if (!window || !name) return nullptr;
    name = vesk_alias_lookup(name);
    char device_name[vesk_device_name_max + 1];
    int n;
    if (!vesk_parse_device_item(name, "axis", "axis", device_name, &n)) return nullptr;
    vesk_device* device = vesk_device_by_name(window, device_name);
    if (!device || n >= device->axis_count) return nullptr;
    if (!device_open(device)) return nullptr;
    vesk_axis* axis = static_cast<vesk_axis*>(xmalloc(sizeof(vesk_axis)));
    axis->window = window;
    axis->device = device;
    axis->index = n;
    return axis;
}

void vesk_axis_close(vesk_axis* axis)
{
    if (!axis) return;
    device_release(axis->device);
    alloc_check_free(axis);
}

int vesk_axis_read(vesk_axis* axis)
{
    if (!axis || !axis->device->ops || !axis->device->ops->read_axis) return 0;
    return axis->device->ops->read_axis(axis->window, axis->device, axis->index);
}

const char* const* vesk_axis_names(vesk_window* window)
{
    static const char* const none[] = {nullptr};
    return window && window->axis_names ? window->axis_names : none;
}
