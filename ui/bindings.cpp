#include "ui/bindings.h"

#include <cmath>
#include <cstdio>
#include <cstring>

#include "core/array.h"
#include "core/game_state.h"
#include "core/vfs.h"
#include "platform/vesk_input.h"
#include "platform/vesk_log.h"

// In "@config" order.
menu_binding bindings[binding_count] = {
    {"Throttle", "x", 0, nullptr, nullptr, 0, 1, {-1, -1, -1, -1}},
    {"Front Brake", "c", 0, nullptr, nullptr, 0, 1, {-1, -1, -1, -1}},
    {"Rear Brake", "v", 0, nullptr, nullptr, 0, 1, {-1, -1, -1, -1}},
    {"Left", "left", 0, nullptr, nullptr, 0, 1, {-1, -1, -1, -1}},
    {"Right", "right", 0, nullptr, nullptr, 0, 1, {-1, -1, -1, -1}},
    {"Clutch", "z", 0, nullptr, nullptr, 0, 1, {-1, -1, -1, -1}},
    {"Upshift", "up", 0, nullptr, nullptr, 0, 1, {-1, -1, -1, -1}},
    {"Downshift", "down", 0, nullptr, nullptr, 0, 1, {-1, -1, -1, -1}},
    {"Sit/Dab", "right ctrl", 0, nullptr, nullptr, 0, 1, {-1, -1, -1, -1}},
    {"Back up", "b", 0, nullptr, nullptr, 0, 1, {-1, -1, -1, -1}},
    {"Lean Forward", "n", 0, nullptr, nullptr, 0, 1, {-1, -1, -1, -1}},
    {"Lean Backward", "m", 0, nullptr, nullptr, 0, 1, {-1, -1, -1, -1}},
    {"Pause", "pause", 0, nullptr, nullptr, 0, 1, {-1, -1, -1, -1}},
    {"Step", ".", 0, nullptr, nullptr, 0, 1, {-1, -1, -1, -1}},
    {"Rewind", "\\", 0, nullptr, nullptr, 0, 1, {-1, -1, -1, -1}},
    {"Skip", "/", 0, nullptr, nullptr, 0, 1, {-1, -1, -1, -1}},
    {"Previous Bike", "[", 0, nullptr, nullptr, 0, 1, {-1, -1, -1, -1}},
    {"Next Bike", "]", 0, nullptr, nullptr, 0, 1, {-1, -1, -1, -1}},
    {"Chat", "t", 0, nullptr, nullptr, 0, 1, {-1, -1, -1, -1}},
    {"Screenshot", "s", 0, nullptr, nullptr, 0, 1, {-1, -1, -1, -1}},
};

const char* const binding_config_keys[binding_count] = {
    "throttle_key", "front_brake_key", "rear_brake_key", "left_key", "right_key",
    "clutch_key", "upshift_key", "downshift_key", "dab_key", "back_up_key",
    "lean_forward_key", "lean_backward_key", "pause_key", "step_key", "rewind_key",
    "skip_key", "prev_key", "next_key", "console_key", "screenshot_key"};

const char* const binding_default_keys[binding_count] = {
    "x", "c", "v", "left", "right", "z", "up", "down", "right ctrl", "b",
    "n", "m", "pause", ".", "\\", "/", "[", "]", "t", "s"};

namespace {
enum binding_index {
    b_throttle, b_front_brake, b_rear_brake, b_left, b_right, b_clutch, b_upshift, b_downshift,
    b_dab, b_back_up, b_lean_forward, b_lean_backward, b_pause, b_step, b_rewind, b_skip,
    b_prev, b_next, b_chat, b_screenshot
};
} // namespace

control_binding control_binding_list[control_binding_count] = {
    {&bindings[b_left], channel_steer, +1, 0},
    {&bindings[b_right], channel_steer, -1, 0},
    {&bindings[b_throttle], channel_throttle, +1, 0},
    {&bindings[b_front_brake], channel_front_brake, +1, 0},
    {&bindings[b_rear_brake], channel_rear_brake, +1, 0},
    {&bindings[b_upshift], channel_shift, +1, 0},
    {&bindings[b_downshift], channel_shift, -1, 0},
    {&bindings[b_clutch], channel_clutch, +1, 0},
    {&bindings[b_dab], channel_dab, +1, 0},
    {&bindings[b_back_up], channel_back_up, +1, 0},
    {&bindings[b_lean_forward], channel_lean, -1, 0},
    {&bindings[b_lean_backward], channel_lean, +1, 0},
};

menu_binding* const special_keys[special_key_count] = {
    &bindings[b_screenshot], &bindings[b_chat], &bindings[b_next], &bindings[b_prev],
    &bindings[b_skip], &bindings[b_rewind], &bindings[b_step], &bindings[b_pause]};

binding_capture_state binding_learning;

namespace {

void clear_binding(menu_binding* b)
{
    if (b->axis) vesk_axis_close(b->axis);
    b->key_name = nullptr;
    b->key_code = 0;
    b->axis_name = nullptr;
    b->axis = nullptr;
    b->range_start = 0;
    b->range_end = 1;
}

// A range this narrow divides the axis reading by (nearly) zero.
constexpr float narrowest_range = 1e-6f;

uint32_t escape_code()
{
    static uint32_t code = 0;
    if (!code) vesk_key_by_name(nullptr, &code, "esc");
    return code;
}

} // namespace

void bindings_defaults()
{
    for (int i = 0; i < binding_count; i++) {
        menu_binding* b = &bindings[i];
        b->key_name = binding_default_keys[i];
        b->key_code = 0;
        b->axis_name = nullptr;
        b->axis = nullptr;
        b->range_start = 0;
        b->range_end = 1;
    }
    for (auto& c : control_binding_list) c.value = 0;
}

void binding_parse(menu_binding* binding, const char* value)
{
    while (*value == ' ' || *value == '\t') value++;
    clear_binding(binding);
    const char* close = strchr(value, ')');
    if (value[0] == '(' && close) {
        float start, end;
        if (sscanf(value, "(%f,%f)", &start, &end) == 2) {
            // An empty or non-finite range would make the control's value
            // 0/0; such a control is left unbound.
            if (std::isfinite(start) && std::isfinite(end) && std::fabs(end - start) >= narrowest_range &&
                close[1])
            {
                binding->range_start = start;
                binding->range_end = end;
                binding->axis_name = intern_string(close + 1);
            }
            return;
        }
    }
    if (!strncmp(value, "(k)", 3)) value += 3;
    if (value[0]) binding->key_name = intern_string(value);
}

int binding_format(char* out, int size, const char* key, const menu_binding* binding)
{
    if (binding->key_name) return snprintf(out, size_t(size), "%s=(k)%s\n", key, binding->key_name);
    if (binding->axis_name)
        return snprintf(out, size_t(size), "%s=(%.9g,%.9g)%s\n", key, double(binding->range_start),
                        double(binding->range_end), binding->axis_name);
    // An empty value, so the control reads back unbound instead of getting
    // its default key again.
    return snprintf(out, size_t(size), "%s=\n", key);
}

int binding_write(vfs_stream* stream, const char* key, const menu_binding* binding)
{
    char line[1200];
    int n = binding_format(line, sizeof line, key, binding);
    // A cut line would store a different binding than the player made.
    if (n < 0 || n >= int(sizeof line)) return 0;
    return vfs_puts(stream, line) >= 0;
}

menu_binding* binding_for_key(const char* config_key)
{
    for (int i = 0; i < binding_count; i++)
        if (!strcmp(binding_config_keys[i], config_key)) return &bindings[i];
    return nullptr;
}

void binding_apply(menu_binding* binding)
{
    binding->key_code = 0;
    if (binding->key_name && !vesk_key_by_name(game_window, &binding->key_code, binding->key_name))
        binding->key_code = 0;
    if (binding->axis) {
        vesk_axis_close(binding->axis);
        binding->axis = nullptr;
    }
    if (binding->axis_name) binding->axis = vesk_axis_open(game_window, binding->axis_name);
}

void bindings_apply_all()
{
    for (auto& b : bindings) binding_apply(&b);
    for (auto& c : control_binding_list) c.value = 0;
}

void bindings_close_axes()
{
    for (auto& b : bindings)
        if (b.axis) {
            vesk_axis_close(b.axis);
            b.axis = nullptr;
        }
}

void binding_text(const menu_binding* binding, char* out, int size)
{
    if (binding_learning.binding == binding)
        snprintf(out, size_t(size), "<<PRESS A KEY>>");
    else if (binding->key_name)
        snprintf(out, size_t(size), "%.1023s", binding->key_name);
    else if (binding->axis_name)
        snprintf(out, size_t(size), "%.1000s %s", binding->axis_name,
                 binding->range_end < 0 ? "(Negative)" : "(Positive)");
    else
        snprintf(out, size_t(size), "None");
}

// ---- Every tic -------------------------------------------------------------------

void bindings_key_event(uint32_t code, int pressed)
{
    for (auto& c : control_binding_list)
        if (c.binding->key_code == code && c.binding->key_name) c.value = pressed ? 1.0f : 0.0f;
}

float binding_axis_fraction(const menu_binding* binding, int32_t raw)
{
    float low = binding->range_start, high = binding->range_end;
    if (!(std::fabs(high - low) >= narrowest_range)) return 0;
    float v = (float(raw) / 32768.0f - low) / (high - low);
    if (!(v > 0)) return 0;
    return v < 1 ? v : 1;
}

void bindings_read_axes()
{
    for (auto& c : control_binding_list)
        if (c.binding->axis) c.value = binding_axis_fraction(c.binding, vesk_axis_read(c.binding->axis));
}

void control_channels_sum(const control_binding* list, int count, float* channels)
{
    for (int i = 0; i < control_channel_count; i++) channels[i] = 0;
    for (int i = 0; i < count; i++) {
        int ch = list[i].channel;
        if (ch >= 0 && ch < control_channel_count) channels[ch] += list[i].value * list[i].sign;
    }
}

void control_channels_update()
{
    bindings_read_axes();
    control_channels_sum(control_binding_list, control_binding_count, control_channels);
}

// ---- Learning ----------------------------------------------------------------------

namespace {

void close_watched(vesk_axis* keep)
{
    binding_capture_state& c = binding_learning;
    for (int i = 0; i < c.axis_count; i++)
        if (c.axes[i] && c.axes[i] != keep) vesk_axis_close(c.axes[i]);
    c.axis_count = 0;
}

void capture_end(vesk_axis* keep)
{
    close_watched(keep);
    binding_learning.binding = nullptr;
    binding_learning.key_code = 0;
    binding_learning.key_name = nullptr;
    if (debug_level) vesk_log("Done watching pots\n");
}

} // namespace

void binding_learn_start(menu_binding* binding, double now)
{
    binding_capture_state& c = binding_learning;
    if (c.binding) close_watched(nullptr);
    c.binding = binding;
    c.settle_time = now;
    c.key_code = 0;
    c.key_name = nullptr;
    c.axis_count = 0;
    if (debug_level) vesk_log("Watching pots\n");
    const char* const* names = game_window ? vesk_axis_names(game_window) : nullptr;
    for (int i = 0; names && names[i] && c.axis_count < 64; i++) {
        vesk_axis* axis = vesk_axis_open(game_window, names[i]);
        if (debug_level) vesk_log("\t%s %s\n", names[i], axis ? "Ok" : "Failed");
        if (!axis) continue;
        int n = c.axis_count++;
        c.axes[n] = axis;
        c.axis_names[n] = names[i];
        c.start[n] = c.farthest[n] = float(vesk_axis_read(axis)) / 32768.0f;
    }
}

int binding_capture_key(uint32_t code, int pressed, double now)
{
    binding_capture_state& c = binding_learning;
    if (!c.binding || !pressed) return 0;
    if (code == escape_code()) {
        binding_capture_cancel();
        return 1;
    }
    // Typed characters (codes below 256) follow their key's own event: the
    // Enter that started the capture must not become the binding.
    if (code < 0x100) return 1;
    if (!c.key_code) {
        c.key_code = code;
        c.key_name = vesk_key_name(game_window, code);
        if (!c.key_name) {
            // A button of a device without a name still binds by its code.
            char hex[16];
            snprintf(hex, sizeof hex, "0x%x", code);
            c.key_name = intern_string(hex);
        }
        c.settle_time = now;
    }
    return 1;
}

void binding_capture_feed(const float* values, double now)
{
    binding_capture_state& c = binding_learning;
    menu_binding* b = c.binding;
    if (!b) return;
    for (int i = 0; i < c.axis_count; i++)
        if (std::fabs(values[i] - c.start[i]) > std::fabs(c.farthest[i] - c.start[i])) {
            c.farthest[i] = values[i];
            c.settle_time = now;
        }
    int settled = now - c.settle_time > 0.25;
    for (int i = 0; settled && i < c.axis_count; i++) {
        float s = c.start[i], x = c.farthest[i];
        if (std::fabs(x - s) > 0.5f) {
            vesk_axis* axis = c.axes[i];
            if (b->axis && b->axis != axis) vesk_axis_close(b->axis);
            b->key_name = nullptr;
            b->key_code = 0;
            b->axis_name = c.axis_names[i];
            b->axis = axis;
            b->range_start = s + (x - s) * 0.0625f;
            b->range_end = s + (x - s) * 0.9375f;
            capture_end(axis);
            return;
        }
    }
    if (settled && c.key_code) {
        if (b->axis) vesk_axis_close(b->axis);
        b->axis = nullptr;
        b->axis_name = nullptr;
        b->key_code = c.key_code;
        b->key_name = c.key_name;
        capture_end(nullptr);
    }
}

void binding_capture(double now)
{
    binding_capture_state& c = binding_learning;
    if (!c.binding) return;
    float values[64];
    for (int i = 0; i < c.axis_count; i++) values[i] = c.axes[i] ? float(vesk_axis_read(c.axes[i])) / 32768.0f : c.start[i];
    binding_capture_feed(values, now);
}

void binding_capture_cancel()
{
    if (binding_learning.binding) capture_end(nullptr);
}
