#pragma once

#include <array>
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "analysis/analysis_pipeline.h"
#include "analysis/captured_image.h"
#include "analysis/launch_scene.h"
#include "analysis/manual_corrections.h"
#include "app/overlay_drawing.h"
#include "app/timer_host.h"
#include "base/message_list.h"
#include "base/user_prompts.h"
#include "capture/camera_table.h"
#include "capture/image_file.h"
#include "data/name_lists.h"
#include "data/shot_table.h"
#include "links/club_sensor.h"
#include "links/notification_slot.h"
#include "links/router_client.h"
#include "links/serial_shot_output.h"
#include "links/status_file.h"
#include "links/video_metadata_link.h"
#include "shot/shot_record.h"

namespace kyvern::app {

inline constexpr const char* kApplicationTitle = "Tessaline Kyvern v3.0.1";
inline constexpr double kMaxFlashInterval = 0.004;  // seconds between the two flashes
inline constexpr long kDefaultHistorySize = 50;
inline constexpr long kMaxHistorySize = 10000;

enum class CameraMode { kCamFocus, kSingleCam, kMultiCam, kMultiFrame };
// The mode a Camera/Mode word names (case ignored); anything else is SingleCam.
CameraMode CameraModeOf(std::string_view word);

// What the shot cycle shows. The window draws these; the headless runner prints some of them;
// every method does nothing unless overridden.
class MonitorView {
public:
    virtual ~MonitorView() = default;
    // The club values and the score of the current shot (club and index update).
    virtual void ShowClubAndIndex(const shot::ShotRecord& /*shot*/, const std::string& /*label*/) {}
    // The loft-mismatch notice on or off.
    virtual void ShowClubNotice(bool /*on*/) {}
    // The practice range gets each shot before it is checked and recorded.
    virtual void ShowPracticeRange(const shot::ShotRecord& /*shot*/) {}
    // A shot has been recorded (newShot) or computed again, and published.
    virtual void ShotRecorded(const shot::ShotRecord& /*shot*/, bool /*newShot*/) {}
    // A pass ended without a shot.
    virtual void ShotFailed(std::int32_t /*errorCode*/) {}
    virtual void ShowCaptureLabel(const std::string& /*text*/) {}
    virtual void ShowFileLabel(const std::string& /*text*/) {}
    virtual void ShowFrame(int /*slot*/) {}
    virtual void ShowFocusFrame(const analysis::CapturedImage& /*frame*/,
                                const std::string& /*text*/) {}
    virtual void SetTitle(const std::string& /*title*/) {}
    // The automated test appended this line (without its line end) to its result file.
    virtual void TestLineWritten(const std::string& /*line*/) {}
    virtual void RefreshAnalysisWindow() {}
    // The settings were reloaded by a command: the window re-applies what it shows.
    virtual void SettingsReloaded() {}
    // A command asked the program to close.
    virtual void CloseRequested() {}
};

// How the monitor is put together; the defaults are the real program's.
struct MonitorOptions {
    bool secondInstance = false;
    // The pause before the frames are taken from the cameras, and the club sensor's report
    // wait; real sleeps unless replaced.
    std::function<void(int milliseconds)> wait;
    links::DispatchFactory* metadataFactory = nullptr;
    bool openRouter = true;
    links::RouterTiming routerTiming;
};

// The application core that the window, the headless runner and the tests drive alike: the
// frame slots and the scene, the shot cycle on the timers, the shot computation that records
// and publishes each shot, and the remote control by files. Everything runs on the thread that
// delivers the timer ticks. Settings are read from the program folder at the moment of use.
class LaunchMonitor {
public:
    // cameras may be null: a monitor without cameras still opens images and watches files.
    LaunchMonitor(TimerHost& timers, base::UserPrompts& prompts, base::MessageList& messages,
                  capture::CameraTable* cameras, MonitorOptions options = {});
    ~LaunchMonitor();
    LaunchMonitor(const LaunchMonitor&) = delete;
    LaunchMonitor& operator=(const LaunchMonitor&) = delete;

    void SetView(MonitorView* view) { view_ = view ? view : &silentView_; }

    // Window start: the links, the name lists, the status file's program path and the timers.
    void Start();
    // Window end: every timer stopped, the status file unlocked, the links closed. Idempotent.
    void Stop();

    // The tick of a timer, as the TimerHost delivers it.
    void OnTimer(int id);

    // --- Shot cycle ---
    void StartCycleTimers(bool on);
    void CameraTick();
    void ProcessFrames(capture::ImageFile& imageFile, bool newShot);
    void AnalyzeLoadedFile(capture::ImageFile& file);
    void AnalyzeFrame(int slot);
    void SaveHistory(capture::ImageFile& imageFile);
    void SaveOverlayImage();
    // "&Open Image" and "&Save Image" after their dialogs: the chosen path.
    bool OpenImage(const std::string& path);
    bool SaveImage(const std::string& path);

    // --- Shot computation ---
    void UpdateClubAndIndex();
    void ComputeShot(bool newShot);

    // --- Remote control and the automated test ---
    void CheckCaptureFile();
    void CheckCommands();
    void RunTestStep();
    // Starts the launcher's program without a shell; its process id, or -1 when none started.
    long LaunchProgram();
    // The keyboard's suspension of remote captures; the headless runner never sets it.
    void SetSuspended(bool suspended) { suspended_ = suspended; }
    bool Suspended() const { return suspended_; }
    // Starts the automated test as window start does when RegressionTest/Test is "Yes". A
    // command line may name the folder and the continuous flag instead of the settings.
    void StartTest();
    void StartTest(std::string directory, bool continuous);
    bool TestRunning() const { return testRunning_; }

    // --- Manual corrections ---
    // Marks a point of the printed line on the ball of frame slot 0, in frame coordinates;
    // true when the launch was solved again after the second point.
    bool MarkLinePoint(long x, long y);

    // --- State ---
    // The texts of the "Player:", "Session:" and "Item:" boxes.
    void SetNames(std::string user, std::string session, std::string item);
    const std::string& User() const { return user_; }
    const std::string& Session() const { return session_; }
    const std::string& Item() const { return item_; }
    analysis::CapturedImage& Frame(int slot) { return *frames_[slot]; }
    analysis::LaunchScene& Scene() { return *scene_; }
    data::ShotTable& Table() { return *table_; }
    links::StatusFile& Status() { return status_; }
    links::ClubSensor& Sensor() { return *sensor_; }
    links::RouterClient* Router() { return router_.get(); }
    const shot::ShotRecord& CurrentShot() const { return shot_; }
    bool ShotInProgress() const { return shotInProgress_; }
    bool HasShot() const { return hasShot_; }
    int DisplayedFrame() const { return displayedFrame_; }
    long SelectedCamera() const { return selectedCamera_; }
    CameraMode Mode() const { return mode_; }
    long ShotsRecorded() const { return shotsRecorded_; }
    long PassesFailed() const { return passesFailed_; }
    // Passes begun (every ProcessFrames), whatever their end.
    long PassCount() const { return passCount_; }
    bool CloseRequested() const { return closeRequested_; }
    const std::string& CapturePath() const { return capturePath_; }
    const std::string& LastStamp() const { return lastStamp_; }
    // The flash interval of the strobe speed in force (seconds).
    double StrobeInterval() const;

    // Takes a loaded file's slot into a frame slot with the flash-interval rule: an interval
    // t2 - t1 outside 0 < interval <= 0.004 s becomes t1 = 0.001 and t2 = strobe + 0.001.
    static void TakeSlot(const capture::ImageFile& file, int slot, analysis::CapturedImage& frame,
                         double strobeInterval);
    // The back spin (rpm) that the router and the serial line get when Setup/PredictWithSpin
    // is not "yes": predicted from ball speed (mph) and launch angle (degrees).
    static double PredictedBackSpin(double ballSpeedMph, double launchAngle) {
        return 3.8 * ballSpeedMph + 635.0 + 285.0 * launchAngle;
    }
    // The history file SaveHistory writes to for this size, by the ring rule.
    static long ChooseHistoryNumber(long size);
    // Setup/ImageHistorySize with its bounds.
    static long HistorySize();

private:
    void ReadModeAndSelection();
    bool FrameWaiting() const;
    void FillCameraSlots(capture::ImageFile& imageFile);
    void FailPass();
    void FillStatusCameras(bool failed);
    void Wait(int milliseconds);
    void UpdateNames();
    void EndOfShot();
    std::string ShowPath(const std::string& path) const;
    void EndTest();
    void ReapLaunched();

    TimerHost& timers_;
    base::UserPrompts& prompts_;
    base::MessageList& messages_;
    capture::CameraTable* cameras_;
    MonitorOptions options_;
    MonitorView silentView_;
    MonitorView* view_ = &silentView_;

    std::array<std::unique_ptr<analysis::CapturedImage>, analysis::kCameraSlots> frames_;
    std::unique_ptr<analysis::LaunchScene> scene_;
    std::unique_ptr<analysis::AnalysisPipeline> pipeline_;
    std::unique_ptr<data::ShotTable> table_;
    std::unique_ptr<links::ClubSensor> sensor_;
    std::unique_ptr<links::RouterClient> router_;
    std::unique_ptr<links::VideoMetadataLink> metadata_;
    std::unique_ptr<links::SerialShotOutput> serialOutput_;
    std::unique_ptr<data::NameLists> names_;
    std::unique_ptr<capture::ImageFile> workFile_;  // the file of a pass, made once
    links::StatusFile status_;
    links::NotificationSlot notifications_;

    shot::ShotRecord shot_;
    std::string scoreLabel_;
    std::string user_ = "Player";
    std::string session_ = "Session";
    std::string item_ = "Item";
    CameraMode mode_ = CameraMode::kSingleCam;
    long selectedCamera_ = 0;
    bool shotInProgress_ = false;
    bool hasShot_ = false;
    int displayedFrame_ = 0;
    std::string capturePath_;
    std::string lastStamp_;
    bool suspended_ = false;
    bool started_ = false;
    bool closeRequested_ = false;
    long shotsRecorded_ = 0;
    long passesFailed_ = 0;
    long passCount_ = 0;
    analysis::ManualCorrections corrections_;
    bool lastSolveOk_ = false;
    std::vector<long> launched_;  // programs started and not yet reaped

    // The automated test.
    bool testRunning_ = false;
    bool testRestart_ = true;
    std::vector<std::string> testFiles_;
    std::size_t testIndex_ = 0;
    std::string testDirectory_;  // empty: RegressionTest/Directory
    bool testContinuous_ = false;
};

}  // namespace kyvern::app
