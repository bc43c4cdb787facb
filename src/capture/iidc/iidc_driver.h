#pragma once

#include <array>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "capture/bus_poller.h"
#include "capture/camera_driver.h"

// libdc1394 types, declared here so that users of the driver need not include its headers.
typedef struct __dc1394_t dc1394_t;
typedef struct __dc1394_camera dc1394camera_t;
typedef struct __dc1394_video_frame dc1394video_frame_t;

namespace kyvern::capture {

// The translations between the camera table's terms and IIDC's, kept apart from the library
// calls so that they can be checked without a camera.
namespace iidc {
// The table's video mode of an IIDC video mode: 5 for 640 x 480 mono 8, 8 for 1024 x 768
// mono 8, 0 for any other.
int VideoModeOf(int dc1394Mode);
// The IIDC video mode of a table mode; 0 when there is none.
int Dc1394ModeOf(int videoMode);
// Trigger sources and polarities: the table counts sources from 0 and polarity 0 is active
// low; IIDC numbers both from its own bases.
int SourceIndexOf(int dc1394Source);
int Dc1394SourceOf(int sourceIndex);
int PolarityOf(int dc1394Polarity);
int Dc1394PolarityOf(int polarity);
// The serial number of a camera: the low 32 bits of its GUID.
std::uint32_t SerialOf(std::uint64_t guid);
// Property 12's absolute value (milliseconds) as the shutter's absolute value (seconds).
float ShutterSecondsOf(float milliseconds);
// A raw feature value limited to the feature's bounds.
std::uint32_t ClampFeature(long value, std::uint32_t low, std::uint32_t high);
}  // namespace iidc

// IIDC (IEEE 1394 digital) cameras through libdc1394: external trigger mode 0, the shutter
// (property 12, absolute) and gain (property 13, raw) features, the control registers written
// as they stand, 640 x 480 and 1024 x 768 mono 8 modes. Arrivals and removals are found by
// polling the bus.
class IidcDriver final : public CameraDriver {
public:
    explicit IidcDriver(std::chrono::milliseconds pollPeriod = std::chrono::milliseconds(1000));
    ~IidcDriver() override;

    std::string Name() const override { return "IIDC"; }
    bool CreateContext(int slot) override;
    bool DestroyContext(int slot) override;
    bool ModifyCallback(int slot, BusCallback callback, int userValue, bool add) override;
    bool EnumerateCameras(std::array<CameraInfo, kCameraSlots>& infos, int& count) override;
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
    bool GrabImage(int slot, GrabbedImage& image) override;

    // Whether the library could be opened at all (a machine without a 1394 stack cannot).
    bool Available() const { return bus_ != nullptr; }

private:
    struct Slot {
        std::mutex mutex;
        dc1394camera_t* camera = nullptr;
        dc1394video_frame_t* current = nullptr;  // handed back at the next grab
        bool capturing = false;
        std::atomic<bool> stopping{false};
    };

    void Release(Slot& slot);
    std::vector<std::uint64_t> Guids();
    std::vector<std::string> GuidTexts();

    dc1394_t* bus_ = nullptr;
    std::array<Slot, kCameraSlots> slots_;
    std::mutex listMutex_;
    std::vector<std::pair<std::uint64_t, int>> enumerated_;  // GUID and unit
    BusPoller poller_;
};

}  // namespace kyvern::capture
