#include "race_relay.h"

#include <cstring>

namespace {

relay_client* client_at(race_relay* r, const net_address& a)
{
    for (relay_client& c : r->clients)
        if (!c.gone && net_address_equal(&c.address, &a)) return &c;
    return nullptr;
}

void send_to(race_relay* r, const relay_client& c, const bytes& p) { fake_server_send_to(&r->server, p, c.address); }

void queue_item(relay_client& c, int kind, const bytes& body)
{
    c.items.push_back(server_item(c.next_out++, kind, body));
}

bool everyone_in(const race_relay* r)
{
    int n = 0;
    for (const relay_client& c : r->clients) n += !c.info.empty();
    return n >= r->expected_clients;
}

void send_race(race_relay* r, const relay_client& c)
{
    send_to(r, c, server_race(r->race_id, 0, r->laps, r->gate_drop, r->digest, r->track));
}

// The other riders' infos in rising slot order, then the client's own.
void send_riders(race_relay* r, const relay_client& c)
{
    for (const relay_client& o : r->clients)
        if (!o.gone && o.slot != c.slot) send_to(r, c, server_rider_info(r->race_id, uint32_t(o.slot), o.info));
    send_to(r, c, server_riding(r->race_id, uint32_t(c.slot), c.info));
}

void relay_state(race_relay* r, const relay_client& from, const bytes& p)
{
    state_entry e{};
    e.slot = uint16_t(from.slot);
    e.lag = 0;
    e.tic = u32_at(p, 17);
    memcpy(e.record, p.data() + 21, 39);
    for (const relay_client& o : r->clients)
        if (!o.gone && o.slot != from.slot && o.loaded)
            send_to(r, o, server_states(r->race_id, r->tic, o.last_local_tic, 1, {e}));
}

void reliable_in(race_relay* r, relay_client& c, const bytes& p)
{
    uint32_t seq = u32_at(p, 9);
    send_to(r, c, packet_builder(18).u32(seq).b);
    if (seq != c.expected) return;
    c.expected++;
    int kind = p[13];
    bytes body(p.begin() + 14, p.end());
    if (kind == 19) {
        r->chat.emplace_back(body.begin(), body.end());
        for (relay_client& o : r->clients)
            if (!o.gone && o.slot != c.slot) queue_item(o, 19, body);
    } else if (kind == 21 && body.size() >= 12) {
        c.gates.emplace_back(u32_at(body, 4), u32_at(body, 8));
        packet_builder laps(0);
        laps.b.clear();
        laps.u32(r->race_id).u32(1).u32(uint32_t(c.slot)).u32(u32_at(body, 4)).u32(u32_at(body, 8));
        for (relay_client& o : r->clients)
            if (!o.gone && o.slot != c.slot) queue_item(o, 21, laps.b);
    }
}

void handle(race_relay* r, const bytes& p, const net_address& from, double now)
{
    relay_client* c = client_at(r, from);
    int type = p[0];
    r->datagrams++;
    if (type == 0) {
        r->contacts++;
        if (!c) {
            relay_client n;
            n.address = from;
            n.slot = int32_t(r->clients.size());
            n.connection = 1000u + uint32_t(n.slot);
            r->clients.push_back(n);
            c = &r->clients.back();
            if (r->start_clock < 0) {
                r->start_clock = now;
                r->gate_drop = 1 + 15 * 128;
            }
        }
        send_to(r, *c, server_welcome(uint32_t(c->slot), c->connection, 6));
        return;
    }
    if (!c) return;
    switch (type) {
    case 3:
        c->info.assign(p.begin() + 41, p.end());
        if (everyone_in(r))
            for (relay_client& o : r->clients)
                if (!o.gone && !o.info.empty() && !o.loaded) send_race(r, o);
        break;
    case 5:
    case 7:
        if (everyone_in(r)) send_riders(r, *c);
        break;
    case 9:
        c->loaded = true;
        send_to(r, *c, server_clock(r->race_id, r->tic, 0));
        break;
    case 11:
        if (p.size() < 60) break;
        c->states_received++;
        c->last_local_tic = u32_at(p, 17);
        c->states.push_back(relayed_state{c->last_local_tic, {}});
        memcpy(c->states.back().record, p.data() + 21, 39);
        relay_state(r, *c, p);
        break;
    case 15: c->gone = true; break;
    case 17: reliable_in(r, *c, p); break;
    case 18:
        if (!c->items.empty() && u32_at(c->items.front(), 1) == u32_at(p, 9)) {
            c->items.pop_front();
            c->item_sent = -1e9;
        }
        break;
    default: break;
    }
}

}  // namespace

bool relay_open(race_relay* r) { return fake_server_open(&r->server); }

void relay_close(race_relay* r) { fake_server_close(&r->server); }

void relay_step(race_relay* r, double now)
{
    if (r->start_clock >= 0) r->tic = 1 + uint32_t((now - r->start_clock) * 128.0);
    bytes p;
    net_address from;
    while (fake_server_receive_one(&r->server, &p, &from))
        if (!p.empty()) handle(r, p, from, now);
    // Each client's oldest item is in flight, re-sent every half second.
    for (relay_client& c : r->clients) {
        if (c.gone || c.items.empty() || now - c.item_sent < 0.5) continue;
        c.item_sent = now;
        send_to(r, c, c.items.front());
    }
}
