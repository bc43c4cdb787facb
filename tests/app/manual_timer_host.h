#pragma once

#include <map>

#include "app/timer_host.h"

namespace kyvern::testing {

// Timers that tick only when the test says so: Fire delivers one tick of a running timer,
// Advance moves a clock of its own and delivers every tick that falls due, in time order.
class ManualTimerHost final : public app::TimerHost {
public:
    void SetTick(Tick tick) override { tick_ = std::move(tick); }
    void StartTimer(int id, int periodMs) override {
        timers_[id] = Entry{periodMs, now_ + periodMs};
        ++starts_[id];
    }
    void StopTimer(int id) override { timers_.erase(id); }
    bool IsRunning(int id) const override { return timers_.count(id) != 0; }
    int Period(int id) const override {
        auto found = timers_.find(id);
        return found == timers_.end() ? 0 : found->second.period;
    }

    // One tick of this timer now; false when it does not run.
    bool Fire(int id) {
        auto found = timers_.find(id);
        if (found == timers_.end()) return false;
        found->second.due = now_ + found->second.period;
        if (tick_) tick_(id);
        return true;
    }
    // Moves the clock by ms and delivers the ticks that fall due on the way.
    void Advance(long ms) {
        const long end = now_ + ms;
        for (;;) {
            auto next = timers_.end();
            for (auto it = timers_.begin(); it != timers_.end(); ++it)
                if (next == timers_.end() || it->second.due < next->second.due) next = it;
            if (next == timers_.end() || next->second.due > end) break;
            now_ = next->second.due;
            Fire(next->first);
        }
        now_ = end;
    }
    long Now() const { return now_; }
    int Starts(int id) const {
        auto found = starts_.find(id);
        return found == starts_.end() ? 0 : found->second;
    }

private:
    struct Entry {
        int period = 0;
        long due = 0;
    };
    Tick tick_;
    std::map<int, Entry> timers_;
    std::map<int, int> starts_;
    long now_ = 0;
};

}  // namespace kyvern::testing
