#pragma once

#include <array>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "capture/bus_poller.h"
#include "capture/camera_driver.h"

// Aravis types, declared here so that users of the driver need no GLib headers.
typedef struct _ArvCamera ArvCamera;
typedef struct _ArvStream ArvStream;
typedef struct _ArvBuffer ArvBuffer;

namespace kyvern::capture {

struct GenicamOptions {
    // Use Aravis's in-process fake camera interface as well (tests).
    bool fakeInterface = false;
    // How often the device list is polled for arrivals and removals.
    std::chrono::milliseconds pollPeriod{1000};
};

// GenICam cameras (GigE Vision, USB3 Vision) through Aravis: Mono8 frames of 1024 x 768 (or
// 640 x 480 on a smaller sensor), external trigger on a line input, exposure from property 12
// (milliseconds) and gain from property 13 (225 + 10 per dB, within the camera's bounds).
// The IIDC control registers have no GenICam counterpart: they are kept, not written.
class GenicamDriver final : public CameraDriver {
public:
    explicit GenicamDriver(GenicamOptions options = {});
    ~GenicamDriver() override;

    std::string Name() const override { return "GenICam"; }
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

    // The Aravis camera of a slot while it is initialised (tests reach the fake camera so).
    ArvCamera* CameraOf(int slot);
    // The number parsed from a GenICam serial text: its digits, else a hash of the text.
    static std::uint32_t SerialNumberOf(const std::string& text);
    // The gain in dB for a property-13 value, and back.
    static double GainOfValue(long value);
    static long ValueOfGain(double gain);

private:
    struct Slot {
        std::mutex mutex;
        ArvCamera* camera = nullptr;
        ArvStream* stream = nullptr;
        ArvBuffer* current = nullptr;  // the buffer of the last grab, handed back at the next
        std::size_t payload = 0;
        int width = 0;
        int height = 0;
        std::atomic<bool> stopping{false};
        std::map<std::uint32_t, std::uint32_t> registers;
    };

    void ReleaseStream(Slot& slot);  // with slot.mutex held, no grab running
    void Release(Slot& slot);
    std::vector<std::string> DeviceIds();

    GenicamOptions options_;
    std::array<Slot, kCameraSlots> slots_;
    std::mutex listMutex_;  // the device list of Aravis is global
    std::vector<std::string> enumerated_;
    BusPoller poller_{[this] { return DeviceIds(); }, options_.pollPeriod};
};

}  // namespace kyvern::capture
