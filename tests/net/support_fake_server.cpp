#include "fake_server.h"

#include <cstring>

#include <arpa/inet.h>
#include <fcntl.h>
#include <sys/socket.h>
#include <unistd.h>

bool fake_server_open(fake_server* s)
{
    s->socket = socket(AF_INET, SOCK_DGRAM, 0);
    if (s->socket < 0) return false;
    fcntl(s->socket, F_SETFL, fcntl(s->socket, F_GETFL, 0) | O_NONBLOCK);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    a.sin_port = 0;
    if (bind(s->socket, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0) return false;
    socklen_t n = sizeof a;
    getsockname(s->socket, reinterpret_cast<sockaddr*>(&a), &n);
    s->self.length = int32_t(sizeof a);
    s->self.in = a;
    s->port = ntohs(a.sin_port);
    return true;
}

void fake_server_close(fake_server* s)
{
    if (s->socket >= 0) close(s->socket);
    s->socket = -1;
}

bool fake_server_receive_one(fake_server* s, bytes* packet, net_address* from)
{
    uint8_t buffer[2048];
    sockaddr_in in{};
    socklen_t n = sizeof in;
    ssize_t got = recvfrom(s->socket, buffer, sizeof buffer, 0, reinterpret_cast<sockaddr*>(&in), &n);
    if (got < 0) return false;
    from->length = int32_t(n);
    from->in = in;
    packet->assign(buffer, buffer + got);
    return true;
}

std::vector<bytes> fake_server_receive(fake_server* s)
{
    std::vector<bytes> out;
    bytes p;
    while (fake_server_receive_one(s, &p, &s->client)) {
        s->has_client = true;
        out.push_back(p);
    }
    return out;
}

void fake_server_send_to(fake_server* s, const bytes& packet, const net_address& to)
{
    sendto(s->socket, packet.data(), packet.size(), 0, reinterpret_cast<const sockaddr*>(&to.in), sizeof to.in);
}

void fake_server_send(fake_server* s, const bytes& packet) { fake_server_send_to(s, packet, s->client); }

std::string fake_server_name(const fake_server& s) { return "127.0.0.1:" + std::to_string(s.port); }

uint32_t u32_at(const bytes& b, int offset)
{
    if (offset + 4 > int(b.size())) return 0xDEADBEEF;
    return uint32_t(b[offset]) | uint32_t(b[offset + 1]) << 8 | uint32_t(b[offset + 2]) << 16 |
           uint32_t(b[offset + 3]) << 24;
}

packet_builder& packet_builder::u32(uint32_t v)
{
    for (int i = 0; i < 4; i++) b.push_back(uint8_t(v >> (8 * i)));
    return *this;
}

packet_builder& packet_builder::u16(uint16_t v)
{
    b.push_back(uint8_t(v));
    b.push_back(uint8_t(v >> 8));
    return *this;
}

packet_builder& packet_builder::raw(const void* data, size_t n)
{
    auto* p = static_cast<const uint8_t*>(data);
    b.insert(b.end(), p, p + n);
    return *this;
}

bytes server_welcome(uint32_t slot, uint32_t connection, uint32_t version)
{
    return packet_builder(2).u32(slot).u32(connection).u32(version).b;
}

bytes server_race(uint32_t race, uint32_t time, uint32_t laps, uint32_t drop, const uint8_t digest[20],
                  const std::string& track)
{
    return packet_builder(4).u32(race).u32(time).u32(laps).u32(drop).raw(digest, 20).text(track).b;
}

bytes server_rider_info(uint32_t race, uint32_t slot, const std::string& info)
{
    return packet_builder(6).u32(race).u32(slot).text(info).b;
}

bytes server_riding(uint32_t race, uint32_t slot, const std::string& info)
{
    return packet_builder(8).u32(race).u32(slot).text(info).b;
}

bytes server_clock(uint32_t race, uint32_t tic, uint32_t echo) { return packet_builder(10).u32(race).u32(tic).u32(echo).b; }

bytes server_states(uint32_t race, uint32_t tic, uint32_t echo, uint32_t count, const std::vector<state_entry>& records)
{
    packet_builder p(11);
    p.u32(race).u32(tic).u32(echo).u32(count);
    for (const state_entry& e : records) p.u16(e.slot).u16(e.lag).u32(e.tic).raw(e.record, 39);
    return p.b;
}

bytes server_restart(uint32_t race) { return packet_builder(14).u32(race).b; }

bytes server_item(uint32_t sequence, int kind, const bytes& body)
{
    packet_builder p(17);
    p.u32(sequence);
    p.b.push_back(uint8_t(kind));
    return p.raw(body.data(), body.size()).b;
}

bytes server_item_text(uint32_t sequence, int kind, const std::string& body)
{
    return server_item(sequence, kind, bytes(body.begin(), body.end()));
}

bytes server_ack(uint32_t sequence) { return packet_builder(18).u32(sequence).b; }

bytes server_query(uint32_t nonce, const std::string& name) { return packet_builder(25).u32(nonce).text(name).b; }

std::vector<int> types_of(const std::vector<bytes>& packets)
{
    std::vector<int> t;
    for (const bytes& p : packets) t.push_back(p.empty() ? -1 : p[0]);
    return t;
}

bytes first_of(const std::vector<bytes>& packets, int type)
{
    for (const bytes& p : packets)
        if (!p.empty() && p[0] == type) return p;
    return {};
}
