#include "analysis/step_worker.h"

namespace kyvern::analysis {

StepWorker::StepWorker() : thread_([this] { Loop(); }) {}

StepWorker::~StepWorker() {
    {
        const std::lock_guard<std::mutex> lock(mutex_);
        stop_ = true;
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
    }
    posted_.notify_one();
}

void StepWorker::Finish() {
    std::unique_lock<std::mutex> lock(mutex_);
    if (state_ == State::kPosted) {
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
        posted_.wait(lock, [this] { return stop_ || state_ == State::kPosted; });
        if (stop_) return;
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
