#pragma once

#include <condition_variable>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>

#include "app/monitor_view.h"
#include "app/shot_publisher.h"
#include "base/message_list.h"
#include "links/status_file.h"
#include "store/queued_store.h"
#include "store/stored_shot.h"

namespace kyvern::app {

// What the cycle knows of a shot that the publishers are not told: where its frames were kept.
struct ShotContext {
    std::string historyFile;  // the history frame of the pass; empty when none was saved
};

// The shot history: every new shot taken live goes into the store of Store/Url. A SQLite file
// on this machine takes a shot in about a millisecond, on the shot's thread. A server's writes
// wait on the network: its shots go to the disk queue on the shot's thread, so that none is
// lost, and a worker thread writes them. An unreachable store never stops a shot: the queue
// keeps it until the store is back.
class StorePublisher final : public ShotPublisher {
public:
    StorePublisher(std::unique_ptr<store::QueuedStore> store, bool network,
                   const ShotContext& context, base::MessageList& messages,
                   links::StatusFile& status, MonitorView* const& view);
    ~StorePublisher() override;

    void ShotBegun(ShotOrigin origin) override { opened_ = origin == ShotOrigin::kOpenedFile; }
    void ShotFinished(const PublishedShot& shot) override;
    void Stop(bool midShot) override;

    // Shows a changed state of the store in the message list, the status file and the window;
    // on the cycle's thread.
    void Poll();

    // The shot as the history keeps it; the id and the time are the caller's.
    static store::StoredShot StoredShotOf(const PublishedShot& shot, const ShotContext& context);

    store::QueuedStore& Store() { return *store_; }

private:
    void Work();

    std::unique_ptr<store::QueuedStore> store_;
    const ShotContext& context_;
    base::MessageList& messages_;
    links::StatusFile& status_;
    MonitorView* const& view_;
    bool opened_ = false;
    std::optional<store::StoreState> shown_;

    std::mutex mutex_;
    std::condition_variable wake_;
    bool pending_ = false;
    bool stopping_ = false;
    std::thread worker_;
};

}  // namespace kyvern::app
