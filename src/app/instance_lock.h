#pragma once

namespace kyvern::app {

// The single-instance lock the window and the headless runner share: an exclusive lock on
// KyvernLaunchSystem.lock in the runtime folder, held while the object lives. The kernel
// drops it when the process ends, however it ends.
class InstanceLock {
public:
    enum class State { kHeld, kTaken, kUnavailable };

    // Waits at most waitMilliseconds for another instance to let go.
    explicit InstanceLock(int waitMilliseconds = 1000);
    ~InstanceLock();
    InstanceLock(const InstanceLock&) = delete;
    InstanceLock& operator=(const InstanceLock&) = delete;

    // kTaken: another instance holds it; kUnavailable: no runtime folder or lock file to use.
    State Status() const { return state_; }

private:
    int fd_ = -1;
    State state_ = State::kUnavailable;
};

}  // namespace kyvern::app
