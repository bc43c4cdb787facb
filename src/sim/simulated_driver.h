#pragma once

#include <array>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "base/settings_snapshot.h"
#include "capture/camera_driver.h"
#include "frame/captured_image.h"
#include "sim/frame_renderer.h"
#include "sim/shot_generator.h"

namespace kyvern::sim {

inline constexpr std::uint32_t kFirstSimulatedSerial = 9100001;

// What the simulated bus holds; section "Simulator" of the settings file.
struct SimulatorOptions {
    int cameras = 1;          // Cameras: 0 to 4
    int width = 1024;         // Resolution: "1024x768" or "640x480"
    double shotPeriod = 4.0;  // ShotPeriod: seconds between shots; 0 shoots only on request
    std::uint64_t seed = 1;   // Seed
    Realism realism;          // Realism: "none", "full" or a list of effects
};
SimulatorOptions ReadSimulatorOptions(const base::SettingsSnapshot& settings);

// Up to four virtual cameras on a virtual bus. Each delivers, in external-trigger mode, one
// strobed frame per shot, rendered from its calibrated pose; the shots come from a
// ShotGenerator every shot period or on request, strobed with the interval of the speed mode
// that the camera's strobe registers select.
class SimulatedCameraDriver final : public capture::CameraDriver {
public:
    // settings: where the calibration entries are; those missing for a virtual camera are
    // written at enumeration.
    SimulatedCameraDriver(SimulatorOptions options, base::Settings settings);
    ~SimulatedCameraDriver() override;

    std::string Name() const override { return "Simulated"; }
    bool CreateContext(int slot) override;
    bool DestroyContext(int slot) override;
    bool ModifyCallback(int slot, capture::BusCallback callback, int userValue, bool add) override;
    bool EnumerateCameras(std::array<capture::CameraInfo, capture::kCameraSlots>& infos,
                          int& count) override;
    bool Initialize(int slot, int busIndex) override;
    bool GetCurrentVideoMode(int slot, int& mode, int& frameRate) override;
    bool Start(int slot, int mode, int frameRate) override;
    bool Stop(int slot) override;
    bool QueryTrigger(int slot, bool& present) override;
    bool GetTrigger(int slot, int& polarity, int& source, int& rawValue, int& mode) override;
    bool SetTrigger(int slot, bool on, int polarity, int source, int mode, int parameter) override;
    bool GetCameraProperty(int slot, int property, long& valueA, long& valueB,
                           bool& autoMode) override;
    bool SetCameraProperty(int slot, int property, long valueA, long valueB,
                           bool autoMode) override;
    bool SetCameraAbsProperty(int slot, int property, float value) override;
    bool SetCameraRegister(int slot, std::uint32_t address, std::uint32_t value) override;
    bool GrabImage(int slot, capture::GrabbedImage& image) override;
    bool GetColorProcessingMethod(int slot, int& method) override;
    bool GetColorTileFormat(int slot, int& tile) override;
    bool ConvertImage(int slot, const capture::GrabbedImage& image, std::uint8_t* destination,
                      std::size_t capacity) override;
    bool InplaceWhiteBalance(int slot, std::uint8_t* pixels, int rows, int columns) override;

    // Fires the strobe now: every started camera delivers the next shot.
    void RequestShot();
    // Plugs or unplugs virtual cameras (0 to 4); the bus reports an arrival or a removal.
    void SetCameraCount(int count);
    long ShotNumber() const;
    GeneratedShot LastShot() const;
    // The setup and truth of the frame this slot delivered last.
    ShotSetup SetupOf(int slot) const;
    ShotTruth TruthOf(int slot) const;
    // The strobe interval the slot's registers select (Medium's until they are written).
    double IntervalOf(int slot) const;

    // The frame as the hanging camera's sensor sees the upright view the renderer drew.
    static void ToSensorOrientation(frame::CapturedImage& frame, bool leftHanded);

    // The calibration entry written for a virtual camera at this bus index that has none.
    static std::string DefaultCalibration(int busIndex, int width = 1024);

private:
    struct Camera {
        int busIndex = -1;
        bool started = false;
        bool stopped = true;
        bool triggerOn = false;
        int triggerSource = 0;
        long gain = 0;
        float shutter = 0.0f;
        std::map<std::uint32_t, std::uint32_t> registers;
        long lastShot = 0;
        ShotSetup setup;
        ShotTruth truth;
        std::unique_ptr<frame::CapturedImage> frame;  // touched only by the slot's grab
        FrameRenderer renderer;
    };

    void AdvanceShot(double interval);  // with mutex_ held
    double IntervalLocked(const Camera& camera) const;
    bool ValidSlot(int slot) const { return slot >= 0 && slot < capture::kCameraSlots; }
    void JoinBusThreads();

    SimulatorOptions options_;
    base::Settings settings_;
    mutable std::mutex mutex_;
    std::condition_variable wake_;
    std::array<Camera, capture::kCameraSlots> cameras_;
    int cameraCount_;
    capture::BusCallback callback_;
    int userValue_ = 0;
    std::vector<std::thread> busThreads_;
    std::mutex busMutex_;  // guards busThreads_
    ShotGenerator generator_;
    long shotNumber_ = 0;
    GeneratedShot shot_;
    std::chrono::steady_clock::time_point nextDue_;
};

}  // namespace kyvern::sim
