// The UDP socket layer: address parsing without DNS, the empty receive and
// the password proof.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include <arpa/inet.h>

#include "net/client.h"
#include "net/socket.h"

namespace {

struct parse_case {
    const char* name;
    int ok;
    const char* host;
    int port;
};

TEST(net_parse_address, splits_at_the_last_colon_and_checks_the_port)
{
    const parse_case cases[] = {
        {"h:abc", 1, "h:abc", 19800},     // no number: the whole name, default port
        {"h:0", 1, "h", 0},               // a number was read
        {"h:80x", 1, "h", 80},            // digits first: they count
        {"h:", 1, "h:", 19800},           // a bare colon: the whole name
        {"a:b:c:1", 1, "a:b:c", 1},       // several colons: cut at the last
        {"host", 1, "host", 19800},
        {"h:65535", 1, "h", 65535},
        {"h:70000", 0, "", 0},            // outside 0..65535: failure, never another port
        {"h:-1", 0, "", 0},
        {"h:99999999999999999999", 0, "", 0},
    };
    for (const parse_case& c : cases) {
        char host[64];
        int port = -5;
        int ok = net_parse_address(c.name, 19800, host, int(sizeof host), &port);
        EXPECT_EQ(ok, c.ok) << c.name;
        if (!c.ok) continue;
        EXPECT_STREQ(host, c.host) << c.name;
        EXPECT_EQ(port, c.port) << c.name;
    }
}

TEST(net_resolve, a_bad_port_fails_and_a_literal_resolves)
{
    net_address a;
    EXPECT_EQ(net_resolve(&a, "127.0.0.1:70000", 19800), 0);
    ASSERT_EQ(net_resolve(&a, "127.0.0.1:4321", 19800), 1);
    EXPECT_EQ(a.in.sin_port, htons(4321));
    EXPECT_EQ(a.in.sin_addr.s_addr, htonl(0x7F000001));
    ASSERT_EQ(net_resolve(&a, "127.0.0.1", 19800), 1);
    EXPECT_EQ(a.in.sin_port, htons(19800));
}

TEST(net_socket, an_empty_receive_is_minus_one_without_an_error_name)
{
    int s = net_open_udp();
    ASSERT_GE(s, 0);
    uint8_t buffer[16];
    net_address from;
    net_last_error = "stale";
    EXPECT_EQ(net_receive(s, buffer, int(sizeof buffer), &from), -1);
    EXPECT_EQ(net_last_error, nullptr);
    net_close(s);
}

TEST(net_socket, a_failed_send_names_its_error)
{
    net_address a;
    ASSERT_EQ(net_resolve(&a, "127.0.0.1:9", 19800), 1);
    EXPECT_EQ(net_send(-1, "x", 1, &a), -1);
    ASSERT_NE(net_last_error, nullptr);
    EXPECT_STREQ(net_last_error, "EBADF");
}

TEST(net_password_proof, the_digest_of_password_and_connection_read_big_endian)
{
    // RIPEMD-160("message digest") = 5d0689ef 49d2fae5 ...: the password
    // "message di" and the connection whose little-endian bytes are "gest".
    uint32_t connection = 'g' | 'e' << 8 | 's' << 16 | uint32_t('t') << 24;
    EXPECT_EQ(net_password_proof("message di", connection), 0x5d0689efu);
    EXPECT_EQ(net_password_proof(nullptr, connection), 0u);
    EXPECT_EQ(net_password_proof("", connection), 0u);
    // Any length gives four bytes.
    std::string long_password(5000, 'p');
    EXPECT_NE(net_password_proof(long_password.c_str(), 1), 0u);
}

TEST(net_fake_drop, full_loss_still_passes_68_of_32768_values)
{
    int passed = 0;
    for (int r = 0; r < 32768; r++) passed += !net_fake_drop(100, r);
    EXPECT_EQ(passed, 68);
    EXPECT_FALSE(net_fake_drop(100, 32700));
    EXPECT_TRUE(net_fake_drop(100, 32699));
    for (int r = 0; r < 32768; r += 97) EXPECT_FALSE(net_fake_drop(0, r));
}

}  // namespace
