#pragma once
// Every allocation of the game goes through these wrappers. With ZT_CHECK_ALLOC
// above 0 they record each live block, zero blocks on free, refuse frees of
// unknown blocks and list the survivors at exit; otherwise they are the plain
// C heap.
#include <cstddef>
#include <cstdint>

void* alloc_check_malloc(uint64_t size);
void* alloc_check_realloc(void* block, uint64_t size);
void alloc_check_free(void* block);
// Removes block from the live table (zeroing it first when zero_it); 1 when the
// caller may free it.
int alloc_check_release(void* block, int zero_it);
// Prints "%p:%d\n" for every live block, oldest first, to standard error.
void alloc_dump_live();

// Never returns null: ends the program through fatal_out_of_memory instead.
void* xmalloc(size_t size);
// Closes audio and the window, shows "Out of virtual memory", exits with 1.
[[noreturn]] void fatal_out_of_memory();

// The checker's state: -1 not yet read, 0 off, 1 on. Tests set it directly.
int alloc_checker_state();
void alloc_checker_force(int state);
int alloc_live_count();
