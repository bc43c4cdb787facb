#include "capture/iidc/iidc_driver.h"

#include <dc1394/dc1394.h>
#include <poll.h>

#include <algorithm>

#include "base/log.h"

namespace kyvern::capture {
namespace iidc {

int VideoModeOf(int dc1394Mode) {
    if (dc1394Mode == DC1394_VIDEO_MODE_640x480_MONO8) return kVideoMode640x480;
    if (dc1394Mode == DC1394_VIDEO_MODE_1024x768_MONO8) return kVideoMode1024x768;
    return 0;
}

int Dc1394ModeOf(int videoMode) {
    if (videoMode == kVideoMode640x480) return DC1394_VIDEO_MODE_640x480_MONO8;
    if (videoMode == kVideoMode1024x768) return DC1394_VIDEO_MODE_1024x768_MONO8;
    return 0;
}

int SourceIndexOf(int dc1394Source) { return dc1394Source - DC1394_TRIGGER_SOURCE_0; }

int Dc1394SourceOf(int sourceIndex) {
    const int source = DC1394_TRIGGER_SOURCE_0 + sourceIndex;
    return source >= DC1394_TRIGGER_SOURCE_MIN && source <= DC1394_TRIGGER_SOURCE_MAX
               ? source
               : DC1394_TRIGGER_SOURCE_0;
}

int PolarityOf(int dc1394Polarity) { return dc1394Polarity == DC1394_TRIGGER_ACTIVE_HIGH; }

int Dc1394PolarityOf(int polarity) {
    return polarity ? DC1394_TRIGGER_ACTIVE_HIGH : DC1394_TRIGGER_ACTIVE_LOW;
}

std::uint32_t SerialOf(std::uint64_t guid) { return std::uint32_t(guid & 0xFFFFFFFFull); }

float ShutterSecondsOf(float milliseconds) { return milliseconds / 1000.0f; }

std::uint32_t ClampFeature(long value, std::uint32_t low, std::uint32_t high) {
    if (value < long(low)) return low;
    if (value > long(high)) return high;
    return std::uint32_t(value);
}

}  // namespace iidc

namespace {

constexpr int kDmaBuffers = 4;
constexpr int kPollTimeoutMs = 100;  // how often a waiting grab looks for a stop

// A failure is logged at info, as most features a camera lacks are optional here.
bool Good(dc1394error_t e) {
    if (e == DC1394_SUCCESS) return true;
    base::Logf(base::LogCategory::kCapture, base::LogLevel::kInfo, "libdc1394: %s",
               dc1394_error_get_string(e));
    return false;
}

}  // namespace

IidcDriver::IidcDriver(std::chrono::milliseconds pollPeriod)
    : bus_(dc1394_new()), poller_([this] { return GuidTexts(); }, pollPeriod) {}

IidcDriver::~IidcDriver() {
    ModifyCallback(0, {}, 0, false);
    for (Slot& slot : slots_) {
        std::lock_guard lock(slot.mutex);
        Release(slot);
    }
    if (bus_) dc1394_free(bus_);
}

void IidcDriver::Release(Slot& slot) {
    if (!slot.camera) return;
    if (slot.current) {
        dc1394_capture_enqueue(slot.camera, slot.current);
        slot.current = nullptr;
    }
    if (slot.capturing) {
        dc1394_video_set_transmission(slot.camera, DC1394_OFF);
        dc1394_capture_stop(slot.camera);
        slot.capturing = false;
    }
    dc1394_camera_free(slot.camera);
    slot.camera = nullptr;
}

bool IidcDriver::CreateContext(int slot) { return bus_ && slot >= 0 && slot < kCameraSlots; }

bool IidcDriver::DestroyContext(int slot) {
    if (slot < 0 || slot >= kCameraSlots) return false;
    std::lock_guard lock(slots_[slot].mutex);
    Release(slots_[slot]);
    return true;
}

std::vector<std::string> IidcDriver::GuidTexts() {
    std::vector<std::string> texts;
    for (std::uint64_t guid : Guids())
        texts.push_back(std::to_string(guid));
    return texts;
}

std::vector<std::uint64_t> IidcDriver::Guids() {
    std::vector<std::uint64_t> guids;
    if (!bus_) return guids;
    std::lock_guard lock(listMutex_);
    dc1394camera_list_t* list = nullptr;
    if (!Good(dc1394_camera_enumerate(bus_, &list)) || !list) return guids;
    for (std::uint32_t i = 0; i < list->num; ++i)
        guids.push_back(list->ids[i].guid);
    dc1394_camera_free_list(list);
    return guids;
}

bool IidcDriver::EnumerateCameras(std::array<CameraInfo, kCameraSlots>& infos, int& count) {
    if (!bus_) return false;
    std::lock_guard lock(listMutex_);
    dc1394camera_list_t* list = nullptr;
    if (!Good(dc1394_camera_enumerate(bus_, &list)) || !list) return false;
    enumerated_.clear();
    int found = 0;
    for (std::uint32_t i = 0; i < list->num && found < count; ++i) {
        enumerated_.emplace_back(list->ids[i].guid, list->ids[i].unit);
        infos[found++] = CameraInfo{iidc::SerialOf(list->ids[i].guid), "", ""};
    }
    dc1394_camera_free_list(list);
    count = found;
    return found > 0;
}

bool IidcDriver::Initialize(int index, int busIndex) {
    if (!bus_ || index < 0 || index >= kCameraSlots) return false;
    std::pair<std::uint64_t, int> id;
    {
        std::lock_guard lock(listMutex_);
        if (busIndex < 0 || busIndex >= int(enumerated_.size())) return false;
        id = enumerated_[busIndex];
    }
    Slot& slot = slots_[index];
    std::lock_guard lock(slot.mutex);
    Release(slot);
    slot.camera = dc1394_camera_new_unit(bus_, id.first, id.second);
    return slot.camera != nullptr;
}

bool IidcDriver::GetCurrentVideoMode(int index, int& mode, int& frameRate) {
    if (index < 0 || index >= kCameraSlots) return false;
    Slot& slot = slots_[index];
    std::lock_guard lock(slot.mutex);
    if (!slot.camera) return false;
    dc1394video_mode_t videoMode;
    dc1394framerate_t rate;
    if (!Good(dc1394_video_get_mode(slot.camera, &videoMode))) return false;
    if (!Good(dc1394_video_get_framerate(slot.camera, &rate))) return false;
    // A camera in another mode is asked for the largest mono mode it offers.
    if (iidc::VideoModeOf(videoMode) == 0) {
        dc1394video_modes_t modes;
        if (Good(dc1394_video_get_supported_modes(slot.camera, &modes))) {
            for (std::uint32_t i = 0; i < modes.num; ++i) {
                if (modes.modes[i] == DC1394_VIDEO_MODE_1024x768_MONO8) videoMode = modes.modes[i];
            }
            for (std::uint32_t i = 0; i < modes.num && iidc::VideoModeOf(videoMode) == 0; ++i) {
                if (modes.modes[i] == DC1394_VIDEO_MODE_640x480_MONO8) videoMode = modes.modes[i];
            }
        }
    }
    mode = iidc::VideoModeOf(videoMode);
    frameRate = int(rate);
    return true;
}

bool IidcDriver::Start(int index, int mode, int frameRate) {
    if (index < 0 || index >= kCameraSlots) return false;
    const int videoMode = iidc::Dc1394ModeOf(mode);
    if (videoMode == 0) return false;
    Slot& slot = slots_[index];
    std::lock_guard lock(slot.mutex);
    if (!slot.camera) return false;
    if (slot.capturing) {
        dc1394_video_set_transmission(slot.camera, DC1394_OFF);
        dc1394_capture_stop(slot.camera);
        slot.capturing = false;
    }
    slot.stopping = false;
    dc1394_video_set_iso_speed(slot.camera, DC1394_ISO_SPEED_400);
    if (!Good(dc1394_video_set_mode(slot.camera, dc1394video_mode_t(videoMode)))) return false;
    if (frameRate >= DC1394_FRAMERATE_MIN && frameRate <= DC1394_FRAMERATE_MAX) {
        dc1394_video_set_framerate(slot.camera, dc1394framerate_t(frameRate));
    }
    if (!Good(dc1394_capture_setup(slot.camera, kDmaBuffers, DC1394_CAPTURE_FLAGS_DEFAULT))) {
        return false;
    }
    slot.capturing = true;
    return Good(dc1394_video_set_transmission(slot.camera, DC1394_ON));
}

bool IidcDriver::Stop(int index) {
    if (index < 0 || index >= kCameraSlots) return false;
    Slot& slot = slots_[index];
    slot.stopping = true;  // a waiting grab gives up at its next look
    std::lock_guard lock(slot.mutex);
    if (!slot.camera) return false;
    return Good(dc1394_video_set_transmission(slot.camera, DC1394_OFF));
}

bool IidcDriver::QueryTrigger(int index, bool& present) {
    if (index < 0 || index >= kCameraSlots) return false;
    Slot& slot = slots_[index];
    std::lock_guard lock(slot.mutex);
    present = false;
    if (!slot.camera) return false;
    dc1394bool_t has = DC1394_FALSE;
    if (!Good(dc1394_feature_is_present(slot.camera, DC1394_FEATURE_TRIGGER, &has))) return false;
    present = has == DC1394_TRUE;
    return true;
}

bool IidcDriver::GetTrigger(int index, int& polarity, int& source, int& rawValue, int& mode) {
    if (index < 0 || index >= kCameraSlots) return false;
    Slot& slot = slots_[index];
    std::lock_guard lock(slot.mutex);
    if (!slot.camera) return false;
    dc1394trigger_polarity_t p = DC1394_TRIGGER_ACTIVE_LOW;
    dc1394trigger_source_t s = DC1394_TRIGGER_SOURCE_0;
    dc1394trigger_mode_t m = DC1394_TRIGGER_MODE_0;
    std::uint32_t raw = 0;
    const bool ok = Good(dc1394_external_trigger_get_polarity(slot.camera, &p)) &&
                    Good(dc1394_external_trigger_get_source(slot.camera, &s)) &&
                    Good(dc1394_external_trigger_get_mode(slot.camera, &m)) &&
                    Good(dc1394_get_control_register(slot.camera, 0x830, &raw));
    polarity = iidc::PolarityOf(p);
    source = iidc::SourceIndexOf(s);
    mode = int(m) - DC1394_TRIGGER_MODE_0;
    rawValue = int(raw);
    return ok;
}

bool IidcDriver::SetTrigger(int index, bool on, int polarity, int source, int mode, int) {
    if (index < 0 || index >= kCameraSlots) return false;
    Slot& slot = slots_[index];
    std::lock_guard lock(slot.mutex);
    if (!slot.camera) return false;
    if (!on) return Good(dc1394_external_trigger_set_power(slot.camera, DC1394_OFF));
    const int triggerMode = DC1394_TRIGGER_MODE_0 + mode;
    bool ok = Good(dc1394_external_trigger_set_mode(
        slot.camera,
        dc1394trigger_mode_t(triggerMode <= DC1394_TRIGGER_MODE_MAX ? triggerMode
                                                                    : DC1394_TRIGGER_MODE_0)));
    ok = Good(dc1394_external_trigger_set_polarity(
             slot.camera, dc1394trigger_polarity_t(iidc::Dc1394PolarityOf(polarity)))) &&
         ok;
    ok = Good(dc1394_external_trigger_set_source(
             slot.camera, dc1394trigger_source_t(iidc::Dc1394SourceOf(source)))) &&
         ok;
    return Good(dc1394_external_trigger_set_power(slot.camera, DC1394_ON)) && ok;
}

bool IidcDriver::GetCameraProperty(int index, int property, long& valueA, long& valueB,
                                   bool& autoMode) {
    if (index < 0 || index >= kCameraSlots) return false;
    const dc1394feature_t feature = property == kPropertyGain      ? DC1394_FEATURE_GAIN
                                    : property == kPropertyShutter ? DC1394_FEATURE_SHUTTER
                                                                   : DC1394_FEATURE_MIN;
    if (property != kPropertyGain && property != kPropertyShutter) return false;
    Slot& slot = slots_[index];
    std::lock_guard lock(slot.mutex);
    if (!slot.camera) return false;
    std::uint32_t value = 0;
    dc1394feature_mode_t mode = DC1394_FEATURE_MODE_MANUAL;
    if (!Good(dc1394_feature_get_value(slot.camera, feature, &value))) return false;
    if (!Good(dc1394_feature_get_mode(slot.camera, feature, &mode))) return false;
    valueA = long(value);
    valueB = 0;
    autoMode = mode == DC1394_FEATURE_MODE_AUTO;
    return true;
}

bool IidcDriver::SetCameraProperty(int index, int property, long valueA, long, bool autoMode) {
    if (index < 0 || index >= kCameraSlots || property != kPropertyGain) return false;
    Slot& slot = slots_[index];
    std::lock_guard lock(slot.mutex);
    if (!slot.camera) return false;
    std::uint32_t low = 0, high = 0;
    if (!Good(dc1394_feature_get_boundaries(slot.camera, DC1394_FEATURE_GAIN, &low, &high))) {
        return false;
    }
    dc1394_feature_set_mode(slot.camera, DC1394_FEATURE_GAIN,
                            autoMode ? DC1394_FEATURE_MODE_AUTO : DC1394_FEATURE_MODE_MANUAL);
    return Good(dc1394_feature_set_value(slot.camera, DC1394_FEATURE_GAIN,
                                         iidc::ClampFeature(valueA, low, high)));
}

bool IidcDriver::SetCameraAbsProperty(int index, int property, float value) {
    if (index < 0 || index >= kCameraSlots || property != kPropertyShutter) return false;
    Slot& slot = slots_[index];
    std::lock_guard lock(slot.mutex);
    if (!slot.camera) return false;
    dc1394_feature_set_mode(slot.camera, DC1394_FEATURE_SHUTTER, DC1394_FEATURE_MODE_MANUAL);
    if (!Good(
            dc1394_feature_set_absolute_control(slot.camera, DC1394_FEATURE_SHUTTER, DC1394_ON))) {
        return false;
    }
    return Good(dc1394_feature_set_absolute_value(slot.camera, DC1394_FEATURE_SHUTTER,
                                                  iidc::ShutterSecondsOf(value)));
}

bool IidcDriver::SetCameraRegister(int index, std::uint32_t address, std::uint32_t value) {
    if (index < 0 || index >= kCameraSlots) return false;
    Slot& slot = slots_[index];
    std::lock_guard lock(slot.mutex);
    if (!slot.camera) return false;
    return Good(dc1394_set_control_register(slot.camera, address, value));
}

bool IidcDriver::GrabImage(int index, GrabbedImage& image) {
    if (index < 0 || index >= kCameraSlots) return false;
    Slot& slot = slots_[index];
    int fd = -1;
    {
        std::lock_guard lock(slot.mutex);
        if (!slot.camera || !slot.capturing) return false;
        if (slot.current) {
            dc1394_capture_enqueue(slot.camera, slot.current);
            slot.current = nullptr;
        }
        fd = dc1394_capture_get_fileno(slot.camera);
    }
    for (;;) {
        if (slot.stopping) return false;
        pollfd p{fd, POLLIN, 0};
        if (::poll(&p, 1, kPollTimeoutMs) < 0) return false;
        if (slot.stopping) return false;
        if (!(p.revents & POLLIN)) continue;
        std::lock_guard lock(slot.mutex);
        if (!slot.camera || !slot.capturing) return false;
        dc1394video_frame_t* frame = nullptr;
        if (!Good(dc1394_capture_dequeue(slot.camera, DC1394_CAPTURE_POLICY_POLL, &frame))) {
            return false;
        }
        if (!frame) continue;
        if (dc1394_capture_is_frame_corrupt(slot.camera, frame) == DC1394_TRUE) {
            dc1394_capture_enqueue(slot.camera, frame);
            return false;
        }
        slot.current = frame;
        image.videoMode = iidc::VideoModeOf(frame->video_mode);
        image.columns = int(frame->size[0]);
        image.rows = int(frame->size[1]);
        image.rowBytes = frame->stride ? int(frame->stride) : image.columns;
        image.data = frame->image;
        return true;
    }
}

bool IidcDriver::ModifyCallback(int, BusCallback callback, int userValue, bool add) {
    if (!add) {
        poller_.Stop();
        return true;
    }
    if (!bus_) return false;
    poller_.Start(std::move(callback), userValue);
    return true;
}

}  // namespace kyvern::capture
