#include "app/timer_host.h"

#include <thread>

namespace kyvern::app {

void LoopTimerHost::StartTimer(int id, int periodMs) {
    if (periodMs < 1) periodMs = 1;
    timers_[id] = Entry{periodMs, Clock::now() + std::chrono::milliseconds(periodMs)};
}

void LoopTimerHost::StopTimer(int id) { timers_.erase(id); }

bool LoopTimerHost::IsRunning(int id) const { return timers_.count(id) != 0; }

int LoopTimerHost::Period(int id) const {
    auto found = timers_.find(id);
    return found == timers_.end() ? 0 : found->second.period;
}

std::map<int, LoopTimerHost::Entry>::iterator LoopTimerHost::NextDue() {
    auto best = timers_.end();
    for (auto it = timers_.begin(); it != timers_.end(); ++it) {
        if (best == timers_.end() || it->second.due < best->second.due) best = it;
    }
    return best;
}

void LoopTimerHost::Fire(std::map<int, Entry>::iterator entry) {
    const int id = entry->first;
    // The next tick is due one period after this one; a late tick does not pile up.
    entry->second.due = Clock::now() + std::chrono::milliseconds(entry->second.period);
    if (tick_) tick_(id);  // may start or stop any timer, this one included
}

bool LoopTimerHost::DispatchNext() {
    auto next = NextDue();
    if (next == timers_.end()) return false;
    Fire(next);
    return true;
}

void LoopTimerHost::Run(const std::function<bool()>& keepGoing, std::chrono::milliseconds maxNap) {
    while (keepGoing()) {
        auto next = NextDue();
        const Clock::time_point now = Clock::now();
        if (next == timers_.end()) {
            std::this_thread::sleep_for(maxNap);
            continue;
        }
        if (next->second.due > now) {
            std::this_thread::sleep_until(std::min(next->second.due, now + maxNap));
            continue;
        }
        Fire(next);
    }
}

}  // namespace kyvern::app
