// The GL entry-point loader: availability by the context's version, because
// the back end hands out an address for any name.
#include <cstdio>
#include <cstring>

#include "platform/vesk_window_record.h"

int vesk_gl_parse_version(const char* text, int desktop_dialect, int* major, int* minor, int* dialect)
{
    if (!text) return 0;
    const char* es_prefix = "OpenGL ES";
    int d = desktop_dialect;
    const char* p = text;
    if (strncmp(p, es_prefix, strlen(es_prefix)) == 0) {
        d = vesk_gl_es;
        p += strlen(es_prefix);
        // "OpenGL ES-CM 1.1" and "OpenGL ES 3.0": skip to the first digit.
        while (*p && (*p < '0' || *p > '9')) p++;
    }
    int a, b;
    if (sscanf(p, "%d.%d", &a, &b) != 2 || a < 1 || b < 0) return 0;
    *major = a;
    *minor = b;
    *dialect = d;
    return 1;
}

int vesk_gl_version(vesk_window* window, int* major, int* minor)
{
    if (!window || !window->gl_context || window->gl_dialect < 0) return -1;
    *major = window->gl_major;
    *minor = window->gl_minor;
    return window->gl_dialect;
}

int vesk_gl_load(vesk_window* window, const vesk_gl_entry* table, int count)
{
    int major = 0, minor = 0;
    int dialect = vesk_gl_version(window, &major, &minor);
    int version = major * 10 + (minor > 9 ? 9 : minor);
    int missing = 0;
    for (int i = 0; i < count; i++) {
        const vesk_gl_entry& entry = table[i];
        int need = dialect == vesk_gl_es ? entry.es : entry.desktop;
        void* address = nullptr;
        if (dialect >= 0 && need > 0 && version >= need) address = vesk_gl_proc_address(window, entry.name);
        *entry.slot = address;
        if (!address) missing++;
    }
    return missing;
}
