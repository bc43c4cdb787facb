#pragma once

#include <array>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <thread>

#include "base/identity.h"
#include "base/settings_schema.h"
#include "base/user_prompts.h"
#include "capture/camera_driver.h"
#include "frame/captured_image.h"

namespace kyvern::capture {

inline constexpr std::size_t kCameraFrameBytes = 3145728;  // 1024 x 1024 pixels of 3 bytes
inline constexpr std::uint32_t kNoSerial = 0xFFFFFFFFu;
inline constexpr int kMinBrightness =
    static_cast<int>(base::Spec(base::setting::kCameraBrightness).range.low);
inline constexpr int kMaxBrightness =
    static_cast<int>(base::Spec(base::setting::kCameraBrightness).range.high);
inline constexpr long kGainBase = 225;
inline constexpr long kGainStep = 10;
// The instant of a frame's first flash in the frame's own time; the second follows it by the
// strobe interval.
inline constexpr double kFirstFlash = 0.001;

// Registers the table writes as they stand; their meaning is the camera's.
inline constexpr std::uint32_t kRegisterShutterSetup = 0x81C;
inline constexpr std::uint32_t kShutterSetupValue = 0x8200010F;
inline constexpr std::uint32_t kRegisterStrobeA = 0x1120;
inline constexpr std::uint32_t kRegisterStrobeB = 0x1110;

// What one camera's strobe and shutter are set to.
struct StrobeSetting {
    double interval;          // seconds between the two flashes
    float shutter;            // absolute value of property 12, milliseconds
    std::uint32_t registerA;  // written to 0x1120
    std::uint32_t registerB;  // written to 0x1110
};

// One speed mode of the strobe and the camera.
struct SpeedMode {
    const char* name;  // the Camera/Speed setting
    int number;
    double strobeInterval;    // seconds between the two flashes; Putt's of a lone camera
    float shutter;            // absolute value of property 12, milliseconds
    std::uint32_t registerA;  // written to 0x1120
    std::uint32_t registerB;  // written to 0x1110
};

inline constexpr int kPuttModeNumber = 4;
inline constexpr double kLongestStrobeInterval = 0.070;  // Putt's long interval

// The modes in the order Fast, Medium, Slow, SuperSlow, Putt.
const std::array<SpeedMode, 5>& SpeedModes();
// The mode of this number, of this setting (case ignored), or of this pair of register values.
const SpeedMode* SpeedModeOfNumber(int number);
const SpeedMode* SpeedModeOfName(std::string_view name);
const SpeedMode* SpeedModeOfRegisters(std::uint32_t registerA, std::uint32_t registerB);
// The strobe a camera in this slot (0 to 3) of a rig of cameraCount cameras takes. A rolling
// ball at 1.5 to 20 mph travels between 0.02 and 0.3 of its own diameter per millisecond, a
// speed range of 13 to 1, but the view holds two separate whole images only over about 4 to 1.
// So Putt gives cameras of a rig of two or more a long interval (even slots, 1.5 to 6 mph)
// and a short one (odd slots, 6 to 24 mph); a lone camera takes the middle (2.6 to 10.5 mph,
// the putts of 5 to 60 ft on a green of stimp 10). The other modes strobe all slots alike.
StrobeSetting StrobeOfSlot(const SpeedMode& mode, int slot, int cameraCount);
// The interval the strobe registers of a camera select; 0 for values no mode writes.
double IntervalOfRegisters(std::uint32_t registerA, std::uint32_t registerB);

// The cameras of the bus in four fixed slots: start in external-trigger mode, speed mode and
// brightness, one grab thread per camera parking converted gray frames, fetch with the
// handedness mirroring, and a fresh start whenever a camera arrives or leaves.
//
// Threads: the window thread calls everything; each started camera has a grab thread; the
// driver delivers bus messages on its own thread. A frame is handed over under the slot's
// lock, so a frame being fetched is never overwritten half-way.
class CameraTable {
public:
    // prompts shows the messages; settings say the speed, brightness and hand.
    CameraTable(CameraDriver& driver, base::UserPrompts& prompts, base::Settings settings);
    ~CameraTable();
    CameraTable(const CameraTable&) = delete;
    CameraTable& operator=(const CameraTable&) = delete;

    void InitCameras();
    void EnumerateAndStart();
    bool StartCamera(int slot);
    bool ApplySpeedAndBrightness();
    // Mirror the frames taken from now on for a left-handed set-up (or not).
    void SetLeftHanded(bool left) { leftHanded_ = left; }
    bool SetSpeedMode(int mode, int slot);
    bool SetGain(long value, int slot);
    void OnBusMessage(int userValue, int message);
    bool StopCamera(int slot);
    void StopAll();
    void Shutdown();

    // Queries by serial number; slot numbers are 0 to 3, none is -1.
    int SlotOfSerial(std::uint32_t serial) const;
    std::uint32_t SerialOfSlot(int slot) const;
    bool HasNewFrame(std::uint32_t serial) const;
    bool IsConnected(std::uint32_t serial) const;
    int FrameWidth(std::uint32_t serial) const;
    int FrameHeight(std::uint32_t serial) const;
    // The interval of the first present camera's strobe, or the one last set.
    double StrobeInterval() const;
    static const char* Version() { return base::kCameraModuleVersion; }
    std::string DeviceText() const;

    // Hands over the waiting frame of this camera whole, under one lock: its gray pixels,
    // turned by 180 degrees for a right-handed player and mirrored top to bottom for a
    // left-handed one; its width and height; bytes per pixel 1; and its flash instants t1 and
    // t2, apart by the strobe interval in force when it was grabbed (equal when no speed mode
    // had been applied). Nothing else of frame changes. False when no frame waits.
    bool TakeFrame(std::uint32_t serial, frame::CapturedImage& frame);
    // The copy TakeFrame makes: a w x h frame from source into destination.
    static void MirrorFrame(const std::uint8_t* source, std::uint8_t* destination, int w, int h,
                            bool leftHanded);

    // State of the table, for displays and tests.
    int CameraCount() const;
    long GainValue() const;
    bool IsPresent(int slot) const;
    CameraInfo InfoOfSlot(int slot) const;
    int FrameCount(int slot) const;

    // The pause of the grab loop between two grabs (50 ms).
    void SetGrabPause(std::chrono::microseconds pause) { grabPause_.store(pause.count()); }

private:
    struct Slot {
        int index = 0;
        std::atomic<bool> connected{false};
        std::atomic<bool> present{false};
        CameraInfo info;
        std::thread grabThread;
        // Wakes the grab loop's pause when the camera stops.
        std::mutex pauseMutex;
        std::condition_variable pauseWake;

        // The hand-over, under frameMutex: the grab thread converts into work, then swaps it
        // with parked and raises newFrame; a fetch reads parked under the same lock.
        mutable std::mutex frameMutex;
        std::unique_ptr<std::uint8_t[]> work;
        std::unique_ptr<std::uint8_t[]> parked;
        bool newFrame = false;
        int frameCount = 0;
        int width = 0;
        int height = 0;
        double strobeInterval = 0.0;  // of the parked frame
        // The interval the slot's strobe was last set to, read by its grab thread.
        std::atomic<double> armedInterval{0.0};
    };

    void GrabLoop(Slot& slot);
    void GrabOne(Slot& slot);
    const Slot* SlotBySerial(std::uint32_t serial) const;
    static bool ValidSlot(int slot) { return slot >= 0 && slot < kCameraSlots; }

    CameraDriver& driver_;
    base::UserPrompts& prompts_;
    // Frames are mirrored for a left-handed set-up; the settings at construction, then each
    // pass's.
    std::atomic<bool> leftHanded_{false};
    base::Settings settings_;
    // Serialises the window thread and the bus-message thread; never taken by a grab thread.
    mutable std::recursive_mutex tableMutex_;
    std::array<Slot, kCameraSlots> slots_;
    int cameraCount_ = 0;
    std::atomic<double> strobeInterval_{0.0};  // read by the grab threads
    long gainValue_ = 0;
    bool contextsCreated_ = false;
    bool callbackRegistered_ = false;
    bool shutDown_ = false;
    std::atomic<std::int64_t> grabPause_{50000};  // microseconds
};

}  // namespace kyvern::capture
