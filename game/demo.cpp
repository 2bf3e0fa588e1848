#include "game/demo.h"

#include <sys/stat.h>

#include <cmath>
#include <cstdio>
#include <cstring>

#include "ai/line_recorder.h"
#include "core/game_state.h"
#include "core/vfs.h"
#include "game/race_reset.h"
#include "game/results.h"
#include "game/sim_tic.h"
#include "game/state_history.h"
#include "physics/bike_info.h"
#include "physics/lap_timing.h"
#include "physics/physics_world.h"
#include "physics/rider_state.h"
#include "script/script_host.h"
#include "terrain/erode.h"
#include "ui/console.h"
#include "ui/engine_sound.h"
#include "ui/settings.h"

demo_replay_header demo_header;
char demo_track[256];
int32_t demo_slot_map[rider_slot_count];
int32_t lap_mode_restart_count;

namespace {

// Texts of chat, erosion and script chunks are read up to this many bytes.
constexpr int32_t text_limit = 1023;
// A chunk that claims more than this is damage, not data: nothing the game
// writes comes near it (a full state chunk is 160 x 128 x 44 bytes).
constexpr int64_t chunk_limit = int64_t(1) << 30;

struct demo_writer_state {
    vfs_stream file;
    int open;
    uint32_t previous_length;
    int32_t rider_count;
    int32_t header_length;  // bytes of the header line as first written
    int32_t rider_index[rider_slot_count];
    char save_name[1024];
};
demo_writer_state writer;

struct demo_reader_state {
    vfs_stream file;
    int open;
    int64_t data_start;
    int64_t offset;          // where the next chunk (or frame) starts
    uint32_t previous_length;
    int32_t next_tic;
    int32_t time_base;       // -1 until the first state chunk (or frame)
    int32_t tic_offset;
    int32_t first_frame_tic; // versions 4 and 5: the tic of frame 0
    int64_t ruts_applied;    // furthest chunk whose ruts were dug
    int64_t position;        // where the stream stands, -1 unknown
    int64_t file_length;     // bytes of the file, -1 unknown (a packed member)
};
demo_reader_state reader;

uint32_t read_u32(const uint8_t* p)
{
    return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}

void put_u32(uint8_t* p, uint32_t v)
{
    for (int i = 0; i < 4; i++) p[i] = uint8_t(v >> (8 * i));
}

// The header line. Every number has a fixed width so that demo_finish can
// rewrite it in place without running into the track line; readers take
// "%d", which skips the padding.
int format_header(char* out, int size, int32_t riders, int32_t race_time, int32_t laps, int32_t gate_drop)
{
    return snprintf(out, size_t(size), "ZT06 %3d %10d %4d %4d\n", int(riders), int(race_time), int(laps),
                    int(gate_drop));
}

// Copies a header text cut to the field, with line breaks and the field
// separator made blanks so the line structure always reads back.
void put_field(char* out, const char* text)
{
    int n = 0;
    for (; text && text[n] && n < demo_field_size - 1; n++) {
        char c = text[n];
        out[n] = (c == '\n' || c == '\r' || c == '|') ? ' ' : c;
    }
    out[n] = 0;
}

void rotate_backups()
{
    int32_t backups = settings.demo_backups;
    int32_t kept = backups < 100 ? backups : 100;
    char from[64], to[64];
    for (int32_t n = kept - 2; n >= 0; n--) {
        snprintf(from, sizeof from, "@demos/default%02d.ztdemo", int(n));
        snprintf(to, sizeof to, "@demos/default%02d.ztdemo", int(n + 1));
        vfs_rename(from, to);
    }
    if (backups > 0)
        vfs_rename("@demos/default.ztdemo", "@demos/default00.ztdemo");
}

void track_file_name(char* out, int size, const char* file)
{
    snprintf(out, size_t(size), "@%s/%s", track_dir, file);
}

void close_reader()
{
    if (reader.open) vfs_close_in_place(&reader.file);
    reader.open = 0;
    demo_header.version = 0;
}

// Moves the reader to an absolute offset; 0 when the offset cannot be a
// position in the file.
int reader_seek(int64_t offset)
{
    // Chunks are mostly read in order: a seek to where the stream already
    // stands would only throw its buffer away.
    if (offset == reader.position) return 1;
    reader.position = -1;
    if (offset < 0 || offset > int64_t(UINT32_MAX) - 1 || !vfs_seek(&reader.file, uint32_t(offset))) return 0;
    reader.position = offset;
    return 1;
}

// The bytes a stream holds: a member's own length, a plain file's size;
// -1 when it cannot be told.
int64_t stream_length(vfs_stream* stream)
{
    if (stream->compressed) return -1;
    if (stream->member_length != vfs_unlimited) return stream->member_length;
    struct stat info;
    if (fstat(fileno(stream->host), &info) != 0) return -1;
    return int64_t(info.st_size);
}

// Reads count bytes; the number read.
int reader_read(void* out, int count)
{
    int got = vfs_read(&reader.file, out, count);
    if (reader.position >= 0) reader.position += got;
    return got;
}

// Reads one line with its line break into buffer; 0 for a line without one
// (the end of the file, or longer than the buffer). *bytes counts the bytes.
int read_line(char* buffer, int size, int64_t* bytes)
{
    if (!vfs_gets(&reader.file, buffer, size)) return 0;
    size_t n = strlen(buffer);
    *bytes += int64_t(n);
    if (n == 0 || buffer[n - 1] != '\n') return 0;
    buffer[--n] = 0;
    if (n > 0 && buffer[n - 1] == '\r') buffer[--n] = 0;
    return 1;
}

// Splits "bike|rider|bike skin|wheel|head" into the rider's fields, each cut
// to 63 characters; missing fields stay empty.
void split_rider_line(const char* line, demo_rider* r)
{
    char* fields[5] = {r->bike, r->rider_skin, r->bike_skin, r->wheel_skin, r->head_skin};
    int f = 0, n = 0;
    for (const char* p = line; *p; p++) {
        if (*p == '|') {
            if (f == 4) break;
            fields[f][n] = 0;
            f++;
            n = 0;
            continue;
        }
        if (n < demo_field_size - 1) fields[f][n++] = *p;
    }
    fields[f][n] = 0;
}

int read_header_lines(int64_t* bytes)
{
    char line[512];
    if (!read_line(line, sizeof line, bytes)) return 0;
    int32_t v[5] = {0, 0, 0, 0, demo_default_gate_drop};
    int got = sscanf(line, "ZT%d %d %d %d %d", &v[0], &v[1], &v[2], &v[3], &v[4]);
    if (got < 3 || v[0] < 4 || v[0] > 6) return 0;
    if (v[1] < 0 || v[1] > rider_slot_count || v[2] < 0) return 0;
    demo_header.version = v[0];
    demo_header.rider_count = v[1];
    demo_header.race_time = v[2];
    demo_header.laps = got >= 4 ? v[3] : 0;
    demo_header.gate_drop_tic = got >= 5 ? v[4] : demo_default_gate_drop;
    if (!read_line(line, sizeof line, bytes) || !line[0] || strlen(line) >= sizeof demo_track) return 0;
    snprintf(demo_track, sizeof demo_track, "%.255s", line);
    for (int32_t i = 0; i < demo_header.rider_count; i++) {
        demo_rider* r = &demo_header.riders[i];
        if (!read_line(line, sizeof line, bytes)) return 0;
        split_rider_line(line, r);
        if (!read_line(line, sizeof line, bytes)) return 0;
        snprintf(r->number, sizeof r->number, "%.3s", line);
        if (demo_header.version < 6) continue;
        if (!read_line(line, sizeof line, bytes)) return 0;
        put_field(r->name, line);
        // Everything after the name up to the empty line (an empty name
        // is a line of its own, so at least one more line is read).
        do {
            if (!read_line(line, sizeof line, bytes)) return 0;
        } while (line[0]);
    }
    return 1;
}

// Reads n payload bytes into out (up to room) and skips the rest; the
// number read into out, -1 when the file ended first.
int32_t read_payload(int64_t length, uint8_t* out, int32_t room)
{
    int32_t want = length < room ? int32_t(length) : room;
    int32_t got = want > 0 ? reader_read(out, want) : 0;
    if (got < want) return -1;
    return got;
}

void apply_states(int32_t chunk_tic, int64_t length)
{
    if (chunk_tic < 0 || chunk_tic > demo_tic_limit) return;
    if (reader.time_base < 0) {
        reader.time_base = chunk_tic;
        if (lap_mode)
            reader.tic_offset = tic_counter - chunk_tic;
        else
            tic_counter = chunk_tic;
    }
    for (int64_t k = 0; k < length / demo_state_entry_bytes; k++) {
        uint8_t e[demo_state_entry_bytes];
        if (reader_read(e, demo_state_entry_bytes) != demo_state_entry_bytes) return;
        int32_t index = e[0];
        // An index past the header's riders, or one of a rider that was
        // not placed, belongs to no slot.
        if (index >= demo_header.rider_count || demo_slot_map[index] < 0) continue;
        rider_state_record record;
        memcpy(record.bytes, e + 5, rider_state_size);
        int64_t tic = int64_t(int32_t(read_u32(e + 1))) + reader.tic_offset;
        if (tic < 0 || tic > INT32_MAX) continue;
        add_state_to_history(demo_slot_map[index], record, int32_t(tic));
    }
}

void read_step_chunks()
{
    for (int n = 0; n < 128 && int64_t(tic_counter) >= int64_t(reader.next_tic) - 64; n++) {
        if (!reader_seek(reader.offset)) return;
        uint8_t frame[9];
        if (reader_read(frame, 9) != 9) return;
        uint32_t length = read_u32(frame) ^ reader.previous_length;
        int32_t chunk_tic = int32_t(read_u32(frame + 4));
        int channel = frame[8];
        if (int64_t(length) > chunk_limit) {
            // A damaged length: what follows cannot be framed.
            close_reader();
            return;
        }
        uint8_t text[text_limit + 1];
        int32_t got;
        switch (channel) {
        case demo_channel_states:
            // A length that is no whole number of entries is damage: skip it
            // whole without touching the time base.
            if (length % demo_state_entry_bytes == 0) apply_states(chunk_tic, length);
            break;
        case demo_channel_chat:
            got = read_payload(length, text, text_limit);
            if (got > 0) {
                text[got] = 0;
                console_print(reinterpret_cast<const char*>(text));
            }
            break;
        case demo_channel_erode: {
            got = read_payload(length, text, text_limit);
            int32_t rate;
            if (length <= uint32_t(text_limit) && got >= 0) {
                text[got] = 0;
                if (sscanf(reinterpret_cast<const char*>(text), "erode %d", &rate) == 1)
                    erosion_amount = rate < 0 ? 0 : rate > 102400 ? 102400 : rate;
            }
            break;
        }
        case demo_channel_ruts:
            // Ruts met again after a backward seek are already in the ground.
            got = read_payload(length, text, text_limit);
            if (length <= uint32_t(text_limit) && got >= 0 && reader.offset > reader.ruts_applied) {
                erode_message_receive(text, got);
                reader.ruts_applied = reader.offset;
            }
            break;
        case demo_channel_script:
            got = read_payload(length, text, text_limit);
            if (got >= 0) {
                text[got] = 0;
                script_message(reinterpret_cast<const char*>(text));
            }
            break;
        default:
            break;
        }
        reader.previous_length = length;
        reader.offset += int64_t(length) + 9;
        if (reader.time_base >= 0) {
            int64_t next = int64_t(chunk_tic) + reader.tic_offset;
            reader.next_tic = next > INT32_MAX ? INT32_MAX : next < INT32_MIN ? INT32_MIN : int32_t(next);
        }
    }
}

void read_step_frames()
{
    int size = rider_state_record_size(demo_header.version);
    while (int64_t(tic_counter) >= int64_t(reader.next_tic) - 8) {
        if (reader.time_base < 0) {
            reader.next_tic = tic_counter;
            reader.first_frame_tic = tic_counter;
            reader.time_base = 0;
        }
        if (!reader_seek(reader.offset)) return;
        int32_t used = 0;
        for (int slot = 0; slot < rider_slot_count && used < demo_header.rider_count; slot++) {
            if (!rider_table[slot] || slot_status[slot] != slot_driven_by_history) continue;
            rider_state_record record = {};
            int whole = reader_read(record.bytes, size) == size;
            // A rider without its record this tic falls silent.
            engine_sounds[slot].level = whole ? 1.0f : 0.0f;
            if (!whole) return;
            add_state_to_history(slot, record, reader.next_tic);
            used++;
        }
        // Records of riders beyond the present slots are passed over.
        reader.offset += int64_t(demo_header.rider_count) * size;
        reader.next_tic++;
    }
}

}  // namespace

// ---- Recording ---------------------------------------------------------------

int demo_recording() { return writer.open; }

int32_t demo_rider_index(int slot)
{
    if (!writer.open || slot < 0 || slot >= rider_slot_count) return -1;
    return writer.rider_index[slot];
}

int demo_request_save(const char* name)
{
    size_t n = name ? strlen(name) : 0;
    if (n == 0 || n >= sizeof writer.save_name || !strcmp(name, ".") || strstr(name, "..")) return 0;
    for (size_t i = 0; i < n; i++) {
        unsigned char c = static_cast<unsigned char>(name[i]);
        if (c == '/' || c == '\\' || c == ':' || c < 32 || c == 127) return 0;
    }
    memcpy(writer.save_name, name, n + 1);
    return 1;
}

void demo_begin()
{
    if (writer.open) demo_finish();
    char name[512];
    if (lap_mode) {
        track_file_name(name, sizeof name, "lastlap.ztdemo");
    } else {
        rotate_backups();
        snprintf(name, sizeof name, "%s", "@demos/default.ztdemo");
    }
    if (!vfs_open_into(&writer.file, name, "wb")) return;
    writer.open = 1;
    writer.previous_length = 0;
    writer.rider_count = 0;
    for (int slot = 0; slot < rider_slot_count; slot++)
        writer.rider_index[slot] = history_slot_in_demo(slot) ? writer.rider_count++ : -1;
    char header[128];
    writer.header_length =
        format_header(header, sizeof header, writer.rider_count, race_time_tics, race_laps, gate_drop_tic);
    vfs_puts(&writer.file, header);
    vfs_printf(&writer.file, "%s\n", track_dir);
    const bike_info* bikes = bike_info_table();
    for (int slot = 0; slot < rider_slot_count; slot++) {
        if (writer.rider_index[slot] < 0) continue;
        const rider* r = rider_table[slot];
        char f[7][demo_field_size];
        put_field(f[0], bikes ? bikes[r->bike_index].name : "");
        put_field(f[1], r->rider_texture.name);
        put_field(f[2], r->bike_texture.name);
        put_field(f[3], r->wheel_texture.name);
        put_field(f[4], r->head_texture.name);
        put_field(f[5], r->number);
        put_field(f[6], slot_rider_name[slot]);
        vfs_printf(&writer.file, "%s|%s|%s|%s|%s\n%s\n%s\n\n", f[0], f[1], f[2], f[3], f[4], f[5], f[6]);
    }
}

void demo_write_chunk(int channel, const void* bytes, int32_t length)
{
    if (!writer.open || length < 0) return;
    uint8_t frame[9];
    put_u32(frame, uint32_t(length) ^ writer.previous_length);
    put_u32(frame + 4, uint32_t(tic_counter));
    frame[8] = uint8_t(channel);
    vfs_write(&writer.file, frame, 9);
    if (length > 0) vfs_write(&writer.file, bytes, size_t(length));
    writer.previous_length = uint32_t(length);
}

void demo_flush()
{
    if (writer.open) vfs_flush(&writer.file);
}

void demo_finish()
{
    if (!writer.open) return;
    char header[128];
    int n = format_header(header, sizeof header, writer.rider_count, race_time_tics, race_laps, gate_drop_tic);
    // A longer line would run into the track line: keep the first header.
    if (n == writer.header_length && vfs_seek(&writer.file, 0)) vfs_puts(&writer.file, header);
    vfs_close_in_place(&writer.file);
    writer.open = 0;
    if (writer.save_name[0]) {
        char to[1100];
        snprintf(to, sizeof to, "@demos/%s", writer.save_name);
        if (!lap_mode) vfs_rename("@demos/default.ztdemo", to);
        writer.save_name[0] = 0;
    }
}

// ---- Replay -------------------------------------------------------------------

int demo_open(const char* file_name)
{
    close_reader();
    memset(&demo_header, 0, sizeof demo_header);
    demo_track[0] = 0;
    for (int32_t& m : demo_slot_map) m = -1;
    char name[512];
    if (file_name)
        snprintf(name, sizeof name, "%s", file_name);
    else if (lap_mode)
        track_file_name(name, sizeof name, "fastlap.ztdemo");
    else
        snprintf(name, sizeof name, "%s", "@demos/default.ztdemo");
    if (!vfs_open_into(&reader.file, name, "rb")) return 0;
    reader.open = 1;
    int64_t bytes = 0;
    if (!read_header_lines(&bytes)) {
        close_reader();
        memset(&demo_header, 0, sizeof demo_header);
        demo_track[0] = 0;
        return 0;
    }
    reader.file_length = stream_length(&reader.file);
    reader.data_start = bytes;
    reader.offset = bytes;
    reader.position = bytes;
    reader.previous_length = 0;
    reader.next_tic = 1;
    reader.time_base = -1;
    reader.tic_offset = 0;
    reader.first_frame_tic = 0;
    reader.ruts_applied = 0;
    return 1;
}

void demo_close() { close_reader(); }

int demo_replay_version() { return reader.open ? demo_header.version : 0; }

int demo_record_version() { return demo_replay_version() == 4 ? 4 : rider_state_version; }

void demo_read_step()
{
    if (!reader.open) return;
    if (demo_header.version == 6)
        read_step_chunks();
    else
        read_step_frames();
}

int demo_position(int32_t target)
{
    if (!reader.open) return 0;
    if (demo_header.version != 6) {
        int64_t k = int64_t(target) - reader.first_frame_tic;
        if (k < 0) k = 0;
        // 64-bit: a long demo of many riders passes 4 GiB of frames long
        // before its tic count overflows.
        int64_t frame = int64_t(demo_header.rider_count) * rider_state_record_size(demo_header.version);
        int64_t offset = reader.data_start + frame * k;
        // A frame the file does not hold whole is no place to stand: the
        // stream would seek past the end and read nothing.
        if (reader.file_length < 0 || offset + frame > reader.file_length) return 0;
        if (!reader_seek(offset)) return 0;
        reader.offset = offset;
        reader.next_tic = target;
        return 1;
    }
    int64_t stop_at = target >= 64 ? int64_t(target) - 64 : 0;
    int ok = 1;
    while (reader.offset > reader.data_start) {
        int64_t start = reader.offset - (int64_t(reader.previous_length) + 9);
        uint8_t frame[8];
        if (start < reader.data_start || !reader_seek(start) || reader_read(frame, 8) != 8) {
            ok = 0;
            break;
        }
        reader.offset = start;
        reader.previous_length ^= read_u32(frame);
        if (int64_t(int32_t(read_u32(frame + 4))) <= stop_at) break;
    }
    reader.next_tic = target;
    return ok;
}

// ---- Lap mode ---------------------------------------------------------------

void demo_stop()
{
    close_reader();
    history_record_tic(1);
    demo_finish();
    for (int slot = 1; slot < rider_slot_count; slot++) {
        if (rider_table[slot]) {
            rider_destroy(rider_table[slot]);
            rider_table[slot] = nullptr;
        }
        slot_status[slot] = slot_driven_by_history;
    }
}

int32_t lap_restart_index(int32_t first, int32_t normal, int32_t restarts)
{
    if (normal <= 0) return 0;
    int64_t d = int64_t(first) + normal - restarts;
    int64_t c = d < first ? first : d;
    if (c < 0) c = 0;
    if (c >= first) {
        int64_t step = d < first ? 0 : int64_t(normal) - restarts;
        c = first + ((step % normal) + normal) % normal;
    }
    return int32_t(c);
}

void lap_mode_restart()
{
    demo_stop();
    rider* player = rider_table[0];
    if (!player) return;
    const timing_gates_record& g = timing_gates;
    int32_t first = g.first_lap_entries;
    int32_t c = lap_restart_index(first, g.normal_lap_entries, lap_mode_restart_count);
    // Before the first gate of the sequence there is no gate to stand at:
    // the start gate 0 (or the terrain centre) is where the lap begins.
    start_place at = start_place_of(0);
    int32_t entry = c > 0 && g.checkpoint_count > 0 ? gate_number_at(c - 1) : -1;
    if (entry >= lap_entry_marked) entry -= lap_entry_marked;
    if (entry >= 0 && entry < g.checkpoint_count) {
        const checkpoint& cp = g.checkpoints[entry];
        at = {cp.x, cp.z, std::atan2(-cp.dx, -cp.dz)};
    }
    drop_onto_ground(player, at);
    dJointGroupEmpty(contact_joint_group);
    rider_truncate_gates(player, first > 1 ? first - 1 : 0);
    last_lap_tics = 0;
    if (!results_final) results_finish();
}
