#include "core/alloc.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "platform/vesk.h"

namespace {

constexpr int table_size = 1 << 20;

int checker = -1;
void* live_block[table_size];
int32_t live_serial[table_size];
uint32_t live_size[table_size];
int live_count;
int32_t serial_counter;

int checker_on()
{
    if (checker < 0) {
        const char* v = getenv("ZT_CHECK_ALLOC");
        checker = (v && atoi(v) > 0) ? 1 : 0;
    }
    return checker;
}

void record(void* block, uint64_t size)
{
    if (!block || !checker_on()) return;
    if (live_count == table_size) {
        fputs("Too many allocations to check!\n", stderr);
        checker = 0;
        return;
    }
    live_block[live_count] = block;
    live_serial[live_count] = serial_counter++;
    live_size[live_count] = uint32_t(size);
    live_count++;
}

int find_entry(uintptr_t address)
{
    for (int i = live_count - 1; i >= 0; i--)
        if (uintptr_t(live_block[i]) == address) return i;
    return -1;
}

void remove_entry(int i)
{
    int later = live_count - 1 - i;
    memmove(&live_block[i], &live_block[i + 1], size_t(later) * sizeof live_block[0]);
    memmove(&live_serial[i], &live_serial[i + 1], size_t(later) * sizeof live_serial[0]);
    memmove(&live_size[i], &live_size[i + 1], size_t(later) * sizeof live_size[0]);
    live_count--;
}

// malloc(0) may give null on some C libraries; a zero-byte request is still
// a valid block for our callers.
size_t heap_size(uint64_t size) { return size ? size_t(size) : 1; }

} // namespace

void* alloc_check_malloc(uint64_t size)
{
    if (size > SIZE_MAX) return nullptr;
    void* block = malloc(heap_size(size));
    record(block, size);
    return block;
}

// The old address is only compared with the table after the move, never
// dereferenced.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wuse-after-free"
void* alloc_check_realloc(void* block, uint64_t size)
{
    if (size > SIZE_MAX) return nullptr;
    uintptr_t old_address = uintptr_t(block);
    void* moved = realloc(block, heap_size(size));
    // A failed realloc leaves the old block valid: its entry stays, so a later
    // free of it is still recognised.
    if (!moved) return nullptr;
    if (old_address && checker_on()) {
        int i = find_entry(old_address);
        if (i >= 0)
            remove_entry(i);
        else
            fprintf(stderr, "Allocation not found for %p!\n", reinterpret_cast<void*>(old_address));
    }
    record(moved, size);
    return moved;
}
#pragma GCC diagnostic pop

int alloc_check_release(void* block, int zero_it)
{
    if (!checker_on()) return 1;
    if (!block) return 0;
    int i = find_entry(uintptr_t(block));
    if (i < 0) {
        fprintf(stderr, "Allocation not found for %p!\n", block);
        return 0;
    }
    if (zero_it) memset(block, 0, live_size[i]);
    remove_entry(i);
    return 1;
}

void alloc_check_free(void* block)
{
    if (!block) return;
    if (alloc_check_release(block, 1)) free(block);
}

void alloc_dump_live()
{
    for (int i = 0; i < live_count; i++)
        fprintf(stderr, "%p:%d\n", live_block[i], live_serial[i]);
}

void* xmalloc(size_t size)
{
    void* block = alloc_check_malloc(size);
    if (!block) fatal_out_of_memory();
    return block;
}

void fatal_out_of_memory()
{
    vesk_close_for_fatal();
    vesk_message_box("Error", "Out of virtual memory");
    exit(1);
}

int alloc_checker_state() { return checker; }
void alloc_checker_force(int state) { checker = state; }
int alloc_live_count() { return live_count; }
