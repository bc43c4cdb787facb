#include "capture/bus_poller.h"

#include <algorithm>

namespace kyvern::capture {

BusPoller::BusPoller(ListDevices listDevices, std::chrono::milliseconds period)
    : listDevices_(std::move(listDevices)), period_(period) {}

BusPoller::~BusPoller() { Stop(); }

void BusPoller::Start(BusCallback callback, int userValue) {
    {
        std::lock_guard lock(callbackMutex_);
        callback_ = std::move(callback);
        userValue_ = userValue;
    }
    std::lock_guard lock(mutex_);
    if (polling_) return;
    if (thread_.joinable()) thread_.join();
    // The first listing is taken here, before the caller enumerates the bus: taken on the
    // thread it could come after a change the caller has not seen, and that change would be
    // lost for good.
    std::vector<std::string> seen = listDevices_();
    std::sort(seen.begin(), seen.end());
    polling_ = true;
    thread_ = std::thread([this, seen = std::move(seen)]() mutable { Loop(std::move(seen)); });
}

void BusPoller::Stop() {
    {
        std::lock_guard lock(mutex_);
        polling_ = false;
    }
    wake_.notify_all();
    if (thread_.joinable()) thread_.join();
    std::lock_guard lock(callbackMutex_);
    callback_ = {};
}

void BusPoller::Loop(std::vector<std::string> seen) {
    std::unique_lock lock(mutex_);
    while (polling_) {
        wake_.wait_for(lock, period_, [this] { return !polling_; });
        if (!polling_) break;
        lock.unlock();
        std::vector<std::string> now = listDevices_();
        std::sort(now.begin(), now.end());
        if (now != seen) {
            const bool removed = !std::includes(now.begin(), now.end(), seen.begin(), seen.end());
            const bool arrived = !std::includes(seen.begin(), seen.end(), now.begin(), now.end());
            seen = now;
            BusCallback callback;
            int userValue = 0;
            {
                std::lock_guard callbackLock(callbackMutex_);
                callback = callback_;
                userValue = userValue_;
            }
            if (callback && removed) callback(userValue, kBusMessageRemoval);
            if (callback && arrived) callback(userValue, kBusMessageArrival);
        }
        lock.lock();
    }
}

}  // namespace kyvern::capture
