#include "app/store_publisher.h"

#include <chrono>

#include "base/config_store.h"
#include "base/settings_schema.h"

namespace kyvern::app {
namespace {

// A server that went away is tried again this often while shots wait for it.
constexpr auto kRetry = std::chrono::seconds(15);

}  // namespace

StorePublisher::StorePublisher(std::unique_ptr<store::QueuedStore> store, bool network,
                               const ShotContext& context, base::MessageList& messages,
                               links::StatusFile& status, MonitorView* const& view)
    : store_(std::move(store)),
      context_(context),
      messages_(messages),
      status_(status),
      view_(view) {
    // Shots an earlier run queued go in from the start; a local file takes them with the
    // next shot.
    if (network) {
        pending_ = true;
        worker_ = std::thread([this] { Work(); });
    }
}

StorePublisher::~StorePublisher() { Stop(false); }

store::StoredShot StorePublisher::StoredShotOf(const PublishedShot& shot,
                                               const ShotContext& context) {
    const PassOptions& pass = shot.pass;
    store::StoredShot s = store::StoredShotFromRecord(
        shot.shot, 0, std::string(pass.snapshot.Text(base::setting::kStoreBay)));
    s.ball = pass.flight.ball.ball;
    s.weather = pass.flight.weather;
    s.distanceUnit = pass.distanceUnit;
    s.speedUnit = pass.speedUnit;
    // A putt is always analysed at the finer precision.
    s.precision = shot.shot.launch.putt
                      ? "Refined"
                      : std::string(pass.snapshot.Text(base::setting::kPrecision));
    for (const frame::CapturedImage* frame : shot.analysed) {
        if (frame && frame->serialNumber >= 0)
            s.cameraSerials.push_back(std::to_string(frame->serialNumber));
    }
    s.imageFile = context.historyFile;
    return s;
}

void StorePublisher::ShotFinished(const PublishedShot& shot) {
    // A shot computed again, or one of an opened file, is no new shot of the history.
    if (!shot.newShot || opened_) return;
    store::StoredShot s = StoredShotOf(shot, context_);
    s.id = store::NewShotId();
    s.timeMs = store::NowMs();
    if (!worker_.joinable()) {
        if (const base::Status written = store_->Write(s); !written)
            messages_.Add("Shot history: " + written.Reason());
    } else {
        if (const base::Status queued = store_->Enqueue(s); !queued)
            messages_.Add("Shot history: " + queued.Reason());
        const std::lock_guard lock(mutex_);
        pending_ = true;
        wake_.notify_one();
    }
    Poll();
}

void StorePublisher::Stop(bool /*midShot*/) {
    if (!worker_.joinable()) return;
    {
        const std::lock_guard lock(mutex_);
        stopping_ = true;
        wake_.notify_one();
    }
    worker_.join();
}

void StorePublisher::Work() {
    std::unique_lock lock(mutex_);
    while (!stopping_) {
        if (pending_) {
            pending_ = false;
            lock.unlock();
            // A shot the server does not take now stays queued and is tried again.
            const bool written = static_cast<bool>(store_->Flush());
            lock.lock();
            if (!written || store_->State().queued > 0) pending_ = true;
            if (pending_) wake_.wait_for(lock, kRetry, [this] { return stopping_; });
            continue;
        }
        wake_.wait(lock, [this] { return stopping_ || pending_; });
    }
}

void StorePublisher::Poll() {
    const store::StoreState state = store_->State();
    if (shown_ && shown_->connected == state.connected && shown_->queued == state.queued &&
        shown_->lastError == state.lastError)
        return;
    const bool wasTold = shown_.has_value();
    const bool failing = !state.lastError.empty();
    if (failing && (!wasTold || shown_->lastError != state.lastError)) {
        messages_.Add("Shot history: " + base::OneLine(state.lastError) + "; " +
                      std::to_string(state.queued) +
                      " shot(s) kept in the queue until the store is back");
    } else if (!failing && wasTold && !shown_->lastError.empty()) {
        messages_.Add("Shot history: " + state.where + " is back; the queued shots are written");
    }
    shown_ = state;
    const char* word = state.connected ? (state.queued > 0 ? "queued" : "connected")
                                       : (failing ? "error" : "closed");
    status_.WriteShotStore(word, state.queued, state.lastError);
    view_->ShowShotStore(state);
}

}  // namespace kyvern::app
