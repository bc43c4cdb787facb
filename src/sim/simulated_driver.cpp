#include "sim/simulated_driver.h"

#include <algorithm>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <utility>

#include "base/config_store.h"
#include "base/math_constants.h"
#include "base/program_folder.h"
#include "base/settings_schema.h"
#include "capture/camera_table.h"
#include "frame/camera_model.h"

namespace kyvern::sim {
namespace {

using Clock = std::chrono::steady_clock;

// A default entry fits what the reader keeps.
constexpr std::size_t kCalibrationLength = base::Spec(base::setting::kCameraCalibration).length;
constexpr int kFrameRate = 4;  // the camera's own rate code; the strobe decides the frames
// Turns about the target line of the four virtual cameras' default calibration: one straight
// camera and three looking down on the flight from above.
constexpr double kDefaultTurns[capture::kCameraSlots] = {0.0, 45.0, 90.0, 20.0};

}  // namespace

SimulatorOptions ReadSimulatorOptions(const base::SettingsSnapshot& settings) {
    namespace setting = base::setting;
    SimulatorOptions o;
    o.cameras = static_cast<int>(base::DefaultInteger(setting::kSimulatorCameras));
    std::sscanf(settings.Text(setting::kSimulatorCameras).c_str(), "%d", &o.cameras);
    if (o.cameras < 0) o.cameras = 0;
    if (o.cameras > capture::kCameraSlots) o.cameras = capture::kCameraSlots;
    o.width = settings.Find<setting::kSimulatorResolution>() == base::choice::Resolution::k640x480
                  ? 640
                  : 1024;
    o.shotPeriod = settings.Number(setting::kSimulatorShotPeriod);
    const base::SettingRange period = base::Spec(setting::kSimulatorShotPeriod).range;
    if (!(o.shotPeriod >= period.low) || o.shotPeriod > period.high) {
        o.shotPeriod = base::DefaultNumber(setting::kSimulatorShotPeriod);
    }
    unsigned long long seed =
        static_cast<unsigned long long>(base::DefaultInteger(setting::kSimulatorSeed));
    std::sscanf(settings.Text(setting::kSimulatorSeed).c_str(), "%llu", &seed);
    o.seed = seed;
    // A misspelt list draws clean frames rather than a guess at the effects meant.
    if (!ParseRealism(settings.Text(setting::kSimulatorRealism), o.realism)) o.realism = {};
    return o;
}

SimulatedCameraDriver::SimulatedCameraDriver(SimulatorOptions options, base::Settings settings)
    : options_(options),
      settings_(std::move(settings)),
      cameraCount_(options.cameras),
      generator_(options.seed) {
    nextDue_ = Clock::now() + std::chrono::duration_cast<Clock::duration>(
                                  std::chrono::duration<double>(options_.shotPeriod));
}

SimulatedCameraDriver::~SimulatedCameraDriver() {
    {
        std::lock_guard lock(mutex_);
        for (Camera& c : cameras_)
            c.stopped = true;
        callback_ = {};
    }
    wake_.notify_all();
    JoinBusThreads();
}

void SimulatedCameraDriver::JoinBusThreads() {
    std::vector<std::thread> threads;
    {
        std::lock_guard lock(busMutex_);
        threads.swap(busThreads_);
    }
    for (std::thread& t : threads)
        t.join();
}

std::string SimulatedCameraDriver::DefaultCalibration(int busIndex, int width) {
    const double turn = kDefaultTurns[busIndex] * base::kDegreesToRadians;
    const frame::Xyz p = ShotGenerator::ViewPosition(turn, width);
    char text[kCalibrationLength];
    std::snprintf(text, sizeof text, "Sim %d,%.3f,%.3f,%.3f,%.1f,0.0,0.0,", busIndex + 1, p.x + 0.0,
                  p.y + 0.0, p.z + 0.0, kDefaultTurns[busIndex]);
    return text;
}

bool SimulatedCameraDriver::CreateContext(int slot) { return ValidSlot(slot); }

bool SimulatedCameraDriver::DestroyContext(int slot) { return ValidSlot(slot); }

bool SimulatedCameraDriver::ModifyCallback(int, capture::BusCallback callback, int userValue,
                                           bool add) {
    {
        std::lock_guard lock(mutex_);
        callback_ = add ? std::move(callback) : capture::BusCallback{};
        userValue_ = userValue;
    }
    // A removal returns only once no message is being delivered.
    if (!add) JoinBusThreads();
    return true;
}

bool SimulatedCameraDriver::EnumerateCameras(
    std::array<capture::CameraInfo, capture::kCameraSlots>& infos, int& count) {
    int present = 0;
    {
        std::lock_guard lock(mutex_);
        present = cameraCount_;
    }
    if (present > count) present = count;
    const base::SettingId calibration = base::setting::kCameraCalibration;
    const base::SettingsSnapshot settings = base::SettingsSnapshot::Read(settings_);
    for (int i = 0; i < present; ++i) {
        infos[i] = capture::CameraInfo{kFirstSimulatedSerial + std::uint32_t(i), "Kyvern",
                                       "Simulated camera"};
        const long serial = long(infos[i].serialNumber);
        if (settings.Text(calibration, serial).empty()) {
            settings_.Write(calibration, serial, DefaultCalibration(i, options_.width));
        }
    }
    count = present;
    // An empty bus fails like a bus without cameras, so the table says that none was found.
    return present > 0;
}

bool SimulatedCameraDriver::Initialize(int slot, int busIndex) {
    if (!ValidSlot(slot)) return false;
    std::lock_guard lock(mutex_);
    if (busIndex < 0 || busIndex >= cameraCount_) return false;
    cameras_[slot].busIndex = busIndex;
    return true;
}

bool SimulatedCameraDriver::GetCurrentVideoMode(int slot, int& mode, int& frameRate) {
    if (!ValidSlot(slot)) return false;
    mode = options_.width == 640 ? capture::kVideoMode640x480 : capture::kVideoMode1024x768;
    frameRate = kFrameRate;
    return true;
}

bool SimulatedCameraDriver::Start(int slot, int mode, int) {
    if (!ValidSlot(slot)) return false;
    if (mode != capture::kVideoMode640x480 && mode != capture::kVideoMode1024x768) return false;
    std::lock_guard lock(mutex_);
    Camera& c = cameras_[slot];
    if (c.busIndex < 0) return false;
    c.started = true;
    c.stopped = false;
    c.lastShot = shotNumber_;  // a camera sees only the shots after its start
    if (!c.frame) c.frame = std::make_unique<frame::CapturedImage>();
    return true;
}

bool SimulatedCameraDriver::Stop(int slot) {
    if (!ValidSlot(slot)) return false;
    {
        std::lock_guard lock(mutex_);
        cameras_[slot].stopped = true;
        cameras_[slot].started = false;
    }
    wake_.notify_all();
    return true;
}

bool SimulatedCameraDriver::QueryTrigger(int slot, bool& present) {
    present = true;
    return ValidSlot(slot);
}

bool SimulatedCameraDriver::GetTrigger(int slot, int& polarity, int& source, int& rawValue,
                                       int& mode) {
    if (!ValidSlot(slot)) return false;
    std::lock_guard lock(mutex_);
    polarity = 0;
    source = cameras_[slot].triggerSource;
    rawValue = static_cast<int>(cameras_[slot].triggerOn ? 0x82000000u : 0x80000000u);
    mode = 0;
    return true;
}

bool SimulatedCameraDriver::SetTrigger(int slot, bool on, int, int source, int, int) {
    if (!ValidSlot(slot)) return false;
    std::lock_guard lock(mutex_);
    cameras_[slot].triggerOn = on;
    cameras_[slot].triggerSource = source;
    return true;
}

bool SimulatedCameraDriver::GetCameraProperty(int slot, int property, long& valueA, long& valueB,
                                              bool& autoMode) {
    if (!ValidSlot(slot) ||
        (property != capture::kPropertyGain && property != capture::kPropertyShutter)) {
        return false;
    }
    std::lock_guard lock(mutex_);
    const Camera& c = cameras_[slot];
    valueA = property == capture::kPropertyGain ? c.gain : long(std::lround(c.shutter * 100.0f));
    valueB = 0;
    autoMode = false;
    return true;
}

bool SimulatedCameraDriver::SetCameraProperty(int slot, int property, long valueA, long, bool) {
    if (!ValidSlot(slot) || property != capture::kPropertyGain) return false;
    std::lock_guard lock(mutex_);
    cameras_[slot].gain = valueA;
    return true;
}

bool SimulatedCameraDriver::SetCameraAbsProperty(int slot, int property, float value) {
    if (!ValidSlot(slot) || property != capture::kPropertyShutter) return false;
    std::lock_guard lock(mutex_);
    cameras_[slot].shutter = value;
    return true;
}

bool SimulatedCameraDriver::SetCameraRegister(int slot, std::uint32_t address,
                                              std::uint32_t value) {
    if (!ValidSlot(slot)) return false;
    std::lock_guard lock(mutex_);
    cameras_[slot].registers[address] = value;
    return true;
}

double SimulatedCameraDriver::IntervalLocked(const Camera& c) const {
    auto a = c.registers.find(capture::kRegisterStrobeA);
    auto b = c.registers.find(capture::kRegisterStrobeB);
    double interval = 0.0;
    if (a != c.registers.end() && b != c.registers.end()) {
        interval = capture::IntervalOfRegisters(a->second, b->second);
    }
    return interval > 0.0 ? interval : capture::SpeedModeOfName("Medium")->strobeInterval;
}

double SimulatedCameraDriver::IntervalOf(int slot) const {
    if (!ValidSlot(slot)) return 0.0;
    std::lock_guard lock(mutex_);
    return IntervalLocked(cameras_[slot]);
}

void SimulatedCameraDriver::AdvanceShot(double interval) {
    ++shotNumber_;
    shot_ = generator_.Next(interval, options_.width);
    nextDue_ = Clock::now() + std::chrono::duration_cast<Clock::duration>(
                                  std::chrono::duration<double>(options_.shotPeriod));
    wake_.notify_all();
}

void SimulatedCameraDriver::RequestShot() {
    std::lock_guard lock(mutex_);
    const Camera* first = nullptr;
    for (const Camera& c : cameras_) {
        if (c.started) {
            first = &c;
            break;
        }
    }
    AdvanceShot(first ? IntervalLocked(*first)
                      : capture::SpeedModeOfName("Medium")->strobeInterval);
}

// The cameras hang upside down, and a left-handed player's flight runs the other way across
// the sensor; the fetch turns (right hand) or flips (left hand) the sensor's frame back. The
// renderer draws the upright view of a right-handed flight, so the sensor sees it turned by
// 180 degrees, or, for a left-handed player, flipped top to bottom.
void SimulatedCameraDriver::ToSensorOrientation(frame::CapturedImage& frame, bool leftHanded) {
    const std::size_t w = std::size_t(frame.width);
    const std::size_t h = std::size_t(frame.height);
    std::uint8_t* p = frame.Pixels();
    if (leftHanded) {
        for (std::size_t y = 0; y < h / 2; ++y) {
            std::swap_ranges(p + y * w, p + (y + 1) * w, p + (h - 1 - y) * w);
        }
    } else {
        std::reverse(p, p + w * h);
    }
}

bool SimulatedCameraDriver::GrabImage(int slot, capture::GrabbedImage& image) {
    if (!ValidSlot(slot)) return false;
    std::unique_lock lock(mutex_);
    Camera& c = cameras_[slot];
    for (;;) {
        if (c.stopped || !c.started) return false;
        if (shotNumber_ > c.lastShot) break;
        if (options_.shotPeriod > 0.0) {
            if (Clock::now() >= nextDue_) {
                AdvanceShot(IntervalLocked(c));
                continue;
            }
            wake_.wait_until(lock, nextDue_);
        } else {
            wake_.wait(lock);
        }
    }
    c.lastShot = shotNumber_;
    const GeneratedShot shot = shot_;
    const double interval = IntervalLocked(c);
    const int busIndex = c.busIndex;
    const long number = shotNumber_;
    lock.unlock();

    // The pose from the camera's calibration entry, read now as the shot cycle will read it:
    // a camera of its own, the simulator reads the file as a camera's firmware would.
    const long serial = long(kFirstSimulatedSerial) + busIndex;
    const base::SettingsSnapshot settings = base::SettingsSnapshot::Read(settings_);
    const frame::CameraPose calibration = frame::ReadCameraPose(serial, settings);
    ViewPose pose;
    pose.position = calibration.position;
    pose.turn = calibration.rotation.x;
    ShotSetup setup = ShotGenerator::SetupFor(shot, interval, options_.width, pose);
    setup.seed = options_.seed * 1000003u + std::uint64_t(number) * 4u + std::uint64_t(busIndex);
    setup.serialNumber = std::int32_t(serial);
    setup.cameraIndex = busIndex;
    setup.realism = options_.realism;
    if (!c.renderer.Render(setup, *c.frame)) return false;
    ToSensorOrientation(*c.frame, frame::IsLeftHanded(settings));

    lock.lock();
    c.setup = setup;
    c.truth = c.renderer.Truth();
    image.videoMode =
        options_.width == 640 ? capture::kVideoMode640x480 : capture::kVideoMode1024x768;
    image.rows = c.frame->height;
    image.columns = c.frame->width;
    image.rowBytes = c.frame->width;
    image.data = c.frame->Pixels();
    return true;
}

bool SimulatedCameraDriver::GetColorProcessingMethod(int slot, int& method) {
    method = 0;
    return ValidSlot(slot);
}

bool SimulatedCameraDriver::GetColorTileFormat(int slot, int& tile) {
    tile = 0;
    return ValidSlot(slot);
}

bool SimulatedCameraDriver::ConvertImage(int slot, const capture::GrabbedImage& image,
                                         std::uint8_t* destination, std::size_t capacity) {
    return ValidSlot(slot) && capture::ConvertMono8(image, destination, capacity);
}

bool SimulatedCameraDriver::InplaceWhiteBalance(int slot, std::uint8_t*, int, int) {
    return ValidSlot(slot);
}

void SimulatedCameraDriver::SetCameraCount(int count) {
    if (count < 0) count = 0;
    if (count > capture::kCameraSlots) count = capture::kCameraSlots;
    capture::BusCallback callback;
    int userValue = 0;
    int message = 0;
    {
        std::lock_guard lock(mutex_);
        if (count == cameraCount_) return;
        message = count > cameraCount_ ? capture::kBusMessageArrival : capture::kBusMessageRemoval;
        cameraCount_ = count;
        callback = callback_;
        userValue = userValue_;
    }
    if (!callback) return;
    std::lock_guard lock(busMutex_);
    busThreads_.emplace_back([callback, userValue, message] { callback(userValue, message); });
}

long SimulatedCameraDriver::ShotNumber() const {
    std::lock_guard lock(mutex_);
    return shotNumber_;
}

GeneratedShot SimulatedCameraDriver::LastShot() const {
    std::lock_guard lock(mutex_);
    return shot_;
}

ShotSetup SimulatedCameraDriver::SetupOf(int slot) const {
    std::lock_guard lock(mutex_);
    return ValidSlot(slot) ? cameras_[slot].setup : ShotSetup{};
}

ShotTruth SimulatedCameraDriver::TruthOf(int slot) const {
    std::lock_guard lock(mutex_);
    return ValidSlot(slot) ? cameras_[slot].truth : ShotTruth{};
}

}  // namespace kyvern::sim
