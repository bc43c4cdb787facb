#pragma once

// One small adapter per destination of a shot: each turns the stages of a shot into the calls
// its link knows. The links themselves belong to the monitor, which opens and configures them.

#include <functional>
#include <memory>

#include "app/monitor_view.h"
#include "app/putt_mode.h"
#include "app/shot_publisher.h"
#include "base/message_list.h"
#include "base/user_prompts.h"
#include "data/shot_table.h"
#include "links/notification_slot.h"
#include "links/router_client.h"
#include "links/serial_shot_output.h"
#include "links/simulator_link.h"
#include "links/status_file.h"
#include "links/video_metadata_link.h"

namespace kyvern::app {

// The status file other programs read: locked while a frame is analysed, then the results.
class StatusFilePublisher final : public ShotPublisher {
public:
    StatusFilePublisher(links::StatusFile& status, base::MessageList& messages)
        : status_(status), messages_(messages) {}
    void ShotBegun(ShotOrigin origin) override;
    void ShotFinished(const PublishedShot& shot) override;
    void ShotFailed(const FailedShot& shot) override;
    void Stop(bool midShot) override;

private:
    // Tells of a run of failed writes once, at its first.
    void TellFailure();

    links::StatusFile& status_;
    base::MessageList& messages_;
};

// The shot table (which logs each shot it adds) and the shot log's line for a failed image.
class ShotTablePublisher final : public ShotPublisher {
public:
    ShotTablePublisher(data::ShotTable& table, base::UserPrompts& prompts)
        : table_(table), prompts_(prompts) {}
    void ShotFinished(const PublishedShot& shot) override;
    void ShotFailed(const FailedShot& shot) override;

private:
    data::ShotTable& table_;
    base::UserPrompts& prompts_;
};

// The video-analysis program: a zero record for a new camera frame, the values of each shot.
class VideoLinkPublisher final : public ShotPublisher {
public:
    VideoLinkPublisher(links::VideoMetadataLink& metadata, bool secondInstance)
        : metadata_(metadata), secondInstance_(secondInstance) {}
    void ShotBegun(ShotOrigin origin) override;
    void ShotFinished(const PublishedShot& shot) override;

private:
    links::VideoMetadataLink& metadata_;
    bool secondInstance_;
};

// The fixed-width line on the serial port.
class SerialLinePublisher final : public ShotPublisher {
public:
    explicit SerialLinePublisher(links::SerialShotOutput& output) : output_(output) {}
    void ShotFinished(const PublishedShot& shot) override;

private:
    links::SerialShotOutput& output_;
};

// The short notifications of the status file's listeners.
class NotificationPublisher final : public ShotPublisher {
public:
    explicit NotificationPublisher(links::NotificationSlot& slot) : slot_(slot) {}
    void ShotBegun(ShotOrigin origin) override;
    void ShotFinished(const PublishedShot& shot) override;
    void ShotFailed(const FailedShot& shot) override;

private:
    links::NotificationSlot& slot_;
};

// The message router: tee-off, shot result, or a result of zeros for a failure. The router
// is opened at start and closed at stop, so it is reached through its owner.
class RouterPublisher final : public ShotPublisher {
public:
    explicit RouterPublisher(const std::unique_ptr<links::RouterClient>& router)
        : router_(router) {}
    void ShotBegun(ShotOrigin origin) override;
    void ShotFinished(const PublishedShot& shot) override;
    void ShotFailed(const FailedShot& shot) override;

private:
    const std::unique_ptr<links::RouterClient>& router_;
};

// The golf simulator: each new shot taken live goes to the link's thread, which costs the cycle
// a copy and a wake-up whatever the peer does. Shots of an opened image file and shots computed
// again are not sent: the simulator would fly them as new ones. What the link's thread has to
// report is shown by Poll, on the cycle's thread.
class SimulatorLinkPublisher final : public ShotPublisher {
public:
    SimulatorLinkPublisher(const std::unique_ptr<links::SimulatorLink>& link,
                           base::MessageList& messages, base::UserPrompts& prompts,
                           links::StatusFile& status, MonitorView* const& view)
        : link_(link), messages_(messages), prompts_(prompts), status_(status), view_(view) {}
    void ShotBegun(ShotOrigin origin) override { opened_ = origin == ShotOrigin::kOpenedFile; }
    void ShotFinished(const PublishedShot& shot) override;
    void ShotFailed(const FailedShot& /*shot*/) override { opened_ = false; }

    // Tells the link whether a shot can come, shows its reports and a changed state.
    void Poll(bool ready);
    // A state the link never reached: the configuration's problem, or off.
    void ShowState(const links::SimLinkState& state);

    // The shot as the simulator gets it: the measured launch, the carry of its flight, the
    // club values the shot has.
    static links::SimShot SimShotOf(const PublishedShot& shot);

    // The putter's speed mode the monitor shares with its item box, and what applies a speed
    // mode written to the settings (to the cameras and the window).
    void SetPuttMode(PuttMode& puttMode, std::function<void()> apply) {
        puttMode_ = &puttMode;
        applySpeed_ = std::move(apply);
    }

private:
    void Report();
    void Note(const std::string& line, bool toShotLog);
    void PlayerInformation(const links::SimPlayer& player);
    // Putt mode for the simulator's putter, and back to the speed before it for another club.
    void FollowPutter(const std::string& club, const base::SettingsSnapshot& snapshot);

    const std::unique_ptr<links::SimulatorLink>& link_;
    base::MessageList& messages_;
    base::UserPrompts& prompts_;
    links::StatusFile& status_;
    MonitorView* const& view_;
    bool opened_ = false;
    bool handTold_ = false;
    std::string followedClub_;
    PuttMode* puttMode_ = nullptr;
    std::function<void()> applySpeed_;
    std::optional<links::SimLinkState> shown_;
};

}  // namespace kyvern::app
