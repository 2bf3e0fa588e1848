#pragma once
// The process-wide log, the VESK_OPTIONS environment options and the small
// name services (intern table, input-name aliases, relaxed name comparison).

// Writes one line, prefixed with the platform clock as "[h:mm:ss.hh] ". The
// first call decides the file (see vesk_log.cpp); a null format closes it.
void vesk_log(const char* format, ...) __attribute__((format(printf, 1, 2)));
void vesk_error(const char* text);

// "[name:value]" anywhere in VESK_OPTIONS; the default when absent or unreadable.
int vesk_option_bool(const char* name, int default_value);
int vesk_option_int(const char* name, int default_value);

// Interned copy with an address stable for the run; null when out of memory.
const char* vesk_intern(const char* text);
// The first alias of a name wins; 0 when refused.
int vesk_alias_add(const char* alias, const char* target);
// The target of the alias, or name itself (the same pointer) when none.
const char* vesk_alias_lookup(const char* name);
// strcmp-like, with white space and "_" as one blank and letters caseless.
int vesk_name_compare(const char* a, const char* b);

// Formats the log prefix for a clock reading into out (at least 32 bytes).
void vesk_log_prefix(char* out, int size, int seconds, int microseconds);
// Forgets the log's state, so tests can exercise the first-call rules again.
void vesk_log_reset_for_tests();
