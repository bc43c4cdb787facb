#include "capture/camera_table.h"

#include <cstdio>
#include <utility>
#include <vector>

#include "base/config_store.h"
#include "base/settings_snapshot.h"
#include "base/string_table.h"
#include "frame/camera_model.h"

namespace kyvern::capture {
namespace {

// The shutter stays open over the first flash at 1 ms and the second after it, as the
// full-swing modes' shutters do (1.5 times the interval).
constexpr std::array<SpeedMode, 5> kSpeedModes{{
    {"Fast", 1, 0.00095, 1.4f, 0x80010000u, 0x80010000u},
    {"Medium", 2, 0.00145, 2.2f, 0x80010000u, 0x80010001u},
    {"Slow", 3, 0.00195, 2.9f, 0x80010001u, 0x80010000u},
    {"SuperSlow", 0, 0.00295, 4.4f, 0x80010001u, 0x80010001u},
    {"Putt", kPuttModeNumber, 0.040, 60.0f, 0x80010002u, 0x80010002u},
}};
constexpr StrobeSetting kPuttLong{kLongestStrobeInterval, 105.0f, 0x80010002u, 0x80010000u};
constexpr StrobeSetting kPuttShort{0.0175, 27.0f, 0x80010002u, 0x80010001u};

}  // namespace

const std::array<SpeedMode, 5>& SpeedModes() { return kSpeedModes; }

StrobeSetting StrobeOfSlot(const SpeedMode& mode, int slot, int cameraCount) {
    if (mode.number == kPuttModeNumber && cameraCount > 1) {
        return slot % 2 == 0 ? kPuttLong : kPuttShort;
    }
    return {mode.strobeInterval, mode.shutter, mode.registerA, mode.registerB};
}

double IntervalOfRegisters(std::uint32_t registerA, std::uint32_t registerB) {
    for (const StrobeSetting& s : {kPuttLong, kPuttShort}) {
        if (s.registerA == registerA && s.registerB == registerB) return s.interval;
    }
    const SpeedMode* mode = SpeedModeOfRegisters(registerA, registerB);
    return mode ? mode->strobeInterval : 0.0;
}

const SpeedMode* SpeedModeOfNumber(int number) {
    for (const SpeedMode& m : kSpeedModes) {
        if (m.number == number) return &m;
    }
    return nullptr;
}

const SpeedMode* SpeedModeOfName(std::string_view name) {
    for (const SpeedMode& m : kSpeedModes) {
        if (base::EqualsNoCase(name, m.name)) return &m;
    }
    return nullptr;
}

const SpeedMode* SpeedModeOfRegisters(std::uint32_t registerA, std::uint32_t registerB) {
    for (const SpeedMode& m : kSpeedModes) {
        if (m.registerA == registerA && m.registerB == registerB) return &m;
    }
    return nullptr;
}

CameraTable::CameraTable(CameraDriver& driver, base::UserPrompts& prompts, base::Settings settings)
    : driver_(driver), prompts_(prompts), settings_(std::move(settings)) {
    for (int i = 0; i < kCameraSlots; ++i)
        slots_[i].index = i;
    leftHanded_ = frame::IsLeftHanded(base::SettingsSnapshot::Read(settings_));
}

CameraTable::~CameraTable() { Shutdown(); }

void CameraTable::InitCameras() {
    std::lock_guard lock(tableMutex_);
    shutDown_ = false;
    for (Slot& slot : slots_) {
        slot.present = false;
        driver_.CreateContext(slot.index);
    }
    contextsCreated_ = true;
    callbackRegistered_ = driver_.ModifyCallback(
        0, [this](int userValue, int message) { OnBusMessage(userValue, message); }, 0, true);
    if (!callbackRegistered_) return;
    EnumerateAndStart();
    ApplySpeedAndBrightness();
}

void CameraTable::EnumerateAndStart() {
    std::lock_guard lock(tableMutex_);
    std::array<CameraInfo, kCameraSlots> infos;
    int count = kCameraSlots;
    if (!driver_.EnumerateCameras(infos, count)) {
        // A bus that cannot be enumerated reports no camera.
        cameraCount_ = 0;
        prompts_.Message(base::Text(base::MessageId::kNoCamerasDetected));
        return;
    }
    // A driver that reports more cameras than the room it was given cannot fill more slots.
    if (count < 0) count = 0;
    if (count > kCameraSlots) count = kCameraSlots;
    cameraCount_ = count;
    for (int i = 0; i < count; ++i) {
        slots_[i].info = infos[i];
        StartCamera(i);
    }
}

bool CameraTable::StartCamera(int index) {
    std::lock_guard lock(tableMutex_);
    if (!ValidSlot(index)) return false;
    Slot& slot = slots_[index];
    // A camera that is already running is stopped first, so that its grab thread is never lost.
    if (slot.grabThread.joinable()) StopCamera(index);

    if (!driver_.Initialize(index, index)) return false;
    int mode = 0;
    int rate = 0;
    if (!driver_.GetCurrentVideoMode(index, mode, rate)) return false;
    if (!driver_.Start(index, mode, rate)) return false;
    {
        std::lock_guard frameLock(slot.frameMutex);
        if (!slot.work) {
            slot.work = std::make_unique<std::uint8_t[]>(kCameraFrameBytes);
            slot.parked = std::make_unique<std::uint8_t[]>(kCameraFrameBytes);
        }
    }
    bool triggerPresent = false;
    driver_.QueryTrigger(index, triggerPresent);
    if (!triggerPresent) {
        prompts_.Message(base::Text(base::MessageId::kNoTriggerMode));
        return false;
    }
    int polarity = 0;
    int source = 0;
    int raw = 0;
    int triggerMode = 0;
    driver_.GetTrigger(index, polarity, source, raw, triggerMode);
    driver_.SetTrigger(index, true, 0, source, 0, 0);
    long a = 0;
    long b = 0;
    bool autoMode = false;
    driver_.GetCameraProperty(index, kPropertyGain, a, b, autoMode);
    driver_.SetCameraProperty(index, kPropertyGain, kGainBase, b, false);
    driver_.SetCameraRegister(index, kRegisterShutterSetup, kShutterSetupValue);
    driver_.SetCameraAbsProperty(index, kPropertyShutter, 2.2f);

    slot.present = true;
    slot.connected = true;
    slot.grabThread = std::thread([this, &slot] { GrabLoop(slot); });
    return true;
}

bool CameraTable::ApplySpeedAndBrightness() {
    std::lock_guard lock(tableMutex_);
    const base::SettingsSnapshot settings = base::SettingsSnapshot::Read(settings_);
    const SpeedMode* mode = SpeedModeOfName(settings.Text(base::setting::kCameraSpeed));
    if (!mode) return false;
    strobeInterval_ = mode->strobeInterval;
    // A brightness that does not read as a number counts as the default step.
    const base::SettingId key = base::setting::kCameraBrightness;
    int brightness = static_cast<int>(base::DefaultInteger(key));
    std::sscanf(settings.Text(key).c_str(), "%d", &brightness);
    if (brightness < kMinBrightness) brightness = kMinBrightness;
    if (brightness > kMaxBrightness) brightness = kMaxBrightness;
    gainValue_ = kGainBase + kGainStep * brightness;
    for (Slot& slot : slots_) {
        if (!slot.present) continue;
        if (!SetSpeedMode(mode->number, slot.index)) return false;
        if (!SetGain(gainValue_, slot.index)) return false;
    }
    return true;
}

bool CameraTable::SetSpeedMode(int modeNumber, int index) {
    std::lock_guard lock(tableMutex_);
    const SpeedMode* mode = SpeedModeOfNumber(modeNumber);
    if (!mode || !ValidSlot(index)) return false;
    int cameras = 0;
    for (const Slot& slot : slots_)
        cameras += slot.present ? 1 : 0;
    const StrobeSetting strobe = StrobeOfSlot(*mode, index, cameras);
    strobeInterval_ = strobe.interval;
    slots_[index].armedInterval = strobe.interval;
    driver_.SetCameraAbsProperty(index, kPropertyShutter, strobe.shutter);
    if (!driver_.SetCameraRegister(index, kRegisterStrobeA, strobe.registerA)) return false;
    return driver_.SetCameraRegister(index, kRegisterStrobeB, strobe.registerB);
}

bool CameraTable::SetGain(long value, int index) {
    std::lock_guard lock(tableMutex_);
    if (!ValidSlot(index)) return false;
    long a = 0;
    long b = 0;
    bool autoMode = false;
    if (!driver_.GetCameraProperty(index, kPropertyGain, a, b, autoMode)) return false;
    return driver_.SetCameraProperty(index, kPropertyGain, value, b, false);
}

void CameraTable::OnBusMessage(int /*userValue*/, int message) {
    std::lock_guard lock(tableMutex_);
    if (shutDown_) return;
    if (message == kBusMessageArrival) {
        StopAll();
        EnumerateAndStart();
        ApplySpeedAndBrightness();
    } else if (message == kBusMessageRemoval) {
        StopAll();
        EnumerateAndStart();
    }
}

bool CameraTable::StopCamera(int index) {
    std::lock_guard lock(tableMutex_);
    if (!ValidSlot(index)) return false;
    Slot& slot = slots_[index];
    if (!slot.present && !slot.grabThread.joinable()) return false;
    slot.present = false;
    {
        // Under the pause lock, so the grab loop cannot miss the wake-up between its test of
        // connected and its wait.
        std::lock_guard pauseLock(slot.pauseMutex);
        slot.connected = false;
    }
    slot.pauseWake.notify_all();
    driver_.Stop(index);
    // The buffers go only once the grab thread has ended, however long its last grab takes.
    if (slot.grabThread.joinable()) slot.grabThread.join();
    std::lock_guard frameLock(slot.frameMutex);
    slot.work.reset();
    slot.parked.reset();
    slot.newFrame = false;
    slot.frameCount = 0;
    return true;
}

void CameraTable::StopAll() {
    std::lock_guard lock(tableMutex_);
    for (int i = 0; i < kCameraSlots; ++i)
        StopCamera(i);
}

void CameraTable::Shutdown() {
    // The callback goes first and without the table lock: a bus message in progress may be
    // waiting for that lock, and the driver's removal waits for it to finish.
    bool wasRegistered = false;
    {
        std::lock_guard lock(tableMutex_);
        if (shutDown_) return;
        shutDown_ = true;
        wasRegistered = callbackRegistered_;
        callbackRegistered_ = false;
    }
    if (wasRegistered) driver_.ModifyCallback(0, {}, 0, false);
    std::lock_guard lock(tableMutex_);
    StopAll();
    if (!contextsCreated_) return;
    contextsCreated_ = false;
    for (int i = 0; i < kCameraSlots; ++i)
        driver_.DestroyContext(i);
}

void CameraTable::GrabLoop(Slot& slot) {
    while (slot.connected) {
        {
            std::unique_lock pauseLock(slot.pauseMutex);
            slot.pauseWake.wait_for(pauseLock, std::chrono::microseconds(grabPause_.load()),
                                    [&slot] { return !slot.connected; });
        }
        if (!slot.connected) break;
        GrabOne(slot);
    }
}

void CameraTable::GrabOne(Slot& slot) {
    if (!slot.present) return;
    GrabbedImage image;
    if (!driver_.GrabImage(slot.index, image)) return;
    if (!slot.connected) return;
    int method = 0;
    int tile = 0;
    driver_.GetColorProcessingMethod(slot.index, method);
    driver_.GetColorTileFormat(slot.index, tile);

    int width = 0;
    int height = 0;
    if (image.videoMode == kVideoMode640x480) {
        width = 640;
        height = 480;
    } else if (image.videoMode == kVideoMode1024x768) {
        width = 1024;
        height = 768;
    }
    // A frame of a mode the table cannot convert is no frame: raising the flag would hand the
    // previous frame over again as a new shot.
    if (width == 0) return;
    // An image smaller than its mode says would leave pixels of an older frame in this one.
    if (image.rows != height || image.columns != width) return;
    std::uint8_t* work = slot.work.get();  // only this thread and a stop after it has ended
    if (!driver_.ConvertImage(slot.index, image, work, kCameraFrameBytes)) return;
    if (method != 0) driver_.InplaceWhiteBalance(slot.index, work, image.rows, image.columns);
    const std::size_t pixels = std::size_t(width) * std::size_t(height);
    for (std::size_t k = 0; k < pixels; ++k)
        work[k] = work[3 * k];

    std::lock_guard frameLock(slot.frameMutex);
    std::swap(slot.work, slot.parked);
    slot.width = width;
    slot.height = height;
    // A camera started before any mode was set on it strobes as the table last did.
    const double armed = slot.armedInterval.load();
    slot.strobeInterval = armed > 0.0 ? armed : strobeInterval_.load();
    slot.newFrame = true;
    ++slot.frameCount;
}

const CameraTable::Slot* CameraTable::SlotBySerial(std::uint32_t serial) const {
    const int index = SlotOfSerial(serial);
    return index < 0 ? nullptr : &slots_[index];
}

int CameraTable::SlotOfSerial(std::uint32_t serial) const {
    std::lock_guard lock(tableMutex_);
    if (serial == 0) return slots_[0].present ? 0 : -1;
    for (const Slot& slot : slots_) {
        if (slot.present && slot.info.serialNumber == serial) return slot.index;
    }
    return -1;
}

std::uint32_t CameraTable::SerialOfSlot(int index) const {
    std::lock_guard lock(tableMutex_);
    if (!ValidSlot(index) || !slots_[index].present) return kNoSerial;
    return slots_[index].info.serialNumber;
}

bool CameraTable::HasNewFrame(std::uint32_t serial) const {
    std::lock_guard lock(tableMutex_);
    const Slot* slot = SlotBySerial(serial);
    if (!slot) return false;
    std::lock_guard frameLock(slot->frameMutex);
    return slot->newFrame;
}

bool CameraTable::IsConnected(std::uint32_t serial) const {
    std::lock_guard lock(tableMutex_);
    const Slot* slot = SlotBySerial(serial);
    return slot && slot->connected;
}

int CameraTable::FrameWidth(std::uint32_t serial) const {
    std::lock_guard lock(tableMutex_);
    const Slot* slot = SlotBySerial(serial);
    if (!slot) return -1;
    std::lock_guard frameLock(slot->frameMutex);
    return slot->width;
}

int CameraTable::FrameHeight(std::uint32_t serial) const {
    std::lock_guard lock(tableMutex_);
    const Slot* slot = SlotBySerial(serial);
    if (!slot) return -1;
    std::lock_guard frameLock(slot->frameMutex);
    return slot->height;
}

double CameraTable::StrobeInterval() const {
    std::lock_guard lock(tableMutex_);
    for (const Slot& slot : slots_) {
        if (slot.present && slot.armedInterval > 0.0) return slot.armedInterval;
    }
    return strobeInterval_;
}

std::string CameraTable::DeviceText() const {
    std::lock_guard lock(tableMutex_);
    std::vector<long> serials;
    for (const Slot& slot : slots_) {
        if (slot.present) serials.push_back(static_cast<long>(slot.info.serialNumber));
    }
    return base::CameraDeviceText(serials);
}

bool CameraTable::TakeFrame(std::uint32_t serial, frame::CapturedImage& frame) {
    std::lock_guard lock(tableMutex_);
    const int index = SlotOfSerial(serial);
    if (index < 0) return false;
    Slot& slot = slots_[index];
    {
        std::lock_guard frameLock(slot.frameMutex);
        if (!slot.newFrame) return false;
    }
    const bool leftHanded = leftHanded_;
    std::lock_guard frameLock(slot.frameMutex);
    if (!slot.newFrame) return false;
    MirrorFrame(slot.parked.get(), frame.Pixels(), slot.width, slot.height, leftHanded);
    frame.width = slot.width;
    frame.height = slot.height;
    frame.bytesPerPixel = 1;
    frame.t1 = kFirstFlash;
    frame.t2 = kFirstFlash + slot.strobeInterval;
    --slot.frameCount;
    slot.newFrame = false;
    return true;
}

void CameraTable::MirrorFrame(const std::uint8_t* source, std::uint8_t* destination, int w, int h,
                              bool leftHanded) {
    for (int y = 0; y < h; ++y) {
        const std::uint8_t* from = source + std::size_t(h - 1 - y) * w;
        std::uint8_t* row = destination + std::size_t(y) * w;
        if (leftHanded) {
            for (int x = 0; x < w; ++x)
                row[w - 1 - x] = from[w - 1 - x];
        } else {
            for (int x = 0; x < w; ++x)
                row[x] = from[w - 1 - x];
        }
    }
}

int CameraTable::CameraCount() const {
    std::lock_guard lock(tableMutex_);
    return cameraCount_;
}

long CameraTable::GainValue() const {
    std::lock_guard lock(tableMutex_);
    return gainValue_;
}

bool CameraTable::IsPresent(int index) const { return ValidSlot(index) && slots_[index].present; }

CameraInfo CameraTable::InfoOfSlot(int index) const {
    std::lock_guard lock(tableMutex_);
    return ValidSlot(index) ? slots_[index].info : CameraInfo{};
}

int CameraTable::FrameCount(int index) const {
    if (!ValidSlot(index)) return 0;
    std::lock_guard frameLock(slots_[index].frameMutex);
    return slots_[index].frameCount;
}

}  // namespace kyvern::capture
