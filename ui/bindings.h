#pragma once
// Control bindings: each control is bound to a key or to a range of a device
// axis. "@config" keeps them as "(k)<key name>" or "(start,end)<axis name>";
// every tic the bindings' values are summed into the nine control channels.
#include <cstdint>

#include "ui/widgets.h"

struct vesk_axis;
struct vfs_stream;

struct menu_binding {
    const char* label;
    const char* key_name;   // interned; null when not bound to a key
    uint32_t key_code;      // resolved from key_name by binding_apply
    const char* axis_name;  // interned; null when not bound to an axis
    vesk_axis* axis;        // opened by binding_apply; null when closed
    float range_start, range_end;
    menu_rect rect;         // the controls page's line
};

constexpr int binding_count = 20;
// In "@config" order; the config key and default key of each.
extern menu_binding bindings[binding_count];
extern const char* const binding_config_keys[binding_count];
extern const char* const binding_default_keys[binding_count];

// A binding feeding one control channel with a sign; value is the binding's
// current reading (1/0 for a key, 0..1 for an axis).
struct control_binding {
    menu_binding* binding;
    int32_t channel;
    float sign;
    float value;
};
constexpr int control_binding_count = 12;
extern control_binding control_binding_list[control_binding_count];
// The eight bindable game keys.
enum special_key_index {
    special_screenshot, special_chat, special_next_bike, special_prev_bike,
    special_skip, special_rewind, special_step, special_pause, special_key_count
};
extern menu_binding* const special_keys[special_key_count];

// Every binding back to its default key, unresolved (axes are not closed).
void bindings_defaults();
// One "@config" value into the binding: "(k)name", "name" or
// "(start,end)axis". A range narrower than 1e-6 leaves the control unbound.
void binding_parse(menu_binding* binding, const char* value);
// "key=(k)name" or "key=(start,end)axis" with "%.9g"; "key=" when unbound,
// which reads back unbound rather than as the default key.
// Returns what snprintf would (the length needed).
int binding_format(char* out, int size, const char* key, const menu_binding* binding);
int binding_write(vfs_stream* stream, const char* key, const menu_binding* binding);
// The config key's binding, or null.
menu_binding* binding_for_key(const char* config_key);
// Resolves the key name to a code and opens the axis (on game_window). An
// axis that does not open leaves the control reading nothing.
void binding_apply(menu_binding* binding);
// binding_apply for all 20 and every control value back to 0.
void bindings_apply_all();
// Closes every binding's axis.
void bindings_close_axes();

// The controls page's text of a binding: "<<PRESS A KEY>>" while learned,
// the key name, "<axis> (Negative)"/"(Positive)", or "None".
void binding_text(const menu_binding* binding, char* out, int size);

// ---- Every tic -------------------------------------------------------------

// A key event: every control binding of that code reads 1 pressed, 0 released.
void bindings_key_event(uint32_t code, int pressed);
// An axis reading (-32768..32767) as the binding's 0..1 value; 0 for an
// empty range, so a bad range can never reach the rider as NaN.
float binding_axis_fraction(const menu_binding* binding, int32_t raw);
// Reads every bound axis into its control binding's value.
void bindings_read_axes();
// channels := sum of value x sign over the list (zeroed first).
void control_channels_sum(const control_binding* list, int count, float* channels);
// bindings_read_axes, then control_channels_sum into control_channels.
void control_channels_update();

// ---- Learning a binding from the controls page ---------------------------

struct binding_capture_state {
    menu_binding* binding;  // null when no capture runs
    double settle_time;     // game clock of the last change
    int32_t axis_count;
    vesk_axis* axes[64];
    const char* axis_names[64];
    float start[64], farthest[64];
    uint32_t key_code;      // the key pressed during the capture, 0 for none
    const char* key_name;
};
extern binding_capture_state binding_learning;

// Starts learning: watches every axis the platform lists, from now.
void binding_learn_start(menu_binding* binding, double now);
// An event during a capture: Esc pressed cancels, another key pressed is
// remembered once. 1 when the capture took the event (a pressed key).
int binding_capture_key(uint32_t code, int pressed, double now);
// The per-tic step: reads the watched axes and assigns an axis or key once
// it has settled for 0.25 s.
void binding_capture(double now);
// The same over given readings (value / 32768 per watched axis).
void binding_capture_feed(const float* values, double now);
// Ends a capture without assigning (Esc), closing the watched axes.
void binding_capture_cancel();
