// File streams: plain files, gzip files and archive members, read through
// one record; backups on save; whole-file reads.
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdarg>
#include <cstring>
#include <initializer_list>

#include "core/alloc.h"
#include "core/util.h"
#include "core/vfs.h"
#include "platform/vesk_log.h"
#include "ui/console.h"

namespace {

constexpr uint32_t file_to_string_limit = 0x1000000;

bool mode_writes(const char* mode)
{
    if (mode[0] == '~') mode++;
    return !strchr(mode, 'r') || strchr(mode, '+');
}

bool file_exists(const char* path)
{
    struct stat st;
    return stat(path, &st) == 0;
}

// Every missing folder on the way to path (not the last component).
void make_parent_folders(const char* path)
{
    size_t n = strlen(path);
    if (n >= 1023) return;
    char prefix[1024];
    for (size_t i = 1; i < n; i++) {
        if (path[i] != '/') continue;
        memcpy(prefix, path, i);
        prefix[i] = 0;
        mkdir(prefix, 0777);
    }
}

// Copies path to backup; 1 when every byte arrived.
int copy_file(const char* path, const char* backup)
{
    FILE* in = fopen(path, "rb");
    if (!in) return 0;
    FILE* out = fopen(backup, "wb");
    if (!out) {
        fclose(in);
        return 0;
    }
    static char block[65536];
    bool ok = true;
    size_t n;
    while ((n = fread(block, 1, sizeof block, in)) > 0)
        if (fwrite(block, 1, n, out) != n) ok = false;
    if (ferror(in)) ok = false;
    fclose(in);
    if (fclose(out) != 0) ok = false;
    return ok;
}

// fopen, after saving a copy of an existing file to "<path>.~N~" when the
// mode begins with "~".
FILE* open_with_backup(const char* path, const char* mode)
{
    if (mode[0] != '~') return fopen(path, mode);
    mode++;
    if (strlen(path) <= 1000 && file_exists(path)) {
        char backup[1024];
        int i = 1;
        for (; i <= 9999; i++) {
            snprintf(backup, sizeof backup, "%s.~%d~", path, i);
            if (!file_exists(backup)) break;
        }
        if (i > 9999) {
            // Every backup name is taken: the save still goes ahead.
            console_printf("Can't back up %.900s", path);
        } else if (!copy_file(path, backup)) {
            console_printf("Can't back up %.900s to %.900s", path, backup);
            return nullptr;
        }
    }
    return fopen(path, mode);
}

void init_stream(vfs_stream* s, FILE* host, int32_t start, uint32_t length, const char* path, const char* mode)
{
    s->host = host;
    s->member_start = start;
    s->member_length = length;
    s->position = 0;
    s->lookahead = -1;
    s->compressed = 0;
    s->compressed_length = 0;
    s->end_of_data = 0;
    s->read_pointer = s->window_end = s->window;
    s->text_mode = strchr(mode, 'b') == nullptr;
    s->after_cr = -1;
    s->compressed_left = 0;
    s->crc = 0;
    s->damaged = 0;
    copy_bounded(s->path, path, sizeof s->path);
}

// Reads the gzip member header (RFC 1952) at the stream's position and sets
// up raw inflate after it.
int gzip_begin(vfs_stream* s)
{
    uint32_t want = s->member_length < sizeof s->input ? s->member_length : uint32_t(sizeof s->input);
    size_t got = fread(s->input, 1, want, s->host);
    s->compressed = 1;
    s->compressed_length = s->member_length;
    s->compressed_left = s->member_length - uint32_t(got);
    s->member_length = vfs_unlimited;
    const uint8_t* b = s->input;
    if (got < 10 || b[0] != 0x1F || b[1] != 0x8B || b[2] != 8 || b[3] >= 32) {
        console_printf("Bad gzip header in '%.400s'", s->path);
        return 0;
    }
    int flags = b[3];
    size_t p = 10;
    if (flags & 4) {
        if (p + 2 > got) goto cut;
        p += 2 + size_t(b[p] | b[p + 1] << 8);
        if (p > got) goto cut;
    }
    for (int bit : {8, 16}) {
        if (!(flags & bit)) continue;
        const void* zero = memchr(b + p, 0, got - p);
        if (zero) {
            p = size_t(static_cast<const uint8_t*>(zero) - b) + 1;
        } else {
            if (flags & 2) goto cut;
            p = got;
        }
    }
    if (flags & 2) {
        p += 2;
        if (p > got) goto cut;
    }
    memset(&s->zlib, 0, sizeof s->zlib);
    if (inflateInit2(&s->zlib, -15) != Z_OK) {
        console_printf("Can't start decompressing '%.400s'", s->path);
        return 0;
    }
    s->zlib.next_in = s->input + p;
    s->zlib.avail_in = uInt(got - p);
    s->crc = uint32_t(crc32(0, nullptr, 0));
    return 1;
cut:
    console_printf("Truncated gzip header in '%.400s'", s->path);
    return 0;
}

// Refills zlib's input with compressed bytes of this member only, so a damaged
// member never runs on into the next one.
void gzip_refill(vfs_stream* s)
{
    if (s->zlib.avail_in > 0 || s->compressed_left == 0) return;
    uint32_t want = s->compressed_left < sizeof s->input ? s->compressed_left : uint32_t(sizeof s->input);
    size_t got = fread(s->input, 1, want, s->host);
    s->compressed_left = got < want ? 0 : s->compressed_left - uint32_t(got);
    s->zlib.next_in = s->input;
    s->zlib.avail_in = uInt(got);
}

// The eight bytes after the deflate stream: CRC-32 and length of the data.
void gzip_check_trailer(vfs_stream* s)
{
    uint8_t t[8];
    size_t n = 0;
    while (n < 8) {
        gzip_refill(s);
        if (s->zlib.avail_in == 0) break;
        t[n++] = *s->zlib.next_in++;
        s->zlib.avail_in--;
    }
    if (n < 8) {
        console_printf("Truncated gzip data in '%.400s'", s->path);
        s->damaged = 1;
        return;
    }
    uint32_t crc = uint32_t(t[0] | t[1] << 8 | t[2] << 16 | uint32_t(t[3]) << 24);
    uint32_t size = uint32_t(t[4] | t[5] << 8 | t[6] << 16 | uint32_t(t[7]) << 24);
    if (crc != s->crc || size != uint32_t(s->zlib.total_out)) {
        console_printf("Checksum mismatch in gzip data '%.400s'", s->path);
        s->damaged = 1;
    }
}

// Inflates up to room bytes into out; sets end_of_data at the end of the
// member or on damage (reported once).
uint32_t gzip_inflate(vfs_stream* s, uint8_t* out, uint32_t room)
{
    uint32_t made = 0;
    while (made < room && !s->end_of_data) {
        gzip_refill(s);
        if (s->zlib.avail_in == 0) {
            console_printf("Truncated gzip data in '%.400s'", s->path);
            s->end_of_data = 1;
            s->damaged = 1;
            break;
        }
        s->zlib.next_out = out + made;
        s->zlib.avail_out = room - made;
        int r = inflate(&s->zlib, Z_NO_FLUSH);
        uint32_t produced = room - made - s->zlib.avail_out;
        s->crc = uint32_t(crc32(s->crc, out + made, produced));
        made += produced;
        if (r == Z_STREAM_END) {
            s->end_of_data = 1;
            gzip_check_trailer(s);
        } else if (r != Z_OK && !(r == Z_BUF_ERROR && produced > 0)) {
            console_printf("Corrupt gzip data in '%.400s'", s->path);
            s->end_of_data = 1;
            s->damaged = 1;
        }
    }
    return made;
}

// Decompressed read: the window's undelivered bytes first; large requests
// inflate straight into the caller's buffer.
uint32_t gzip_read(vfs_stream* s, uint8_t* out, uint32_t count)
{
    uint32_t done = 0;
    for (;;) {
        uint32_t have = uint32_t(s->window_end - s->read_pointer);
        uint32_t take = have < count - done ? have : count - done;
        memcpy(out + done, s->read_pointer, take);
        s->read_pointer += take;
        done += take;
        if (done == count || s->end_of_data) break;
        if (count - done >= sizeof s->window) {
            done += gzip_inflate(s, out + done, count - done);
        } else {
            s->read_pointer = s->window_end = s->window;
            s->window_end += gzip_inflate(s, s->window, sizeof s->window);
        }
    }
    s->position += done;
    return done;
}

// One byte from the member, or -1.
int source_byte(vfs_stream* s)
{
    if (s->compressed) {
        uint8_t c;
        if (s->read_pointer < s->window_end) {
            c = *s->read_pointer++;
            s->position++;
            return c;
        }
        return gzip_read(s, &c, 1) == 1 ? c : -1;
    }
    if (s->position >= s->member_length) return -1;
    int c = getc_unlocked(s->host);
    if (c == EOF) return -1;
    s->position++;
    return c;
}

} // namespace

int vfs_open_path(vfs_stream* stream, const char* path, const char* mode)
{
    if (mode_writes(mode)) {
        make_parent_folders(path);
        FILE* f = open_with_backup(path, mode);
        if (!f) return 0;
        init_stream(stream, f, 0, vfs_unlimited, path, mode);
        return 1;
    }
    FILE* f = open_with_backup(path, mode);
    struct stat st;
    if (f && fstat(fileno(f), &st) == 0 && S_ISDIR(st.st_mode)) {
        fclose(f);
        f = nullptr;
    }
    if (f) {
        init_stream(stream, f, 0, vfs_unlimited, path, mode);
        return 1;
    }
    char gz_path[1024];
    if (strlen(path) + 4 > sizeof gz_path) return 0;
    snprintf(gz_path, sizeof gz_path, "%s.gz", path);
    f = open_with_backup(gz_path, mode);
    if (!f) return 0;
    init_stream(stream, f, 0, vfs_unlimited, gz_path, mode);
    if (!gzip_begin(stream)) {
        fclose(f);
        return 0;
    }
    return 1;
}

int vfs_open_member(vfs_stream* stream, const char* container, int32_t offset, int32_t size, int gzip,
                    const char* mode, const char* member)
{
    FILE* f = fopen(container, "rb");
    if (!f) return 0;
    if (offset < 0 || size < 0 || fseek(f, offset, SEEK_SET) != 0) {
        fclose(f);
        return 0;
    }
    init_stream(stream, f, offset, uint32_t(size), container, mode);
    if (member) snprintf(stream->path, sizeof stream->path, "%s:%s", container, member);
    if (gzip && !gzip_begin(stream)) {
        fclose(f);
        return 0;
    }
    return 1;
}

vfs_stream* vfs_open(const char* name, const char* mode)
{
    vfs_stream* s = static_cast<vfs_stream*>(alloc_check_malloc(sizeof(vfs_stream)));
    if (!s) return nullptr;
    if (!vfs_open_into(s, name, mode)) {
        alloc_check_free(s);
        return nullptr;
    }
    return s;
}

void vfs_close_in_place(vfs_stream* stream)
{
    if (stream->compressed) inflateEnd(&stream->zlib);
    fclose(stream->host);
    stream->host = nullptr;
}

void vfs_close(vfs_stream* stream)
{
    if (!stream) return;
    vfs_close_in_place(stream);
    alloc_check_free(stream);
}

vfs_stream* open_in_dir(const char* folder, const char* file, const char* mode)
{
    size_t n = strlen(folder) + strlen(file) + 2;
    char* path = static_cast<char*>(xmalloc(n));
    snprintf(path, n, "%s/%s", folder, file);
    vfs_stream* s = vfs_open(path, mode);
    alloc_check_free(path);
    return s;
}

int vfs_getc(vfs_stream* s)
{
    if (s->lookahead >= 0) {
        int c = s->lookahead;
        s->lookahead = -1;
        return c;
    }
    int c;
    if (s->after_cr >= 0) {
        c = s->after_cr;
        s->after_cr = -1;
    } else {
        c = source_byte(s);
    }
    if (c == '\r' && s->text_mode) {
        int next = source_byte(s);
        if (next == '\n') return '\n';
        s->after_cr = next;
    }
    return c;
}

char* vfs_gets(vfs_stream* s, char* buffer, int size)
{
    if (size < 1) return nullptr;
    int n = 0;
    while (n < size - 1) {
        int c = vfs_getc(s);
        if (c < 0) break;
        buffer[n++] = char(c);
        if (c == '\n') break;
    }
    buffer[n] = 0;
    if (n == 0 && size > 1) return nullptr;
    return buffer;
}

int vfs_read(vfs_stream* s, void* buffer, int count)
{
    if (count <= 0) return 0;
    uint8_t* out = static_cast<uint8_t*>(buffer);
    uint32_t done = 0, want = uint32_t(count);
    if (s->lookahead >= 0) {
        out[done++] = uint8_t(s->lookahead);
        s->lookahead = -1;
    }
    if (done < want && s->after_cr >= 0) {
        out[done++] = uint8_t(s->after_cr);
        s->after_cr = -1;
    }
    if (done < want) {
        if (s->compressed) {
            done += gzip_read(s, out + done, want - done);
        } else if (s->position < s->member_length) {
            uint32_t left = s->member_length - s->position;
            uint32_t n = want - done < left ? want - done : left;
            size_t got = fread(out + done, 1, n, s->host);
            s->position += uint32_t(got);
            done += uint32_t(got);
        }
    }
    return int(done);
}

int vfs_error(const vfs_stream* s) { return s->damaged || ferror(s->host); }

int vfs_seek(vfs_stream* s, uint32_t offset)
{
    if (s->compressed || offset >= s->member_length) return 0;
    if (fseek(s->host, long(s->member_start) + long(offset), SEEK_SET) != 0) return 0;
    s->lookahead = -1;
    s->after_cr = -1;
    // The member's limit is measured from its start: keep position in step.
    s->position = offset;
    return 1;
}

int vfs_putc(vfs_stream* s, int byte) { return fputc(byte, s->host) != EOF; }
int vfs_puts(vfs_stream* s, const char* text) { return fputs(text, s->host); }
size_t vfs_write(vfs_stream* s, const void* data, size_t count) { return fwrite(data, 1, count, s->host); }
int vfs_flush(vfs_stream* s) { return fflush(s->host); }

int vfs_printf(vfs_stream* s, const char* format, ...)
{
    va_list args;
    va_start(args, format);
    int r = vfprintf(s->host, format, args);
    va_end(args);
    return r;
}

int vfs_rename(const char* old_name, const char* new_name)
{
    char from[vfs_path_max], to[vfs_path_max];
    if (!vfs_resolve_for_write(old_name, from, sizeof from)) return 0;
    if (!vfs_resolve_for_write(new_name, to, sizeof to)) return 0;
    // rename replaces the target atomically: the old target survives a
    // failed rename.
    return rename(from, to) == 0;
}

namespace {
int replacement_name(const char* name, char* out, int size)
{
    int n = snprintf(out, size_t(size), "%s.new", name);
    return n > 0 && n < size;
}
}  // namespace

vfs_stream* vfs_open_replacement(const char* name)
{
    char temp[vfs_path_max];
    return replacement_name(name, temp, sizeof temp) ? vfs_open(temp, "wb") : nullptr;
}

int vfs_commit_replacement(vfs_stream* stream, const char* name)
{
    char temp[vfs_path_max], resolved[vfs_path_max];
    if (!stream) return 0;
    bool ok = vfs_flush(stream) == 0 && !ferror(stream->host);
    // On disk before the rename, so that even a crash of the machine finds
    // the old file or the whole new one.
    ok = ok && fsync(fileno(stream->host)) == 0;
    ok = fclose(stream->host) == 0 && ok;
    alloc_check_free(stream);  // a write stream holds no inflater
    if (!replacement_name(name, temp, sizeof temp)) return 0;
    if (ok && vfs_rename(temp, name)) return 1;
    if (vfs_resolve_for_write(temp, resolved, sizeof resolved)) remove(resolved);
    return 0;
}

char* file_to_string(const char* name)
{
    vfs_stream s;
    if (!vfs_open_into(&s, name, "rb")) return nullptr;
    char* text = static_cast<char*>(alloc_check_malloc(file_to_string_limit + 1));
    if (!text) {
        vfs_close_in_place(&s);
        return nullptr;
    }
    // One byte more than the limit tells a file of exactly the limit from a
    // longer one.
    int n = vfs_read(&s, text, int(file_to_string_limit + 1));
    int damaged = vfs_error(&s);
    vfs_close_in_place(&s);
    if (damaged) {
        // Part of a file is no use to any caller. Damaged gzip data was
        // reported by the stream, naming the file; a failed read was not.
        if (!s.damaged) console_printf("Error reading '%.400s'", s.path);
        alloc_check_free(text);
        return nullptr;
    }
    if (uint32_t(n) > file_to_string_limit) {
        vesk_log("File %s too long for file_to_string\n", name);
        alloc_check_free(text);
        return nullptr;
    }
    text[n] = 0;
    char* shrunk = static_cast<char*>(alloc_check_realloc(text, uint64_t(n) + 1));
    return shrunk ? shrunk : text;
}
