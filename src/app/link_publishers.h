#pragma once

// One small adapter per destination of a shot: each turns the stages of a shot into the calls
// its link knows. The links themselves belong to the monitor, which opens and configures them.

#include <memory>

#include "app/shot_publisher.h"
#include "base/user_prompts.h"
#include "data/shot_table.h"
#include "links/notification_slot.h"
#include "links/router_client.h"
#include "links/serial_shot_output.h"
#include "links/status_file.h"
#include "links/video_metadata_link.h"

namespace kyvern::app {

// The status file other programs read: locked while a frame is analysed, then the results.
class StatusFilePublisher final : public ShotPublisher {
public:
    explicit StatusFilePublisher(links::StatusFile& status) : status_(status) {}
    void ShotBegun(ShotOrigin origin) override;
    void ShotFinished(const PublishedShot& shot) override;
    void ShotFailed(const FailedShot& shot) override;
    void Stop(bool midShot) override;

private:
    links::StatusFile& status_;
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

}  // namespace kyvern::app
