#include "platform/vesk_log.h"

#include <cctype>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>

#include "platform/vesk_clock.h"

namespace {

// The window and audio threads log too: each line is formatted whole and
// written with one call under this lock, so lines never interleave.
std::mutex log_mutex;
bool log_opened;
FILE* log_file;

void write_line_locked(const char* format, va_list args)
{
    int32_t s, us;
    vesk_get_time(&s, &us);
    char line[8192];
    vesk_log_prefix(line, sizeof line, s, us);
    size_t prefix = strlen(line);
    va_list copy;
    va_copy(copy, args);
    int n = vsnprintf(line + prefix, sizeof line - prefix, format, copy);
    va_end(copy);
    // A finished message that begins with 0x13 is dropped, however it came
    // to begin so: from the format or from an argument.
    if (n > 0 && line[prefix] == 0x13) return;
    if (n >= 0 && size_t(n) < sizeof line - prefix) {
        fwrite(line, 1, prefix + size_t(n), log_file);
    } else {
        fwrite(line, 1, prefix, log_file);
        vfprintf(log_file, format, args);
    }
    fflush(log_file);
}

void write_fixed_locked(const char* format, ...)
{
    va_list args;
    va_start(args, format);
    write_line_locked(format, args);
    va_end(args);
}

void open_log_locked(const char* first_message)
{
    log_opened = true;
    const char* env_path = getenv("VESK_LOGFILE");
    const char* env_flags = getenv("VESK_LOGFILE_FLAGS");
    const char* path = env_path;
    if (strncmp(first_message, "VESK_LOGFILE=", 13) == 0) {
        if (!path) path = first_message + 13;
    } else if (!path) {
        return;
    }
    const char* mode = "w";
    if (strncmp(path, ">>", 2) == 0) {
        mode = "a";
        path += 2;
    } else if (path[0] == '>') {
        path += 1;
    }
    if (env_flags) mode = env_flags;
    log_file = fopen(path, mode);
    if (!log_file) return;
    write_fixed_locked("Logfile \"%s\" opened\n", path);
    write_fixed_locked("VESK 0.31\n");
}

struct intern_node {
    intern_node* next;
    char text[1];
};
intern_node* intern_head;

struct alias_node {
    alias_node* next;
    const char* alias;
    const char* target;
};
alias_node* alias_head;

const char* options_text;

// The text after "[name:" in VESK_OPTIONS, or null.
const char* option_find(const char* name)
{
    if (!options_text) {
        options_text = getenv("VESK_OPTIONS");
        if (!options_text) options_text = "";
    }
    char key[64];
    snprintf(key, sizeof key, "[%.60s:", name);
    const char* at = strstr(options_text, key);
    return at ? at + strlen(key) : nullptr;
}

int relaxed(unsigned char c)
{
    if (isspace(c) || c == '_') return ' ';
    return tolower(c);
}

} // namespace

void vesk_log_prefix(char* out, int size, int seconds, int microseconds)
{
    int hours = seconds / 3600;
    snprintf(out, size_t(size), "[%d:%02d:%02d.%02d] ", hours, seconds / 60 - hours * 60, seconds % 60,
             microseconds / 10000);
}

void vesk_log(const char* format, ...)
{
    std::lock_guard<std::mutex> lock(log_mutex);
    if (!format) {
        if (log_file) fclose(log_file);
        log_file = nullptr;
        log_opened = true;
        return;
    }
    if (!log_opened) {
        // The first message decides the file, and may name it itself.
        char first[4096];
        va_list args;
        va_start(args, format);
        vsnprintf(first, sizeof first, format, args);
        va_end(args);
        open_log_locked(first);
        if (strncmp(first, "VESK_LOGFILE=", 13) == 0) return;
    }
    if (!log_file) return;
    va_list args;
    va_start(args, format);
    write_line_locked(format, args);
    va_end(args);
}

void vesk_error(const char* text) { vesk_log("Error: %s\n", text); }

int vesk_option_bool(const char* name, int default_value)
{
    const char* v = option_find(name);
    if (!v) return default_value;
    if (strncmp(v, "yes]", 4) == 0 || strncmp(v, "on]", 3) == 0) return 1;
    if (strncmp(v, "no]", 3) == 0 || strncmp(v, "off]", 4) == 0) return 0;
    vesk_log("unrecognized setting for %s\n", name);
    return default_value;
}

int vesk_option_int(const char* name, int default_value)
{
    const char* v = option_find(name);
    if (!v) return default_value;
    char* end;
    long n = strtol(v, &end, 10);
    if (end == v) {
        vesk_log("unrecognized setting for %s\n", name);
        return default_value;
    }
    return int(n);
}

const char* vesk_intern(const char* text)
{
    intern_node** link = &intern_head;
    for (; *link; link = &(*link)->next) {
        int c = strcmp((*link)->text, text);
        if (c == 0) return (*link)->text;
        if (c > 0) break;
    }
    size_t n = strlen(text);
    intern_node* node = static_cast<intern_node*>(malloc(sizeof(intern_node) + n));
    if (!node) return nullptr;
    memcpy(node->text, text, n + 1);
    node->next = *link;
    *link = node;
    return node->text;
}

int vesk_alias_add(const char* alias, const char* target)
{
    for (alias_node* a = alias_head; a; a = a->next) {
        if (strcmp(a->alias, alias) == 0) {
            vesk_log("Second alias for '%s' ('%s') ignored\n", alias, target);
            return 0;
        }
    }
    size_t na = strlen(alias) + 1, nt = strlen(target) + 1;
    alias_node* node = static_cast<alias_node*>(malloc(sizeof(alias_node) + na + nt));
    if (!node) {
        vesk_log("Can't alias %s to %s -- out of memory\n", alias, target);
        return 0;
    }
    char* storage = reinterpret_cast<char*>(node + 1);
    memcpy(storage, alias, na);
    memcpy(storage + na, target, nt);
    node->alias = storage;
    node->target = storage + na;
    node->next = alias_head;
    alias_head = node;
    return 1;
}

const char* vesk_alias_lookup(const char* name)
{
    for (alias_node* a = alias_head; a; a = a->next)
        if (strcmp(a->alias, name) == 0) return a->target;
    return name;
}

int vesk_name_compare(const char* a, const char* b)
{
    const unsigned char* p = reinterpret_cast<const unsigned char*>(a);
    const unsigned char* q = reinterpret_cast<const unsigned char*>(b);
    for (;; p++, q++) {
        int x = relaxed(*p), y = relaxed(*q);
        if (x != y || !*p || !*q) return x - y;
    }
}

void vesk_log_reset_for_tests()
{
    std::lock_guard<std::mutex> lock(log_mutex);
    if (log_file) fclose(log_file);
    log_file = nullptr;
    log_opened = false;
    options_text = nullptr;
}
