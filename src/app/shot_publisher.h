#pragma once

// Every place a shot goes once the cycle has it (the status file, the shot table and its log,
// the video-analysis link, the serial line, the notifications, the router) sits behind one
// interface, so the shot computation speaks to all of them in one fixed order and a new link
// is one more class and one more Add.

#include <array>
#include <cstdint>
#include <memory>
#include <string_view>
#include <vector>

#include "app/pass_options.h"
#include "flight/flight_model.h"
#include "frame/captured_image.h"
#include "links/club_sensor.h"
#include "links/status_file.h"
#include "shot/shot_record.h"

namespace kyvern::app {

// Where the frames of a shot came from: an opened file is announced to fewer links.
enum class ShotOrigin { kCamera, kOpenedFile };

// A shot that the computation has accepted, with everything a link sends of it.
struct PublishedShot {
    const shot::ShotRecord& shot;         // launch, club, figures and names as recorded
    const links::ClubSensor& sensor;      // the club values as the sensor layer holds them
    const flight::FlightModel& measured;  // the flight of the measured launch
    // The flight of the back spin the router and the serial line get (measured or predicted).
    const flight::FlightModel& routed;
    double routedBackSpin;
    double routedSideSpin;  // the measured side spin, or 0 when the spin was doubtful
    // Each camera slot's frame when it was analysed, else null.
    std::array<const frame::CapturedImage*, links::kCameraSlots> analysed;
    bool newShot;             // false: the shot already held, computed again
    const PassOptions& pass;  // the settings the shot was computed with
};

// A pass that ended without a shot.
struct FailedShot {
    std::string_view item;  // the item the shot was taken for
    std::int32_t errorCode;
    std::string_view reason = {};  // why a solved shot was refused as doubtful
};

// One destination of shots. Each call is one stage of a shot; a link ignores the stages it
// has nothing to send for.
class ShotPublisher {
public:
    virtual ~ShotPublisher() = default;
    // A new frame (or an opened file) is about to be analysed.
    virtual void ShotBegun(ShotOrigin /*origin*/) {}
    // The computation accepted the shot.
    virtual void ShotFinished(const PublishedShot& /*shot*/) {}
    // The analysis found no shot.
    virtual void ShotFailed(const FailedShot& /*shot*/) {}
    // The program stops; midShot: a pass was cut short and will neither finish nor fail.
    virtual void Stop(bool /*midShot*/) {}
};

// The publishers of a shot in their fixed order. The status file is held apart because
// other programs wait on its lock: it is locked before any link hears of a new frame and
// written and unlocked before a finished shot is announced, but a failure is announced
// first and the file unlocked last. Every other publisher is called in the order added.
class ShotPublishers final : public ShotPublisher {
public:
    explicit ShotPublishers(std::unique_ptr<ShotPublisher> statusFile);
    void Add(std::unique_ptr<ShotPublisher> publisher);

    void ShotBegun(ShotOrigin origin) override;
    void ShotFinished(const PublishedShot& shot) override;
    void ShotFailed(const FailedShot& shot) override;
    void Stop(bool midShot) override;

private:
    std::unique_ptr<ShotPublisher> statusFile_;
    std::vector<std::unique_ptr<ShotPublisher>> others_;
};

}  // namespace kyvern::app
