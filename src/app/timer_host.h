#pragma once

#include <chrono>
#include <functional>
#include <map>

namespace kyvern::app {

// Identifiers of the main window's timers.
inline constexpr int kCameraTimer = 100;
inline constexpr int kCaptureFileTimer = 101;
inline constexpr int kViewTimer = 200;
inline constexpr int kSensorTimer = 300;
inline constexpr int kTestTimer = 400;
inline constexpr int kConnectionTimer = 500;
inline constexpr int kCommandTimer = 700;
inline constexpr int kIndicatorTimer = 800;
inline constexpr int kNoticeTimer = 900;

// Periodic timers by identifier, every tick delivered on the one thread that runs the shot
// cycle. The window implements it with its own timers, the headless runner with a loop, the
// tests step it by hand.
class TimerHost {
public:
    using Tick = std::function<void(int id)>;
    virtual ~TimerHost() = default;
    // Where the ticks go; set once by the owner of the cycle.
    virtual void SetTick(Tick tick) = 0;
    // Starts the timer, or restarts it with the new period when it runs.
    virtual void StartTimer(int id, int periodMs) = 0;
    virtual void StopTimer(int id) = 0;
    virtual bool IsRunning(int id) const = 0;
    // The period of a running timer; 0 when it is stopped.
    virtual int Period(int id) const = 0;
};

// The headless runner's timers: Run dispatches due ticks on the calling thread in the order
// they fall due, sleeping in between, until keepGoing says no.
class LoopTimerHost final : public TimerHost {
public:
    void SetTick(Tick tick) override { tick_ = std::move(tick); }
    void StartTimer(int id, int periodMs) override;
    void StopTimer(int id) override;
    bool IsRunning(int id) const override;
    int Period(int id) const override;

    // keepGoing is asked before every tick and at least every maxNap.
    void Run(const std::function<bool()>& keepGoing,
             std::chrono::milliseconds maxNap = std::chrono::milliseconds(50));
    // The next tick now, without waiting for its time: how a benchmark runs the cycle as fast
    // as it allows. False when no timer runs.
    bool DispatchNext();

private:
    using Clock = std::chrono::steady_clock;
    struct Entry {
        int period = 0;
        Clock::time_point due;
    };
    // The timer due first (lowest identifier among equal times); end() when none runs.
    std::map<int, Entry>::iterator NextDue();
    void Fire(std::map<int, Entry>::iterator entry);

    Tick tick_;
    std::map<int, Entry> timers_;
};

}  // namespace kyvern::app
