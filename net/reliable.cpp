// The reliable channel: the outgoing queue and its resend, the incoming
// order with its held ring, the items both ways, the server's text commands
// and the file upload.
#include "net/reliable.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <climits>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "core/alloc.h"
#include "core/game_state.h"
#include "core/util.h"
#include "core/vfs.h"
#include "game/demo.h"
#include "game/race_reset.h"
#include "game/results.h"
#include "net/client.h"
#include "net/wire.h"
#include "physics/lap_timing.h"
#include "physics/physics_tic.h"
#include "physics/rider.h"
#include "physics/rider_access.h"
#include "physics/setup.h"
#include "script/script_host.h"
#include "terrain/erode.h"
#include "ui/console.h"

reliable_message* reliable_head;

namespace {

constexpr double resend_interval = 0.5;
constexpr double part_interval = 0.25;
constexpr double redirect_delay = 10.0;
constexpr int part_bytes = 256;
constexpr int32_t gate_index_limit = 65536;  // 256 KB of gate tics per rider
constexpr int32_t knockout_max = 460800;     // one hour of tics
constexpr int32_t erosion_max = 102400;

reliable_message* tail;
reliable_message* free_nodes;
int32_t next_sequence;
uint32_t expected;

// Held ahead of turn: sequence s lives at s mod 1024, whole datagram kept.
struct held_datagram {
    int32_t present;
    uint32_t sequence;
    int32_t length;
    uint8_t data[net_receive_size + 1];
};
held_datagram held[reliable_held_max];

// The upload: the open file, whether the server said "sendready", when the
// next part may go, and the closing "namefile" text.
vfs_stream* upload_file;
int32_t uploading;
double next_part_time;
char namefile_text[reliable_body_max + 1];

char redirect_to[128];
double redirect_time;  // 0: none pending
int32_t redirect_fired;

// Nodes come from a free list refilled 64 at a time, so a steady race
// allocates nothing per message.
reliable_message* take_node()
{
    if (!free_nodes) {
        constexpr int block = 64;
        auto* nodes = static_cast<reliable_message*>(alloc_check_malloc(sizeof(reliable_message) * block));
        for (int i = 0; i < block; i++) {
            nodes[i].next = free_nodes;
            free_nodes = &nodes[i];
        }
    }
    reliable_message* m = free_nodes;
    free_nodes = m->next;
    return m;
}

void give_node(reliable_message* m)
{
    m->next = free_nodes;
    free_nodes = m;
}

reliable_message* queue_item(int kind)
{
    reliable_message* m = net_queue_message();
    if (!m) return nullptr;
    uint8_t k = uint8_t(kind);
    reliable_put(m, &k, 1);
    return m;
}

int sendpart_queued()
{
    for (const reliable_message* m = reliable_head; m; m = m->next)
        if (m->length >= 24 && m->buffer[13] == reliable_file && !memcmp(m->buffer + 14, "sendpart -", 10)) return 1;
    return 0;
}

void upload_close()
{
    if (upload_file) vfs_close(upload_file);
    upload_file = nullptr;
    uploading = 0;
}

void upload_step()
{
    if (!uploading || !upload_file || game_clock < next_part_time) return;
    // One part at a time: on a slow link the queue must not fill with the
    // whole file while the first part still waits for its acknowledgement.
    if (sendpart_queued()) return;
    next_part_time = game_clock + part_interval;
    uint8_t part[part_bytes];
    int n = vfs_read(upload_file, part, part_bytes);
    if (n > 0) {
        if (reliable_message* m = queue_item(reliable_file)) {
            reliable_put(m, "sendpart -", 10);
            reliable_put(m, part, n);
        }
        return;
    }
    upload_close();
    send_script_message(reliable_file, namefile_text, int32_t(strlen(namefile_text)));
    namefile_text[0] = 0;
}

// The first word of text is word, followed by a blank or the end; the rest
// after it.
const char* first_word(const char* text, const char* word)
{
    while (*text == ' ') text++;
    size_t n = strlen(word);
    if (strncmp(text, word, n) != 0 || (text[n] != 0 && text[n] != ' ')) return nullptr;
    return text + n;
}

// "word %f": the number after the word; a value that is not finite is refused.
int finite_value(const char* text, size_t word_length, float* out)
{
    const char* at = text + word_length;
    if (*at != ' ' && *at != '\t' && *at != '\n') return 0;
    char* end = nullptr;
    float v = strtof(at, &end);
    if (end == at || !std::isfinite(v)) return 0;
    *out = v;
    return 1;
}

void knockout_command(const char* rest)
{
    int32_t previous = 0;
    const char* at = rest;
    for (int i = 0; i < 16; i++) {
        char* end = nullptr;
        errno = 0;
        long v = at ? strtol(at, &end, 10) : 0;
        if (at && end != at) {
            previous = int32_t(std::clamp<long>(v, 0, knockout_max));
            at = end;
        } else {
            at = nullptr;
        }
        crash_knockout_tics[i] = previous;
    }
}

void erode_command(const char* text)
{
    long race = 0, rate = 0;
    char* end = nullptr;
    const char* at = text + strspn(text, " ") + 5;
    race = strtol(at, &end, 10);
    bool ok = end != at;
    at = end;
    rate = ok ? strtol(at, &end, 10) : 0;
    ok = ok && end != at;
    if (!ok) {
        console_print("Malformed erode command received");
        return;
    }
    if (race != net_client.race_id) return;
    int32_t before = erosion_amount;
    erosion_amount = int32_t(std::clamp<long>(rate, -1, erosion_max));
    if (!(before == -1 && erosion_amount == 0)) {
        char line[32];
        int n = snprintf(line, sizeof line, "erode %d", erosion_amount);
        demo_write_chunk(3, line, n);
    }
    if (erosion_amount > 0) track_reload_forced = 1;
}

void no_arcade_command()
{
    net_client.arcade_disabled = 1;
    if (player_setup.arcade) console_print("Arcade physics disabled");
    for (int s = 0; s < rider_slot_count; s++)
        if (rider_table[s] && slot_status[s] == slot_driven_by_player) rider_set_arcade(rider_table[s], 0);
}

void redirect_command(const char* rest)
{
    while (*rest == ' ') rest++;
    copy_bounded(redirect_to, rest, int(sizeof redirect_to));
    trim_trailing_blanks(redirect_to);
    redirect_time = game_clock + redirect_delay;
    redirect_fired = 0;
    console_printf("Redirecting to '%s' in 10 seconds", redirect_to);
}

void lap_times_item(const uint8_t* body, int n)
{
    if (n < 8 || int32_t(wire_u32(body)) != net_client.race_id) return;
    uint32_t count = wire_u32(body + 4);
    bool taken = false;
    for (uint32_t k = 0; k < count && 8 + 12 * int64_t(k) + 12 <= n; k++) {
        const uint8_t* rec = body + 8 + 12 * k;
        uint32_t slot = wire_u32(rec), index = wire_u32(rec + 4);
        int32_t tic = int32_t(wire_u32(rec + 8));
        if (slot >= 160 || int32_t(slot) == net_client.own_slot || !rider_table[slot]) continue;
        if (index >= uint32_t(gate_index_limit)) continue;
        rider_record_gate(rider_table[slot], int32_t(index), tic);
        rider_truncate_gates(rider_table[slot], int32_t(index) + 1);
        taken = true;
    }
    // Results made final while a rider's states paused for a second took it
    // as done; gates it passed since must still reach them, or its finish
    // is lost from this program's results.
    if (taken) results_final = 0;
    if (!results_final) results_finish();
}

void script_item(const uint8_t* body, int n)
{
    char copy[net_receive_size + 1];
    n = std::min(n, net_receive_size);
    memcpy(copy, body, size_t(n));
    copy[n] = 0;
    char* end = nullptr;
    long race = strtol(copy, &end, 10);
    if (end == copy || race != net_client.race_id || *end != ' ') return;
    const char* text = end + 1;
    script_message(text);
    demo_write_chunk(6, text, int32_t(strlen(text)));
}

void handle_in_order(const uint8_t* data, int length)
{
    expected++;
    handle_reliable_item(data, length);
    for (;;) {
        held_datagram& h = held[expected % reliable_held_max];
        if (!h.present || h.sequence != expected) return;
        h.present = 0;
        expected++;
        handle_reliable_item(h.data, h.length);
    }
}

}  // namespace

reliable_message* net_queue_message()
{
    if (net_client.socket < 0) {
        console_print("Not connected to server");
        return nullptr;
    }
    reliable_message* m = take_node();
    m->resend_time = -1e9;
    m->next = nullptr;
    m->sequence = next_sequence++;
    m->buffer[0] = 17;
    wire_put_u32(m->buffer + 1, uint32_t(net_client.own_slot));
    wire_put_u32(m->buffer + 5, net_client.connection);
    wire_put_u32(m->buffer + 9, uint32_t(m->sequence));
    m->length = reliable_header;
    if (tail) tail->next = m;
    else reliable_head = m;
    tail = m;
    return m;
}

void reliable_put(reliable_message* m, const void* bytes, int32_t length)
{
    int32_t n = std::clamp(length, 0, reliable_size - m->length);
    memcpy(m->buffer + m->length, bytes, size_t(n));
    m->length += n;
}

void send_script_message(int kind, const char* text, int32_t length)
{
    if (reliable_message* m = queue_item(kind)) reliable_put(m, text, length);
}

void send_erode_online(const uint8_t* message, int32_t length)
{
    if (reliable_message* m = queue_item(reliable_ruts)) {
        uint8_t race[4];
        wire_put_u32(race, uint32_t(net_client.race_id));
        reliable_put(m, race, 4);
        reliable_put(m, message, length);
    }
}

void queue_lap_time(int32_t race_id, int32_t gate_index, int32_t tic)
{
    if (reliable_message* m = queue_item(reliable_lap_time)) {
        uint8_t b[12];
        wire_put_u32(b, uint32_t(race_id));
        wire_put_u32(b + 4, uint32_t(gate_index));
        wire_put_u32(b + 8, uint32_t(tic));
        reliable_put(m, b, 12);
    }
}

void queue_keep_alive()
{
    static const char text[] = "Hello server, I'm still here!";
    send_script_message(reliable_keep_alive, text, int32_t(sizeof text - 1));
}

void queue_rider_info()
{
    char text[reliable_body_max + 1];
    int n = appearance_string(text, int(sizeof text));
    send_script_message(reliable_rider_info, text, n);
}

void reliable_ack(uint32_t sequence)
{
    reliable_message* m = reliable_head;
    if (!m || uint32_t(m->sequence) != sequence) return;
    reliable_head = m->next;
    if (!reliable_head) tail = nullptr;
    give_node(m);
}

void reliable_receive(uint8_t* data, int length)
{
    uint32_t sequence = wire_u32(data + 1);
    // Beyond the held ring: no acknowledgement, so the server sends it again
    // once its turn is near; acknowledging it here would lose it.
    if (sequence > expected && uint64_t(sequence) > uint64_t(expected) + reliable_held_max) return;
    uint8_t ack[13];
    ack[0] = 18;
    wire_put_u32(ack + 1, uint32_t(net_client.own_slot));
    wire_put_u32(ack + 5, net_client.connection);
    wire_put_u32(ack + 9, sequence);
    net_send_packet(ack, 13);
    if (sequence < expected) return;
    if (sequence == expected) {
        handle_in_order(data, length);
        return;
    }
    held_datagram& h = held[sequence % reliable_held_max];
    if (h.present) return;
    h.present = 1;
    h.sequence = sequence;
    h.length = std::min(length, net_receive_size);
    memcpy(h.data, data, size_t(h.length));
    h.data[h.length] = 0;
}

void handle_reliable_item(const uint8_t* data, int length)
{
    if (length < 6) return;
    const uint8_t* body = data + 6;
    int n = length - 6;
    // Bodies are texts to the datagram's end; a bounded copy ends them.
    char text[net_receive_size + 1];
    int t = std::min(n, net_receive_size);
    memcpy(text, body, size_t(t));
    text[t] = 0;
    switch (data[5]) {
    case reliable_chat:
        console_print(text);
        demo_write_chunk(2, text, int32_t(strlen(text)));
        break;
    case reliable_keep_alive: {
        static const char answer[] = "Roger that!  Still alive!";
        send_script_message(reliable_alive_answer, answer, int32_t(sizeof answer - 1));
        break;
    }
    case reliable_lap_time: lap_times_item(body, n); break;
    case reliable_file: server_text_command(text); break;
    case reliable_ruts:
        if (n < 4) break;
        if (int32_t(wire_u32(body)) == net_client.race_id) erode_message_receive(body + 4, n - 4);
        demo_write_chunk(5, body + 4, n - 4);
        break;
    case reliable_script: script_item(body, n); break;
    default: break;
    }
}

void server_text_command(const char* text)
{
    const char* rest;
    float v;
    if (!strcmp(text, "no_arcade")) {
        no_arcade_command();
    } else if (!strncmp(text, "off_course_bias", 15)) {
        if (finite_value(text, 15, &v)) net_client.off_course_bias = v;
    } else if (!strncmp(text, "off_course_scale", 16)) {
        if (finite_value(text, 16, &v)) net_client.off_course_scale = v;
    } else if ((rest = first_word(text, "knockout"))) {
        knockout_command(rest);
    } else if (first_word(text, "erode")) {
        erode_command(text);
    } else if (!strcmp(text, "sendready")) {
        uploading = 1;
    } else if (first_word(text, "senddenied")) {
        console_print("Send file denied");
        upload_close();
        namefile_text[0] = 0;
    } else if ((rest = first_word(text, "redirect"))) {
        redirect_command(rest);
    }
}

void reliable_step()
{
    upload_step();
    reliable_message* m = reliable_head;
    if (!m || game_clock < m->resend_time) return;
    m->resend_time = game_clock + resend_interval;
    net_send_packet(m->buffer, m->length);
}

void reliable_reset()
{
    while (reliable_head) {
        reliable_message* m = reliable_head;
        reliable_head = m->next;
        give_node(m);
    }
    tail = nullptr;
    next_sequence = 0;
    expected = 0;
    for (held_datagram& h : held) h.present = 0;
    upload_close();
    namefile_text[0] = 0;
    if (redirect_fired) net_set_server(redirect_to);
    redirect_to[0] = 0;
    redirect_time = 0;
    redirect_fired = 0;
}

int redirect_due()
{
    if (redirect_time <= 0 || game_clock < redirect_time) return 0;
    redirect_time = 0;
    redirect_fired = 1;
    return 1;
}

const char* redirect_target() { return redirect_to; }

int net_upload_open() { return upload_file != nullptr; }

int net_upload_name_check(const char* name, const char** message)
{
    for (const char* c = name; *c; c++) {
        if (!isalnum(static_cast<unsigned char>(*c)) && *c != '_' && *c != '.') {
            *message = "Filename may only contain alphanumeric characters, '_' or '.'";
            return 0;
        }
    }
    // "." and ".." would open the folder itself or its parent.
    if (!name[0]) {
        *message = "Can't open file";
        return 0;
    }
    if (name[0] == '.') {
        *message = "Filename may not begin with '.'";
        return 0;
    }
    if (strlen(name) > size_t(upload_name_max)) {
        *message = "Filename too long";
        return 0;
    }
    return 1;
}

int net_upload_start(const char* name)
{
    const char* refused = nullptr;
    if (!net_upload_name_check(name, &refused)) {
        console_print(refused);
        return 0;
    }
    if (upload_file) {
        console_print("Stopping previous transfer");
        upload_close();
    }
    char path[16 + upload_name_max];
    snprintf(path, sizeof path, "@outgoing/%s", name);
    upload_file = vfs_open(path, "rb");
    if (!upload_file) {
        console_print("Can't open file");
        return 0;
    }
    uploading = 0;
    next_part_time = 0;
    snprintf(namefile_text, sizeof namefile_text, "namefile %s", name);
    static const char ask[] = "sendfile";
    send_script_message(reliable_file, ask, int32_t(sizeof ask - 1));
    console_print("Sending file");
    return 1;
}
