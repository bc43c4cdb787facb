#pragma once

// The two operations that finish a solved shot, apart from the cycle that feeds them: the
// club and index update, and the shot computation that predicts the flight, checks the club
// settings and hands the shot to its publishers. The remote commands and the manual
// corrections run them again for the shot already held.

#include <string>

#include "analysis/launch_scene.h"
#include "app/monitor_view.h"
#include "app/pass_options.h"
#include "app/shot_publisher.h"
#include "app/timer_host.h"
#include "base/user_prompts.h"
#include "links/club_sensor.h"
#include "shot/shot_record.h"

namespace kyvern::app {

// The item a putt is recorded under when the chosen item names no putter.
inline constexpr const char* kPutterItem = "Putter";
// Whether an item names a putter ("Putter", "my putter", "PUTT"), case ignored.
bool NamesPutter(const std::string& item);

class ShotComputation {
public:
    // scene: where the analysed frames of the shot are; sensor: the club data source; pass: the
    // options of the pass in progress, kept by the caller.
    ShotComputation(const analysis::LaunchScene& scene, links::ClubSensor& sensor,
                    ShotPublisher& publishers, TimerHost& timers, base::UserPrompts& prompts,
                    MonitorView& view, const PassOptions& pass);

    void SetView(MonitorView& view) { view_ = &view; }

    // The club values and the performance figures of the current shot, shown.
    void UpdateClubAndIndex();
    // Predicts, checks and publishes the current shot for these names; false when a bad club
    // setting stopped it unrecorded and unpublished.
    bool ComputeShot(bool newShot, const std::string& user, const std::string& session,
                     const std::string& item);

    // The current shot; the cycle sets its launch conditions.
    shot::ShotRecord& Shot() { return shot_; }

private:
    const analysis::LaunchScene& scene_;
    links::ClubSensor& sensor_;
    ShotPublisher& publishers_;
    TimerHost& timers_;
    base::UserPrompts& prompts_;
    MonitorView* view_;
    const PassOptions& pass_;
    shot::ShotRecord shot_;
    std::string scoreLabel_;
};

}  // namespace kyvern::app
