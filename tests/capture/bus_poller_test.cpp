#include "capture/bus_poller.h"

#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <string>
#include <vector>

using kyvern::capture::BusPoller;

TEST(BusPoller, ReportsArrivalsAndRemovalsOfTheListedDevices) {
    std::mutex mutex;
    std::condition_variable changed;
    std::vector<std::string> devices{"cam-a"};
    std::vector<int> messages;
    int listings = 0;
    BusPoller poller(
        [&] {
            std::lock_guard lock(mutex);
            ++listings;
            changed.notify_all();
            return devices;
        },
        std::chrono::milliseconds(1));
    poller.Start(
        [&](int userValue, int message) {
            std::lock_guard lock(mutex);
            EXPECT_EQ(userValue, 77);
            messages.push_back(message);
            changed.notify_all();
        },
        77);
    auto await = [&](std::size_t count) {
        std::unique_lock lock(mutex);
        return changed.wait_for(lock, std::chrono::seconds(10),
                                [&] { return messages.size() >= count; });
    };
    {
        // The first listing is what the bus holds at the start.
        std::unique_lock lock(mutex);
        ASSERT_TRUE(changed.wait_for(lock, std::chrono::seconds(10), [&] { return listings > 0; }));
        devices = {"cam-b", "cam-a"};  // order does not matter, only the set
    }
    ASSERT_TRUE(await(1));
    {
        std::lock_guard lock(mutex);
        devices = {"cam-c"};  // one gone and one new at once: both are told
    }
    ASSERT_TRUE(await(3));
    poller.Stop();
    std::lock_guard lock(mutex);
    EXPECT_EQ(messages, (std::vector<int>{kyvern::capture::kBusMessageArrival,
                                          kyvern::capture::kBusMessageRemoval,
                                          kyvern::capture::kBusMessageArrival}));
}
