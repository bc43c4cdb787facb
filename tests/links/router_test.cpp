#include <chrono>
#include <cmath>
#include <cstring>
#include <string>
#include <thread>
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
    return b[offset] | (b[offset + 1] << 8) | (b[offset + 2] << 16) |
           (std::uint32_t(b[offset + 3]) << 24);
}
std::uint16_t At16(const Bytes& b, std::size_t offset) {
    return static_cast<std::uint16_t>(b[offset] | (b[offset + 1] << 8));
}
std::string TextOf(const Bytes& b) { return reinterpret_cast<const char*>(b.data() + 70); }

// Every byte outside the given fields is zero.
void ExpectZeroElsewhere(const Bytes& b, std::vector<std::pair<std::size_t, std::size_t>> set) {
    for (std::size_t i = 0; i < b.size(); ++i) {
        bool inField = false;
        for (auto [offset, size] : set)
            inField = inField || (i >= offset && i < offset + size);
        if (!inField) {
            EXPECT_EQ(b[i], 0) << "offset " << i;
        }
    }
}

TEST(RouterPacket, FieldsTruncationAndAddress) {
    TempHome env;
    EXPECT_EQ(AddressWord(7, 2, kClientDevice), 0x04000207u);
    EXPECT_EQ(TruncatedLowBits(2200.6), 2200u);
    EXPECT_EQ(TruncatedLowBits(-15.9), 0xFFFFFFF1u);
    EXPECT_EQ(TruncatedLowBits(4294967296.0 + 7.5), 7u);
    EXPECT_EQ(TruncatedLowBits(1e300), TruncatedLowBits(std::fmod(1e300, 4294967296.0)));
    EXPECT_EQ(TruncatedLowBits(std::nan("")), 0u);
    EXPECT_EQ(TruncatedLowBits(-INFINITY), 0u);

    // A value too wide for its field keeps the low bits: 7000 ft/s gives 70000 = 0x11170.
    EXPECT_EQ(ShotResultPacket(7000, 0, 0, 0, 0, 0, 0, 0).Get16(26), 0x1170);

    // The shot and tee packets of ordinary values are pinned byte by byte where the client
    // sends them; here the edges.
    env.Set("Router", "TeeLocation", "");
    EXPECT_EQ(TeeOffPacket().Get16(16), 0);
    EXPECT_EQ(TeeOffPacket().Get16(18), 0);
    env.Set("Router", "TeeLocation", "4");
    EXPECT_EQ(TeeOffPacket().Get16(16), 144);
    EXPECT_EQ(TeeOffPacket().Get16(18), 0);

    RouterPacket text;
    text.PutText(std::string(100, 'x'));
    EXPECT_EQ(std::strlen(reinterpret_cast<const char*>(text.bytes.data() + 70)), 65u);
    EXPECT_EQ(text.bytes[135], 0);
}

TEST(RouterPacket, ReceiveBookkeeping) {
    RouterReceiveState state;
    RouterPacket packet;
    auto arrive = [&](std::int32_t sequence) {
        std::uint8_t data[136] = {};
        std::memcpy(data + 8, &sequence, 4);
        return state.Accept(data, sizeof data, packet);
    };
    EXPECT_TRUE(arrive(2));
    EXPECT_TRUE(arrive(5));
    EXPECT_EQ(state.Lost(), 2u);
    EXPECT_FALSE(arrive(5));
    EXPECT_EQ(state.Extra(), 1u);
    EXPECT_TRUE(arrive(9));
    EXPECT_EQ(state.Lost(), 5u);  // 6, 7 and 8 more
    EXPECT_TRUE(arrive(3));       // going back counts nothing lost
    EXPECT_EQ(state.Lost(), 5u);
    EXPECT_TRUE(arrive(INT32_MAX));
    EXPECT_TRUE(arrive(INT32_MIN));
    EXPECT_EQ(state.Received(), 6u);
    // A short message leaves no stale bytes in the packet.
    std::uint8_t shortMessage[3] = {1, 2, 3};
    EXPECT_TRUE(state.Accept(shortMessage, 3, packet));
    EXPECT_EQ(packet.Sequence(), 0);
    EXPECT_EQ(packet.bytes[2], 3);
}

TEST(RouterClient, PeerReceivesLoginAndShotCycleMessages) {
    TempHome env;
    env.Set("Router", "TeeLocation", "10,20");
    PeerSocket router(kRouterSlotName);
    ASSERT_TRUE(router.Bound());
    RouterClient client(kTitle, QuickRouter());
    ASSERT_TRUE(client.Open());

    Bytes login = router.Receive(2000);
    ASSERT_EQ(login.size(), 136u);
    EXPECT_EQ(At32(login, 0), 0x01000503u);
    EXPECT_EQ(At32(login, 4), 16u);
    EXPECT_EQ(At32(login, 8), 2u);
    EXPECT_EQ(TextOf(login), "Tessaline Kyvern v3.0.1 logging in");
    ExpectZeroElsewhere(login, {{0, 12}, {70, 35}});
    EXPECT_TRUE(Eventually([&] { return client.SentCount() == 1; }));
    EXPECT_GT(client.LastSendTick(), 0);

    ASSERT_TRUE(client.SendTeeOff());
    Bytes tee = router.Receive(2000);
    ASSERT_EQ(tee.size(), 136u);
    EXPECT_EQ(At32(tee, 0), 0x01000503u);
    EXPECT_EQ(At32(tee, 4), 8u);
    EXPECT_EQ(At32(tee, 8), 3u);
    EXPECT_EQ(At16(tee, 16), 360);
    EXPECT_EQ(At16(tee, 18), 720);
    ExpectZeroElsewhere(tee, {{0, 12}, {16, 4}});

    ASSERT_TRUE(client.SendShotResult(220.06, 12.37, -1.55, 3000.9, -600.4, 250.5, -3.25, 6.2345));
    Bytes shot = router.Receive(2000);
    ASSERT_EQ(shot.size(), 136u);
    EXPECT_EQ(At32(shot, 4), 2048u);
    EXPECT_EQ(At32(shot, 8), 4u);
    EXPECT_EQ(At16(shot, 26), 2200);
    EXPECT_EQ(At32(shot, 28), 123u);
    EXPECT_EQ(At32(shot, 32), 3000u);
    EXPECT_EQ(At16(shot, 20), 9018);
    EXPECT_EQ(At16(shot, 40), 9018);
    EXPECT_EQ(static_cast<std::int16_t>(At16(shot, 42)), -117);
    EXPECT_EQ(At16(shot, 44), 6234);
    EXPECT_EQ(At16(shot, 116), 15);
    EXPECT_EQ(static_cast<std::int16_t>(At16(shot, 126)), -600);
    EXPECT_EQ(static_cast<std::int16_t>(At16(shot, 128)), -15);
    ExpectZeroElsewhere(shot, {{0, 12}, {16, 6}, {26, 10}, {40, 6}, {116, 2}, {126, 4}});

    ASSERT_TRUE(client.SendFailedAnalysis());
    Bytes failed = router.Receive(2000);
    ASSERT_EQ(failed.size(), 136u);
    EXPECT_EQ(At32(failed, 4), 2048u);
    EXPECT_EQ(At32(failed, 8), 5u);
    EXPECT_EQ(At16(failed, 116), 15);
    ExpectZeroElsewhere(failed, {{0, 12}, {16, 4}, {116, 2}});
    EXPECT_TRUE(Eventually([&] { return client.SentCount() == 4; }));
    EXPECT_FALSE(client.Stopped());
}

TEST(RouterClient, HeartbeatsCarryTheTitleAndFollowTheSequence) {
    TempHome env;
    env.Set("Router", "ClientID", "7");
    env.Set("Router", "TargetID", "2");
    PeerSocket router(kRouterSlotName);
    RouterClient client(kTitle, QuickRouter(3));
    ASSERT_TRUE(client.Open());
    EXPECT_EQ(client.OwnClient(), 7);
    EXPECT_EQ(client.TargetClient(), 2);
    Bytes login = router.Receive(2000);
    ASSERT_EQ(At32(login, 4), 16u);
    EXPECT_EQ(At32(login, 0), 0x01000207u);
    for (std::uint32_t sequence = 3; sequence < 6; ++sequence) {
        Bytes heartbeat = router.Receive(2000);
        ASSERT_EQ(heartbeat.size(), 136u);
        EXPECT_EQ(At32(heartbeat, 4), 128u);
        EXPECT_EQ(At32(heartbeat, 8), sequence);
        EXPECT_EQ(TextOf(heartbeat), kTitle);
        ExpectZeroElsewhere(heartbeat, {{0, 12}, {70, 24}});
    }
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
        RouterPacket packet;
        packet.Put32(kAddressOffset, kFromRouter | 3);
        packet.Put32(kTypeOffset, type);
        packet.Put32(kSequenceOffset, static_cast<std::uint32_t>(sequence));
        return PeerSocket::SendTo("ms3", packet.bytes.data(), packet.bytes.size());
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
    EXPECT_FALSE(second.SendTeeOff());
    EXPECT_FALSE(second.SendShotResult(1, 2, 3, 4, 5, 6, 7, 8));
    RouterPacket held;
    EXPECT_FALSE(second.Receive(held));
    EXPECT_EQ(second.SentCount(), 0u);
    bool got = true;
    router.Receive(50, &got);
    EXPECT_FALSE(got);
    // The first one is unaffected.
    EXPECT_TRUE(first.SendTeeOff());
    EXPECT_EQ(At32(router.Receive(2000), 8), 3u);
}

TEST(RouterClient, FailedHeartbeatReconnects) {
    TempHome env;
    PeerSocket router(kRouterSlotName);
    RouterClient client(kTitle, QuickRouter(0));  // a heartbeat on every other pass
    ASSERT_TRUE(client.Open());
    // The router reads nothing until its queue is full and a heartbeat fails; the client then
    // connects again, which starts its sequence afresh.
    ASSERT_TRUE(Eventually([&] { return client.ConnectCount() >= 2; }));
    std::uint32_t lastSequence = 0;
    bool restarted = false;
    for (int i = 0; i < 100 && !restarted; ++i) {
        bool ok = false;
        Bytes packet = router.Receive(2000, &ok);
        ASSERT_TRUE(ok);
        std::uint32_t sequence = At32(packet, 8);
        if (i == 0) {
            EXPECT_EQ(At32(packet, 4), 16u);
            EXPECT_EQ(sequence, 2u);
        } else if (sequence != lastSequence + 1) {
            restarted = sequence < lastSequence;
        }
        lastSequence = sequence;
    }
    EXPECT_TRUE(restarted);
    EXPECT_FALSE(client.Stopped());
}

}  // namespace
}  // namespace kyvern::links
