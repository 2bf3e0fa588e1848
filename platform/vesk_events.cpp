// The input event ring and the event queries of the main loop.
#include <cstdlib>
#include <cstring>
#include <new>

#include "core/alloc.h"
#include "platform/vesk_window_record.h"

int vesk_ring_push(vesk_event_ring* ring, uint32_t code, int pressed, int32_t seconds, int32_t microseconds)
{
    if (ring->count >= vesk_ring_size) return 0;
    uint32_t slot = (ring->head + ring->count) % vesk_ring_size;
    ring->code[slot] = (code & 0x7FFFFFFFu) | (pressed ? 0u : 0x80000000u);
    ring->seconds[slot] = seconds;
    ring->microseconds[slot] = microseconds;
    ring->count++;
    return 1;
}

int vesk_ring_pop(vesk_event_ring* ring, uint32_t* code, int* pressed, bool limit, int32_t seconds,
                  int32_t microseconds)
{
    if (ring->count == 0) return 0;
    uint32_t slot = ring->head;
    if (limit) {
        int32_t s = ring->seconds[slot];
        if (s > seconds || (s == seconds && ring->microseconds[slot] > microseconds)) return 0;
    }
    uint32_t raw = ring->code[slot];
    *code = raw & 0x7FFFFFFFu;
    *pressed = (raw & 0x80000000u) ? 0 : 1;
    ring->head = (ring->head + 1) % vesk_ring_size;
    ring->count--;
    return 1;
}

void vesk_push_event(vesk_window* window, uint32_t code, int pressed, int32_t seconds, int32_t microseconds)
{
    std::lock_guard<std::mutex> lock(window->queue_mutex);
    vesk_ring_push(&window->ring, code, pressed, seconds, microseconds);
}

namespace {

int take_event(vesk_window* window, uint32_t* code, int* pressed, bool limit, int32_t seconds, int32_t microseconds)
{
    std::lock_guard<std::mutex> lock(window->queue_mutex);
    return vesk_ring_pop(&window->ring, code, pressed, limit, seconds, microseconds);
}

int get_event(vesk_window* window, uint32_t* code, int* pressed, bool limit, int32_t seconds, int32_t microseconds)
{
    if (!window) return 0;
    // The window lives on this thread whether or not "threaded" is set, so
    // its native events are always pumped here.
    vesk_window_pump(window);
    return take_event(window, code, pressed, limit, seconds, microseconds);
}

}  // namespace

int vesk_get_event_until(vesk_window* window, uint32_t* code, int* pressed, int32_t seconds, int32_t microseconds)
{
    return get_event(window, code, pressed, true, seconds, microseconds);
}

int vesk_get_event(vesk_window* window, uint32_t* code, int* pressed)
{
    return get_event(window, code, pressed, false, 0, 0);
}

vesk_window* vesk_window_record_new(const char* title)
{
    size_t length = strlen(title);
    void* memory = xmalloc(sizeof(vesk_window) + length);
    vesk_window* window = new (memory) vesk_window();
    memcpy(window->title, title, length + 1);
    window->flags = vesk_flag_always;
    window->gl_dialect = -1;
    return window;
}

void vesk_window_record_free(vesk_window* window)
{
    if (!window) return;
    vesk_devices_free(window);
    window->~vesk_window();
    alloc_check_free(window);
}
