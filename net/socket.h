#pragma once
// The one non-blocking IPv4 datagram socket of the race-server client: name
// resolution into a peer address, send, receive and close, and a readable
// name for the last socket error that the callers put into their messages.
// Nothing here prints.
#include <cstdint>

#include <netinet/in.h>

// The peer address as the socket calls take it: its length (16) and an IPv4
// socket address (port and address in network byte order).
struct net_address {
    int32_t length;
    sockaddr_in in;
};

// The last error's name, null when the last call had none worth reporting
// (an empty receive queue of a non-blocking socket is no error).
extern const char* net_last_error;

// The library needs no start-up on POSIX; the flag keeps the call order.
int net_startup();
int net_cleanup();

// Splits "host:port" at the last ':'. The port is read as a decimal number
// ("80x" reads 80); when no number can be read the whole name is the host and
// the port is default_port. A port outside 0..65535 is a failure (0).
// Host is cut to host_size - 1 characters.
int net_parse_address(const char* name, int default_port, char* host, int host_size, int* port);
// Fills the record from "host[:port]" (the first IPv4 address of the host);
// 0 when the name does not parse or the host is not found.
int net_resolve(net_address* address, const char* name, int default_port);
// A non-blocking AF_INET datagram socket, or -1 with the error name set.
int net_open_udp();
// Bytes sent, or -1 with the error name set.
int net_send(int socket, const void* bytes, int length, const net_address* address);
// Bytes received with the sender stored, or -1: with the error name set, or
// null when nothing was waiting.
int net_receive(int socket, void* buffer, int capacity, net_address* sender);
void net_close(int socket);
// Sets net_last_error from errno: null for EINTR and EWOULDBLOCK, else the
// symbolic name ("ECONNREFUSED"), else the number in decimal.
void net_error_name();
// 1 when both name the same IPv4 address and port.
int net_address_equal(const net_address* a, const net_address* b);
