#pragma once
// The track script host: one Duktape context per loaded track. It registers
// the natives of script_api.h on the global object "zt", runs the prelude and
// then the track's script, and calls the prelude's three dispatchers: once per
// drawn view, once per tic and once per received script message. A script
// comes with a track that players share, so nothing it does may stop the
// game: every call into it is protected, cut off after script_time_limit_ms,
// and its heap is capped at script_heap_limit.
#include <cstddef>
#include <cstdint>

struct duk_hthread;  // Duktape's context (duk_context)

constexpr int script_message_size = 1024;

// The sanitizer build runs the script engine some 25 times slower (checked
// memory accesses, its allocator): its limits are scaled so that a script
// that fits a release build with room to spare fits there too.
#if defined(__SANITIZE_ADDRESS__)
constexpr int script_time_scale = 8;
#else
constexpr int script_time_scale = 1;
#endif

// A call into a script that runs longer than this (the processor time it
// uses, so a preempted call is not cut short) is interrupted with a
// RangeError: 50 ms is three frames at 60 Hz, a hitch a player notices but
// not a hang, and about a thousand times what a track script's handler needs
// (its budget is 50 us a tic).
constexpr int script_time_limit_ms = 50 * script_time_scale;
// The load (prelude and track script) runs once per race behind the
// loading screen, where a longer wait costs no frames: half a second is
// some 200 times what the generated stadium script needs to build its
// objects and pose sequence.
constexpr int script_load_time_limit_ms = 500 * script_time_scale;
// Bytes the script heap may hold. A track script keeps a few objects and its
// animations' source arrays (the pose data itself lives outside the heap);
// 64 MiB is ample for that and keeps a runaway allocation far below what
// would starve the rest of the game.
constexpr size_t script_heap_limit = size_t(64) << 20;

struct script_context {
    duk_hthread* heap;
    // The last error text (at most 1023 characters), empty after a call
    // that succeeded.
    char message[script_message_size];
    int32_t time_limit_ms;  // of the next call: script_time_limit_ms, or the load's
    int64_t deadline_ns;    // monotonic time the running call is cut at, 0 while idle
    int64_t cpu_start_ns;   // the thread's processor time when the call began
    size_t heap_bytes;    // what the heap holds now
    int32_t timed_out;    // the running call passed its deadline
    int32_t heap_refused; // an allocation was refused for the heap limit
};

// ---- The context ------------------------------------------------------------

// Null when allocation or heap creation fails.
script_context* script_context_create();
void script_context_destroy(script_context* c);
// Evaluates source as global code in protected mode: 1, or 0 with the error
// in the message buffer.
int script_eval(script_context* c, const char* source);
// Calls the function at a dotted path ("zt.tic_handler_") with text
// arguments up to the null. The result converted by script_to_int (0 when
// not a number); 0 with "can't find %.800s" or "%.800s is not a function" in
// the message buffer; 1 (the engine's error code) with the error text.
int script_call_path(script_context* c, const char* path, ...) __attribute__((sentinel));
using script_native = int (*)(duk_hthread* ctx);
// The natives (names ended by a null) with their fixed argument counts
// become properties of a new global object named object_name, or of the
// global object itself when the name is empty. 1.
int script_register_natives(script_context* c, const char* object_name, const char* const* names,
                            const script_native* functions, const int* argument_counts);
const char* script_last_message(const script_context* c);
// Writes "javascript error: %.900s" to the message log when the message
// buffer holds an error.
void script_report_error(const script_context* c);
// The same line with text, when no error of the current load was written
// yet: a load writes one line, its first error (of the load, a handler or a
// refused object), so a script failing every tic cannot flood the log; later
// errors stay in the message buffer.
void script_report_once(const char* text);
// The engine's full garbage collection, twice (finalizers may free more).
void script_collect_garbage(script_context* c);

// ---- Argument conversion (used by the natives) ------------------------------

// Truncation toward zero; NaN and numbers outside the 32-bit range give
// -2147483648 (C++ leaves those conversions undefined).
int32_t script_to_int(double v);
// Argument idx as a number (0 when it is not one) / a text ("" when not one).
double script_number_arg(duk_hthread* ctx, int idx);
const char* script_text_arg(duk_hthread* ctx, int idx);
// Element i of the array argument at idx as a number; NaN when the argument
// is not an object or the element is missing or not a number.
double script_array_number(duk_hthread* ctx, int idx, uint32_t i);
// Writes values into elements 0..n-1 of the array argument at idx; nothing
// when the argument is not an object (a write would throw).
void script_array_put_numbers(duk_hthread* ctx, int idx, const double* values, int n);
void script_array_put_floats(duk_hthread* ctx, int idx, const float* values, int n);

// ---- The track's script --------------------------------------------------------

// The loaded track's context, null when none.
extern script_context* current_script;
// 1 only while script_load runs: objects can be added only then.
extern int32_t script_loading;
// Computed at each load from the gate-drop tic: the same on every machine
// of a race.
extern uint16_t script_seed;
// 1 after a handler ran out of time or heap: the hooks stop calling the
// script until the next load, so the game keeps its frame rate.
extern int32_t script_hooks_stopped;

// The seed of a gate-drop tic: RIPEMD-160 of "Gone in %d tics!", the even
// digest bytes XORed into the low byte and the odd ones into the high byte.
uint16_t script_seed_for(int32_t gate_drop_tic);
// The file the race reset loads for a track folder: "@<folder>/nofrills.js"
// when the file index holds it, else "@<folder>/frills.js".
void script_path_for_track(const char* folder, char* path, int size);
// Loads a track script ("@" name): 1, also when its evaluation failed (the
// error is logged and the prelude's defaults stay); 0 when the file does not
// read or the context cannot be made. A script still loaded is unloaded first.
int script_load(const char* path);
// Frees the pose sequences and the context. The race reset releases the
// script sounds right after (script_sounds_release).
void script_unload();
// The hooks, with max(0, tic_counter - history_delay) as "%d" (the tic the
// shown riders are at). Nothing without a script. An error goes to the
// message log when it is the load's first (script_report_once).
void script_frame();
void script_tic();
void script_message(const char* text);
