#include "base/file_committer.h"

#include <utility>

namespace kyvern::base {

FileCommitter::FileCommitter() : thread_([this] { Run(); }) {}

FileCommitter::~FileCommitter() {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        stopping_ = true;
    }
    wake_.notify_one();
    thread_.join();
}

void FileCommitter::Commit(FileReplacement file, Explain explain) {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        queue_.push_back(Job{std::move(file), std::move(explain)});
    }
    wake_.notify_one();
}

std::vector<Status> FileCommitter::Wait() {
    std::unique_lock<std::mutex> lock(mutex_);
    done_.wait(lock, [this] { return queue_.empty() && !busy_; });
    return std::exchange(failures_, {});
}

void FileCommitter::Run() {
    std::unique_lock<std::mutex> lock(mutex_);
    for (;;) {
        wake_.wait(lock, [this] { return stopping_ || !queue_.empty(); });
        if (queue_.empty()) return;  // stopping, and nothing is left to commit
        Job job = std::move(queue_.front());
        queue_.pop_front();
        busy_ = true;
        lock.unlock();
        Status failure;
        if (!job.file.Commit()) failure = job.explain(job.file.Failure());
        lock.lock();
        if (!failure) failures_.push_back(std::move(failure));
        busy_ = false;
        if (queue_.empty()) done_.notify_all();
    }
}

}  // namespace kyvern::base
