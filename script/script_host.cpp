// The script host: the Duktape heap with its time and memory limits, calls
// into the script by path, and the loading and hooks of the track's script.
#include "script/script_host.h"

#include <duktape.h>

#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>

#include "core/alloc.h"
#include "core/game_state.h"
#include "core/ripemd160.h"
#include "core/vfs.h"
#include "script/script_api.h"
#include "ui/console.h"

script_context* current_script;
int32_t script_loading;
uint16_t script_seed;
int32_t script_hooks_stopped;

extern "C" int zt_script_timed_out(void* udata);

namespace {

// Set once an error of the current load went to the message log.
int32_t error_line_written;

// The coarse clock (a few milliseconds of resolution) is read without a
// system call in a few nanoseconds: cheap enough to check every 256
// instructions.
int64_t monotonic_ns()
{
    timespec t;
    clock_gettime(CLOCK_MONOTONIC_COARSE, &t);
    return int64_t(t.tv_sec) * 1000000000 + t.tv_nsec;
}

// Processor time this thread has used: a system call, so it is read only
// once the coarse clock says the time is up.
int64_t thread_cpu_ns()
{
    timespec t;
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return int64_t(t.tv_sec) * 1000000000 + t.tv_nsec;
}

void arm_deadline(script_context* c)
{
    c->timed_out = 0;
    c->deadline_ns = monotonic_ns() + int64_t(c->time_limit_ms) * 1000000;
    c->cpu_start_ns = thread_cpu_ns();
}

void disarm_deadline(script_context* c) { c->deadline_ns = 0; }

// ---- The heap's allocator: every block carries its size, so the heap's
// total is known and held under script_heap_limit.

struct alignas(16) block_header {
    size_t size;
};

// The time is checked between instructions, but one instruction can be a
// native that builds a large array or string for long (a join over 100000
// elements). Such natives grow big blocks: a call past its time gets none,
// so they end at their next one. Small blocks are still given, as the engine
// needs them to make the error that ends the call.
constexpr size_t big_block = size_t(64) << 10;

bool big_block_past_time(script_context* c, size_t size)
{
    if (size < big_block || c->deadline_ns == 0) return false;
    return c->timed_out || (monotonic_ns() >= c->deadline_ns && zt_script_timed_out(c));
}

void* heap_alloc(void* udata, duk_size_t size)
{
    auto* c = static_cast<script_context*>(udata);
    if (big_block_past_time(c, size)) return nullptr;
    if (size > script_heap_limit - c->heap_bytes) {
        c->heap_refused = 1;
        return nullptr;
    }
    auto* h = static_cast<block_header*>(std::malloc(sizeof(block_header) + size));
    if (!h) return nullptr;
    h->size = size;
    c->heap_bytes += size;
    return h + 1;
}

void heap_free(void* udata, void* ptr)
{
    if (!ptr) return;
    auto* c = static_cast<script_context*>(udata);
    block_header* h = static_cast<block_header*>(ptr) - 1;
    c->heap_bytes -= h->size;
    std::free(h);
}

void* heap_realloc(void* udata, void* ptr, duk_size_t size)
{
    if (!ptr) return heap_alloc(udata, size);
    auto* c = static_cast<script_context*>(udata);
    block_header* h = static_cast<block_header*>(ptr) - 1;
    size_t old = h->size;
    if (size > old && big_block_past_time(c, size)) return nullptr;
    if (size > old && size - old > script_heap_limit - c->heap_bytes) {
        c->heap_refused = 1;
        return nullptr;
    }
    auto* moved = static_cast<block_header*>(std::realloc(h, sizeof(block_header) + size));
    if (!moved) return nullptr;
    moved->size = size;
    c->heap_bytes = c->heap_bytes - old + size;
    return moved + 1;
}

// Duktape's own fatal path would end the process silently; the log keeps
// the cause.
void heap_fatal(void*, const char* msg)
{
    char line[script_message_size];
    snprintf(line, sizeof line, "javascript fatal error: %s\n", msg ? msg : "");
    console_print(line);
    fputs(line, stderr);  // the log file may not outlive the abort
    fflush(nullptr);
    std::abort();
}

void set_message(script_context* c, const char* text)
{
    snprintf(c->message, sizeof c->message, "%s", text);
}

// The error value on the stack top into the message buffer. Converting it
// runs script code (a toString), so it gets a deadline of its own.
void take_error(script_context* c)
{
    int was_timed_out = c->timed_out;
    arm_deadline(c);
    set_message(c, duk_safe_to_string(c->heap, -1));
    disarm_deadline(c);
    c->timed_out |= was_timed_out;
}

struct call_request {
    script_context* c;
    const char* path;
    va_list* args;
    int result;
    int lookup_failed;
};

// Inside duk_safe_call, so that a getter on the path that throws cannot
// escape to the fatal handler.
duk_ret_t call_path_inside(duk_context* ctx, void* udata)
{
    auto* r = static_cast<call_request*>(udata);
    duk_push_global_object(ctx);
    const char* p = r->path;
    for (;;) {
        const char* dot = strchr(p, '.');
        size_t length = dot ? size_t(dot - p) : strlen(p);
        if (length + 1 > size_t(script_message_size) || !duk_is_object(ctx, -1)) {
            duk_pop(ctx);
            snprintf(r->c->message, sizeof r->c->message, "can't find %.800s", p);
            r->lookup_failed = 1;
            return 0;
        }
        duk_get_prop_lstring(ctx, -1, p, length);
        duk_remove(ctx, -2);
        if (!dot) {
            if (!duk_is_function(ctx, -1)) {
                duk_pop(ctx);
                snprintf(r->c->message, sizeof r->c->message, "%.800s is not a function", p);
                r->lookup_failed = 1;
                return 0;
            }
            break;
        }
        p = dot + 1;
    }
    int count = 0;
    va_list copy;
    va_copy(copy, *r->args);
    while (va_arg(copy, const char*)) count++;
    va_end(copy);
    duk_require_stack(ctx, count + 1);
    for (int i = 0; i < count; i++) duk_push_string(ctx, va_arg(*r->args, const char*));
    duk_call(ctx, count);
    r->result = duk_is_number(ctx, -1) ? script_to_int(duk_get_number(ctx, -1)) : 0;
    duk_pop(ctx);
    return 0;
}

// A call that hit one of the engine's limits: its time, its heap, or (as
// a RangeError) its call depth or value stack. Such a handler hits it again
// every tic, so the hooks stop instead of costing every frame.
bool hit_a_limit(const script_context* c)
{
    return c->timed_out || c->heap_refused || strncmp(c->message, "RangeError", 10) == 0;
}

// The message buffer's error as the load's one line.
void report_first_error(const script_context* c)
{
    if (c->message[0]) script_report_once(c->message);
}

// Reports the first error of a load and stops the hooks after a call that
// hit a limit.
void after_hook(script_context* c)
{
    if (!c->message[0]) return;
    report_first_error(c);
    if (hit_a_limit(c)) script_hooks_stopped = 1;
}

void hook_call(const char* path, const char* argument)
{
    script_context* c = current_script;
    if (!c || script_hooks_stopped) return;
    script_call_path(c, path, argument, static_cast<const char*>(nullptr));
    after_hook(c);
}

void hook_with_tic(const char* path)
{
    if (!current_script || script_hooks_stopped) return;
    int64_t tic = int64_t(tic_counter) - history_delay;
    char text[16];
    snprintf(text, sizeof text, "%d", int(tic > 0 ? tic : 0));
    hook_call(path, text);
}

}  // namespace

// Duktape's execution-timeout check (duk_config.h names it), run every 256
// bytecode instructions. Once it has said yes it keeps saying yes
// until the call is disarmed, as Duktape requires to unwind every catch.
extern "C" int zt_script_timed_out(void* udata)
{
    auto* c = static_cast<script_context*>(udata);
    if (!c || c->deadline_ns == 0) return 0;
    if (c->timed_out) return 1;
    int64_t now = monotonic_ns();
    if (now < c->deadline_ns) return 0;
    // The limit is on the script's own work: a call that lost the processor
    // to other programs on a busy machine gets the rest of its time.
    int64_t left = int64_t(c->time_limit_ms) * 1000000 - (thread_cpu_ns() - c->cpu_start_ns);
    if (left > 0) {
        c->deadline_ns = now + left;
        return 0;
    }
    c->timed_out = 1;
    return 1;
}

// ---- The context ------------------------------------------------------------

script_context* script_context_create()
{
    auto* c = static_cast<script_context*>(std::calloc(1, sizeof(script_context)));
    if (!c) return nullptr;
    c->time_limit_ms = script_time_limit_ms;
    c->heap = duk_create_heap(heap_alloc, heap_realloc, heap_free, c, heap_fatal);
    if (!c->heap) {
        std::free(c);
        return nullptr;
    }
    return c;
}

void script_context_destroy(script_context* c)
{
    if (!c) return;
    if (c->heap) duk_destroy_heap(c->heap);
    std::free(c);
}

int script_eval(script_context* c, const char* source)
{
    c->heap_refused = 0;
    arm_deadline(c);
    duk_int_t rc = duk_eval_raw(c->heap, source, 0,
                                DUK_COMPILE_EVAL | DUK_COMPILE_SAFE | DUK_COMPILE_NOSOURCE | DUK_COMPILE_STRLEN |
                                    DUK_COMPILE_NOFILENAME);
    disarm_deadline(c);
    if (rc != 0) take_error(c);
    else c->message[0] = 0;
    duk_pop(c->heap);
    return rc == 0;
}

int script_call_path(script_context* c, const char* path, ...)
{
    va_list args;
    va_start(args, path);
    call_request r{c, path, &args, 0, 0};
    c->heap_refused = 0;
    arm_deadline(c);
    duk_int_t rc = duk_safe_call(c->heap, call_path_inside, &r, 0, 1);
    disarm_deadline(c);
    va_end(args);
    if (rc != DUK_EXEC_SUCCESS) {
        take_error(c);
        duk_pop(c->heap);
        return int(rc);
    }
    duk_pop(c->heap);
    if (r.lookup_failed) return 0;
    c->message[0] = 0;
    return r.result;
}

int script_register_natives(script_context* c, const char* object_name, const char* const* names,
                            const script_native* functions, const int* argument_counts)
{
    duk_context* ctx = c->heap;
    if (object_name[0]) duk_push_object(ctx);
    else duk_push_global_object(ctx);
    for (int i = 0; names[i]; i++) {
        duk_push_c_function(ctx, functions[i], argument_counts[i]);
        duk_put_prop_string(ctx, -2, names[i]);
    }
    if (object_name[0]) duk_put_global_string(ctx, object_name);
    else duk_pop(ctx);
    return 1;
}

const char* script_last_message(const script_context* c) { return c->message; }

void script_report_error(const script_context* c)
{
    if (!c->message[0]) return;
    char line[script_message_size];
    snprintf(line, sizeof line, "javascript error: %.900s\n", c->message);
    console_print(line);
}

void script_report_once(const char* text)
{
    if (error_line_written) return;
    error_line_written = 1;
    char line[script_message_size];
    snprintf(line, sizeof line, "javascript error: %.900s\n", text);
    console_print(line);
}

void script_collect_garbage(script_context* c)
{
    duk_gc(c->heap, 0);
    duk_gc(c->heap, 0);
}

// ---- Argument conversion ---------------------------------------------------------

int32_t script_to_int(double v)
{
    if (!(v > -2147483649.0 && v < 2147483648.0)) return INT32_MIN;  // NaN fails both
    return int32_t(v);
}

double script_number_arg(duk_context* ctx, int idx) { return duk_get_number_default(ctx, idx, 0.0); }

const char* script_text_arg(duk_context* ctx, int idx) { return duk_get_string_default(ctx, idx, ""); }

double script_array_number(duk_context* ctx, int idx, uint32_t i)
{
    if (!duk_is_object(ctx, idx)) return NAN;
    duk_get_prop_index(ctx, idx, i);
    double v = duk_is_number(ctx, -1) ? duk_get_number(ctx, -1) : NAN;
    duk_pop(ctx);
    return v;
}

void script_array_put_numbers(duk_context* ctx, int idx, const double* values, int n)
{
    if (!duk_is_object(ctx, idx)) return;
    for (int i = 0; i < n; i++) {
        duk_push_number(ctx, values[i]);
        duk_put_prop_index(ctx, idx, duk_uarridx_t(i));
    }
}

void script_array_put_floats(duk_context* ctx, int idx, const float* values, int n)
{
    if (!duk_is_object(ctx, idx)) return;
    for (int i = 0; i < n; i++) {
        duk_push_number(ctx, values[i]);
        duk_put_prop_index(ctx, idx, duk_uarridx_t(i));
    }
}

// ---- The track's script ---------------------------------------------------------

uint16_t script_seed_for(int32_t gate_drop)
{
    char text[48];
    snprintf(text, sizeof text, "Gone in %d tics!", int(gate_drop));
    ripemd160_ctx h;
    ripemd160_init(&h);
    ripemd160_update(&h, text, strlen(text));
    ripemd160_final(&h);
    uint8_t low = 0, high = 0;
    for (int i = 0; i < 20; i += 2) {
        low ^= h.digest[i];
        high ^= h.digest[i + 1];
    }
    return uint16_t(low | (high << 8));
}

void script_path_for_track(const char* folder, char* path, int size)
{
    snprintf(path, size_t(size), "@%s/nofrills.js", folder);
    if (!vfs_exists(path + 1)) snprintf(path, size_t(size), "@%s/frills.js", folder);  // the index names lack the "@"
}

int script_load(const char* path)
{
    // A load over a loaded script replaces it rather than leak its heap.
    script_unload();
    char* text = file_to_string(path);
    if (!text) return 0;
    script_context* c = script_context_create();
    if (!c) {
        alloc_check_free(text);
        return 0;
    }
    script_loading = 1;
    c->time_limit_ms = script_load_time_limit_ms;
    script_hooks_stopped = 0;
    error_line_written = 0;
    script_seed = script_seed_for(gate_drop_tic);
    script_register_natives(c, "zt", script_native_names, script_native_functions, script_native_counts);
    pose_sequences_free();
    script_objects_added_reset();
    if (!script_eval(c, script_prelude)) report_first_error(c);
    current_script = c;
    if (!script_eval(c, text)) {
        report_first_error(c);
        // A load that ran out of time or heap would do so again every tic.
        if (hit_a_limit(c)) script_hooks_stopped = 1;
    }
    alloc_check_free(text);
    c->time_limit_ms = script_time_limit_ms;
    script_loading = 0;
    return 1;
}

void script_unload()
{
    if (!current_script) return;
    pose_sequences_free();
    script_context_destroy(current_script);
    current_script = nullptr;
}

void script_frame() { hook_with_tic("zt.frame_handler_"); }

void script_tic() { hook_with_tic("zt.tic_handler_"); }

void script_message(const char* text) { hook_call("zt.script_message_handler_", text); }
