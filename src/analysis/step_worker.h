#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>

namespace kyvern::analysis {

// A second thread for the analysis, started once and kept: it takes one task at a time while
// the caller does its own share. A task the worker has not taken by the time the caller
// finishes its share is run by the caller, so a worker the system has not scheduled yet never
// holds a frame up. Nothing is allocated per task.
class StepWorker {
public:
    using Task = void (*)(void* context);

    StepWorker();
    StepWorker(const StepWorker&) = delete;
    StepWorker& operator=(const StepWorker&) = delete;
    ~StepWorker();

    // The processors this process may run on: a second thread on the one the caller runs on
    // would only take turns with it (and, watching for tasks, hold it up).
    static int UsableProcessors();

    // Hands task(context) over; one task at a time, each ended by Finish.
    void Post(Task task, void* context);
    // Returns when the posted task has run, here if the worker has not taken it yet.
    void Finish();

private:
    enum class State { kIdle, kPosted, kTaken, kDone };
    void Loop();

    static constexpr std::chrono::microseconds kWatch{300};

    std::mutex mutex_;
    std::condition_variable posted_;
    std::condition_variable done_;
    State state_ = State::kIdle;
    bool stop_ = false;
    std::atomic<bool> pending_{false};  // state_ is kPosted (or stop_): read without the lock
    Task task_ = nullptr;
    void* context_ = nullptr;
    std::thread thread_;  // last: starts once the rest exists
};

}  // namespace kyvern::analysis
