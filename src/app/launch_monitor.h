#pragma once

// The application core's front door: the window, the headless runner and the tests all drive
// the system through LaunchMonitor.

#include <array>
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "analysis/analysis_pipeline.h"
#include "analysis/launch_scene.h"
#include "analysis/manual_corrections.h"
#include "analysis/shot_confidence.h"
#include "app/monitor_view.h"
#include "app/overlay_drawing.h"
#include "app/pass_options.h"
#include "app/putt_mode.h"
#include "app/regression_test.h"
#include "app/remote_control.h"
#include "app/shot_computation.h"
#include "app/shot_publisher.h"
#include "app/store_publisher.h"
#include "app/timer_host.h"
#include "base/file_committer.h"
#include "base/message_list.h"
#include "base/user_prompts.h"
#include "base/version.h"
#include "capture/camera_table.h"
#include "capture/image_file.h"
#include "data/name_lists.h"
#include "data/session_file.h"
#include "data/shot_table.h"
#include "frame/captured_image.h"
#include "links/club_sensor.h"
#include "links/live_page.h"
#include "links/notification_slot.h"
#include "links/router_client.h"
#include "links/serial_shot_output.h"
#include "links/simulator_link.h"
#include "links/status_file.h"
#include "links/video_metadata_link.h"
#include "shot/shot_record.h"

namespace kyvern::app {

class SimulatorLinkPublisher;

inline constexpr const char* kApplicationTitle = base::kApplicationTitle;
// Seconds between the two flashes that a saved frame may carry: up to the putting strobe's.
inline constexpr double kMaxFlashInterval = capture::kLongestStrobeInterval;

enum class CameraMode { kCamFocus, kSingleCam, kMultiCam, kMultiFrame };
// The mode a Camera/Mode word names (case ignored); anything else is SingleCam.
CameraMode CameraModeOf(std::string_view word);

// How the monitor is put together; the defaults are the real program's.
struct MonitorOptions {
    bool secondInstance = false;
    // The pause before the frames are taken from the cameras, and the club sensor's report
    // wait; real sleeps unless replaced.
    std::function<void(int milliseconds)> wait;
    links::DispatchFactory* metadataFactory = nullptr;
    bool openRouter = true;
    links::RouterTiming routerTiming;
    links::SimLinkTiming simulatorTiming;
};

// The application core that the window, the headless runner and the tests drive alike: the
// frame slots and the scene, the shot cycle on the timers, and the links it owns. The shot
// computation, the publishers of a shot, the remote control and the automated test are parts
// of it kept in classes of their own. Everything runs on the thread that delivers the timer
// ticks. Each pass (a shot, a loaded file, a correction, a settings reload) begins with one
// read of the settings file, and every part of that pass takes its options from it.
class LaunchMonitor {
public:
    // cameras may be null: a monitor without cameras still opens images and watches files.
    LaunchMonitor(TimerHost& timers, base::UserPrompts& prompts, base::MessageList& messages,
                  capture::CameraTable* cameras, MonitorOptions options = {});
    ~LaunchMonitor();
    LaunchMonitor(const LaunchMonitor&) = delete;
    LaunchMonitor& operator=(const LaunchMonitor&) = delete;

    void SetView(MonitorView* view);

    // Window start: the links, the name lists, the status file's program path and the timers.
    void Start();
    // One more program or store the shots go to, after the links the monitor makes itself.
    void AddPublisher(std::unique_ptr<ShotPublisher> publisher);
    // Window end: every timer stopped, the status file unlocked, the links closed. Idempotent.
    void Stop();

    // The tick of a timer, as the TimerHost delivers it.
    void OnTimer(int id);

    // --- Shot cycle ---
    void StartCycleTimers(bool on);
    void CameraTick();
    void AnalyzeFrame(int slot);
    void SaveHistory(capture::ImageFile& imageFile);
    // Saves a picture of the pass: within ProcessFrames through the committer, else at once.
    base::Status SavePassPicture(capture::ImageFile& file, const std::string& path);
    void AnalyzeAndRecord(capture::ImageFile& imageFile, bool newShot);
    void SaveOverlayImage();
    // "&Open Image" and "&Save Image" after their dialogs: the chosen path.
    bool OpenImage(const std::string& path);
    bool SaveImage(const std::string& path);
    // "Delete Record" and "New Session": the user is asked first, for shots are lost; New
    // Session asks only when the session has shots not yet saved.
    void DeleteSelectedShots();
    void NewSession();
    // "Save Session" (remembered as the most recent) and "Load Session" after their dialogs;
    // a failure's reason is shown and false comes back.
    bool SaveSession(const std::string& path);
    bool LoadSession(const std::string& path, data::LoadReport& report);
    // The club and index update and the shot computation of the shot held.
    void UpdateClubAndIndex();
    void ComputeShot(bool newShot);
    // Marks a point of the printed line on the ball of frame slot 0, in frame coordinates;
    // true when the launch was solved again after the second point.
    bool MarkLinePoint(long x, long y);
    // Marks a point of a ball's edge on frame slot 0; true when the third point located the
    // ball again and the launch was solved again.
    bool MarkEdgePoint(long x, long y);
    // After a correction solved the launch again: the club data from the new ball data, the
    // club and index update and the shot computed again over its own row.
    void RemeasureShot();
    // Reloads and re-applies the settings the core holds, as the UpdateSettings command does.
    void ReloadSettings();
    // Reads the settings for the pass that follows and hands each part its options; a value
    // the pass cannot take is reported once, to the message list.
    void BeginPass();
    // quietRepeat: the problems are told only when they differ from the last pass's (a
    // focus-mode pass comes with every frame, ten a second).
    void BeginPass(base::SettingsSnapshot snapshot, bool quietRepeat = false);
    const PassOptions& Pass() const { return pass_; }

    // --- Remote control and the automated test ---
    // The keyboard's suspension of remote captures; the headless runner never sets it.
    void SetSuspended(bool suspended);
    // The program launcher's button.
    long LaunchProgram();
    // The automated test as window start starts it when RegressionTest/Test is "Yes"; Test()
    // also takes a folder and the continuous flag from a command line.
    void StartTest();
    RegressionTest& Test() { return *test_; }
    bool TestRunning() const;

    // --- State ---
    // The texts of the "Player:", "Session:" and "Item:" boxes.
    void SetNames(std::string user, std::string session, std::string item);
    // What draws the live page's Down Range picture as a PNG, on the cycle's thread.
    void SetLivePicture(std::function<std::string()> picture) { livePicture_ = std::move(picture); }
    // The live page while it is open, else null.
    links::LivePage* LivePage() { return livePage_.get(); }
    // The shot history the shots are recorded in, for its queries (thread-safe); null in a
    // second instance, which records none.
    store::ShotStore* ShotHistory();
    const std::string& User() const { return user_; }
    const std::string& Session() const { return session_; }
    const std::string& Item() const { return item_; }
    frame::CapturedImage& Frame(int slot) { return *frames_[slot]; }
    analysis::LaunchScene& Scene() { return *scene_; }
    analysis::AnalysisPipeline& Pipeline() { return *pipeline_; }
    data::ShotTable& Table() { return *table_; }
    data::NameLists& Names() { return *names_; }
    links::StatusFile& Status() { return status_; }
    // The golf simulator link while it is open, else null.
    links::SimulatorLink* SimulatorLink() { return simulatorLink_.get(); }
    const shot::ShotRecord& CurrentShot() const;
    bool ShotInProgress() const { return shotInProgress_; }
    int DisplayedFrame() const { return displayedFrame_; }
    long SelectedCamera() const { return selectedCamera_; }
    CameraMode Mode() const { return mode_; }
    long ShotsRecorded() const { return shotsRecorded_; }
    // Passes begun (every ProcessFrames), whatever their end.
    long PassCount() const { return passCount_; }
    bool CloseRequested() const { return closeRequested_; }
    const std::string& CapturePath() const { return capturePath_; }
    const std::string& LastStamp() const { return lastStamp_; }
    // Takes a loaded file's slot into a frame slot with the flash-interval rule: an interval
    // t2 - t1 outside 0 < interval <= kMaxFlashInterval becomes t1 = 0.001 and t2 = strobe + 0.001.
    static void TakeSlot(const capture::ImageFile& file, int slot, frame::CapturedImage& frame,
                         double strobeInterval);
    // The back spin (rpm) the router and the serial line get when Setup/PredictWithSpin is not
    // "yes".
    static double PredictedBackSpin(double ballSpeedMph, double launchAngle) {
        return shot::PredictedBackSpin(ballSpeedMph, launchAngle);
    }
    // The history file SaveHistory writes to for this size, by the ring rule.
    static long ChooseHistoryNumber(long size);
    // Setup/ImageHistorySize with its bounds.
    static long HistorySize(const base::SettingsSnapshot& settings);

private:
    // The remote control and the automated test run passes of the cycle on its state.
    friend class RemoteControl;
    friend class RegressionTest;

    void ProcessFrames(capture::ImageFile& imageFile, bool newShot);
    void AnalyzeLoadedFile(capture::ImageFile& file);
    void ReadModeAndSelection(const base::SettingsSnapshot& settings);
    bool FrameWaiting() const;
    void FillCameraSlots(capture::ImageFile& imageFile);
    void FailPass();
    // A solved shot whose confidence is below the setting's: told everywhere a failure is.
    void RefuseDoubtfulShot(const analysis::ShotConfidence& confidence);
    void FillStatusCameras(bool failed);
    void Wait(int milliseconds);
    void UpdateNames();
    // A speed mode written to the settings, to the cameras and the window.
    void ApplySpeed();
    // The live page when Web/Port names one.
    void OpenLivePage();
    void EndOfShot();
    void OpenSimulatorLink();
    void PollSimulatorLink();
    std::string ShowPath(const std::string& path) const;
    shot::ShotRecord& Shot();
    // The flash interval of the strobe speed in force (seconds).
    double StrobeInterval() const;
    void ApplyPass();

    TimerHost& timers_;
    base::UserPrompts& prompts_;
    base::MessageList& messages_;
    capture::CameraTable* cameras_;
    MonitorOptions options_;
    MonitorView silentView_;
    MonitorView* view_ = &silentView_;

    PassOptions pass_;
    std::vector<base::SettingProblem> lastProblems_;  // of the last pass
    std::array<std::unique_ptr<frame::CapturedImage>, frame::kCameraSlots> frames_;
    std::unique_ptr<analysis::LaunchScene> scene_;
    std::unique_ptr<analysis::AnalysisPipeline> pipeline_;
    std::unique_ptr<data::ShotTable> table_;
    std::unique_ptr<links::ClubSensor> sensor_;
    std::unique_ptr<links::RouterClient> router_;
    std::unique_ptr<links::SimulatorLink> simulatorLink_;
    std::unique_ptr<links::VideoMetadataLink> metadata_;
    std::unique_ptr<links::SerialShotOutput> serialOutput_;
    std::unique_ptr<data::NameLists> names_;
    std::unique_ptr<capture::ImageFile> workFile_;  // the file of a pass, made once
    base::FileCommitter files_;                     // the pictures' flushes, off the pass
    base::FileCommitter* committing_ = nullptr;     // files_ while ProcessFrames runs
    links::StatusFile status_;
    links::NotificationSlot notifications_;
    std::unique_ptr<ShotPublishers> publishers_;
    SimulatorLinkPublisher* simulatorPublisher_ = nullptr;  // one of publishers_, or none
    std::unique_ptr<ShotComputation> computation_;
    std::unique_ptr<RemoteControl> remote_;
    std::unique_ptr<RegressionTest> test_;

    std::string user_ = "Player";
    std::string session_ = "Session";
    std::string item_ = "Item";
    PuttMode puttMode_;  // shared by the item box and the simulator's club
    ShotContext shotContext_;
    StorePublisher* storePublisher_ = nullptr;  // owned by publishers_; null in a second instance
    std::unique_ptr<links::LivePage> livePage_;
    std::function<std::string()> livePicture_;
    CameraMode mode_ = CameraMode::kSingleCam;
    long selectedCamera_ = 0;
    bool shotInProgress_ = false;
    bool hasShot_ = false;
    int displayedFrame_ = 0;
    std::string capturePath_;
    std::string lastStamp_;
    bool started_ = false;
    bool closeRequested_ = false;
    long shotsRecorded_ = 0;
    long passCount_ = 0;
    analysis::ManualCorrections corrections_;
    bool lastSolveOk_ = false;
};

}  // namespace kyvern::app
