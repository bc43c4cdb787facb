#include "links/status_file.h"

#include <unistd.h>

#include <cstdio>
#include <ctime>

#include "base/config_store.h"
#include "base/identity.h"
#include "base/program_folder.h"
#include "base/settings_schema.h"
#include "flight/weather.h"
#include "shot/text_formats.h"

namespace kyvern::links {

namespace {

constexpr const char* kStatus = "Status";
constexpr const char* kBall = "Ball";
constexpr const char* kClub = "Club";
constexpr const char* kClubSensorVersion = "ClubSensor v3.0.0";
constexpr const char* kAnalysisVersion = "Analysis v2.3.1";
constexpr const char* kFlightModelVersion = "FlightModel v2.3.1";
constexpr double kMaxCameraTurn = 0.17453292519943278;  // 10 degrees

std::string CameraSection(int slot) {
    char name[16];
    std::snprintf(name, sizeof name, "Cam%dStatus", slot);
    return name;
}

std::string Triple(const char* format, const double values[3]) {
    char text[200];
    std::snprintf(text, sizeof text, format, values[0], values[1], values[2]);
    return text;
}

std::string Long(long value) {
    char text[24];
    std::snprintf(text, sizeof text, "%ld", value);
    return text;
}

}  // namespace

StatusFile::StatusFile(std::string path) : path_(std::move(path)) {
    context_.executable = ExecutablePath();
}

std::string StatusFile::Path() const { return path_.empty() ? base::StatusPath() : path_; }

StatusFile::Batch::~Batch() {
    if (--file_.batchDepth_ > 0 || file_.pending_.empty()) return;
    std::string why;
    const bool written = base::ConfigStore::WriteSettings(file_.Path(), file_.pending_, &why);
    file_.pending_.clear();
    if (!written && !file_.failing_) file_.newFailure_ = why.empty() ? "unknown" : why;
    file_.failing_ = !written;
}

void StatusFile::Write(const char* section, const char* key, const std::string& value) {
    Batch batch(*this);
    // A reason from another program may come in lines; a value of the file is one.
    pending_.push_back({section, key, base::OneLine(value)});
}

void StatusFile::WriteNumber(const char* section, const char* key, const char* format,
                             double value) {
    char text[400];
    std::snprintf(text, sizeof text, format, value);
    Write(section, key, text);
}

void StatusFile::WriteExecutable() {
    Batch batch(*this);
    Write(kStatus, "Executable", context_.executable);
}

void StatusFile::BeginImage() {
    Batch batch(*this);
    Write(kStatus, "Status", "New Image");
    Write(kStatus, "Analysis", "Processing");
    Write(kStatus, "Version", context_.title);
    Write(kStatus, "Lock", "Locked");
}

void StatusFile::ClearResults() {
    Batch batch(*this);
    WriteBall(0, 0, 0, 0, 0, 0, 0);
    WriteClub(0, 0, 0, 0, 0, 0, 0, 0);
    WriteShaft();
    WriteGolfer();
    WriteFlight(0, 0, 0, 0, 0, 0, 0);
    WriteAnalysis(0, 0);
    const double zero[3] = {0, 0, 0};
    WriteImageBallData(0, zero, zero, zero, 0);
    WriteImageBallData(1, zero, zero, zero, 0);
    for (int slot = 0; slot < kCameraSlots; ++slot) {
        std::string section = CameraSection(slot);
        Write(section.c_str(), "Valid", "False");
        Write(section.c_str(), "SerialNumber", "");
        Write(section.c_str(), "ErrorCode", "");
        for (int k = 0; k < kStatusWarningKeys; ++k) {
            char key[16];
            std::snprintf(key, sizeof key, "WarnCode%d", k);
            Write(section.c_str(), key, "");
        }
    }
}

std::string StatusFile::DeviceText() const {
    std::vector<long> serials;
    for (const CameraStatus& camera : context_.cameras) {
        if (camera.present) serials.push_back(camera.serialNumber);
    }
    return base::CameraDeviceText(serials);
}

void StatusFile::WriteBall(double speed, double verticalAngle, double sideAngle, double totalSpin,
                           double backSpin, double sideSpin, double distance) {
    Batch batch(*this);
    Write(kBall, "Version", base::kCameraModuleVersion);
    Write(kBall, "Device", DeviceText());
    WriteNumber(kBall, "Distance", "%.1f", distance);
    WriteNumber(kBall, "SpeedFPS", "%.1f", speed);
    WriteNumber(kBall, "VerticalAngle", "%.1f", verticalAngle);
    WriteNumber(kBall, "SideAngle", "%.0f", sideAngle);
    WriteNumber(kBall, "TotalSpin", "%.0f", totalSpin);
    WriteNumber(kBall, "BackSpin", "%.0f", backSpin);
    WriteNumber(kBall, "SideSpin", "%.0f", sideSpin);
}

void StatusFile::WriteClub(double speed, double pathAngle, double faceAngle, double faceRotation,
                           double tempo, double effectiveLoft, double dxFromToe,
                           double angleOfAttack) {
    Batch batch(*this);
    Write(kClub, "Version", kClubSensorVersion);
    Write(kClub, "Device", context_.clubDevice);
    WriteNumber(kClub, "SpeedFPS", "%.1f", speed);
    WriteNumber(kClub, "PathAngle", "%.1f", pathAngle);
    WriteNumber(kClub, "FaceAngle", "%.1f", faceAngle);
    WriteNumber(kClub, "FaceRotation", "%.1f", faceRotation);
    WriteNumber(kClub, "Tempo", "%.2f", tempo);
    WriteNumber(kClub, "EffectiveLoft", "%.1f", effectiveLoft);
    WriteNumber(kClub, "DxFromToe", "%.1f", dxFromToe);
    WriteNumber(kClub, "AngleOfAttack", "%.1f", angleOfAttack);
    Write(kClub, "ClubMass", context_.clubMass);
}

void StatusFile::WriteShaft() {
    Batch batch(*this);
    Write("Shaft", "Version", "Shaft v0.0.0");
    Write("Shaft", "Device", "None");
}

void StatusFile::WriteGolfer() {
    Batch batch(*this);
    Write("Golfer", "Version", "Golfer v0.0.0");
    Write("Golfer", "Device", "None");
}

void StatusFile::WriteWeather(const flight::Weather& weather) {
    Batch batch(*this);
    WriteNumber("Weather", "Temperature", "%.1f", weather.temperature);
    WriteNumber("Weather", "Altitude", "%.1f", weather.altitude);
    WriteNumber("Weather", "Barometer", "%.2f", weather.barometer);
    WriteNumber("Weather", "Humidity", "%.1f", weather.humidity);
    WriteNumber("Weather", "WindDirection", "%.1f", weather.windDir);
    WriteNumber("Weather", "WindSpeed", "%.1f", weather.windSpeed);
}

void StatusFile::WriteAnalysis(double launchEfficiency, double pti) {
    Batch batch(*this);
    Write("Analysis", "Version", kAnalysisVersion);
    WriteNumber("Analysis", "LaunchEfficiency", "%.1f", launchEfficiency);
    WriteNumber("Analysis", "PTI", "%.2f", pti);
}

void StatusFile::WriteFlight(double carryDR, double carryOL, double totalDR, double totalOL,
                             double roll, double maxHeight, double flightTime) {
    Batch batch(*this);
    Write("Flight", "Version", kFlightModelVersion);
    WriteNumber("Flight", "CarryDRft", "%.1f", carryDR);
    WriteNumber("Flight", "CarryOLft", "%.1f", carryOL);
    WriteNumber("Flight", "TotalDRft", "%.1f", totalDR);
    WriteNumber("Flight", "TotalOLft", "%.1f", totalOL);
    WriteNumber("Flight", "Rollft", "%.1f", roll);
    WriteNumber("Flight", "MaxAltft", "%.1f", maxHeight);
    WriteNumber("Flight", "FlightTime", "%.1f", flightTime);
}

void StatusFile::WriteImageBallData(int n, const double pixel[3], const double location[3],
                                    const double rotation[3], double luminance) {
    Batch batch(*this);
    char key[32];
    std::snprintf(key, sizeof key, "Pixel%d", n);
    Write("ImageBallData", key, Triple("%.1f, %.1f, %.1f", pixel));
    std::snprintf(key, sizeof key, "Loc%d", n);
    Write("ImageBallData", key, Triple("%.3f, %.3f, %.3f", location));
    std::snprintf(key, sizeof key, "Rot%d", n);
    Write("ImageBallData", key, Triple("%.3f, %.3f, %.3f", rotation));
    std::snprintf(key, sizeof key, "Luminance%d", n);
    WriteNumber("ImageBallData", key, "%.1f", luminance);
}

void StatusFile::CompleteSuccess(bool isUpdate) {
    Batch batch(*this);
    Write(kStatus, "ErrorCode", "");
    Write(kStatus, "Status", "Completed");
    Write(kStatus, "Analysis", isUpdate ? "Update" : "Success");
    // One running number across the cameras: a second camera's warnings continue where the
    // first one's ended. Only the twenty keys that a clear resets are ever written, so no
    // warning of an earlier shot can outlive its clear.
    int k = 0;
    for (int slot = 0; slot < kCameraSlots; ++slot) {
        const CameraStatus& camera = context_.cameras[slot];
        if (!camera.tookPart) continue;
        std::string section = CameraSection(slot);
        Write(section.c_str(), "Valid", "True");
        Write(section.c_str(), "SerialNumber", Long(camera.serialNumber));
        for (auto text = camera.warningTexts.rbegin(); text != camera.warningTexts.rend(); ++text) {
            if (text->empty() || k >= kStatusWarningKeys) break;
            char key[16];
            std::snprintf(key, sizeof key, "WarnCode%d", k);
            Write(section.c_str(), key, *text);
            ++k;
        }
    }
    Unlock();
}

void StatusFile::CompleteTerminated() {
    Batch batch(*this);
    ClearResults();
    Write(kStatus, "Status", "Completed");
    Write(kStatus, "Analysis", "Terminated");
    for (int slot = 0; slot < kCameraSlots; ++slot) {
        const CameraStatus& camera = context_.cameras[slot];
        if (!camera.tookPart) continue;
        std::string section = CameraSection(slot);
        Write(section.c_str(), "Valid", "True");
        Write(section.c_str(), "SerialNumber", Long(camera.serialNumber));
        Write(section.c_str(), "ErrorCode", camera.errorText);
    }
    Unlock();
}

void StatusFile::Unlock() {
    Batch batch(*this);
    Write(kStatus, "DateTime", shot::FormatTimeStamp(std::time(nullptr)));
    Write(kStatus, "Lock", "Unlocked");
}

void StatusFile::WriteSimulatorLink(const std::string& state, const std::string& reason) {
    Batch batch(*this);
    Write(kStatus, "SimulatorLink", state);
    Write(kStatus, "SimulatorLinkReason", reason);
}

void StatusFile::WriteShotStore(const std::string& state, int queued, const std::string& reason) {
    Batch batch(*this);
    Write(kStatus, "ShotStore", state);
    Write(kStatus, "ShotStoreQueued", std::to_string(queued));
    Write(kStatus, "ShotStoreReason", reason);
}

double MeanBallDistance(const std::array<const frame::CapturedImage*, kCameraSlots>& frames) {
    double sum = 0.0;
    int count = 0;
    for (const frame::CapturedImage* frame : frames) {
        if (!frame || frame->cameraRotation.x > kMaxCameraTurn) continue;
        sum += frame->result.balls[0].loc.z + frame->result.balls[1].loc.z;
        count += 2;
    }
    return count == 0 ? 0.0 : sum / count;
}

std::string ExecutablePath() {
    char path[260] = {};
    ssize_t length = ::readlink("/proc/self/exe", path, sizeof path - 1);
    return length > 0 ? std::string(path, static_cast<std::size_t>(length)) : std::string();
}

}  // namespace kyvern::links
