// The test race server relaying two clients into one race: this process's
// client and a second one scripted on a raw socket. Both get through the
// handshake, each one's states reach the other, and chat goes both ways.
#include <gtest/gtest.h>

#include <cstring>

#include "core/game_state.h"
#include "net/client.h"
#include "net/reliable.h"
#include "net_fixture.h"
#include "race_relay.h"

namespace {

// The second rider: just enough of a client to race through the relay.
struct scripted_client {
    fake_server socket;  // a loopback socket of its own
    net_address relay{};
    uint32_t slot = 160, connection = 0, race = 0;
    bool racing = false;
    uint32_t tic = 0;
    std::vector<std::string> chat;
    uint32_t next_seq = 0;

    void send(const bytes& p) { fake_server_send_to(&socket, p, relay); }
    bytes header(int type) { return packet_builder(type).u32(slot).u32(connection).b; }
    void step()
    {
        bytes p;
        net_address from;
        while (fake_server_receive_one(&socket, &p, &from)) {
            if (p.empty()) continue;
            switch (p[0]) {
            case 2:
                slot = u32_at(p, 1), connection = u32_at(p, 5);
                send(packet_builder(3).u32(slot).u32(connection).u32(0).u32(0).u32(1).raw(std::string(20, '\0').data(), 20).text("cr125\n7\nBee").b);
                break;
            case 4:
                race = u32_at(p, 1);
                send(packet_builder(5).u32(slot).u32(connection).u32(race).b);
                break;
            case 8: send(packet_builder(9).u32(slot).u32(connection).u32(race).b); break;
            case 10: racing = true; break;
            case 17:
                send(packet_builder(18).u32(slot).u32(connection).u32(u32_at(p, 1)).b);
                if (p[5] == 19) chat.emplace_back(p.begin() + 6, p.end());
                break;
            default: break;
            }
        }
        if (!racing) return;
        tic++;
        if (tic % 4 == 0) {
            uint8_t record[39];
            for (int i = 0; i < 39; i++) record[i] = uint8_t(tic + i);
            send(packet_builder(11).u32(slot).u32(connection).u32(race).u32(0).u32(tic).raw(record, 39).b);
        }
    }
    void say(const std::string& text)
    {
        bytes p = packet_builder(17).u32(slot).u32(connection).u32(next_seq++).b;
        p.push_back(19);
        p.insert(p.end(), text.begin(), text.end());
        send(p);
    }
};

using relay_test = net_test;

TEST_F(relay_test, two_clients_race_through_the_relay_and_chat_both_ways)
{
    race_relay relay;
    ASSERT_TRUE(relay_open(&relay));
    memcpy(relay.digest, loaded_digest, 20);
    scripted_client bee;
    ASSERT_TRUE(fake_server_open(&bee.socket));
    bee.relay = relay.server.self;

    net_set_server(fake_server_name(relay.server).c_str());
    step();
    relay_step(&relay, game_clock);
    bee.send(bytes(21, 0));  // the second contact
    for (int i = 0; i < 128 * 5 && !(bee.racing && net_client.state == client_racing); i++) {
        step();
        relay_step(&relay, game_clock);
        bee.step();
    }
    ASSERT_EQ(net_client.state, client_racing);
    ASSERT_TRUE(bee.racing);
    EXPECT_EQ(net_own_slot(), 0);
    EXPECT_EQ(bee.slot, 1u);
    EXPECT_STREQ(net_rider_infos[1].name, "Bee");

    send_script_message(reliable_chat, "hello from here", 15);
    bee.say("hello from Bee");
    for (int i = 0; i < 128 * 2; i++) {
        tic_counter++;
        step();
        relay_step(&relay, game_clock);
        bee.step();
    }
    EXPECT_GT(net_last_state_tic(1), 0);          // Bee's states in our history
    EXPECT_GT(relay.clients[0].states_received, 0);  // ours at the relay
    EXPECT_TRUE(log_has("hello from Bee"));
    ASSERT_EQ(bee.chat.size(), 1u);
    EXPECT_EQ(bee.chat[0], "hello from here");
    fake_server_close(&bee.socket);
    relay_close(&relay);
}

}  // namespace
