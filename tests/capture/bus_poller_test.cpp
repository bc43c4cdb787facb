#include "capture/bus_poller.h"

#include <gtest/gtest.h>

#include <chrono>
#include <mutex>
#include <string>
#include <vector>

#include "support/eventually.h"

using kyvern::capture::BusPoller;
using kyvern::testing::Eventually;

TEST(BusPoller, ReportsArrivalsAndRemovalsOfTheListedDevices) {
    std::mutex mutex;
    std::vector<std::string> devices{"cam-a"};
    std::vector<int> messages;
    int listings = 0;
    // Runs f under the lock the poller's thread takes too.
    auto locked = [&](auto f) {
        std::lock_guard lock(mutex);
        return f();
    };
    BusPoller poller(
        [&] {
            return locked([&] {
                ++listings;
                return devices;
            });
        },
        std::chrono::milliseconds(1));
    poller.Start(
        [&](int userValue, int message) {
            EXPECT_EQ(userValue, 77);
            locked([&] { messages.push_back(message); });
        },
        77);
    auto heard = [&](std::size_t count) {
        return Eventually([&] { return locked([&] { return messages.size() >= count; }); });
    };
    // The first listing is what the bus holds at the start.
    ASSERT_TRUE(Eventually([&] { return locked([&] { return listings > 0; }); }));
    locked([&] { devices = {"cam-b", "cam-a"}; });  // order does not matter, only the set
    ASSERT_TRUE(heard(1));
    locked([&] { devices = {"cam-c"}; });  // gone and new at once: both are told
    ASSERT_TRUE(heard(3));
    poller.Stop();
    EXPECT_EQ(messages, (std::vector<int>{kyvern::capture::kBusMessageArrival,
                                          kyvern::capture::kBusMessageRemoval,
                                          kyvern::capture::kBusMessageArrival}));
}
