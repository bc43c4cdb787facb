// The shot cycle: frames from the cameras (or from a file) into the frame slots, the history,
// the analysis of each frame, the scene solution, and then the shot or the failure report.
#include <sys/stat.h>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <ctime>
#include <filesystem>
#include <optional>
#include <thread>

#include "analysis/analysis_codes.h"
#include "analysis/shot_confidence.h"
#include "app/launch_monitor.h"
#include "app/link_publishers.h"
#include "app/live_page_publisher.h"
#include "base/config_store.h"
#include "base/program_folder.h"
#include "base/settings_schema.h"
#include "base/string_table.h"
#include "flight/ball_type.h"
#include "frame/camera_model.h"
#include "store/open_store.h"
#include "store/postgres_store.h"

namespace kyvern::app {
namespace {

std::string ClockText(const char* format) {
    char text[64];
    std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    std::strftime(text, sizeof text, format, &local);
    return text;
}

double MonotonicSeconds() {
    return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

}  // namespace

CameraMode CameraModeOf(std::string_view word) {
    using Word = base::choice::CameraMode;
    const std::optional<Word> mode =
        base::SettingsSnapshot::FindWord<base::setting::kCameraMode>(word);
    switch (mode.value_or(Word::kSingleCam)) {
        case Word::kCamFocus:
            return CameraMode::kCamFocus;
        case Word::kMultiCam:
            return CameraMode::kMultiCam;
        case Word::kMultiFrame:
            return CameraMode::kMultiFrame;
        case Word::kSingleCam:
            break;
    }
    return CameraMode::kSingleCam;
}

LaunchMonitor::LaunchMonitor(TimerHost& timers, base::UserPrompts& prompts,
                             base::MessageList& messages, capture::CameraTable* cameras,
                             MonitorOptions options)
    : timers_(timers),
      prompts_(prompts),
      messages_(messages),
      cameras_(cameras),
      options_(std::move(options)) {
    for (auto& frame : frames_)
        frame = std::make_unique<frame::CapturedImage>();
    pass_ = ReadPassOptions();
    const flight::BallType ball(pass_.flight.ball);
    scene_ = std::make_unique<analysis::LaunchScene>(ball.Diameter(), pass_.scene);
    pipeline_ = std::make_unique<analysis::AnalysisPipeline>(ball.Diameter(), pass_.analysis);
    table_ = std::make_unique<data::ShotTable>(pass_.flight, base::Settings());
    links::ClubSensor::Wait sensorWait;
    if (options_.wait) sensorWait = options_.wait;
    sensor_ = std::make_unique<links::ClubSensor>(prompts_, sensorWait);
    metadata_ = std::make_unique<links::VideoMetadataLink>(options_.metadataFactory);
    serialOutput_ = std::make_unique<links::SerialShotOutput>(prompts_);
    names_ = std::make_unique<data::NameLists>(base::Settings());
    workFile_ = std::make_unique<capture::ImageFile>(base::Settings());
    // Where a shot goes, in the order other programs rely on; a new link is one more Add.
    const bool second = options_.secondInstance;
    publishers_ =
        std::make_unique<ShotPublishers>(std::make_unique<StatusFilePublisher>(status_, messages_));
    // The golf simulator first: a player waits at the screen for the ball to fly, and handing
    // the shot over costs the others nothing. One simulator, one monitor: a second instance's
    // shots would arrive twice.
    if (!second) {
        auto simulator = std::make_unique<SimulatorLinkPublisher>(simulatorLink_, messages_,
                                                                  prompts_, status_, view_);
        simulatorPublisher_ = simulator.get();
        simulator->SetPuttMode(puttMode_, [this] { ApplySpeed(); });
        publishers_->Add(std::move(simulator));
    }
    publishers_->Add(std::make_unique<ShotTablePublisher>(*table_, prompts_));
    publishers_->Add(std::make_unique<VideoLinkPublisher>(*metadata_, second));
    // A second instance sends no serial line, no shot notification and no router message:
    // the listeners of those belong to the first instance.
    if (!second) {
        publishers_->Add(std::make_unique<SerialLinePublisher>(*serialOutput_));
        publishers_->Add(std::make_unique<NotificationPublisher>(notifications_));
        publishers_->Add(std::make_unique<RouterPublisher>(router_));
        // The history last: it keeps the shot for later and no one waits on it now.
        const std::string url(
            base::Trim(base::SettingsSnapshot::Read().Text(base::setting::kStoreUrl)));
        auto history = std::make_unique<StorePublisher>(
            store::OpenQueuedStore(url, base::ProgramFolder()), store::IsPostgresUrl(url),
            shotContext_, messages_, status_, view_);
        storePublisher_ = history.get();
        publishers_->Add(std::move(history));
        OpenLivePage();
    }
    computation_ = std::make_unique<ShotComputation>(*scene_, *sensor_, *publishers_, timers_,
                                                     prompts_, *view_, pass_);
    ApplyPass();
    remote_ = std::make_unique<RemoteControl>(*this);
    test_ = std::make_unique<RegressionTest>(*this);
    timers_.SetTick([this](int id) { OnTimer(id); });
}

LaunchMonitor::~LaunchMonitor() {
    Stop();
    timers_.SetTick({});
}

void LaunchMonitor::SetView(MonitorView* view) {
    view_ = view ? view : &silentView_;
    computation_->SetView(*view_);
}

void LaunchMonitor::AddPublisher(std::unique_ptr<ShotPublisher> publisher) {
    publishers_->Add(std::move(publisher));
}

void LaunchMonitor::Start() {
    if (started_) return;
    started_ = true;
    base::EnsureProgramFolder();
    BeginPass();
    table_->SetupTable();
    names_->LoadNameLists();
    sensor_->Configure(pass_.snapshot, true);
    serialOutput_->Configure();
    metadata_->ReadUnits();
    metadata_->Init();
    notifications_.Open();
    if (options_.openRouter) {
        router_ = std::make_unique<links::RouterClient>(kApplicationTitle, options_.routerTiming);
        router_->Open();
    }
    notifications_.Send(kApplicationTitle);
    status_.Context().title = kApplicationTitle;
    status_.Context().executable = links::ExecutablePath();
    status_.Context().clubDevice = sensor_->DeviceName();
    status_.WriteExecutable();
    OpenSimulatorLink();
    timers_.StartTimer(kSensorTimer, 500);
    timers_.StartTimer(kConnectionTimer, 5000);
    if (pass_.snapshot.Yes(base::setting::kRegressionTest)) {
        test_->Start();
    }
    StartCycleTimers(true);
}

void LaunchMonitor::Stop() {
    if (!started_) return;
    started_ = false;
    for (int id : {kCameraTimer, kCaptureFileTimer, kViewTimer, kSensorTimer, kTestTimer,
                   kConnectionTimer, kCommandTimer, kIndicatorTimer, kNoticeTimer}) {
        timers_.StopTimer(id);
    }
    publishers_->Stop(shotInProgress_);
    shotInProgress_ = false;
    router_.reset();
    if (simulatorLink_) {
        simulatorLink_->Stop();
        simulatorPublisher_->Poll(false);
        simulatorLink_.reset();
    }
    notifications_.Close();
}

void LaunchMonitor::OnTimer(int id) {
    switch (id) {
        case kCameraTimer:
            CameraTick();
            break;
        case kCaptureFileTimer:
            remote_->CheckCaptureFile();
            break;
        case kSensorTimer:
            sensor_->Poll();
            PollSimulatorLink();
            if (storePublisher_) storePublisher_->Poll();
            break;
        case kTestTimer:
            test_->RunStep();
            break;
        case kConnectionTimer:
            if (cameras_) {
                ReadModeAndSelection(base::SettingsSnapshot::Read());
                long serial =
                    selectedCamera_ == 0 && cameras_->SerialOfSlot(0) != capture::kNoSerial
                        ? long(cameras_->SerialOfSlot(0))
                        : selectedCamera_;
                notifications_.SendConnected(serial >= 0 && cameras_->IsConnected(serial));
            }
            break;
        case kCommandTimer:
            // A window may deliver a tick while a pass waits on a prompt; the command then
            // waits for the next tick rather than act in the middle of the shot.
            if (!shotInProgress_) remote_->CheckCommands();
            break;
        case kNoticeTimer:
            timers_.StopTimer(kNoticeTimer);
            view_->ShowClubNotice(false);
            break;
        default:
            break;  // the views' own timers
    }
}

void LaunchMonitor::OpenSimulatorLink() {
    if (!simulatorPublisher_) return;
    links::SimLinkConfig config;
    std::string problem;
    if (!links::ReadSimLinkConfig(base::SettingsSnapshot::Read(), config, problem)) {
        // Told once; the link stays off and nothing else is affected.
        messages_.Add(problem);
        view_->SimulatorLinkNote(problem);
        simulatorPublisher_->ShowState({links::SimLinkPhase::kOff, problem});
        return;
    }
    if (config.protocol == links::SimProtocol::kNone) return;
    simulatorLink_ = std::make_unique<links::SimulatorLink>(config, options_.simulatorTiming);
    simulatorLink_->Start();
    PollSimulatorLink();
}

store::ShotStore* LaunchMonitor::ShotHistory() {
    return storePublisher_ ? &storePublisher_->Store() : nullptr;
}

void LaunchMonitor::OpenLivePage() {
    const base::SettingsSnapshot settings = base::SettingsSnapshot::Read();
    const std::string port(base::Trim(settings.Text(base::setting::kWebPort)));
    if (port.empty()) return;
    base::OptionsReader reader(settings);
    links::LivePageOptions options;
    options.port = static_cast<int>(reader.BoundedInteger(base::setting::kWebPort));
    // A port out of range is not exchanged for another: the page would be where no one looks.
    for (const base::SettingProblem& problem : reader.Problems()) {
        messages_.Add("Live page: " + base::DescribeProblem(problem) + " The page stays off.");
        return;
    }
    options.address = std::string(base::Trim(settings.Text(base::setting::kWebListen)));
    options.token = std::string(base::Trim(settings.Text(base::setting::kWebToken)));
    if (!links::IsLoopbackAddress(options.address) && options.token.empty()) {
        // Made once and kept, so that the bookmarked page keeps working.
        options.token = links::GenerateToken();
        if (!base::Settings().Write(base::setting::kWebToken, options.token)) {
            messages_.Add(
                "Live page: the token could not be written to the settings; the page "
                "stays off");
            return;
        }
    }
    livePage_ = std::make_unique<links::LivePage>();
    if (const base::Status started = livePage_->Start(options); !started) {
        messages_.Add("Live page: " + started.Reason());
        livePage_.reset();
        return;
    }
    std::string where = "http://" + options.address + ":" + std::to_string(livePage_->Port()) + "/";
    if (!options.token.empty()) where += "?token=" + options.token;
    messages_.Add("Live page: " + where);
    publishers_->Add(std::make_unique<LivePagePublisher>(*livePage_, *table_, livePicture_));
}

void LaunchMonitor::PollSimulatorLink() {
    if (!simulatorLink_) return;
    // Ready while the cycle runs with a camera to take the shot (the simulated one counts).
    simulatorPublisher_->Poll(started_ && cameras_ && cameras_->CameraCount() > 0);
}

void LaunchMonitor::StartCycleTimers(bool on) {
    // The command timer runs through the passes and keeps its phase: restarted at every pass,
    // shots under its period apart would keep a command waiting for ever.
    if (!on) {
        for (int id : {kCameraTimer, kCaptureFileTimer, kIndicatorTimer})
            timers_.StopTimer(id);
        return;
    }
    timers_.StartTimer(kCameraTimer, 100);
    if (!timers_.IsRunning(kCommandTimer)) timers_.StartTimer(kCommandTimer, 2000);
    timers_.StartTimer(kIndicatorTimer, 500);
    // Read afresh, not from the pass: other programs set the capture file between passes, and
    // a pass may have written the stamp of the file it took.
    const base::SettingsSnapshot settings = base::SettingsSnapshot::Read();
    capturePath_ = settings.Text(base::setting::kCaptureFile);
    if (!capturePath_.empty()) {
        timers_.StartTimer(kCaptureFileTimer, 250);
    } else {
        timers_.StopTimer(kCaptureFileTimer);
    }
    lastStamp_ = settings.Text(base::setting::kCaptureFileModified);
}

double LaunchMonitor::StrobeInterval() const {
    if (cameras_ && cameras_->StrobeInterval() > 0.0) return cameras_->StrobeInterval();
    const capture::SpeedMode* mode =
        capture::SpeedModeOfName(base::Trim(pass_.snapshot.Text(base::setting::kCameraSpeed)));
    if (!mode) mode = capture::SpeedModeOfName(base::Spec(base::setting::kCameraSpeed).defaultText);
    return mode ? mode->strobeInterval : 0.0;
}

void LaunchMonitor::Wait(int milliseconds) {
    if (options_.wait) {
        options_.wait(milliseconds);
    } else {
        std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
    }
}

void LaunchMonitor::BeginPass() { BeginPass(base::SettingsSnapshot::Read()); }

void LaunchMonitor::BeginPass(base::SettingsSnapshot snapshot, bool quietRepeat) {
    pass_ = ReadPassOptions(std::move(snapshot));
    if (!quietRepeat || pass_.problems != lastProblems_) ReportProblems(pass_, messages_);
    lastProblems_ = pass_.problems;
    ApplyPass();
}

void LaunchMonitor::ApplyPass() {
    const flight::BallType ball(pass_.flight.ball);
    scene_->SetBallDiameter(ball.Diameter());
    scene_->SetOptions(pass_.scene);
    pipeline_->SetOptions(pass_.analysis);
    sensor_->SetClubOptions(pass_.club);
    table_->SetFlightOptions(pass_.flight);
    if (cameras_) cameras_->SetLeftHanded(pass_.scene.leftHanded);
    status_.Context().clubMass = pass_.snapshot.Text(base::setting::kClubMass);
    if (router_) {
        router_->SetTeeLocation(
            links::ParseTeeLocation(pass_.snapshot.Text(base::setting::kTeeLocation)));
    }
    // A club value that is no number is saved as its default, as the file has always held it.
    const auto saved = [](double value, base::SettingId id) {
        return std::isnan(value) ? base::DefaultNumber(id) : value;
    };
    workFile_->SetClubValues(saved(pass_.club.clubMass, base::setting::kClubMass),
                             saved(pass_.club.clubLoft, base::setting::kClubLoft));
}

void LaunchMonitor::ReadModeAndSelection(const base::SettingsSnapshot& settings) {
    mode_ = CameraModeOf(base::Trim(settings.Text(base::setting::kCameraMode)));
    if (mode_ != CameraMode::kSingleCam && mode_ != CameraMode::kCamFocus) {
        selectedCamera_ = -1;
        return;
    }
    long selected = settings.Integer(base::setting::kCameraSelected);
    if (selected != 0 &&
        (!cameras_ || cameras_->SlotOfSerial(static_cast<std::uint32_t>(selected)) < 0)) {
        selected = 0;
        base::Settings().Write(base::setting::kCameraSelected,
                               base::Spec(base::setting::kCameraSelected).defaultText);
    }
    selectedCamera_ = selected;
}

bool LaunchMonitor::FrameWaiting() const {
    if (!cameras_) return false;
    switch (mode_) {
        case CameraMode::kSingleCam:
        case CameraMode::kCamFocus: {
            // Serial 0 selects the camera at bus index 0.
            const std::uint32_t serial = selectedCamera_ == 0
                                             ? cameras_->SerialOfSlot(0)
                                             : static_cast<std::uint32_t>(selectedCamera_);
            return serial != capture::kNoSerial && cameras_->HasNewFrame(serial);
        }
        case CameraMode::kMultiCam:
            for (int i = 0; i < capture::kCameraSlots; ++i) {
                const std::uint32_t serial = cameras_->SerialOfSlot(i);
                if (serial != capture::kNoSerial && cameras_->HasNewFrame(serial)) return true;
            }
            return false;
        case CameraMode::kMultiFrame:
            return true;
    }
    return false;
}

void LaunchMonitor::UpdateNames() { names_->UpdateNameLists(user_, session_, item_); }

void LaunchMonitor::SetNames(std::string user, std::string session, std::string item) {
    user_ = std::move(user);
    session_ = std::move(session);
    const bool changed = item != item_;
    item_ = std::move(item);
    if (!changed) return;
    // A putter in hand is putted with: the strobe of the swing modes cannot part a rolling
    // ball's images.
    std::string back;
    switch (puttMode_.Follow(NamesPutter(item_), base::SettingsSnapshot::Read(), back)) {
        case PuttMode::Change::kNone:
            return;
        case PuttMode::Change::kToPutt:
            messages_.Add("Item " + item_ + " selects the Putt speed mode");
            break;
        case PuttMode::Change::kRestored:
            messages_.Add("Item " + item_ + " restores the " + back + " speed mode");
            break;
    }
    ApplySpeed();
}

void LaunchMonitor::ApplySpeed() {
    if (cameras_) cameras_->ApplySpeedAndBrightness();
    view_->SettingsReloaded();
}

void LaunchMonitor::CameraTick() {
    if (!cameras_) return;
    base::SettingsSnapshot settings = base::SettingsSnapshot::Read();
    ReadModeAndSelection(settings);
    if (!FrameWaiting()) return;
    BeginPass(std::move(settings), mode_ == CameraMode::kCamFocus);
    StartCycleTimers(false);

    if (mode_ == CameraMode::kCamFocus) {
        frame::CapturedImage& frame = *frames_[0];
        frame.Reset();
        const std::uint32_t serial = selectedCamera_ == 0
                                         ? cameras_->SerialOfSlot(0)
                                         : static_cast<std::uint32_t>(selectedCamera_);
        if (cameras_->TakeFrame(serial, frame)) {
            view_->ShowFocusFrame(frame, "Focus Mode - see Advanced Settings");
        }
        StartCycleTimers(true);
        return;
    }

    shotInProgress_ = true;
    publishers_->ShotBegun(ShotOrigin::kCamera);
    view_->ShowCaptureLabel(
        ClockText(std::string(base::Text(base::MessageId::kCaptureAt)).c_str()));
    UpdateNames();
    scene_->ClearSlots();

    capture::ImageFile& imageFile = *workFile_;
    imageFile.Clear();
    Wait(100);
    FillCameraSlots(imageFile);
    ProcessFrames(imageFile, true);
}

void LaunchMonitor::FillCameraSlots(capture::ImageFile& imageFile) {
    const double interval = StrobeInterval();
    for (int i = 0; i < frame::kCameraSlots; ++i) {
        frame::CapturedImage& slot = *frames_[i];
        slot.Reset();
        const std::uint32_t serial = cameras_->SerialOfSlot(i);
        if (serial == capture::kNoSerial) continue;
        bool used = true;
        if (mode_ == CameraMode::kSingleCam) {
            used = long(serial) == selectedCamera_ || (selectedCamera_ == 0 && i == 0);
        }
        if (!used || !cameras_->TakeFrame(serial, slot)) continue;
        slot.captureTime = std::time(nullptr);
        slot.captureStamp = MonotonicSeconds();
        slot.cameraIndex = cameras_->SlotOfSerial(serial);
        slot.serialNumber = static_cast<std::int32_t>(serial);
        const frame::CameraPose pose = frame::ReadCameraPose(long(serial), pass_.snapshot);
        slot.cameraPosition = pose.position;
        slot.cameraRotation = pose.rotation;
        slot.valid = true;
        // A frame grabbed before any speed mode was applied takes the setting's interval.
        if (slot.t2 <= slot.t1) slot.t2 = slot.t1 + interval;
        imageFile.SetImage(i, slot);
    }
}

void LaunchMonitor::ProcessFrames(capture::ImageFile& imageFile, bool newShot) {
    // The pictures' flushes to the disk wait on the committer's thread while the frames are
    // analysed and the shot is published; the pass ends when they are in place.
    committing_ = &files_;
    AnalyzeAndRecord(imageFile, newShot);
    committing_ = nullptr;
    for (const base::Status& failure : files_.Wait())
        base::Show(failure, prompts_);
}

base::Status LaunchMonitor::SavePassPicture(capture::ImageFile& file, const std::string& path) {
    return committing_ != nullptr ? file.Save(path, *committing_) : file.Save(path);
}

void LaunchMonitor::AnalyzeAndRecord(capture::ImageFile& imageFile, bool newShot) {
    ++passCount_;
    SaveHistory(imageFile);
    for (int i = 0; i < frame::kCameraSlots; ++i) {
        if (frames_[i]->valid) AnalyzeFrame(i);
    }
    lastSolveOk_ = scene_->SolveLaunch();
    if (!lastSolveOk_) {
        FailPass();
        return;
    }
    const analysis::ShotConfidence confidence = analysis::AssessScene(*scene_);
    const double least = pipeline_->Options().minConfidence;
    if (confidence.Value() < least) {
        lastSolveOk_ = false;
        RefuseDoubtfulShot(confidence);
        return;
    }
    Shot().launch.Set(scene_->BallSpeed(), scene_->LaunchAngle(), scene_->SideAngle(),
                      scene_->TotalSpin(), scene_->BackSpin(), scene_->SideSpin());
    Shot().launch.confidence = confidence.Value();
    Shot().launch.putt = scene_->Values().putt;
    Shot().launch.spinDoubtful = !Shot().launch.putt && confidence.spin < least;
    if (Shot().launch.spinDoubtful) {
        messages_.Add("Spin doubtful: " + analysis::DoubtsText(confidence.doubts, true));
    }
    sensor_->ReadShot(scene_->BallSpeed(), scene_->LaunchAngle(), scene_->SideAngle(),
                      scene_->BackSpin(), scene_->SideSpin());
    hasShot_ = true;
    corrections_.Clear();
    UpdateClubAndIndex();
    ComputeShot(newShot);
    StartCycleTimers(true);
}

void LaunchMonitor::FillStatusCameras(bool failed) {
    for (int i = 0; i < frame::kCameraSlots; ++i) {
        links::CameraStatus& camera = status_.Context().cameras[i];
        const frame::CapturedImage& frame = scene_->Slot(i);
        const std::uint32_t serial = cameras_ ? cameras_->SerialOfSlot(i) : capture::kNoSerial;
        camera.present = serial != capture::kNoSerial || frame.valid;
        camera.serialNumber = frame.valid ? frame.serialNumber : long(serial);
        camera.tookPart = frame.valid && (failed || frame.analyzed);
        camera.errorText = analysis::ErrorText(frame.result.errorCode);
        camera.warningTexts.clear();
        const int count = std::clamp(frame.result.warningCount, 0, frame::kMaxWarnings);
        for (int w = 0; w < count; ++w)
            camera.warningTexts.emplace_back(analysis::WarningText(frame.result.warningCodes[w]));
    }
}

void LaunchMonitor::FailPass() {
    FillStatusCameras(true);
    publishers_->ShotFailed(FailedShot{item_, scene_->ErrorCode()});
    shotInProgress_ = false;
    view_->ShotFailed(scene_->ErrorCode());
    StartCycleTimers(true);
}

void LaunchMonitor::RefuseDoubtfulShot(const analysis::ShotConfidence& confidence) {
    const std::string reasons = analysis::DoubtsText(confidence.doubts);
    char line[64];
    std::snprintf(line, sizeof line, "Shot refused, confidence %.2f: ", confidence.Value());
    messages_.Add(line + reasons);
    FillStatusCameras(true);
    for (int i = 0; i < frame::kCameraSlots; ++i) {
        if (scene_->Slot(i).valid && scene_->Slot(i).analyzed) {
            status_.Context().cameras[i].errorText = "doubtful shot: " + reasons;
        }
    }
    publishers_->ShotFailed(FailedShot{item_, analysis::kDoubtfulShot, reasons});
    shotInProgress_ = false;
    view_->ShotRefused(analysis::kDoubtfulShot, confidence.Value(), reasons);
    StartCycleTimers(true);
}

void LaunchMonitor::UpdateClubAndIndex() { computation_->UpdateClubAndIndex(); }

void LaunchMonitor::ComputeShot(bool newShot) {
    FillStatusCameras(false);
    if (!computation_->ComputeShot(newShot, user_, session_, item_)) return;
    EndOfShot();
    if (newShot) ++shotsRecorded_;
    view_->ShotRecorded(Shot(), newShot);
}

void LaunchMonitor::EndOfShot() {
    SaveOverlayImage();
    shotInProgress_ = false;
}

shot::ShotRecord& LaunchMonitor::Shot() { return computation_->Shot(); }

const shot::ShotRecord& LaunchMonitor::CurrentShot() const { return computation_->Shot(); }

bool LaunchMonitor::MarkLinePoint(long x, long y) {
    // The scene's copy of frame 0 is corrected (it is what the solve reads) and so is the
    // frame the views show; the second point of a ball solves the launch again.
    return corrections_.MarkLinePoint(*scene_, 0, static_cast<int>(x), static_cast<int>(y),
                                      frames_[0].get());
}

bool LaunchMonitor::MarkEdgePoint(long x, long y) {
    return corrections_.MarkEdgePoint(*scene_, 0, static_cast<int>(x), static_cast<int>(y),
                                      frames_[0].get());
}

void LaunchMonitor::RemeasureShot() {
    BeginPass();
    const analysis::LaunchScene& s = *scene_;
    Shot().launch.Set(s.BallSpeed(), s.LaunchAngle(), s.SideAngle(), s.TotalSpin(), s.BackSpin(),
                      s.SideSpin());
    Shot().launch.putt = s.Values().putt;
    sensor_->BeginShot();
    sensor_->Recompute(s.BallSpeed(), s.LaunchAngle(), s.SideAngle(), s.BackSpin(), s.SideSpin());
    UpdateClubAndIndex();
    ComputeShot(false);
}

void LaunchMonitor::ReloadSettings() {
    BeginPass();
    table_->ReadDisplayUnits(pass_.snapshot);
    ReadModeAndSelection(pass_.snapshot);
    if (cameras_) cameras_->ApplySpeedAndBrightness();
    sensor_->Configure(pass_.snapshot, false);
    serialOutput_->Configure();
    metadata_->ReadUnits();
    if (hasShot_) {
        const shot::LaunchConditions& l = Shot().launch;
        sensor_->BeginShot();
        sensor_->Recompute(l.ballSpeed, l.launchAngle, l.sideAngle, l.backSpin, l.sideSpin);
        Shot().club = sensor_->Club();
    }
}

void LaunchMonitor::AnalyzeFrame(int slot) {
    frame::CapturedImage& frame = *frames_[slot];
    scene_->SetSlot(slot, frame);
    displayedFrame_ = slot;
    view_->ShowFrame(slot);
    frame.analyzed = false;
    const analysis::AnalysisSummary summary = pipeline_->RunAnalysis(frame);
    analysis::PrintAnalysis(summary, frame, pipeline_->Options(), messages_);
    if (summary) {
        frame.analyzed = true;
        scene_->SetSlot(slot, frame);
        view_->ShowFrame(slot);
    }
}

long LaunchMonitor::HistorySize(const base::SettingsSnapshot& settings) {
    base::OptionsReader reader(settings);
    return ReadHistorySize(reader);
}

long LaunchMonitor::ChooseHistoryNumber(long size) {
    namespace fs = std::filesystem;
    long chosen = 0;
    // The search starts from the present moment as the oldest time seen.
    struct timespec oldest {};
    clock_gettime(CLOCK_REALTIME, &oldest);
    for (long n = 0; n < size; ++n) {
        struct stat info {};
        if (::stat(base::HistoryFramePath(n).c_str(), &info) != 0) return n;
        const struct timespec& t = info.st_mtim;
        if (t.tv_sec < oldest.tv_sec || (t.tv_sec == oldest.tv_sec && t.tv_nsec < oldest.tv_nsec)) {
            oldest = t;
            chosen = n;
        }
    }
    return chosen;
}

void LaunchMonitor::SaveHistory(capture::ImageFile& imageFile) {
    if (options_.secondInstance) return;
    base::Show(SavePassPicture(imageFile, base::LastFramePath()), prompts_);
    std::error_code ec;
    std::filesystem::create_directories(base::HistoryFolder(), ec);
    const long number = ChooseHistoryNumber(pass_.historySize);
    shotContext_.historyFile = base::HistoryFramePath(number);
    base::Show(SavePassPicture(imageFile, shotContext_.historyFile), prompts_);
}

void LaunchMonitor::SaveOverlayImage() {
    const OverlaySwitches switches = pass_.overlays;
    capture::ImageFile& overlay = *workFile_;
    overlay.Clear();
    bool any = false;
    for (int i = 0; i < frame::kCameraSlots; ++i) {
        frame::CapturedImage& frame = *frames_[i];
        if (!frame.valid) continue;
        if (DrawOverlays(frame, switches)) {
            overlay.SetImage(i, frame);
            any = true;
        }
    }
    if (any) base::Show(SavePassPicture(overlay, base::LastOverlayPath()), prompts_);
    for (int i = 0; i < frame::kCameraSlots; ++i) {
        frame::CapturedImage& frame = *frames_[i];
        if (!frame.valid) continue;
        // The scene's copy keeps the gray pixels.
        const frame::CapturedImage& gray = scene_->Slot(i);
        std::copy_n(gray.Pixels(), gray.ByteCount(), frame.Pixels());
        frame.bytesPerPixel = 1;
    }
}

void LaunchMonitor::TakeSlot(const capture::ImageFile& file, int slot, frame::CapturedImage& frame,
                             double strobeInterval) {
    frame.Reset();
    file.GetImage(slot, frame);
    // A flash interval that is not positive is no interval the analysis can use.
    const double interval = frame.t2 - frame.t1;
    if (!(interval > 0.0 && interval <= kMaxFlashInterval)) {
        frame.t1 = 0.001;
        frame.t2 = strobeInterval + 0.001;
    }
}

std::string LaunchMonitor::ShowPath(const std::string& path) const {
    if (path.size() <= 30) return path;
    return "..." + path.substr(path.size() - 30);
}

bool LaunchMonitor::OpenImage(const std::string& path) {
    capture::ImageFile& file = *workFile_;
    file.Clear();
    if (!base::Show(file.Load(path), prompts_)) return false;
    view_->ShowFileLabel(ShowPath(path));
    StartCycleTimers(false);
    shotInProgress_ = true;
    publishers_->ShotBegun(ShotOrigin::kOpenedFile);
    AnalyzeLoadedFile(file);
    return true;
}

// A loaded saved-image file as a new shot: its frames into the scene's slots, then analysed.
void LaunchMonitor::AnalyzeLoadedFile(capture::ImageFile& file) {
    BeginPass();
    UpdateNames();
    scene_->ClearSlots();
    const double interval = StrobeInterval();
    for (int i = 0; i < frame::kCameraSlots; ++i)
        TakeSlot(file, i, *frames_[i], interval);
    ProcessFrames(file, true);
}

bool LaunchMonitor::SaveImage(const std::string& path) {
    capture::ImageFile& file = *workFile_;
    file.Clear();
    for (int i = 0; i < frame::kCameraSlots; ++i) {
        if (frames_[i]->valid) file.SetImage(i, *frames_[i]);
    }
    if (!base::Show(file.Save(path), prompts_)) return false;
    view_->ShowFileLabel(ShowPath(path));
    return true;
}

void LaunchMonitor::DeleteSelectedShots() {
    if (table_->RowCount() < 2) return;
    if (!prompts_.OkCancel(base::Text(base::MessageId::kDeleteRecordsQuestion))) return;
    table_->DeleteSelected();
}

void LaunchMonitor::NewSession() {
    if (table_->RowCount() < 2) return;
    if (table_->Unsaved() &&
        !prompts_.OkCancel(base::Text(base::MessageId::kDeleteSessionQuestion))) {
        return;
    }
    table_->NewSession();
}

bool LaunchMonitor::SaveSession(const std::string& path) {
    return base::Show(data::SaveSessionAs(*table_, path, user_, session_), prompts_);
}

bool LaunchMonitor::LoadSession(const std::string& path, data::LoadReport& report) {
    return base::Show(data::LoadSession(*table_, path, report), prompts_);
}

void LaunchMonitor::SetSuspended(bool suspended) { remote_->SetSuspended(suspended); }

long LaunchMonitor::LaunchProgram() { return remote_->LaunchProgram(); }

void LaunchMonitor::StartTest() { test_->Start(); }

bool LaunchMonitor::TestRunning() const { return test_->Running(); }

}  // namespace kyvern::app
