#include "core/array.h"

#include <cstring>

#include "core/alloc.h"

void array_init(growable_array* array, int32_t element_size)
{
    array->items = xmalloc(size_t(16) * size_t(element_size));
    array->capacity = 16;
    array->count = 0;
    array->element_size = element_size;
}

int array_push(growable_array* array, const void* source)
{
    if (array->count >= array->capacity) {
        int64_t grown = array->capacity > 0 ? int64_t(array->count) * 2 : 16;
        if (grown > INT32_MAX) return 0;
        void* items = alloc_check_realloc(array->items, uint64_t(grown) * uint64_t(array->element_size));
        if (!items) return 0;
        array->items = items;
        array->capacity = int32_t(grown);
    }
    char* slot = static_cast<char*>(array->items) + size_t(array->count) * size_t(array->element_size);
    if (source)
        memcpy(slot, source, size_t(array->element_size));
    else
        memset(slot, 0, size_t(array->element_size));
    array->count++;
    return 1;
}

int array_insert_at(growable_array* array, int32_t index, const void* source)
{
    if (index < 0 || index > array->count) return 0;
    if (!array_push(array, nullptr)) return 0;
    char* items = static_cast<char*>(array->items);
    size_t size = size_t(array->element_size);
    memmove(items + (size_t(index) + 1) * size, items + size_t(index) * size, size_t(array->count - 1 - index) * size);
    if (source)
        memcpy(items + size_t(index) * size, source, size);
    else
        memset(items + size_t(index) * size, 0, size);
    return 1;
}

int array_remove_at(growable_array* array, int32_t index)
{
    if (index < 0 || index >= array->count) return 0;
    char* items = static_cast<char*>(array->items);
    size_t size = size_t(array->element_size);
    memmove(items + size_t(index) * size, items + (size_t(index) + 1) * size, size_t(array->count - 1 - index) * size);
    array->count--;
    return 1;
}

int array_reserve(growable_array* array, int32_t capacity)
{
    if (capacity <= array->capacity) return 1;
    void* items = alloc_check_realloc(array->items, uint64_t(capacity) * uint64_t(array->element_size));
    if (!items) return 0;
    array->items = items;
    array->capacity = capacity;
    return 1;
}

void* array_detach(growable_array* array)
{
    void* items = array->items;
    if (array->count == 0) {
        alloc_check_free(items);
        items = nullptr;
    } else {
        void* shrunk = alloc_check_realloc(items, uint64_t(array->count) * uint64_t(array->element_size));
        if (shrunk) items = shrunk;
    }
    array->items = nullptr;
    array->capacity = 0;
    array->count = 0;
    return items;
}

void array_free(growable_array* array)
{
    alloc_check_free(array->items);
    array->items = nullptr;
    array->capacity = 0;
    array->count = 0;
}

namespace {
growable_array interned;
}

const char* intern_string(const char* text)
{
    if (!interned.element_size) array_init(&interned, sizeof(char*));
    char** strings = array_items<char*>(&interned);
    for (int i = 0; i < interned.count; i++)
        if (strcmp(strings[i], text) == 0) return strings[i];
    size_t n = strlen(text) + 1;
    char* copy = static_cast<char*>(alloc_check_malloc(n));
    if (!copy) fatal_out_of_memory();
    memcpy(copy, text, n);
    array_push(&interned, &copy); // when the table cannot grow the copy is just not shared
    return copy;
}
