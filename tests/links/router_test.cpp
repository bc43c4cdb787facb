#include <chrono>
#include <cmath>
#include <cstring>
#include <string>
#include <tuple>
#include <vector>

#include <gtest/gtest.h>

#include "link_fixtures.h"
#include "links/router_client.h"
#include "links/router_packet.h"

namespace kyvern::links {
namespace {

using testing::Eventually;
using testing::PeerSocket;
using testing::QuickRouter;
using testing::TempHome;
using Bytes = std::vector<unsigned char>;

constexpr const char* kTitle = "Tessaline Kyvern v3.0.1";

std::uint32_t At32(const Bytes& b, std::size_t offset) {
    std::uint32_t value = 0;
    if (b.size() >= offset + 4) std::memcpy(&value, b.data() + offset, 4);
    return value;
}

// A whole packet: its address, type and sequence, the little-endian fields given as offset,
// size and value, and the text; every other byte zero.
Bytes Packet(std::uint32_t address, std::uint32_t type, std::uint32_t sequence,
             std::vector<std::tuple<std::size_t, int, std::int64_t>> fields = {},
             const std::string& text = "") {
    fields.insert(fields.end(), {{0, 4, address}, {4, 4, type}, {8, 4, sequence}});
    Bytes b(kRouterPacketSize, 0);
    for (auto [offset, size, value] : fields)
        for (int i = 0; i < size; ++i)
            b[offset + i] = static_cast<unsigned char>(static_cast<std::uint64_t>(value) >> 8 * i);
    std::copy(text.begin(), text.end(), b.begin() + kTextOffset);
    return b;
}

TEST(RouterPacket, TruncationAddressAndEdges) {
    TempHome env;
    EXPECT_EQ(AddressWord(7, 2, kClientDevice), 0x04000207u);
    // A value keeps its low 32 bits, toward zero; no number is 0.
    const std::pair<double, std::uint32_t> cuts[] = {{2200.6, 2200u},
                                                     {-15.9, 0xFFFFFFF1u},
                                                     {4294967296.0 + 7.5, 7u},
                                                     {NAN, 0u},
                                                     {-INFINITY, 0u}};
    for (auto [value, bits] : cuts)
        EXPECT_EQ(TruncatedLowBits(value), bits) << value;
    EXPECT_EQ(TruncatedLowBits(1e300), TruncatedLowBits(std::fmod(1e300, 4294967296.0)));
    // A value too wide for its field keeps the low bits: 7000 ft/s gives 70000 = 0x11170.
    EXPECT_EQ(ShotResultPacket(7000, 0, 0, 0, 0, 0, 0, 0).Get16(26), 0x1170);

    // No tee location, or one number only.
    for (const char* tee : {"", "4"}) {
        env.Set("Router", "TeeLocation", tee);
        EXPECT_EQ(TeeOffPacket().Get32(16), *tee ? 144u : 0u) << tee;
    }
    RouterPacket text;
    text.PutText(std::string(100, 'x'));
    EXPECT_EQ(std::strlen(reinterpret_cast<const char*>(text.bytes.data() + 70)), 65u);

    // A short message leaves no stale bytes in the packet.
    RouterReceiveState state;
    std::uint8_t shortMessage[3] = {1, 2, 3};
    EXPECT_TRUE(state.Accept(shortMessage, 3, text));
    EXPECT_EQ(Bytes(text.bytes.begin(), text.bytes.end()), Packet(0x030201, 0, 0));
}

TEST(RouterClient, PeerReceivesLoginAndShotCycleMessages) {
    TempHome env;
    env.Set("Router", "TeeLocation", "10,20");
    PeerSocket router(kRouterSlotName);
    ASSERT_TRUE(router.Bound());
    // Passes an hour apart: each packet goes out when it is sent, not at the thread's pass.
    RouterTiming timing = QuickRouter();
    timing.pass = std::chrono::hours(1);
    RouterClient client(kTitle, timing);
    ASSERT_TRUE(client.Open());
    EXPECT_EQ(router.Receive(2000),
              Packet(0x01000503, 16, 2, {}, "Tessaline Kyvern v3.0.1 logging in"));
    EXPECT_TRUE(Eventually([&] { return client.SentCount() == 1; }));

    ASSERT_TRUE(client.SendTeeOff());
    EXPECT_EQ(router.Receive(2000), Packet(0x01000503, 8, 3, {{16, 2, 360}, {18, 2, 720}}));

    ASSERT_TRUE(client.SendShotResult(220.06, 12.37, -1.55, 3000.9, -600.4, 250.5, -3.25, 6.2345));
    EXPECT_EQ(router.Receive(2000), Packet(0x01000503, 2048, 4,
                                           {{16, 2, 360},
                                            {18, 2, 720},
                                            {20, 2, 9018},
                                            {26, 2, 2200},
                                            {28, 4, 123},
                                            {32, 4, 3000},
                                            {40, 2, 9018},
                                            {42, 2, -117},
                                            {44, 2, 6234},
                                            {116, 2, 15},
                                            {126, 2, -600},
                                            {128, 2, -15}}));

    ASSERT_TRUE(client.SendFailedAnalysis());
    EXPECT_EQ(router.Receive(2000),
              Packet(0x01000503, 2048, 5, {{16, 2, 360}, {18, 2, 720}, {116, 2, 15}}));
    EXPECT_TRUE(Eventually([&] { return client.SentCount() == 4; }));
    EXPECT_FALSE(client.Stopped());
}

TEST(RouterClient, CountsTheRoutersPacketsAndHoldsTheFirst) {
    TempHome env;
    PeerSocket router(kRouterSlotName);
    RouterClient client(kTitle, QuickRouter());
    ASSERT_TRUE(client.Open());
    ASSERT_EQ(router.Receive(2000).size(), 136u);  // the login: ms3 exists now
    RouterPacket held;
    EXPECT_FALSE(client.Receive(held));

    auto fromRouter = [](std::int32_t sequence, std::uint32_t type) {
        const Bytes packet = Packet(kFromRouter | 3, type, static_cast<std::uint32_t>(sequence));
        return PeerSocket::SendTo("ms3", packet.data(), packet.size());
    };
    for (std::int32_t sequence = 2; sequence <= 5; ++sequence) {
        ASSERT_TRUE(fromRouter(sequence, MSG_TICKER));
        ASSERT_TRUE(Eventually([&] { return client.Receive(held); }));
        EXPECT_EQ(held.Sequence(), sequence);
        EXPECT_EQ(held.Type(), 32u);
    }
    ASSERT_TRUE(fromRouter(5, MSG_TICKER));
    ASSERT_TRUE(Eventually([&] { return client.ExtraCount() == 1; }));
    EXPECT_FALSE(client.Receive(held));
    ASSERT_TRUE(fromRouter(9, MSG_WX));
    ASSERT_TRUE(Eventually([&] { return client.ReceivedCount() == 5; }));
    EXPECT_EQ(client.LostCount(), 3u);

    // While one packet is held nothing more is read, so the counters stand still.
    ASSERT_TRUE(fromRouter(20, MSG_WX));
    ASSERT_TRUE(fromRouter(20, MSG_WX));
    ASSERT_TRUE(client.SendTeeOff());  // a full pass of the loop goes by
    ASSERT_EQ(router.Receive(2000).size(), 136u);
    EXPECT_EQ(client.ReceivedCount(), 5u);
    EXPECT_EQ(client.LostCount(), 3u);
    ASSERT_TRUE(client.Receive(held));
    EXPECT_EQ(held.Sequence(), 9);
    ASSERT_TRUE(Eventually([&] { return client.ReceivedCount() == 6; }));
    EXPECT_EQ(client.LostCount(), 13u);
    ASSERT_TRUE(client.Receive(held));
    EXPECT_EQ(held.Sequence(), 20);
    ASSERT_TRUE(Eventually([&] { return client.ExtraCount() == 2; }));

    // Going back counts nothing lost; a gap up to the 32-bit limit counts in full.
    for (std::int32_t sequence : {3, INT32_MAX, INT32_MIN}) {
        ASSERT_TRUE(fromRouter(sequence, MSG_WX));
        ASSERT_TRUE(Eventually([&] { return client.Receive(held); }));
    }
    EXPECT_EQ(client.LostCount(), 13u + (INT32_MAX - 4u));
    EXPECT_EQ(client.ReceivedCount(), 9u);
}

TEST(RouterClient, SecondInstanceStopsAndSendDropsThePacket) {
    TempHome env;
    PeerSocket router(kRouterSlotName);
    RouterClient first(kTitle, QuickRouter());
    ASSERT_TRUE(first.Open());
    ASSERT_EQ(router.Receive(2000).size(), 136u);
    RouterClient second(kTitle, QuickRouter());
    ASSERT_TRUE(second.Open());
    ASSERT_TRUE(Eventually([&] { return second.Stopped(); }));
    // The program goes on: the packet is dropped and the caller told so.
    RouterPacket held;
    EXPECT_FALSE(second.SendTeeOff() || second.SendShotResult(1, 2, 3, 4, 5, 6, 7, 8) ||
                 second.Receive(held));
    EXPECT_EQ(second.SentCount(), 0u);
    bool got = true;
    router.Receive(50, &got);
    EXPECT_FALSE(got);
    // The first one is unaffected.
    EXPECT_TRUE(first.SendTeeOff());
    EXPECT_EQ(At32(router.Receive(2000), 8), 3u);
}

// Heartbeats carry the title and follow the login's sequence. The router reads nothing until
// its queue is full and a heartbeat fails; the client then connects again, which starts its
// sequence afresh.
TEST(RouterClient, HeartbeatsFollowTheLoginAndAFailedOneReconnects) {
    TempHome env;
    env.Set("Router", "ClientID", "7");
    env.Set("Router", "TargetID", "2");
    PeerSocket router(kRouterSlotName);
    RouterClient client(kTitle, QuickRouter(0));  // a heartbeat on every other pass
    ASSERT_TRUE(client.Open());
    ASSERT_TRUE(Eventually([&] { return client.ConnectCount() >= 2; }));
    Bytes packet = router.Receive(2000);
    EXPECT_EQ(packet, Packet(0x01000207, 16, 2, {}, "Tessaline Kyvern v3.0.1 logging in"));
    std::uint32_t sequence = 2;
    while ((packet = router.Receive(2000)).size() == kRouterPacketSize &&
           At32(packet, 8) > sequence)
        ASSERT_EQ(packet, Packet(0x01000207, 128, ++sequence, {}, kTitle));
    EXPECT_EQ(packet.size(), kRouterPacketSize);  // a restart, not silence
    EXPECT_GT(sequence, 3u);
    EXPECT_FALSE(client.Stopped());
}

}  // namespace
}  // namespace kyvern::links
