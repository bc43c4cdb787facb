// The club and index update and the shot computation: predict, check, record, publish.
#include <cmath>
#include <cstdio>

#include "app/launch_monitor.h"
#include "base/config_store.h"
#include "base/program_folder.h"
#include "base/settings_schema.h"
#include "base/string_table.h"
#include "flight/flight_model.h"
#include "shot/impact_model.h"
#include "shot/performance_analysis.h"

namespace kyvern::app {
namespace {

// The club setting check of the impact model: a text that is not a number in range is bad.
bool ClubSettingOk(base::SettingId id, double& value) {
    value = std::nan("");
    std::sscanf(base::Settings().Text(id).c_str(), "%lf", &value);
    return value >= base::Spec(id).range.low && value <= base::Spec(id).range.high;
}

}  // namespace

void LaunchMonitor::UpdateClubAndIndex() {
    const shot::LaunchConditions& launch = shot_.launch;
    sensor_->Recompute(launch.ballSpeed, launch.launchAngle, launch.sideAngle, launch.backSpin,
                       launch.sideSpin);
    shot_.club = sensor_->Club();
    if (sensor_->LoftMismatch()) {
        view_->ShowClubNotice(true);
        timers_.StartTimer(kNoticeTimer, 10000);
    }
    shot::PerformanceAnalysis performance;
    performance.Compute(launch.ballSpeed, sensor_->ClubSpeed(), launch.launchAngle,
                        launch.sideAngle, launch.backSpin, launch.sideSpin);
    shot_.launchEfficiency = performance.LaunchEfficiency();
    shot_.powerTransferIndex = performance.PowerTransferIndex();
    shot_.shotScore = performance.SelectedScore();
    scoreLabel_ = performance.SelectedLabel();
    view_->ShowClubAndIndex(shot_, scoreLabel_);
}

void LaunchMonitor::ComputeShot(bool newShot) {
    // 1. Names and launch.
    shot_.user = user_;
    shot_.session = session_;
    shot_.item = item_;
    const shot::LaunchConditions launch = shot_.launch;

    // 2. The flight as measured, and its trajectory table.
    flight::FlightModel measured;
    measured.Compute(launch.ballSpeed, launch.launchAngle, launch.backSpin, launch.sideSpin,
                     launch.sideAngle);
    measured.WriteTrajectory(base::TrajectoryPath(), prompts_);
    shot_.flight = measured.Result();

    // 3. Club values and figures.
    shot_.club = sensor_->Club();
    const double clubSpeed = sensor_->ClubSpeed();
    const double angleOfAttack = sensor_->AngleOfAttack();
    const double pathAngle = sensor_->PathAngle();
    const double faceAngle = sensor_->FaceAngle();
    const double effectiveLoft = sensor_->EffectiveLoft();

    // 4. The practice range.
    view_->ShowPracticeRange(shot_);

    // 5. The club settings: a bad one stops the shot here, unrecorded and unpublished.
    double clubMass = 0.0;
    double clubLoft = 0.0;
    if (!ClubSettingOk(base::setting::kClubMass, clubMass)) {
        prompts_.Message(base::Text(base::MessageId::kInvalidClubMass));
        return;
    }
    if (!ClubSettingOk(base::setting::kClubLoft, clubLoft)) {
        prompts_.Message(base::Text(base::MessageId::kInvalidClubLoft));
        return;
    }
    shot_.club.clubMass.Set(clubMass);
    shot_.club.clubLoft.Set(clubLoft);

    // 6. The status file, in the order its readers rely on.
    FillStatusCameras(false);
    std::array<const analysis::CapturedImage*, links::kCameraSlots> analysed{};
    for (int i = 0; i < analysis::kSceneSlots; ++i) {
        const analysis::CapturedImage& frame = scene_->Slot(i);
        if (frame.valid && frame.analyzed) analysed[i] = &frame;
    }
    status_.Context().clubDevice = sensor_->DeviceName();
    {
        const links::StatusFile::Batch statusBatch(status_);
        status_.ClearResults();
        status_.WriteBall(launch.ballSpeed, launch.launchAngle, launch.sideAngle, launch.totalSpin,
                          launch.backSpin, launch.sideSpin, links::MeanBallDistance(analysed));
        status_.WriteClub(clubSpeed, pathAngle, faceAngle, sensor_->FaceRotation(),
                          sensor_->Tempo(), effectiveLoft, sensor_->DxFromToe(), angleOfAttack);
        status_.WriteFlight(measured.CarryFeet(), measured.CarryOfflineFeet(), measured.TotalFeet(),
                            measured.TotalOfflineFeet(), measured.RollFeet(),
                            measured.MaxHeightFeet(), measured.FlightTime());
        status_.WriteShaft();
        status_.WriteGolfer();
        status_.WriteWeather();
        status_.WriteAnalysis(shot_.launchEfficiency, shot_.powerTransferIndex);
        status_.CompleteSuccess(!newShot);
        if (analysed[0]) {
            for (int n = 0; n < 2; ++n) {
                const analysis::BallRecord& ball = analysed[0]->result.balls[n];
                const double pixel[3] = {ball.pix.x, ball.pix.y, ball.pix.z};
                const double location[3] = {ball.loc.x, ball.loc.y, ball.loc.z};
                const double rotation[3] = {ball.viewNormal.x, ball.viewNormal.y,
                                            ball.viewNormal.z};
                status_.WriteImageBallData(n, pixel, location, rotation, ball.lum);
            }
        }
    }

    // 7. The shot table: a new row, or the current one again.
    data::ShotEntry entry;
    entry.ballSpeed = launch.ballSpeed;
    entry.launchAngle = launch.launchAngle;
    entry.totalSpin = launch.totalSpin;
    entry.backSpin = launch.backSpin;
    entry.sideSpin = launch.sideSpin;
    entry.sideAngle = launch.sideAngle;
    entry.clubSpeed = clubSpeed;
    entry.user = user_;
    entry.session = session_;
    entry.item = item_;
    entry.attackAngle = angleOfAttack;
    entry.pathAngle = pathAngle;
    entry.faceAngle = faceAngle;
    entry.effectiveLoft = effectiveLoft;
    entry.score = shot_.shotScore;
    entry.clubMass = clubMass;
    entry.clubLoft = clubLoft;
    table_->AddShot(entry, true, newShot);

    // 8. The video-analysis program.
    metadata_->SetBall(launch.ballSpeed, launch.backSpin, launch.sideSpin, launch.launchAngle,
                       launch.sideAngle);
    metadata_->SetCarry(measured.CarryFeet(), measured.CarryOfflineFeet(), measured.FlightTime());
    metadata_->SetTotal(measured.TotalFeet(), measured.TotalOfflineFeet(), measured.RollFeet());
    metadata_->SetClub(clubSpeed, angleOfAttack, pathAngle, faceAngle);
    metadata_->SetScore(shot_.shotScore);
    metadata_->Commit();

    // 9. The router's flight, with the measured or the predicted back spin.
    double backSpin = launch.backSpin;
    if (!base::Settings().Yes(base::setting::kPredictWithSpin)) {
        backSpin = PredictedBackSpin(launch.ballSpeedMph, launch.launchAngle);
    }
    flight::FlightModel routed;
    routed.Compute(launch.ballSpeed, launch.launchAngle, backSpin, launch.sideSpin,
                   launch.sideAngle);

    // 10. The serial line, the notification and the router.
    if (!options_.secondInstance) {
        serialOutput_->SendShot(launch.ballSpeed, clubSpeed, launch.launchAngle, backSpin,
                                launch.sideSpin, launch.sideAngle);
        notifications_.SendAnalysisDone();
        if (router_) {
            router_->SendShotResult(launch.ballSpeed, launch.launchAngle, launch.sideAngle,
                                    backSpin, launch.sideSpin, routed.Carry(),
                                    routed.CarryOffline(), routed.FlightTime());
        }
    }
    // 11. The end of the shot.
    EndOfShot();
    if (newShot) ++shotsRecorded_;
    view_->ShotRecorded(shot_, newShot);
}

void LaunchMonitor::EndOfShot() {
    SaveOverlayImage();
    shotInProgress_ = false;
}

}  // namespace kyvern::app
