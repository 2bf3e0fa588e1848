#pragma once
// The window record and the pieces the platform files share: the event ring,
// the input device list and the window's GL state. Plain data: the native
// handles are kept as opaque pointers so that only the back end sees SDL.
#include <cstdint>
#include <mutex>

#include "platform/vesk.h"

enum : int { vesk_ring_size = 256 };

// Three parallel arrays; entry i sits at (head + i) mod 256. Bit 31 of a code
// marks a release.
struct vesk_event_ring {
    uint32_t head;
    uint32_t count;
    uint32_t code[vesk_ring_size];
    int32_t seconds[vesk_ring_size];
    int32_t microseconds[vesk_ring_size];
};

// Drops the event (and returns 0) when 256 already wait.
int vesk_ring_push(vesk_event_ring* ring, uint32_t code, int pressed, int32_t seconds, int32_t microseconds);
// Pops the head; with limit, only when its stamp is not later than
// (seconds, microseconds).
int vesk_ring_pop(vesk_event_ring* ring, uint32_t* code, int* pressed, bool limit, int32_t seconds,
                  int32_t microseconds);

struct vesk_device;
// What a kind of input device does; every operation may be null.
struct vesk_device_ops {
    int (*open)(vesk_device* device);  // 1 on success
    void (*close)(vesk_device* device);
    int (*read_axis)(vesk_window* window, vesk_device* device, int axis);
};

enum : int { vesk_device_name_max = 63 };

struct vesk_device {
    // Unique among the window's devices, at most 63 characters, so that the
    // names the game shows and stores parse back to the same device.
    char name[vesk_device_name_max + 1];
    uint32_t id;  // 1..0x7FFF shifted into bits 16..30
    int axis_count;
    int button_count;
    int user_count;  // open axes plus one while polling
    int polling;     // button events are wanted (a button was bound by name)
    const vesk_device_ops* ops;
    void* handle;        // the back end's open device
    int32_t instance;    // the back end's id of the device
    int is_controller;   // a pad with the standard layout
};

struct vesk_axis {
    vesk_window* window;
    vesk_device* device;
    int index;
};

enum : uint8_t {
    vesk_flag_resizable = 0x01,
    vesk_flag_threaded = 0x02,
    vesk_flag_full_screen = 0x04,
    vesk_flag_always = 0x10,
};

struct vesk_window {
    void* native;      // the back end's window
    void* gl_context;  // null for a window without GL
    vesk_rect rect;    // handed out by vesk_gl_frame_begin
    int32_t requested_width, requested_height;
    int32_t client_width, client_height;
    int32_t full_width, full_height;
    int32_t depth;
    uint8_t flags;
    int32_t close_flag;
    int32_t suspended;
    int32_t minimised;
    int32_t controllers_started;  // the back end's controller support is on
    int32_t frame_held;  // vesk_gl_frame_begin holds the window lock
    // A mode switch asked for by vesk_window_set_mode, done at the next pump.
    int32_t pending_mode, pending_width, pending_height, pending_flags;
    // Recursive: the frame holds it while a loading screen pumps events.
    std::recursive_mutex window_mutex;
    std::mutex queue_mutex;
    vesk_event_ring ring;
    vesk_device* devices;
    int device_count;
    const char** axis_names;  // null-terminated
    int gl_major, gl_minor, gl_dialect;  // dialect -1 without a context
    char title[1];  // allocated with room for the whole title
};

// The open window and audio back end, for vesk_close_for_fatal.
extern vesk_window* vesk_current_window;
extern vesk_audio* vesk_current_audio;

// A record with no native window (tests build one to drive the ring and names).
vesk_window* vesk_window_record_new(const char* title);
void vesk_window_record_free(vesk_window* window);

// Pushes an event under the queue mutex.
void vesk_push_event(vesk_window* window, uint32_t code, int pressed, int32_t seconds, int32_t microseconds);
// Back end: moves waiting native events into the ring and does pending mode
// switches (no-op for a record without a native window).
void vesk_window_pump(vesk_window* window);

// Devices: adds one to the window (name made unique and cut to 63
// characters); returns it, or null when the list is full.
vesk_device* vesk_device_add(vesk_window* window, const char* name, int axis_count, int button_count,
                             const vesk_device_ops* ops, void* handle);
vesk_device* vesk_device_by_name(vesk_window* window, const char* name);
vesk_device* vesk_device_by_id(vesk_window* window, uint32_t id);
// Builds the null-terminated axis-name array from every device.
void vesk_devices_collect_axis_names(vesk_window* window);
// Closes every device that is still open and frees the list.
void vesk_devices_free(vesk_window* window);
// Starts button events of a device (opens it when needed).
int vesk_device_start_polling(vesk_device* device);

// Keys: the event code of a USB HID keyboard usage (the back end's scan code
// numbering), 0 for keys without one.
uint32_t vesk_key_code_for_usage(int usage);
// The default key table, for tests and the name lookup.
struct vesk_key_row {
    uint16_t scan;  // set-1 scan code, + 0x100 when extended
    const char* name;
};
extern const vesk_key_row vesk_default_keys[];
extern const int vesk_default_key_count;
// Splits "<device>.<dotted_kind>[<n>]" or "<device> <spaced_kind> <n>" (n in
// 0..255, device name at most 63 characters) into device (64 bytes) and n.
int vesk_parse_device_item(const char* name, const char* dotted_kind, const char* spaced_kind, char* device,
                           int* n);

// Display modes as the back end reports them, refresh rate included.
struct vesk_mode_report {
    int32_t width, height, bits, refresh;
};
// Builds the mode list into out (room for count + 2 entries): the desktop mode
// first when its depth is accepted (desktop may be null), then every accepted
// mode not yet listed with the same width, height and depth; ends with an
// all-zero entry. Logs each mode. Returns the number of modes.
int vesk_build_mode_list(const vesk_mode_report* desktop, const vesk_mode_report* modes, int count,
                         vesk_display_mode* out);
// The full-screen size for a request of width x height: among the listed modes
// at least that large, the smallest width + height (the first on a tie), else
// the desktop's size; a zero width or height asks for the desktop's size.
void vesk_choose_full_screen(const vesk_display_mode* list, int width, int height, int desktop_width,
                             int desktop_height, int* out_width, int* out_height);
// Colour bits per channel for an open depth: 32 and 24 give 8/8/8, 16 gives
// 5/6/5, 15 gives 5/5/5, 8 gives 3/3/2; anything else 8/8/8.
void vesk_color_bits(int depth, int* red, int* green, int* blue);
// "4.5 (Compatibility Profile) Mesa..." or "OpenGL ES 3.2 Mesa...": 1 and the
// version, the dialect being vesk_gl_es or the given desktop dialect.
int vesk_gl_parse_version(const char* text, int desktop_dialect, int* major, int* minor, int* dialect);

// Test seam: when set, an ES context counts as unavailable, as on a driver
// without ES profiles, so the fallback to desktop GL can be exercised.
extern bool vesk_gl_pretend_no_es;

// Back end input devices: opens the controllers and the cursor of a window,
// and turns a native controller event into ring events.
void vesk_input_devices_open(vesk_window* window);
void vesk_input_devices_close(vesk_window* window);
