#include "app/link_publishers.h"

#include <cstdio>

#include "analysis/analysis_codes.h"
#include "base/settings_schema.h"
#include "base/string_table.h"
#include "data/shot_log.h"
#include "frame/camera_model.h"
#include "shot/impact_model.h"

namespace kyvern::app {

void StatusFilePublisher::TellFailure() {
    const std::string why = status_.TakeFailure();
    if (why.empty()) return;
    messages_.Add(std::string(base::Text(base::MessageId::kCouldNotWriteStatusFile)) + " (" +
                  status_.Path() + ": " + why + ")");
}

void StatusFilePublisher::ShotBegun(ShotOrigin /*origin*/) {
    status_.BeginImage();
    TellFailure();
}

void StatusFilePublisher::ShotFinished(const PublishedShot& shot) {
    const shot::LaunchConditions& launch = shot.shot.launch;
    const links::ClubSensor& sensor = shot.sensor;
    const flight::FlightModel& measured = shot.measured;
    const auto& analysed = shot.analysed;
    // The order of the writes is the one the file's readers rely on.
    status_.Context().clubDevice = sensor.DeviceName();
    {
        const links::StatusFile::Batch statusBatch(status_);
        status_.ClearResults();
        status_.WriteBall(launch.ballSpeed, launch.launchAngle, launch.sideAngle, launch.totalSpin,
                          launch.backSpin, launch.sideSpin, links::MeanBallDistance(analysed));
        status_.WriteClub(sensor.ClubSpeed(), sensor.PathAngle(), sensor.FaceAngle(),
                          sensor.FaceRotation(), sensor.Tempo(), sensor.EffectiveLoft(),
                          sensor.DxFromToe(), sensor.AngleOfAttack());
        status_.WriteFlight(measured.CarryFeet(), measured.CarryOfflineFeet(), measured.TotalFeet(),
                            measured.TotalOfflineFeet(), measured.RollFeet(),
                            measured.MaxHeightFeet(), measured.FlightTime());
        status_.WriteShaft();
        status_.WriteGolfer();
        status_.WriteWeather(shot.pass.flight.weather);
        status_.WriteAnalysis(shot.shot.launchEfficiency, shot.shot.powerTransferIndex);
        status_.CompleteSuccess(!shot.newShot);
        if (analysed[0]) {
            for (int n = 0; n < 2; ++n) {
                const frame::BallRecord& ball = analysed[0]->result.balls[n];
                const double pixel[3] = {ball.pix.x, ball.pix.y, ball.pix.z};
                const double location[3] = {ball.loc.x, ball.loc.y, ball.loc.z};
                const double rotation[3] = {ball.viewNormal.x, ball.viewNormal.y,
                                            ball.viewNormal.z};
                status_.WriteImageBallData(n, pixel, location, rotation, ball.lum);
            }
        }
    }
    TellFailure();
}

void StatusFilePublisher::ShotFailed(const FailedShot& /*shot*/) {
    status_.CompleteTerminated();
    TellFailure();
}

void StatusFilePublisher::Stop(bool midShot) {
    // A pass cut short leaves the status file locked; readers must not wait on it for ever.
    if (midShot) status_.Unlock();
    TellFailure();
}

void ShotTablePublisher::ShotFinished(const PublishedShot& shot) {
    const shot::LaunchConditions& launch = shot.shot.launch;
    const links::ClubSensor& sensor = shot.sensor;
    // A new row, or the current one again.
    data::ShotEntry entry;
    entry.ballSpeed = launch.ballSpeed;
    entry.launchAngle = launch.launchAngle;
    entry.totalSpin = launch.totalSpin;
    entry.backSpin = launch.backSpin;
    entry.sideSpin = launch.sideSpin;
    entry.sideAngle = launch.sideAngle;
    entry.spinDoubtful = launch.spinDoubtful;
    entry.clubSpeed = sensor.ClubSpeed();
    entry.user = shot.shot.user;
    entry.session = shot.shot.session;
    entry.item = shot.shot.item;
    entry.attackAngle = sensor.AngleOfAttack();
    entry.pathAngle = sensor.PathAngle();
    entry.faceAngle = sensor.FaceAngle();
    entry.effectiveLoft = sensor.EffectiveLoft();
    entry.score = shot.shot.shotScore;
    entry.clubMass = shot.shot.club.clubMass.Value();
    entry.clubLoft = shot.shot.club.clubLoft.Value();
    if (launch.putt) entry.rolled = shot.measured.Result();
    base::Show(table_.AddShot(entry, true, shot.newShot), prompts_);
}

void ShotTablePublisher::ShotFailed(const FailedShot& shot) {
    if (shot.errorCode == analysis::kDoubtfulShot) {
        base::Show(data::AppendDoubtfulShot(shot.item, shot.reason), prompts_);
        return;
    }
    base::Show(data::AppendImageFailed(shot.item), prompts_);
}

void VideoLinkPublisher::ShotBegun(ShotOrigin origin) {
    if (origin == ShotOrigin::kCamera && !secondInstance_) metadata_.StartShot();
}

void VideoLinkPublisher::ShotFinished(const PublishedShot& shot) {
    const shot::LaunchConditions& launch = shot.shot.launch;
    const links::ClubSensor& sensor = shot.sensor;
    const flight::FlightModel& measured = shot.measured;
    // The metadata has no place for a doubt: a doubtful spin goes as the one the carry beside
    // it was flown with.
    const shot::TrustedSpins spins(launch);
    metadata_.SetBall(launch.ballSpeed, spins.back, spins.side, launch.launchAngle,
                      launch.sideAngle);
    metadata_.SetCarry(measured.CarryFeet(), measured.CarryOfflineFeet(), measured.FlightTime());
    metadata_.SetTotal(measured.TotalFeet(), measured.TotalOfflineFeet(), measured.RollFeet());
    metadata_.SetClub(sensor.ClubSpeed(), sensor.AngleOfAttack(), sensor.PathAngle(),
                      sensor.FaceAngle());
    metadata_.SetScore(shot.shot.shotScore);
    metadata_.Commit();
}

void SerialLinePublisher::ShotFinished(const PublishedShot& shot) {
    const shot::LaunchConditions& launch = shot.shot.launch;
    output_.SendShot(launch.ballSpeed, shot.sensor.ClubSpeed(), launch.launchAngle,
                     shot.routedBackSpin, shot.routedSideSpin, launch.sideAngle);
}

void NotificationPublisher::ShotBegun(ShotOrigin origin) {
    if (origin == ShotOrigin::kCamera) slot_.SendNewImage();
}

void NotificationPublisher::ShotFinished(const PublishedShot& /*shot*/) {
    slot_.SendAnalysisDone();
}

void NotificationPublisher::ShotFailed(const FailedShot& /*shot*/) {
    slot_.SendAnalysisTerminated();
}

void RouterPublisher::ShotBegun(ShotOrigin /*origin*/) {
    if (router_) router_->SendTeeOff();
}

void RouterPublisher::ShotFinished(const PublishedShot& shot) {
    if (!router_) return;
    const shot::LaunchConditions& launch = shot.shot.launch;
    const flight::FlightModel& routed = shot.routed;
    router_->SendShotResult(launch.ballSpeed, launch.launchAngle, launch.sideAngle,
                            shot.routedBackSpin, shot.routedSideSpin, routed.Carry(),
                            routed.CarryOffline(), routed.FlightTime());
}

void RouterPublisher::ShotFailed(const FailedShot& /*shot*/) {
    if (router_) router_->SendFailedAnalysis();
}

links::SimShot SimulatorLinkPublisher::SimShotOf(const PublishedShot& shot) {
    const shot::LaunchConditions& launch = shot.shot.launch;
    links::SimShot sim;
    sim.ballSpeed = launch.ballSpeed;
    sim.launchAngle = launch.launchAngle;
    sim.sideAngle = launch.sideAngle;
    sim.backSpin = launch.backSpin;
    sim.sideSpin = launch.sideSpin;
    sim.spinKnown = !launch.spinDoubtful;
    sim.carry = shot.measured.Carry();
    sim.club = shot.shot.club;
    sim.putt = launch.putt;
    return sim;
}

void SimulatorLinkPublisher::ShotFinished(const PublishedShot& shot) {
    const bool opened = std::exchange(opened_, false);
    if (!link_ || !shot.newShot || opened) return;
    // Only the hand-over: its reports, which may write the shot log, wait for the next Poll,
    // so that the cycle's step costs microseconds whatever the peer does.
    link_->Publish(SimShotOf(shot));
}

void SimulatorLinkPublisher::Note(const std::string& line, bool toShotLog) {
    messages_.Add(line);
    view_->SimulatorLinkNote(line);
    if (toShotLog) base::Show(data::AppendShotLog(line + "\n"), prompts_);
}

void SimulatorLinkPublisher::PlayerInformation(const links::SimPlayer& player) {
    const bool simulatorLeft = base::EqualsNoCase(player.handed, "LH");
    const bool simulatorRight = base::EqualsNoCase(player.handed, "RH");
    // A message from the simulator is an action of its own: one read of the settings.
    const base::SettingsSnapshot snapshot = base::SettingsSnapshot::Read();
    const bool setupLeft = frame::IsLeftHanded(snapshot);
    if (!handTold_ && ((simulatorLeft && !setupLeft) || (simulatorRight && setupLeft))) {
        // The cameras are set up for one hand; the link reports, it never changes the hand.
        handTold_ = true;
        Note(std::string("Simulator: the player there is ") + (simulatorLeft ? "left" : "right") +
                 "-handed but Setup/Handed is " + (setupLeft ? "Left" : "Right") +
                 "-handed; the cameras' set-up decides the hand, so shots stay measured as " +
                 (setupLeft ? "left" : "right") + "-handed",
             false);
    }
    if (!snapshot.Yes(base::setting::kSimLinkFollowClub) || player.club == followedClub_) return;
    followedClub_ = player.club;
    FollowPutter(player.club, snapshot);
    if (base::EqualsNoCase(player.club, links::kSimulatorPutter)) return;
    const int preset = links::ClubPresetOfSimulatorClub(player.club);
    if (preset < 0) {
        Note("Simulator: club " + player.club + " has no club preset; the club settings stay",
             false);
        return;
    }
    char name[40] = {};
    double loft = 0.0;
    double mass = 0.0;
    std::sscanf(shot::ImpactModel::ClubPresets()[preset], "%39[^,], %lf, %lf", name, &loft, &mass);
    char text[32];
    std::snprintf(text, sizeof text, "%.1f", loft);
    const base::Settings settings;
    settings.Write(base::setting::kClubLoft, text);
    std::snprintf(text, sizeof text, "%.1f", mass);
    settings.Write(base::setting::kClubMass, text);
    Note("Simulator: club " + player.club + " selects the " + name + " preset", false);
}

void SimulatorLinkPublisher::FollowPutter(const std::string& club,
                                          const base::SettingsSnapshot& snapshot) {
    if (!puttMode_) return;
    std::string back;
    switch (puttMode_->Follow(base::EqualsNoCase(club, links::kSimulatorPutter), snapshot, back)) {
        case PuttMode::Change::kNone:
            return;
        case PuttMode::Change::kToPutt:
            Note("Simulator: club " + club + " selects the Putt speed mode; the club settings stay",
                 false);
            break;
        case PuttMode::Change::kRestored:
            Note("Simulator: club " + club + " restores the " + back + " speed mode", false);
            break;
    }
    if (applySpeed_) applySpeed_();
}

void SimulatorLinkPublisher::Report() {
    for (const links::SimLinkEvent& event : link_->TakeEvents()) {
        using Kind = links::SimLinkEvent::Kind;
        switch (event.kind) {
            case Kind::kNotDelivered:
            case Kind::kUnconfirmed:
            case Kind::kRejected:
                Note(event.text, true);
                break;
            case Kind::kPlayer:
                Note(event.text, false);
                PlayerInformation(event.player);
                break;
            case Kind::kReply:
                break;  // the command line prints them; the list gets what they mean
            default:
                Note(event.text, false);
                break;
        }
    }
}

void SimulatorLinkPublisher::ShowState(const links::SimLinkState& state) {
    if (shown_ && *shown_ == state) return;
    shown_ = state;
    status_.WriteSimulatorLink(links::SimLinkPhaseName(state.phase), state.reason);
    view_->ShowSimulatorLink(state);
}

void SimulatorLinkPublisher::Poll(bool ready) {
    if (!link_) return;
    link_->SetReady(ready);
    Report();
    ShowState(link_->State());
}

}  // namespace kyvern::app
