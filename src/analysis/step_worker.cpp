#include "analysis/step_worker.h"

#include <sched.h>

#include <chrono>
#include <thread>

#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>
#endif

namespace kyvern::analysis {

int StepWorker::UsableProcessors() {
    cpu_set_t set;
    CPU_ZERO(&set);
    if (sched_getaffinity(0, sizeof set, &set) == 0) return CPU_COUNT(&set);
    return int(std::thread::hardware_concurrency());
}

StepWorker::StepWorker() : thread_([this] { Loop(); }) {}

StepWorker::~StepWorker() {
    {
        const std::lock_guard<std::mutex> lock(mutex_);
        stop_ = true;
        pending_.store(true, std::memory_order_release);
    }
    posted_.notify_one();
    thread_.join();
}

void StepWorker::Post(Task task, void* context) {
    {
        const std::lock_guard<std::mutex> lock(mutex_);
        task_ = task;
        context_ = context;
        state_ = State::kPosted;
        pending_.store(true, std::memory_order_release);
    }
    posted_.notify_one();
}

void StepWorker::Finish() {
    std::unique_lock<std::mutex> lock(mutex_);
    if (state_ == State::kPosted) {
        pending_.store(false, std::memory_order_relaxed);
        state_ = State::kTaken;
        lock.unlock();
        task_(context_);
        lock.lock();
    } else {
        done_.wait(lock, [this] { return state_ == State::kDone; });
    }
    state_ = State::kIdle;
}

void StepWorker::Loop() {
    std::unique_lock<std::mutex> lock(mutex_);
    for (;;) {
        // A frame's steps follow each other within microseconds, and waking from the condition
        // takes tens of them here: the worker watches for the next task a while before it sleeps.
        lock.unlock();
        const auto until = std::chrono::steady_clock::now() + kWatch;
        while (!pending_.load(std::memory_order_acquire) &&
               std::chrono::steady_clock::now() < until) {
#if defined(__x86_64__) || defined(__i386__)
            _mm_pause();
#endif
        }
        lock.lock();
        posted_.wait(lock, [this] { return stop_ || state_ == State::kPosted; });
        if (stop_) return;
        pending_.store(false, std::memory_order_relaxed);
        state_ = State::kTaken;
        const Task task = task_;
        void* const context = context_;
        lock.unlock();
        task(context);
        lock.lock();
        state_ = State::kDone;
        done_.notify_one();
    }
}

}  // namespace kyvern::analysis
