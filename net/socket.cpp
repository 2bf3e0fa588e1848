// The race client's UDP socket over POSIX sockets.
#include "net/socket.h"

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include <arpa/inet.h>
#include <fcntl.h>
#include <netdb.h>
#include <sys/socket.h>
#include <unistd.h>

#include "core/util.h"

const char* net_last_error;

namespace {

int started;
char error_number[64];

}  // namespace

int net_startup()
{
    started = 1;
    return 0;
}

int net_cleanup()
{
    if (!started) return 0;
    started = 0;
    return 0;
}

int net_parse_address(const char* name, int default_port, char* host, int host_size, int* port)
{
    copy_bounded(host, name, host_size);
    *port = default_port;
    const char* colon = strrchr(name, ':');
    if (!colon) return 1;
    // strtol rather than "%d": a port too large for an int must be a failure,
    // never a number wrapped into another port.
    const char* digits = colon + 1;
    while (*digits == ' ' || *digits == '\t') digits++;
    char* end = nullptr;
    errno = 0;
    long value = strtol(digits, &end, 10);
    if (end == digits) return 1;  // nothing read: the whole name, default port
    if (errno == ERANGE || value < 0 || value > 65535) return 0;
    int cut = int(colon - name);
    if (cut < host_size) host[cut] = 0;
    *port = int(value);
    return 1;
}

int net_resolve(net_address* address, const char* name, int default_port)
{
    if (!started) net_startup();
    net_last_error = nullptr;
    memset(address, 0, sizeof *address);
    address->length = int32_t(sizeof(sockaddr_in));
    address->in.sin_family = AF_INET;
    char host[1024];
    int port = 0;
    if (!net_parse_address(name, default_port, host, int(sizeof host), &port)) return 0;
    address->in.sin_port = htons(uint16_t(port));
    addrinfo hints{};
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_DGRAM;
    addrinfo* found = nullptr;
    if (getaddrinfo(host, nullptr, &hints, &found) != 0 || !found) return 0;
    address->in.sin_addr = reinterpret_cast<const sockaddr_in*>(found->ai_addr)->sin_addr;
    freeaddrinfo(found);
    return 1;
}

int net_open_udp()
{
    if (!started) net_startup();
    net_last_error = nullptr;
    int s = socket(AF_INET, SOCK_DGRAM, 0);
    if (s < 0) {
        net_error_name();
        return -1;
    }
    int flags = fcntl(s, F_GETFL, 0);
    if (flags < 0 || fcntl(s, F_SETFL, flags | O_NONBLOCK) < 0) {
        net_error_name();
        close(s);
        return -1;
    }
    return s;
}

int net_send(int socket, const void* bytes, int length, const net_address* address)
{
    net_last_error = nullptr;
    ssize_t n = sendto(socket, bytes, size_t(length), 0, reinterpret_cast<const sockaddr*>(&address->in),
                       socklen_t(sizeof address->in));
    if (n < 0) {
        net_error_name();
        return -1;
    }
    return int(n);
}

int net_receive(int socket, void* buffer, int capacity, net_address* sender)
{
    net_last_error = nullptr;
    memset(sender, 0, sizeof *sender);
    socklen_t length = sizeof sender->in;
    ssize_t n = recvfrom(socket, buffer, size_t(capacity), 0, reinterpret_cast<sockaddr*>(&sender->in), &length);
    if (n < 0) {
        net_error_name();
        return -1;
    }
    sender->length = int32_t(length);
    return int(n);
}

void net_close(int socket)
{
    if (socket >= 0) close(socket);
}

void net_error_name()
{
    int code = errno;
    if (code == EINTR || code == EWOULDBLOCK || code == EAGAIN) {
        net_last_error = nullptr;
        return;
    }
    const char* name = strerrorname_np(code);
    if (name) {
        net_last_error = name;
        return;
    }
    snprintf(error_number, sizeof error_number, "%d", code);
    net_last_error = error_number;
}

int net_address_equal(const net_address* a, const net_address* b)
{
    return a->in.sin_family == b->in.sin_family && a->in.sin_port == b->in.sin_port &&
           a->in.sin_addr.s_addr == b->in.sin_addr.s_addr;
}
