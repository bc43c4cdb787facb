// The club and index update and the shot computation: predict, check, hand to the publishers.
#include "app/shot_computation.h"

#include <cctype>

#include "base/program_folder.h"
#include "base/settings_schema.h"
#include "base/string_table.h"
#include "flight/flight_model.h"
#include "flight/putt_roll.h"
#include "shot/impact_model.h"
#include "shot/performance_analysis.h"

namespace kyvern::app {

bool NamesPutter(const std::string& item) {
    std::string lower;
    for (char c : item)
        lower += char(std::tolower(static_cast<unsigned char>(c)));
    return lower.find("putt") != std::string::npos;
}

ShotComputation::ShotComputation(const analysis::LaunchScene& scene, links::ClubSensor& sensor,
                                 ShotPublisher& publishers, TimerHost& timers,
                                 base::UserPrompts& prompts, MonitorView& view,
                                 const PassOptions& pass)
    : scene_(scene),
      sensor_(sensor),
      publishers_(publishers),
      timers_(timers),
      prompts_(prompts),
      view_(&view),
      pass_(pass) {}

void ShotComputation::UpdateClubAndIndex() {
    const shot::LaunchConditions& launch = shot_.launch;
    const shot::TrustedSpins spins(launch);
    sensor_.Recompute(launch.ballSpeed, launch.launchAngle, launch.sideAngle, spins.back,
                      spins.side);
    shot_.club = sensor_.Club();
    if (sensor_.LoftMismatch()) {
        view_->ShowClubNotice(true);
        timers_.StartTimer(kNoticeTimer, 10000);
    }
    shot::PerformanceAnalysis performance(pass_.flight, pass_.scoring);
    performance.Compute(launch.ballSpeed, sensor_.ClubSpeed(), launch.launchAngle, launch.sideAngle,
                        spins.back, spins.side);
    shot_.launchEfficiency = performance.LaunchEfficiency();
    shot_.powerTransferIndex = performance.PowerTransferIndex();
    shot_.shotScore = performance.SelectedScore();
    scoreLabel_ = performance.SelectedLabel();
    view_->ShowClubAndIndex(shot_, scoreLabel_);
}

bool ShotComputation::ComputeShot(bool newShot, const std::string& user, const std::string& session,
                                  const std::string& item) {
    // 1. Names and launch. A putt is the putter's, whatever club was chosen for full shots.
    shot_.user = user;
    shot_.session = session;
    shot_.item = item;
    const shot::LaunchConditions launch = shot_.launch;
    if (launch.putt && !NamesPutter(item)) shot_.item = kPutterItem;

    // 2. The flight as measured, and its trajectory table: a putt's is its roll on the green,
    // a doubtful spin's the flight of the spin it can be trusted with.
    const shot::TrustedSpins spins(launch);
    flight::FlightModel measured(pass_.flight);
    if (launch.putt) {
        flight::PuttResult roll;
        const flight::PuttLaunch putt{launch.ballSpeedMph, launch.sideAngle,
                                      flight::PuttStart::kStruck};
        if (!flight::PuttRoll::Compute(putt, pass_.green, roll)) {
            prompts_.Message("Putt not recorded: " + roll.error);
            return false;
        }
        measured.Adopt(flight::PuttRoll::AsFlight(roll));
    } else {
        measured.Compute(launch.ballSpeed, launch.launchAngle, spins.back, spins.side,
                         launch.sideAngle);
    }
    base::Show(measured.WriteTrajectory(base::TrajectoryPath()), prompts_);
    shot_.flight = measured.Result();

    // 3. The club data of the sensor layer; of a putt, only what a sensor measured.
    if (launch.putt) sensor_.KeepMeasuredOnly();
    shot_.club = sensor_.Club();

    // 4. The practice range.
    view_->ShowPracticeRange(shot_);

    // 5. The club settings: a bad one stops the shot here, unrecorded and unpublished.
    double clubMass = 0.0;
    double clubLoft = 0.0;
    if (!shot::ImpactModel::ClubSettingValue(pass_.club, base::setting::kClubMass, clubMass)) {
        sensor_.ShowClubMessage(base::MessageId::kInvalidClubMass);
        return false;
    }
    if (!shot::ImpactModel::ClubSettingValue(pass_.club, base::setting::kClubLoft, clubLoft)) {
        sensor_.ShowClubMessage(base::MessageId::kInvalidClubLoft);
        return false;
    }
    shot_.club.clubMass.Set(clubMass);
    shot_.club.clubLoft.Set(clubLoft);

    // The frames of the shot that were analysed, for the status file.
    std::array<const frame::CapturedImage*, links::kCameraSlots> analysed{};
    for (int i = 0; i < frame::kCameraSlots; ++i) {
        const frame::CapturedImage& frame = scene_.Slot(i);
        if (frame.valid && frame.analyzed) analysed[i] = &frame;
    }

    // 6. The router's flight, with the measured or the predicted back spin. A doubtful spin
    // is not passed on as measured: the predicted back spin and no side spin go instead.
    // A putt's spin is not measured and no prediction of a full shot's fits it: none goes.
    double backSpin = spins.back;
    if (launch.putt) {
        backSpin = 0.0;
    } else if (!pass_.predictWithSpin) {
        // The back spin the router and the serial line get when Setup/PredictWithSpin is not
        // "yes".
        backSpin = shot::PredictedBackSpin(launch.ballSpeedMph, launch.launchAngle);
    }
    const double sideSpin = launch.putt ? 0.0 : spins.side;
    flight::FlightModel routed(pass_.flight);
    if (launch.putt) {
        routed.Adopt(measured.Result());
    } else {
        routed.Compute(launch.ballSpeed, launch.launchAngle, backSpin, sideSpin, launch.sideAngle);
    }

    // 7. The status file, the shot table, the video-analysis program, the serial line, the
    // notification and the router, in the order of the publishers.
    publishers_.ShotFinished(PublishedShot{shot_, sensor_, measured, routed, backSpin, sideSpin,
                                           analysed, newShot, pass_});
    return true;
}

}  // namespace kyvern::app
