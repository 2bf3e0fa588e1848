#pragma once
// The one container of the game: a heap buffer that doubles when full.
#include <cstdint>

struct growable_array {
    void* items;
    int32_t capacity;      // elements
    int32_t count;         // elements in use
    int32_t element_size;  // bytes
};

// Sets up an empty array with room for 16 elements (fatal when out of memory).
void array_init(growable_array* array, int32_t element_size);
// Appends a copy of element_size bytes at source (zeros when null). Returns 0
// and leaves the array unchanged when growing fails. An array left empty by
// array_detach grows again from 16.
int array_push(growable_array* array, const void* source);
// Inserts a copy of element_size bytes at source (zeros when null) at index
// 0..count, moving the later elements up; 0 (array unchanged) for a bad index
// or when growing fails.
int array_insert_at(growable_array* array, int32_t index, const void* source);
// Removes the element at index, moving the later ones down; 0 for a bad index.
int array_remove_at(growable_array* array, int32_t index);
// Makes room for capacity elements at once, so that pushes up to it never
// allocate. 0 and the array unchanged when growing fails.
int array_reserve(growable_array* array, int32_t capacity);
// Hands the buffer (shrunk to count elements) to the caller and leaves the
// array with no buffer; null when the array was empty.
void* array_detach(growable_array* array);
// Frees the buffer and leaves the array empty.
void array_free(growable_array* array);

template <class T> inline T* array_items(growable_array* array) { return static_cast<T*>(array->items); }

// The interned copy of text (exact, case-sensitive), kept for the whole run.
const char* intern_string(const char* text);
