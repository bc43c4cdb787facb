#pragma once

#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "capture/camera_driver.h"

namespace kyvern::capture {

// Finds arrivals and removals on a bus whose library sends no notices, by listing its devices
// every period on a thread of its own and telling the bus callback what changed.
class BusPoller {
public:
    using ListDevices = std::function<std::vector<std::string>()>;

    BusPoller(ListDevices listDevices, std::chrono::milliseconds period);
    ~BusPoller();
    BusPoller(const BusPoller&) = delete;
    BusPoller& operator=(const BusPoller&) = delete;

    // Sets the callback and starts polling when it is not running yet.
    void Start(BusCallback callback, int userValue);
    // Stops polling, waits for the thread and forgets the callback.
    void Stop();

private:
    void Loop(std::vector<std::string> seen);

    ListDevices listDevices_;
    std::chrono::milliseconds period_;
    std::mutex callbackMutex_;
    BusCallback callback_;
    int userValue_ = 0;
    std::thread thread_;
    std::mutex mutex_;
    std::condition_variable wake_;
    bool polling_ = false;
};

}  // namespace kyvern::capture
