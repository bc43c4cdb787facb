#pragma once

#include <chrono>
#include <thread>

namespace kyvern::testing {

// Waits, without sleeping, until the condition holds; false after the deadline.
template <typename Condition>
bool Eventually(Condition condition, std::chrono::seconds limit = std::chrono::seconds(20)) {
    const auto deadline = std::chrono::steady_clock::now() + limit;
    while (!condition()) {
        if (std::chrono::steady_clock::now() > deadline) return false;
        std::this_thread::yield();
    }
    return true;
}

}  // namespace kyvern::testing
