#pragma once
// The virtual file system. Game data is named by "@" names ("@config",
// "@tracks/x/desc"): such a name is looked up under the search roots (the
// player's folder, then the data root), with ".gz" appended, and finally in
// the file index, which lists every file under the roots and every member of
// the ".saf" archives found there. A name without "@" is a plain path.
//
// Every loader reads through vfs_stream: a plain file, a gzip-compressed file
// decompressed while it is read, or an archive member (a byte range of a
// larger file, itself plain or gzip). Text formats are parsed with the
// system's own scanf engine, vfs_scanf.
#include <zlib.h>

#include <cstdint>
#include <cstdio>
#include <type_traits>

#include "core/array.h"

// Longest path a resolved name may have, terminator included; a longer one
// fails instead of being cut (a cut path would name a different file).
constexpr int vfs_path_max = 512;
// Member length of a file of its own and of every gzip stream.
constexpr uint32_t vfs_unlimited = 0x7FFFFFFF;

struct vfs_stream {
    FILE* host;                 // the C runtime file
    int32_t member_start;       // offset of the member in host (0 for a file of its own)
    uint32_t member_length;     // limit on bytes delivered
    uint32_t position;          // bytes delivered so far (decompressed bytes for gzip)
    int32_t lookahead;          // one byte pushed back by the scanf engine, -1 when empty
    int32_t compressed;         // 1 for a gzip stream
    uint32_t compressed_length; // compressed bytes of the member (archive size or vfs_unlimited)
    int32_t end_of_data;        // the deflate stream ended (or failed)
    z_stream zlib;
    uint8_t input[16384];       // compressed bytes
    uint8_t window[1024];       // decompressed bytes
    uint8_t* read_pointer;      // next undelivered byte of the window
    uint8_t* window_end;        // end of the decompressed bytes in the window
    // Text streams (mode without "b") drop a "\r" before "\n" in vfs_getc,
    // vfs_gets and vfs_scanf (vfs_read delivers every byte); the byte read
    // after a lone "\r" waits here, ahead of the host file.
    int32_t text_mode;
    int32_t after_cr;
    uint32_t compressed_left;   // compressed bytes of the member not yet read from host
    uint32_t crc;               // CRC-32 of the decompressed bytes, checked at the end
    int32_t damaged;            // the data failed its checks (see vfs_error)
    char path[vfs_path_max];    // for messages: the file, or "archive:member"
};

// ---- Opening and closing ------------------------------------------------

// Modes are fopen's, with an optional leading "~": when writing, a file that
// exists is first copied to "<path>.~N~" with the first free N in 1..9999.
int vfs_open_into(vfs_stream* stream, const char* name, const char* mode);
vfs_stream* vfs_open(const char* name, const char* mode);
// Closes and frees a stream from vfs_open.
void vfs_close(vfs_stream* stream);
// Closes a record opened with vfs_open_into without freeing it.
void vfs_close_in_place(vfs_stream* stream);
// Opens one resolved path (no "@" rules): for reading, path + ".gz" is tried
// when path does not open; for writing, missing folders are created.
int vfs_open_path(vfs_stream* stream, const char* path, const char* mode);
// Opens size bytes at offset of container for reading, as a gzip member when
// gzip is set; member (may be null) names it in messages.
int vfs_open_member(vfs_stream* stream, const char* container, int32_t offset, int32_t size, int gzip,
                    const char* mode, const char* member = nullptr);
// folder + "/" + file, opened with vfs_open.
vfs_stream* open_in_dir(const char* folder, const char* file, const char* mode);
// The whole file as a zero-terminated heap string (free with alloc_check_free);
// null when it cannot be read, is damaged (see vfs_error) or holds more than
// 16 MiB.
char* file_to_string(const char* name);
// Renames atomically (the target is replaced); both names resolve as writes.
int vfs_rename(const char* old_name, const char* new_name);

// Writing a file whole without ever leaving it half written: the bytes go
// to name + ".new", which replaces name only once it is complete.
vfs_stream* vfs_open_replacement(const char* name);
// Flushes and closes the stream, then renames it over name: 1 on success.
// On any failure the temporary is removed and name keeps what it held.
int vfs_commit_replacement(vfs_stream* stream, const char* name);

// ---- Reading ---------------------------------------------------------------

int vfs_getc(vfs_stream* stream);
// One line with its "\n" (at most size-1 bytes), zero-terminated; null at the
// end of the data with nothing read, or for a size below 1.
char* vfs_gets(vfs_stream* stream, char* buffer, int size);
// Up to count bytes; the pushed-back byte counts toward count.
int vfs_read(vfs_stream* stream, void* buffer, int count);
// Nonzero once the stream met damaged data (a gzip member cut short, corrupt
// or failing its CRC-32 or length check; reported once, naming the file) or
// its file failed to read. Reads then deliver what came out and end. Loaders
// test it after reading to the end, since a gzip member's check comes after
// its last byte.
int vfs_error(const vfs_stream* stream);
// The system's scanf: "%d %i %o %x %X %f %s %c %[ %n %%", with "*", a width,
// "h" (int16_t), "l"/"ll"/"L"/"q" (double, long double for "f"). Integers are
// always stored as int32_t (int16_t with "h"), "%ld" too. Returns the number
// of stored conversions; -1 at the end of the input before the first one, or
// whenever a literal format character does not match. A suppressed scan set
// ("%*[...]") ends the scan.
int vfs_scanf_args(vfs_stream* stream, const char* format, ...);
// The typed entry: integer pointers must be int32_t* (or int16_t* with "h");
// a long* would get only half of its bytes written, so it does not compile.
template <class... Args> int vfs_scanf(vfs_stream* stream, const char* format, Args... args)
{
    static_assert(((!std::is_same_v<Args, long*> && !std::is_same_v<Args, unsigned long*> &&
                    !std::is_same_v<Args, long long*> && !std::is_same_v<Args, unsigned long long*> &&
                    !std::is_same_v<Args, int64_t*> && !std::is_same_v<Args, uint64_t*>) && ...),
                  "vfs_scanf stores 32-bit integers: pass int32_t*");
    return vfs_scanf_args(stream, format, args...);
}
// Positions a plain stream or member at offset; 0 for gzip or past the end.
int vfs_seek(vfs_stream* stream, uint32_t offset);

// ---- Writing (plain streams opened for writing) ----------------------------

int vfs_putc(vfs_stream* stream, int byte);
int vfs_puts(vfs_stream* stream, const char* text);
size_t vfs_write(vfs_stream* stream, const void* data, size_t count);
int vfs_printf(vfs_stream* stream, const char* format, ...) __attribute__((format(printf, 2, 3)));
int vfs_flush(vfs_stream* stream);

// ---- Search roots and name resolution ---------------------------------------

// The i-th search root (ending in "/"), null past the last. Root 0 is the
// player's folder when $XDG_DATA_HOME or $HOME gives one; then the data root
// ($ZT_HOME, else the executable's folder).
const char* vfs_root(int i);
int vfs_root_count();
// The index of the data root among the roots, -1 when there is none.
int vfs_data_root_index();
// Turns "@name" into root + name in out; 0 when the name is refused (absolute,
// a ".." component) or the path does not fit. Writes go to the first root.
int vfs_resolve_for_write(const char* name, char* out, int size);

// ---- The file index --------------------------------------------------------

struct vfs_index_entry {
    char* name;             // owned: the file's path, or the member name
    const char* container;  // the file that holds the data (the file itself, or the archive)
    const char* lookup;     // the name relative to its root, or the member name
    int32_t offset;         // in the container
    int32_t size;
    int32_t priority;       // lower wins: root i, then archives from the root count on
};

// Builds the index on the first call; the sorted, null-terminated list of
// distinct lookup names (equal ignoring case counted once).
const char* const* vfs_build_index();
// lookup name " -> " container into buffer; 0 without an index or for a bad i.
int vfs_index_entry_text(int i, char* buffer, int size);
// Nonzero when the index holds the name (no leading "@"; case ignored).
int vfs_exists(const char* name);
// The entry that a read of name would use (priority first, then exact case);
// null when none. *gzip is set when the ".gz" entry won.
const vfs_index_entry* vfs_index_find(const char* name, int* gzip);
int vfs_index_count();

// ---- Start-up, tuning, shut-down ---------------------------------------------

// The stock data archive that marks a data root, and the RIPEMD-160 of its
// first MiB.
extern const char vfs_stock_archive_name[];
extern const char vfs_stock_archive_digest[];
// Creates the player's folder, points the log at "lastlog.txt" there, and
// returns 1 when some root holds the stock data archive.
int open_startup_log();
// Creates the player's folder and opens it in the desktop's file browser.
void vfs_open_home_folder();
void tune_process_memory();
// Frees the roots and the index; the next use computes them again.
void vfs_shutdown();
