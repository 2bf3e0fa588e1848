// The race-server client: the connect and per-tic steps, the packets both
// ways, the clock and the fake lag and loss queue.
#include "net/client.h"

#include <algorithm>
#include <climits>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>

#include "core/game_state.h"
#include "core/ripemd160.h"
#include "core/util.h"
#include "game/race_reset.h"
#include "game/startup.h"
#include "game/state_history.h"
#include "game/track_list.h"
#include "net/erode_send.h"
#include "net/reliable.h"
#include "net/wire.h"
#include "physics/lap_timing.h"
#include "physics/rider.h"
#include "physics/rider_state.h"
#include "physics/setup.h"
#include "ui/console.h"
#include "ui/settings.h"

net_client_record net_client = {-1, {}, {}, 0, net_no_slot, 0, 0, net_no_slot, 0, 0, {}, 0, 0, -1e9, 0, 0, 0,
                                {}, {}, 0, 10.0f, 1.5f, 0, 0};
int32_t net_server_tic;
int32_t net_slot_kinds[161];
net_rider_info net_rider_infos[160];
void (*net_race_reset)(const int32_t*, int, int, int32_t, int32_t, int32_t) = reset_session;

namespace {

constexpr double never = -1e9;  // a send time so old that the next step sends
constexpr double leaving_limit = 5.0;  // seconds in state 15 before giving up on the server
constexpr int fake_queue_size = 1024;

int32_t riding_slot = net_no_slot;

// Minimum length of each server packet: its type byte and fixed fields.
int fixed_length(int type)
{
    switch (type) {
    case 2: return 13;
    case 4: return 37;
    case 6: return 9;
    case 8: return 9;
    case 10: return 13;
    case 11: return 17;
    case 14: return 5;
    case 17: return 6;
    case 18: return 5;
    case 25: return 5;
    default: return 1;
    }
}

void verbose_drop(int type, int length)
{
    if (debug_level >= 1) console_printf("Dropped server packet %d: %d bytes is too short", type, length);
}

int random_15bit() { return rand() & 0x7FFF; }

// A datagram waiting in the fake lag and loss queue.
struct received_packet {
    double arrival;
    int32_t length;
    uint8_t data[net_receive_size + 1];
};
received_packet fake_queue[fake_queue_size];
int32_t fake_head, fake_count;

void send_header_packet(int type, int length, uint32_t third)
{
    uint8_t p[13] = {};
    p[0] = uint8_t(type);
    wire_put_u32(p + 1, uint32_t(net_client.own_slot));
    wire_put_u32(p + 5, net_client.connection);
    wire_put_u32(p + 9, third);
    net_send_packet(p, length);
}

// The text from offset to the datagram's end into a bounded buffer; it ends
// at the first NUL too, so servers that add a terminator read the same.
void take_text(const uint8_t* data, int length, int offset, char* out, int size)
{
    int n = std::max(0, std::min(length - offset, size - 1));
    memcpy(out, data + offset, size_t(n));
    out[n] = 0;
}

// Server tics go into the local tic counter, which counts up from there for
// the rest of the session: one so high that 2^24 tics (36 hours) more would
// overflow it is refused.
constexpr uint32_t server_tic_limit = 0x7FFFFFFFu - (1u << 24);

// Tics between now and an echoed tic, held in the int range.
int32_t lag_since(uint32_t echo)
{
    return int32_t(std::clamp<int64_t>(int64_t(tic_counter) - int64_t(int32_t(echo)), INT32_MIN, INT32_MAX));
}

void server_tic_seen(uint32_t server_tic)
{
    if (server_tic > server_tic_limit) return;
    if (net_client.highest_server_tic == 0) tic_counter = int32_t(server_tic);
    if (server_tic > net_client.highest_server_tic) {
        net_client.highest_server_tic = server_tic;
        net_server_tic = int32_t(server_tic);
    }
}

void clock_packet_done()
{
    if (net_client.state != client_loaded) return;
    char text[64];
    net_race_message(net_client.race_time, net_client.laps, text, int(sizeof text));
    console_print(text);
    net_set_state(client_racing);
}

void take_state_records(const uint8_t* data, int length, uint32_t count)
{
    if (count > 0 && length < 17 + net_state_record_bytes) {
        console_print("State packet too small");
        return;
    }
    for (uint32_t k = 0; k < count; k++) {
        int at = 17 + int(k) * net_state_record_bytes;
        if (at + net_state_record_bytes > length) {
            console_print("State packet too small");
            return;
        }
        uint32_t slot = wire_u16(data + at), lag = wire_u16(data + at + 2), tic = wire_u32(data + at + 4);
        // A tic past the int range would reach the history as a negative
        // stamp, which it keeps for its empty entries.
        if (slot >= 160 || int32_t(slot) == net_client.own_slot || !rider_table[slot] ||
            slot_status[slot] != slot_driven_by_history || tic > 0x7FFFFFFFu ||
            tic <= net_client.last_state_tic[slot])
            continue;
        net_client.last_state_tic[slot] = tic;
        net_client.lag[slot] = int32_t(lag);
        rider_state_record record;
        memcpy(record.bytes, data + at + 8, rider_state_size);
        add_state_to_history(int(slot), record, int32_t(tic));
    }
}

void handle_race_packet(const uint8_t* data, int length)
{
    net_client.race_id = int32_t(wire_u32(data + 1));
    int64_t time = int32_t(wire_u32(data + 5));
    int64_t laps = int32_t(wire_u32(data + 9));
    net_client.race_time = int32_t(std::clamp<int64_t>(time, 0, INT32_MAX));
    net_client.laps = int32_t(std::clamp<int64_t>(laps, 0, 1000000));
    net_slot_kinds[160] = int32_t(wire_u32(data + 13));
    memcpy(net_client.digest, data + 17, 20);
    char name[160];
    take_text(data, length, 37, name, int(sizeof name));
    // Matched against the track list only: a name from the network never
    // becomes a path.
    int i = track_list_find(name);
    if (i < 0) {
        console_printf("Can't find track '%.150s'\n", name);
        net_set_state(client_leaving);
        return;
    }
    copy_bounded(settings.track, track_list.folders[i], int(sizeof settings.track));
    net_set_state(client_track_known);
    slots_reset();
}

void handle_riding_packet(const uint8_t* data, int length)
{
    uint32_t riding = wire_u32(data + 5);
    if (riding > 160) return;
    net_slot_kinds[net_client.own_slot] = 1;
    char text[982];
    take_text(data, length, 9, text, int(sizeof text));
    store_rider_info(net_client.own_slot, text);
    riding_slot = int32_t(riding);
    net_race_reset(net_slot_kinds, 0, settings.record.selected, net_client.race_time, net_client.laps, -1);
    net_set_state(client_loaded);
    if (memcmp(track_digest, net_client.digest, 20) != 0) {
        console_printf("Client track modified - does not match server's track (%.100s)\n", track_dir);
        net_set_state(client_leaving);
    }
}

}  // namespace

int32_t net_riding_slot() { return riding_slot; }
int32_t net_own_slot() { return net_client.own_slot; }
int net_server_set() { return net_client.server_name[0] != 0 || net_client.socket >= 0; }
int net_connected() { return net_client.socket >= 0; }
int net_server_open() { return net_client.socket >= 0; }

int32_t net_last_state_tic(int slot)
{
    if (slot < 0 || slot >= 160 || net_client.last_state_tic[slot] == 0) return -1;
    return int32_t(net_client.last_state_tic[slot]);
}

void net_set_server(const char* name)
{
    copy_bounded(net_client.server_name, name ? name : "", int(sizeof net_client.server_name));
}

void net_set_state(int32_t state)
{
    net_client.state = state;
    net_client.last_send_time = never;
    net_client.state_since = game_clock;
}

int net_fake_drop(int32_t loss_percent, int random_value) { return random_value < loss_percent * 327; }
int (*net_loss_random)() = random_15bit;

int net_send_packet(const void* bytes, int length)
{
    if (net_client.socket < 0) return -1;
    int n = net_send(net_client.socket, bytes, length, &net_client.server);
    if (n < 0 && net_last_error) console_printf("sendto error (%.100s)", net_last_error);
    return n;
}

void net_send_contact()
{
    uint8_t p[21] = {};
    const char* password = options.password;
    wire_put_u32(p + 1, password && password[0] ? 1 : 0);
    wire_put_u32(p + 9, net_protocol_number);
    wire_put_u32(p + 13, net_client.nonce);
    console_print("Contacting server\n");
    net_send_packet(p, 21);
}

uint32_t net_password_proof(const char* password, uint32_t connection)
{
    if (!password || !password[0]) return 0;
    ripemd160_ctx ctx;
    ripemd160_init(&ctx);
    ripemd160_update(&ctx, password, strlen(password));
    uint8_t le[4];
    wire_put_u32(le, connection);
    ripemd160_update(&ctx, le, 4);
    ripemd160_final(&ctx);
    const uint8_t* d = ctx.digest;
    return uint32_t(d[0]) << 24 | uint32_t(d[1]) << 16 | uint32_t(d[2]) << 8 | uint32_t(d[3]);
}

void net_send_client_info()
{
    uint8_t p[41 + 982] = {};
    p[0] = 3;
    wire_put_u32(p + 1, uint32_t(net_client.own_slot));
    wire_put_u32(p + 5, net_client.connection);
    wire_put_u32(p + 9, net_password_proof(options.password, net_client.connection));
    wire_put_u32(p + 17, net_client.nonce);
    int n = appearance_string(reinterpret_cast<char*>(p + 41), 982);
    console_print("Sending client info\n");
    net_client.rider_info_changed = 0;
    net_send_packet(p, 41 + n);
}

void net_send_disconnect()
{
    console_print("Disconnecting\n");
    send_header_packet(15, 9, 0);
}

void net_send_restart()
{
    console_print("Requesting restart\n");
    send_header_packet(13, 13, 1);
}

int appearance_string(char* out, int size)
{
    const bike_setup& s = player_setup;
    size_t total = strlen(s.bike) + strlen(s.rider_texture) + strlen(s.bike_texture) + strlen(s.wheel_texture) +
                   strlen(s.head_texture) + strlen(s.number) + strlen(s.name) + 6;
    int n;
    if (total < size_t(size))
        n = snprintf(out, size_t(size), "%s|%s|%s|%s|%s\n%s\n%s", s.bike, s.rider_texture, s.bike_texture,
                     s.wheel_texture, s.head_texture, s.number, s.name);
    else
        n = snprintf(out, size_t(size), "%s\n%s\n%s", s.bike, s.number, s.name);
    return std::clamp(n, 0, size - 1);
}

int net_skin_name_safe(const char* name)
{
    if (name[0] != '@' || strstr(name, "..") || strchr(name, '\\')) return 0;
    for (const char* c = name; *c; c++)
        if (!isprint(static_cast<unsigned char>(*c))) return 0;
    return 1;
}

void store_rider_info(int slot, const char* text)
{
    if (slot < 0 || slot >= 160) return;
    net_rider_info& info = net_rider_infos[slot];
    const char* line2 = strchr(text, '\n');
    if (!line2) return;
    char first[982];
    int first_length = std::min(int(line2 - text), int(sizeof first) - 1);
    memcpy(first, text, size_t(first_length));
    first[first_length] = 0;
    const char* number = line2 + 1;
    const char* line3 = strchr(number, '\n');
    if (line3) {
        int n = std::min(int(line3 - number), 3);
        memcpy(info.number, number, size_t(n));
        info.number[n] = 0;
        const char* name = line3 + 1;
        int m = std::min(int(strcspn(name, "\n")), net_text_size - 1);
        memcpy(info.name, name, size_t(m));
        info.name[m] = 0;
    }
    char* fields[5] = {info.bike, info.rider_skin, info.bike_skin, info.wheel_skin, info.head_skin};
    char* at = first;
    for (int f = 0; f < 5 && at; f++) {
        char* bar = strchr(at, '|');
        if (bar) *bar = 0;
        if (f == 0) copy_bounded(fields[f], at, net_text_size);
        else if (strlen(at) < size_t(net_text_size) && net_skin_name_safe(at)) copy_bounded(fields[f], at, net_text_size);
        else fields[f][0] = 0;  // the default skin
        at = bar ? bar + 1 : nullptr;
    }
}

void slots_reset()
{
    for (int i = 0; i < 160; i++) {
        net_slot_kinds[i] = 0;
        net_client.last_state_tic[i] = 0;
        net_client.lag[i] = 0;
        net_rider_infos[i] = net_rider_info{};
    }
    history_clear_all();
    riding_slot = net_no_slot;
    net_client.last_info_slot = net_no_slot;
    net_client.highest_server_tic = 0;
    net_server_tic = 0;
    net_client.last_gates_sent = 0;
}

void net_reset()
{
    if (net_client.socket >= 0) net_close(net_client.socket);
    net_client.socket = -1;
    net_client.server_name[0] = 0;
    net_client.state = client_contacting;
    net_client.own_slot = net_no_slot;
    net_client.connection = 0;
    net_client.race_id = 0;
    net_client.race_time = net_client.laps = 0;
    net_slot_kinds[160] = 0;
    riding_slot = net_no_slot;
    net_client.last_info_slot = net_no_slot;
    net_client.highest_server_tic = 0;
    net_server_tic = 0;
    net_client.rider_info_changed = 0;
    net_client.arcade_disabled = 0;
    net_client.off_course_bias = 10.0f;
    net_client.off_course_scale = 1.5f;
    net_client.last_send_time = never;
    net_client.keep_alive_time = 0;
    net_client.own_lag = 0;
    net_client.nonce = 0;
    memset(net_client.digest, 0, sizeof net_client.digest);
    fake_head = fake_count = 0;
    erode_send_online = nullptr;
    reliable_reset();
}

void net_race_message(int32_t race_time, int32_t laps, char* out, int size)
{
    if (race_time < 1) {
        snprintf(out, size_t(size), "%d laps", laps);
        return;
    }
    int minutes = int(std::floor(double(race_time) * tic_length / 60.0 + 0.5));
    if (laps < 1) snprintf(out, size_t(size), "%d minutes", minutes);
    else snprintf(out, size_t(size), "%d minutes + %d laps", minutes, laps);
}

void net_handle_packet(uint8_t* data, int length)
{
    if (length < 1) return;
    int type = data[0];
    if (length < fixed_length(type)) {
        verbose_drop(type, length);
        return;
    }
    data[length] = 0;
    net_client_record& c = net_client;
    bool slotless = c.own_slot == net_no_slot;
    uint32_t race = length >= 5 ? wire_u32(data + 1) : 0;
    bool other_race = int32_t(race) != c.race_id;
    switch (type) {
    case 1: console_print("Server is full\n"); break;
    case 2: {
        if (c.state != client_contacting) break;
        uint32_t slot = wire_u32(data + 1);
        if (slot >= 160) break;  // stays in state 0
        c.own_slot = int32_t(slot);
        c.connection = wire_u32(data + 5);
        if (int32_t(wire_u32(data + 9)) == net_server_version) {
            net_set_state(client_admitted);
        } else {
            console_print("Server version does not match client version\n");
            net_set_state(client_leaving);
        }
        break;
    }
    case 4:
        if (slotless || (c.state != client_admitted && c.state != client_restarting)) break;
        if (c.race_id != 0 && other_race) break;
        handle_race_packet(data, length);
        break;
    case 6: {
        if (slotless || other_race || (c.state != client_track_known && c.state != client_taking_infos)) break;
        uint32_t slot = wire_u32(data + 5);
        if (slot >= 160) break;
        if (c.last_info_slot != net_no_slot && int32_t(slot) <= c.last_info_slot) break;
        char text[982];
        take_text(data, length, 9, text, int(sizeof text));
        store_rider_info(int(slot), text);
        c.last_info_slot = int32_t(slot);
        net_slot_kinds[slot] = 5;
        net_set_state(client_taking_infos);
        break;
    }
    case 8:
        if (slotless || other_race || (c.state != client_track_known && c.state != client_taking_infos)) break;
        handle_riding_packet(data, length);
        break;
    case 10: {
        if (slotless || other_race || (c.state != client_loaded && c.state != client_racing)) break;
        uint32_t echo = wire_u32(data + 9);
        if (echo != 0) c.own_lag = lag_since(echo);
        server_tic_seen(wire_u32(data + 5));
        clock_packet_done();
        break;
    }
    case 11: {
        if (slotless || other_race || (c.state != client_loaded && c.state != client_racing)) break;
        uint32_t count = wire_u32(data + 13);
        if (count > 0 && length < 17 + net_state_record_bytes) {
            console_print("State packet too small");
            break;
        }
        take_state_records(data, length, count);
        uint32_t echo = wire_u32(data + 9);
        if (count > 0 && echo != 0) c.own_lag = lag_since(echo);
        server_tic_seen(wire_u32(data + 5));
        clock_packet_done();
        break;
    }
    case 14:
        // Only a newer race restarts the handshake: a late duplicate of
        // the last restart must not.
        if (slotless || (c.state != client_loaded && c.state != client_racing)) break;
        if (int32_t(race) <= c.race_id) break;
        c.race_id = int32_t(race);
        net_set_state(client_restarting);
        break;
    case 15:
        console_print("Disconnected\n");
        net_reset();
        break;
    case 16: {
        char text[256];
        take_text(data, length, 1, text, int(sizeof text));
        console_print(text);
        net_set_state(client_leaving);
        break;
    }
    case 17: reliable_receive(data, length); break;
    case 18: reliable_ack(wire_u32(data + 1)); break;
    case 25: {
        if (c.state != client_contacting || race != c.nonce) break;
        char name[128];
        take_text(data, length, 5, name, int(sizeof name));
        net_reset();
        net_set_server(name);
        break;
    }
    default: break;
    }
}

void poll_network()
{
    static uint8_t buffer[net_receive_size + 1];
    bool fake = options.fake_lag > 0 || options.fake_loss > 0;
    for (;;) {
        if (net_client.socket < 0) return;
        if (fake && fake_count == fake_queue_size) break;
        net_address sender;
        int n = net_receive(net_client.socket, buffer, net_receive_size, &sender);
        if (n < 0) {
            if (net_last_error) console_printf("recvfrom error (%.100s)", net_last_error);
            break;
        }
        // Only the server's own address and port may speak for it.
        if (!net_address_equal(&sender, &net_client.server)) continue;
        if (!fake) {
            net_handle_packet(buffer, n);
            continue;
        }
        if (net_fake_drop(options.fake_loss, net_loss_random())) continue;
        received_packet& slot = fake_queue[(fake_head + fake_count) % fake_queue_size];
        slot.arrival = game_clock;
        slot.length = n;
        memcpy(slot.data, buffer, size_t(n));
        fake_count++;
    }
    while (fake && fake_count > 0 && net_client.socket >= 0) {
        received_packet& oldest = fake_queue[fake_head];
        if (!(game_clock > oldest.arrival + options.fake_lag)) break;
        fake_head = (fake_head + 1) % fake_queue_size;
        fake_count--;
        net_handle_packet(oldest.data, oldest.length);
    }
}

namespace {

void connect_step()
{
    if (!stock_shapes) {
        console_print("Fixed file mismatch\n");
        net_client.server_name[0] = 0;
        return;
    }
    if (!net_resolve(&net_client.server, net_client.server_name, net_default_port)) {
        console_print("Can't resolve address\n");
        net_client.server_name[0] = 0;
        return;
    }
    int s = net_open_udp();
    if (s < 0) {
        console_print("Can't create socket\n");
        net_client.server_name[0] = 0;
        return;
    }
    net_client.socket = s;
    erode_send_online = send_erode_online;
    net_set_state(client_contacting);
    net_client.nonce = uint32_t(time(nullptr));
    net_client.last_send_time = game_clock;
    net_send_contact();
}

void racing_step()
{
    net_client_record& c = net_client;
    c.last_send_time = game_clock;
    rider* own = c.own_slot != net_no_slot ? rider_table[c.own_slot] : nullptr;
    if (own && riding_slot != net_no_slot) {
        int32_t gates = rider_gate_count(own);
        if (gates != c.last_gates_sent) {
            c.last_gates_sent = gates;
            if (gates > 0) queue_lap_time(c.race_id, gates - 1, rider_gate_tic(own, gates - 1));
        }
        if (tic_counter % 4 == 0) {
            uint8_t p[60] = {};
            p[0] = 11;
            wire_put_u32(p + 1, uint32_t(c.own_slot));
            wire_put_u32(p + 5, c.connection);
            wire_put_u32(p + 9, uint32_t(c.race_id));
            wire_put_u32(p + 13, c.highest_server_tic);
            wire_put_u32(p + 17, uint32_t(tic_counter));
            rider_state_record record;
            rider_state_pack(own, rider_state_track_ground(), &record);
            memcpy(p + 21, record.bytes, rider_state_size);
            net_send_packet(p, 60);
        }
    }
    if (riding_slot == net_no_slot && game_clock >= c.keep_alive_time) {
        c.keep_alive_time = game_clock + 10.0;
        queue_keep_alive();
    }
    if (c.rider_info_changed && menu_page != 2 && menu_page != 7) {
        queue_rider_info();
        c.rider_info_changed = 0;
    }
}

void send_state_packet()
{
    net_client_record& c = net_client;
    switch (c.state) {
    case client_contacting: net_send_contact(); break;
    case client_admitted: net_send_client_info(); break;
    case client_track_known:
        console_print("Sending track acknowledgment\n");
        send_header_packet(5, 13, uint32_t(c.race_id));
        break;
    case client_taking_infos: {
        console_printf("Sending bike acknowledgment %d\n", c.last_info_slot);
        uint8_t p[17] = {};
        p[0] = 7;
        wire_put_u32(p + 1, uint32_t(c.own_slot));
        wire_put_u32(p + 5, c.connection);
        wire_put_u32(p + 9, uint32_t(c.race_id));
        wire_put_u32(p + 13, uint32_t(c.last_info_slot));
        net_send_packet(p, 17);
        break;
    }
    case client_loaded: send_header_packet(9, 13, uint32_t(c.race_id)); break;
    case client_restarting:
        console_print("Sending restart\n");
        send_header_packet(14, 13, uint32_t(c.race_id));
        break;
    case client_leaving: net_send_disconnect(); break;
    default: break;
    }
}

}  // namespace

void net_step()
{
    net_client_record& c = net_client;
    if (c.socket < 0) {
        if (c.server_name[0]) connect_step();
        return;
    }
    if (net_server_tic > 0 && net_server_tic < INT32_MAX) net_server_tic++;
    poll_network();
    if (c.socket < 0) return;
    reliable_step();
    if (redirect_due()) {
        net_set_state(client_leaving);
        console_printf("Redirecting to '%s'", redirect_target());
    }
    if (c.state == client_racing) {
        racing_step();
        return;
    }
    // A silent server must not keep the client leaving for ever: after 5 s
    // it lets go as if the server had answered.
    if (c.state == client_leaving && game_clock - c.state_since >= leaving_limit) {
        net_reset();
        return;
    }
    if (game_clock - c.last_send_time >= 1.0) {
        c.last_send_time = game_clock;
        send_state_packet();
    }
}

int rider_off_course(int slot)
{
    if (slot < 0 || slot >= 160 || !rider_table[slot]) return 0;
    const rider* r = rider_table[slot];
    int32_t n = rider_gate_count(r);
    if (n <= 0) return 1;
    for (int32_t i = std::max(1, n - 3); i <= n; i++) {
        int64_t a = net_slot_kinds[160];
        for (int32_t j = i - 1; j >= std::max(0, i - 3); j--) {
            int32_t t = rider_gate_tic(r, j);
            if (t >= 0) {
                a = t;
                break;
            }
        }
        int64_t b = tic_counter;
        for (int32_t j = i; j < n; j++) {
            int32_t t = rider_gate_tic(r, j);
            if (t >= 0) {
                b = t;
                break;
            }
        }
        for (int32_t k = 0; k < race_order_count; k++) {
            int32_t s = race_order[k].slot;
            const rider* o = s >= 0 && s < 160 ? rider_table[s] : nullptr;
            if (!o) continue;
            if (rider_gate_count(o) < i + 1) break;
            int32_t t0 = rider_gate_tic(o, i - 1), t1 = rider_gate_tic(o, i);
            if (t0 < 0 || t1 < 0) continue;
            double split = double(int64_t(t1) - t0) * tic_length;
            double lost = double(b - a) * tic_length;
            if (lost >= double(net_client.off_course_scale) * split + double(net_client.off_course_bias)) return 1;
            break;
        }
    }
    return 0;
}

int rider_state_current(int slot)
{
    const net_client_record& c = net_client;
    if (c.own_slot == net_no_slot || !rider_table[c.own_slot]) return 1;
    if (slot < 0 || slot >= 160 || !rider_table[slot]) return 0;
    if (slot != c.own_slot && double(int64_t(tic_counter) - int64_t(c.last_state_tic[slot])) * tic_length >= 1.0)
        return 0;
    if (race_order_count <= 1) return 1;
    double since_drop = double(int64_t(tic_counter) - net_slot_kinds[160]) * tic_length;
    bool early = since_drop < double(c.off_course_bias);
    const rider* own = rider_table[c.own_slot];
    if (early || own->finished || rider_off_course(c.own_slot)) return 1;
    const rider* r = rider_table[slot];
    return !r->finished && !rider_off_course(slot);
}
