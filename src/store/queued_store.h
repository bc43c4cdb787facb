#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>

#include "store/shot_store.h"

namespace kyvern::store {

// The queue folder's name in the program folder.
inline constexpr const char* kQueueFolderName = "store-queue";
// Queued files that could not be read are moved here, inside the queue folder.
inline constexpr const char* kSetAsideFolderName = "damaged";

// What the window and the status file show of the history.
struct StoreState {
    bool connected = false;  // the store is open and its last write went through
    int queued = 0;          // shots waiting in the queue folder
    int setAside = 0;        // damaged queue files moved aside since the start
    std::string lastError;   // the last failure; empty once a write went through again
    std::string where;       // the store as messages name it
};

// A store that may be out of reach: a shot it cannot write now is kept in the queue folder,
// one file per shot, and written by a later Write or Flush once the store is back. A queued
// file goes only after its shot is committed, and a shot written twice is stored once.
// Thread-safe: the shot thread may Write or Enqueue while a worker runs Flush; a Write never
// waits for a Flush or a query in progress, it queues instead.
class QueuedStore final : public ShotStore {
public:
    using Opener = std::function<base::Status(std::unique_ptr<ShotStore>&)>;

    // opener: opens the store (again) when it is not open. The queue folder is created when
    // missing.
    QueuedStore(Opener opener, std::string queueFolder);

    // Writes the shot now when the store is open and free, otherwise queues it. Fails only
    // when the shot itself is invalid or neither the store nor the queue took it; added is
    // true only when the shot went into the store now.
    using ShotStore::Write;
    [[nodiscard]] base::Status Write(const StoredShot& shot, bool* added) override;
    // Only queues: for a caller that leaves every store write to a worker calling Flush.
    [[nodiscard]] base::Status Enqueue(const StoredShot& shot);
    // Opens the store when needed and writes every queued shot, oldest first; stops at the
    // first failure of the store. Damaged queue files are set aside and do not stop it.
    [[nodiscard]] base::Status Flush();
    StoreState State() const;
    // The time between attempts of Write to reopen a store that would not open (Flush always
    // tries): a dead server must not cost every shot a connection timeout.
    void SetReopenInterval(std::chrono::milliseconds interval);

    // Queries go to the store; they fail while it is out of reach.
    [[nodiscard]] base::Status Players(std::vector<std::string>& players) override;
    [[nodiscard]] base::Status Sessions(const ShotFilter& filter,
                                        std::vector<SessionSummary>& sessions) override;
    [[nodiscard]] base::Status Shots(const ShotFilter& filter,
                                     std::vector<StoredShot>& shots) override;
    [[nodiscard]] base::Status Gapping(const ShotFilter& filter,
                                       std::vector<GappingRow>& rows) override;
    [[nodiscard]] base::Status Trend(std::string_view value, const ShotFilter& filter,
                                     std::vector<TrendPoint>& points) override;
    int SchemaVersion() const override;
    std::string Describe() const override;

private:
    // The calls below need backendMutex_ held.
    bool EnsureOpen(bool force);
    void Lost(const base::Status& why);
    base::Status DrainQueue();
    template <typename F>
    base::Status Query(F&& f);

    void CountQueue();
    void SetError(std::string text);

    Opener opener_;
    std::string folder_;

    mutable std::mutex backendMutex_;
    std::unique_ptr<ShotStore> backend_;
    std::chrono::steady_clock::time_point lastOpenAttempt_{};
    bool everTried_ = false;
    std::chrono::milliseconds reopenInterval_{std::chrono::seconds(30)};

    mutable std::mutex stateMutex_;
    StoreState state_;
    std::uint64_t sequence_ = 0;
};

}  // namespace kyvern::store
