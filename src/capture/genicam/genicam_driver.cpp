#include "capture/genicam/genicam_driver.h"

#include <arv.h>

#include <algorithm>
#include <cmath>

#include "base/log.h"

namespace kyvern::capture {
namespace {

constexpr int kStreamBuffers = 4;
constexpr guint64 kPopTimeoutUs = 100000;  // how often a waiting grab looks for a stop
constexpr double kGainStepPerDb = 10.0;    // property 13: 225 + 10 per dB
constexpr long kGainZero = 225;
constexpr int kSourceNone = -1;

// True when no error was raised; clears it either way. Many features are optional, so a
// failure is only logged at info: KYVERN_LOG=capture shows why a camera will not do something.
bool Ok(GError*& error) {
    if (!error) return true;
    base::Logf(base::LogCategory::kCapture, base::LogLevel::kInfo, "Aravis: %s", error->message);
    g_clear_error(&error);
    return false;
}

std::vector<std::string> TriggerSources(ArvCamera* camera) {
    std::vector<std::string> sources;
    GError* error = nullptr;
    guint n = 0;
    const char** list = arv_camera_dup_available_trigger_sources(camera, &n, &error);
    if (Ok(error) && list) {
        for (guint i = 0; i < n; ++i)
            sources.emplace_back(list[i]);
    }
    g_free(list);
    return sources;
}

// The index of the first line input among the sources, else kSourceNone.
int FirstLine(const std::vector<std::string>& sources) {
    for (std::size_t i = 0; i < sources.size(); ++i) {
        if (sources[i].rfind("Line", 0) == 0) return int(i);
    }
    return kSourceNone;
}

}  // namespace

GenicamDriver::GenicamDriver(GenicamOptions options) : options_(options) {
    if (options_.fakeInterface) arv_enable_interface("Fake");
}

GenicamDriver::~GenicamDriver() {
    ModifyCallback(0, {}, 0, false);
    for (Slot& slot : slots_) {
        std::lock_guard lock(slot.mutex);
        Release(slot);
    }
}

std::uint32_t GenicamDriver::SerialNumberOf(const std::string& text) {
    std::uint64_t value = 0;
    bool digits = false;
    for (char c : text) {
        if (c < '0' || c > '9') continue;
        digits = true;
        value = (value * 10 + std::uint64_t(c - '0')) & 0xFFFFFFFFull;
    }
    if (digits && value != 0xFFFFFFFFull) return std::uint32_t(value);
    std::uint32_t hash = 2166136261u;  // FNV-1a of a serial without digits
    for (char c : text)
        hash = (hash ^ std::uint8_t(c)) * 16777619u;
    return hash & 0x7FFFFFFFu;
}

double GenicamDriver::GainOfValue(long value) { return double(value - kGainZero) / kGainStepPerDb; }

long GenicamDriver::ValueOfGain(double gain) {
    return kGainZero + std::lround(gain * kGainStepPerDb);
}

ArvCamera* GenicamDriver::CameraOf(int slot) {
    if (slot < 0 || slot >= kCameraSlots) return nullptr;
    std::lock_guard lock(slots_[slot].mutex);
    return slots_[slot].camera;
}

void GenicamDriver::ReleaseStream(Slot& slot) {
    if (slot.current) {
        g_object_unref(slot.current);
        slot.current = nullptr;
    }
    if (slot.stream) {
        g_object_unref(slot.stream);
        slot.stream = nullptr;
    }
}

void GenicamDriver::Release(Slot& slot) {
    if (slot.camera && slot.stream) {
        GError* error = nullptr;
        arv_camera_stop_acquisition(slot.camera, &error);
        Ok(error);
    }
    ReleaseStream(slot);
    if (slot.camera) {
        g_object_unref(slot.camera);
        slot.camera = nullptr;
    }
}

bool GenicamDriver::CreateContext(int slot) { return slot >= 0 && slot < kCameraSlots; }

bool GenicamDriver::DestroyContext(int slot) {
    if (slot < 0 || slot >= kCameraSlots) return false;
    std::lock_guard lock(slots_[slot].mutex);
    Release(slots_[slot]);
    return true;
}

std::vector<std::string> GenicamDriver::DeviceIds() {
    std::lock_guard lock(listMutex_);
    arv_update_device_list();
    std::vector<std::string> ids;
    const unsigned n = arv_get_n_devices();
    for (unsigned i = 0; i < n; ++i) {
        const char* id = arv_get_device_id(i);
        ids.emplace_back(id ? id : "");
    }
    return ids;
}

bool GenicamDriver::EnumerateCameras(std::array<CameraInfo, kCameraSlots>& infos, int& count) {
    std::lock_guard lock(listMutex_);
    arv_update_device_list();
    const int n = int(arv_get_n_devices());
    enumerated_.clear();
    int found = 0;
    for (int i = 0; i < n && found < count; ++i) {
        const char* id = arv_get_device_id(unsigned(i));
        const char* serial = arv_get_device_serial_nbr(unsigned(i));
        const char* vendor = arv_get_device_vendor(unsigned(i));
        const char* model = arv_get_device_model(unsigned(i));
        if (!id) continue;
        enumerated_.emplace_back(id);
        infos[found++] = CameraInfo{SerialNumberOf(serial ? serial : id), vendor ? vendor : "",
                                    model ? model : ""};
    }
    count = found;
    // No camera on any GenICam interface counts as a failed enumeration.
    return found > 0;
}

bool GenicamDriver::Initialize(int index, int busIndex) {
    if (index < 0 || index >= kCameraSlots) return false;
    std::string id;
    {
        std::lock_guard lock(listMutex_);
        if (busIndex < 0 || busIndex >= int(enumerated_.size())) return false;
        id = enumerated_[busIndex];
    }
    Slot& slot = slots_[index];
    std::lock_guard lock(slot.mutex);
    Release(slot);
    GError* error = nullptr;
    ArvCamera* camera = arv_camera_new(id.c_str(), &error);
    if (!Ok(error) || !camera) return false;
    // 1024 x 768 when the sensor has room for it, else 640 x 480; Mono8 either way.
    gint wMin = 0, wMax = 0, hMin = 0, hMax = 0;
    arv_camera_get_width_bounds(camera, &wMin, &wMax, &error);
    Ok(error);
    arv_camera_get_height_bounds(camera, &hMin, &hMax, &error);
    Ok(error);
    int width = 0;
    int height = 0;
    if (wMax >= 1024 && hMax >= 768) {
        width = 1024;
        height = 768;
    } else if (wMax >= 640 && hMax >= 480) {
        width = 640;
        height = 480;
    }
    bool configured = width > 0;
    if (configured) {
        arv_camera_set_pixel_format(camera, ARV_PIXEL_FORMAT_MONO_8, &error);
        configured = Ok(error);
    }
    if (configured) {
        arv_camera_set_region(camera, 0, 0, width, height, &error);
        configured = Ok(error);
    }
    if (!configured) {
        g_object_unref(camera);
        return false;
    }
    slot.camera = camera;
    return true;
}

bool GenicamDriver::GetCurrentVideoMode(int index, int& mode, int& frameRate) {
    if (index < 0 || index >= kCameraSlots) return false;
    Slot& slot = slots_[index];
    std::lock_guard lock(slot.mutex);
    if (!slot.camera) return false;
    GError* error = nullptr;
    gint x = 0, y = 0, w = 0, h = 0;
    arv_camera_get_region(slot.camera, &x, &y, &w, &h, &error);
    if (!Ok(error)) return false;
    const ArvPixelFormat format = arv_camera_get_pixel_format(slot.camera, &error);
    if (!Ok(error)) return false;
    mode = 0;
    if (format == ARV_PIXEL_FORMAT_MONO_8 && w == 1024 && h == 768) mode = kVideoMode1024x768;
    if (format == ARV_PIXEL_FORMAT_MONO_8 && w == 640 && h == 480) mode = kVideoMode640x480;
    frameRate = 0;
    return true;
}

bool GenicamDriver::Start(int index, int /*mode*/, int /*frameRate*/) {
    if (index < 0 || index >= kCameraSlots) return false;
    Slot& slot = slots_[index];
    std::lock_guard lock(slot.mutex);
    if (!slot.camera) return false;
    ReleaseStream(slot);
    slot.stopping = false;
    GError* error = nullptr;
    ArvStream* stream = arv_camera_create_stream(slot.camera, nullptr, nullptr, &error);
    if (!Ok(error) || !stream) return false;
    const guint payload = arv_camera_get_payload(slot.camera, &error);
    if (!Ok(error) || payload == 0) {
        g_object_unref(stream);
        return false;
    }
    for (int i = 0; i < kStreamBuffers; ++i) {
        arv_stream_push_buffer(stream, arv_buffer_new_allocate(payload));
    }
    arv_camera_start_acquisition(slot.camera, &error);
    if (!Ok(error)) {
        g_object_unref(stream);
        return false;
    }
    slot.stream = stream;
    slot.payload = payload;
    return true;
}

bool GenicamDriver::Stop(int index) {
    if (index < 0 || index >= kCameraSlots) return false;
    Slot& slot = slots_[index];
    slot.stopping = true;  // a waiting grab gives up at its next look
    std::lock_guard lock(slot.mutex);
    if (!slot.camera) return false;
    GError* error = nullptr;
    arv_camera_stop_acquisition(slot.camera, &error);
    return Ok(error);
}

bool GenicamDriver::QueryTrigger(int index, bool& present) {
    if (index < 0 || index >= kCameraSlots) return false;
    Slot& slot = slots_[index];
    std::lock_guard lock(slot.mutex);
    present = false;
    if (!slot.camera) return false;
    // An external trigger needs a line input among the trigger sources.
    present = FirstLine(TriggerSources(slot.camera)) != kSourceNone;
    return true;
}

bool GenicamDriver::GetTrigger(int index, int& polarity, int& source, int& rawValue, int& mode) {
    if (index < 0 || index >= kCameraSlots) return false;
    Slot& slot = slots_[index];
    std::lock_guard lock(slot.mutex);
    if (!slot.camera) return false;
    const std::vector<std::string> sources = TriggerSources(slot.camera);
    GError* error = nullptr;
    const char* current = arv_camera_get_trigger_source(slot.camera, &error);
    Ok(error);
    // The source in use when it is a line, else the first line.
    source = FirstLine(sources);
    for (std::size_t i = 0; current && i < sources.size(); ++i) {
        if (sources[i] == current && sources[i].rfind("Line", 0) == 0) source = int(i);
    }
    const char* activation = nullptr;
    if (arv_camera_is_feature_available(slot.camera, "TriggerActivation", &error)) {
        activation = arv_camera_get_string(slot.camera, "TriggerActivation", &error);
    }
    Ok(error);
    polarity = activation && std::string(activation) == "RisingEdge" ? 1 : 0;
    const char* on = arv_camera_get_string(slot.camera, "TriggerMode", &error);
    mode = 0;
    rawValue = on && std::string(on) == "On" ? 1 : 0;
    return Ok(error) && source != kSourceNone;
}

bool GenicamDriver::SetTrigger(int index, bool on, int polarity, int source, int, int) {
    if (index < 0 || index >= kCameraSlots) return false;
    Slot& slot = slots_[index];
    std::lock_guard lock(slot.mutex);
    if (!slot.camera) return false;
    GError* error = nullptr;
    if (!on) {
        arv_camera_clear_triggers(slot.camera, &error);
        return Ok(error);
    }
    const std::vector<std::string> sources = TriggerSources(slot.camera);
    if (source < 0 || source >= int(sources.size()) || sources[source].rfind("Line", 0) != 0) {
        source = FirstLine(sources);
    }
    if (source == kSourceNone) return false;
    arv_camera_set_trigger(slot.camera, sources[source].c_str(), &error);
    if (!Ok(error)) return false;
    // Polarity 0 fires on the falling edge of the strobe line, 1 on the rising edge.
    if (arv_camera_is_feature_available(slot.camera, "TriggerActivation", &error)) {
        arv_camera_set_string(slot.camera, "TriggerActivation",
                              polarity ? "RisingEdge" : "FallingEdge", &error);
    }
    Ok(error);
    return true;
}

bool GenicamDriver::GetCameraProperty(int index, int property, long& valueA, long& valueB,
                                      bool& autoMode) {
    if (index < 0 || index >= kCameraSlots) return false;
    Slot& slot = slots_[index];
    std::lock_guard lock(slot.mutex);
    if (!slot.camera) return false;
    GError* error = nullptr;
    valueB = 0;
    autoMode = false;
    if (property == kPropertyGain) {
        const double gain = arv_camera_get_gain(slot.camera, &error);
        if (!Ok(error)) return false;
        valueA = ValueOfGain(gain);
        if (arv_camera_is_gain_auto_available(slot.camera, &error)) {
            autoMode = arv_camera_get_gain_auto(slot.camera, &error) != ARV_AUTO_OFF;
        }
        Ok(error);
        return true;
    }
    if (property == kPropertyShutter) {
        const double us = arv_camera_get_exposure_time(slot.camera, &error);
        if (!Ok(error)) return false;
        valueA = std::lround(us / 10.0);  // hundredths of a millisecond
        return true;
    }
    return false;
}

bool GenicamDriver::SetCameraProperty(int index, int property, long valueA, long, bool autoMode) {
    if (index < 0 || index >= kCameraSlots || property != kPropertyGain) return false;
    Slot& slot = slots_[index];
    std::lock_guard lock(slot.mutex);
    if (!slot.camera) return false;
    GError* error = nullptr;
    if (arv_camera_is_gain_auto_available(slot.camera, &error)) {
        arv_camera_set_gain_auto(slot.camera, autoMode ? ARV_AUTO_CONTINUOUS : ARV_AUTO_OFF,
                                 &error);
    }
    Ok(error);
    double low = 0.0, high = 0.0;
    arv_camera_get_gain_bounds(slot.camera, &low, &high, &error);
    if (!Ok(error)) return false;
    const double gain = std::clamp(GainOfValue(valueA), low, high);
    arv_camera_set_gain(slot.camera, gain, &error);
    return Ok(error);
}

bool GenicamDriver::SetCameraAbsProperty(int index, int property, float value) {
    if (index < 0 || index >= kCameraSlots || property != kPropertyShutter) return false;
    Slot& slot = slots_[index];
    std::lock_guard lock(slot.mutex);
    if (!slot.camera) return false;
    GError* error = nullptr;
    if (arv_camera_is_exposure_auto_available(slot.camera, &error)) {
        arv_camera_set_exposure_time_auto(slot.camera, ARV_AUTO_OFF, &error);
    }
    Ok(error);
    double low = 0.0, high = 0.0;
    arv_camera_get_exposure_time_bounds(slot.camera, &low, &high, &error);
    if (!Ok(error)) return false;
    // Whole microseconds: 1.4f ms is 1399.99997 us, which a camera would cut to 1399.
    arv_camera_set_exposure_time(slot.camera,
                                 std::clamp(std::round(double(value) * 1000.0), low, high), &error);
    return Ok(error);
}

bool GenicamDriver::SetCameraRegister(int index, std::uint32_t address, std::uint32_t value) {
    if (index < 0 || index >= kCameraSlots) return false;
    Slot& slot = slots_[index];
    std::lock_guard lock(slot.mutex);
    if (!slot.camera) return false;
    slot.registers[address] = value;
    return true;
}

bool GenicamDriver::GrabImage(int index, GrabbedImage& image) {
    if (index < 0 || index >= kCameraSlots) return false;
    Slot& slot = slots_[index];
    ArvStream* stream = nullptr;
    std::size_t payload = 0;
    {
        std::lock_guard lock(slot.mutex);
        if (!slot.stream) return false;
        if (slot.current) {
            arv_stream_push_buffer(slot.stream, slot.current);
            slot.current = nullptr;
        }
        stream = ARV_STREAM(g_object_ref(slot.stream));
        payload = slot.payload;
    }
    ArvBuffer* buffer = nullptr;
    while (!buffer) {
        if (slot.stopping) {
            g_object_unref(stream);
            return false;
        }
        buffer = arv_stream_timeout_pop_buffer(stream, kPopTimeoutUs);
    }
    const int w = arv_buffer_get_image_width(buffer);
    const int h = arv_buffer_get_image_height(buffer);
    std::size_t size = 0;
    const void* data = arv_buffer_get_image_data(buffer, &size);
    // A buffer filled in-process reports no received size; the allocation then holds it.
    if (size == 0) size = payload;
    const bool good = arv_buffer_get_status(buffer) == ARV_BUFFER_STATUS_SUCCESS && data &&
                      arv_buffer_get_image_pixel_format(buffer) == ARV_PIXEL_FORMAT_MONO_8 &&
                      w > 0 && h > 0 && size >= std::size_t(w) * std::size_t(h);
    if (!good) {
        arv_stream_push_buffer(stream, buffer);
        g_object_unref(stream);
        return false;
    }
    {
        std::lock_guard lock(slot.mutex);
        if (slot.stream == stream) {
            slot.current = buffer;
        } else {
            arv_stream_push_buffer(stream, buffer);  // restarted meanwhile: the frame is stale
            g_object_unref(stream);
            return false;
        }
    }
    g_object_unref(stream);
    image.videoMode = w == 1024 && h == 768  ? kVideoMode1024x768
                      : w == 640 && h == 480 ? kVideoMode640x480
                                             : 0;
    image.rows = h;
    image.columns = w;
    image.rowBytes = w;
    image.data = static_cast<const std::uint8_t*>(data);
    return true;
}

bool GenicamDriver::ModifyCallback(int, BusCallback callback, int userValue, bool add) {
    if (add) {
        poller_.Start(std::move(callback), userValue);
    } else {
        poller_.Stop();
    }
    return true;
}

}  // namespace kyvern::capture
