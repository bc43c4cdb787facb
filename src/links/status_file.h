#pragma once

#include <array>
#include <string>
#include <utility>
#include <vector>

#include "base/config_store.h"

#include "flight/weather.h"
#include "frame/captured_image.h"

namespace kyvern::links {

using frame::kCameraSlots;
inline constexpr int kStatusWarningKeys = 20;  // WarnCode0 ... WarnCode19

// What the status file needs to know of one camera slot.
struct CameraStatus {
    bool present = false;  // a camera sits in the slot
    long serialNumber = 0;
    bool tookPart = false;                  // its frame was analysed for this shot and has a result
    std::string errorText;                  // the text of its analysis error code
    std::vector<std::string> warningTexts;  // texts of its warnings, in the order recorded
};

// The state of the program that the status writes read.
struct StatusContext {
    std::string title;       // the application title
    std::string executable;  // full path of the running program
    std::string clubDevice;  // display name of the configured club sensor
    // Setup/ClubMass as the pass's settings hold it: the mass the shot computation used.
    std::string clubMass = "200.0";
    std::array<CameraStatus, kCameraSlots> cameras;
};

// Writes the state of the shot cycle and the results of the last shot into the status file
// that other programs poll. One settings write per key, in a fixed order readers rely on;
// every write replaces the file whole, so a reader never sees half of it. A failed write
// leaves the old file and does not stop the shot; TakeFailure tells of it once, until a
// write succeeds again. The Command section belongs to other programs and is never touched.
class StatusFile {
public:
    // An empty path means the program folder's status file, looked up at every write.
    explicit StatusFile(std::string path = {});

    StatusContext& Context() { return context_; }
    const StatusContext& Context() const { return context_; }

    void WriteExecutable();
    void BeginImage();
    // clubMass: Setup/ClubMass as the pass's settings hold it.
    void ClearResults();
    void WriteBall(double speed, double verticalAngle, double sideAngle, double totalSpin,
                   double backSpin, double sideSpin, double distance);
    void WriteClub(double speed, double pathAngle, double faceAngle, double faceRotation,
                   double tempo, double effectiveLoft, double dxFromToe, double angleOfAttack);
    void WriteShaft();
    void WriteGolfer();
    void WriteWeather(const flight::Weather& weather);
    void WriteAnalysis(double launchEfficiency, double pti);
    void WriteFlight(double carryDR, double carryOL, double totalDR, double totalOL, double roll,
                     double maxHeight, double flightTime);
    void WriteImageBallData(int n, const double pixel[3], const double location[3],
                            const double rotation[3], double luminance);
    void CompleteSuccess(bool isUpdate);
    void CompleteTerminated();
    void Unlock();
    // The golf simulator link's state ("off", "connecting", "connected", "ready", "error") and
    // its reason, for programs that watch the link.
    void WriteSimulatorLink(const std::string& state, const std::string& reason);
    // The shot history's state ("connected", "queued", "error", "closed"), the shots waiting
    // in its queue and why it failed last.
    void WriteShotStore(const std::string& state, int queued, const std::string& reason);

    // Why the first of a run of failed writes failed, once; empty otherwise.
    std::string TakeFailure() { return std::exchange(newFailure_, {}); }

    // "Kyvern: " and the serial numbers of the present cameras.
    std::string DeviceText() const;
    std::string Path() const;

    // Collects the writes of one operation, or of several while a caller holds one, so that
    // the file is replaced once with all of them: a reader never sees results half written,
    // and a shot's dozen operations cost one write.
    class Batch {
    public:
        explicit Batch(StatusFile& file) : file_(file) { ++file_.batchDepth_; }
        ~Batch();
        Batch(const Batch&) = delete;
        Batch& operator=(const Batch&) = delete;

    private:
        StatusFile& file_;
    };

private:
    void Write(const char* section, const char* key, const std::string& value);
    void WriteNumber(const char* section, const char* key, const char* format, double value);

    std::string path_;
    StatusContext context_;
    std::vector<base::ConfigStore::Write> pending_;
    int batchDepth_ = 0;
    bool failing_ = false;
    std::string newFailure_;
};

// The ball's distance from the cameras: the mean depth of both ball images over the frames
// with a result whose camera is turned by at most 10 degrees; 0 when none qualifies. A null
// entry is a slot without a result.
double MeanBallDistance(const std::array<const frame::CapturedImage*, kCameraSlots>& frames);

// The full path of the running program, cut to 259 characters.
std::string ExecutablePath();

}  // namespace kyvern::links
