#pragma once

#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "base/atomic_file.h"
#include "base/status.h"

namespace kyvern::base {

// Commits written file replacements on a thread of its own, so that their flushes to the disk
// wait there and not on the caller: the shot cycle hands over its pictures and goes on with the
// analysis. Each commit is FileReplacement::Commit, in the order handed over, so a crash still
// leaves every file old or new. Wait is the caller's point of return: every replacement handed
// over before it is in place (or has failed) when it returns.
class FileCommitter {
public:
    // The failure's text for the user from the replacement's reason.
    using Explain = std::function<Status(const std::string& why)>;

    FileCommitter();
    // Commits what is still queued, then stops.
    ~FileCommitter();
    FileCommitter(const FileCommitter&) = delete;
    FileCommitter& operator=(const FileCommitter&) = delete;

    void Commit(FileReplacement file, Explain explain);
    // Blocks until the queue is empty; the failures since the last Wait, in order.
    [[nodiscard]] std::vector<Status> Wait();

private:
    struct Job {
        FileReplacement file;
        Explain explain;
    };
    void Run();

    std::mutex mutex_;
    std::condition_variable wake_;
    std::condition_variable done_;
    std::deque<Job> queue_;
    bool busy_ = false;
    bool stopping_ = false;
    std::vector<Status> failures_;
    std::thread thread_;  // last: starts when the rest is ready
};

}  // namespace kyvern::base
