#pragma once

#include <algorithm>
#include <array>
#include <condition_variable>
#include <cstdint>
#include <cstdio>
#include <deque>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <tuple>
#include <vector>

#include "capture/camera_driver.h"

namespace kyvern::testing {

// A camera library double: records the calls of the window thread in order, fails the calls
// named in failing, and hands out the frames queued for each slot (or, in endless mode, a
// fresh uniform frame on every grab).
class ScriptedDriver final : public capture::CameraDriver {
public:
    struct Frame {
        int videoMode = capture::kVideoMode640x480;
        int rows = 480;
        int columns = 640;
        std::vector<std::uint8_t> pixels;
    };

    std::string Name() const override { return "Scripted"; }

    bool CreateContext(int slot) override { return Record("CreateContext", slot); }
    bool DestroyContext(int slot) override { return Record("DestroyContext", slot); }
    bool ModifyCallback(int slot, capture::BusCallback callback, int userValue, bool add) override {
        if (!Record("ModifyCallback", slot, userValue, add)) return false;
        std::lock_guard lock(mutex_);
        callback_ = add ? std::move(callback) : capture::BusCallback{};
        return true;
    }
    bool EnumerateCameras(std::array<capture::CameraInfo, capture::kCameraSlots>& infos,
                          int& count) override {
        if (!Record("EnumerateCameras", count)) return false;
        std::lock_guard lock(mutex_);
        count = std::min(count, int(cameras.size()));
        std::copy_n(cameras.begin(), count, infos.begin());
        return true;
    }
    bool Initialize(int slot, int busIndex) override {
        return Record("Initialize", slot, busIndex);
    }
    bool GetCurrentVideoMode(int slot, int& mode, int& rate) override {
        mode = capture::kVideoMode640x480;
        rate = 4;
        return Record("GetCurrentVideoMode", slot);
    }
    bool Start(int slot, int mode, int rate) override {
        if (!Record("Start", slot, mode, rate)) return false;
        Change([&] { stopped_[slot] = false; });
        return true;
    }
    bool Stop(int slot) override {
        Record("Stop", slot);
        Change([&] { stopped_[slot] = true; });
        return true;
    }
    bool QueryTrigger(int slot, bool& present) override {
        present = triggerPresent;
        return Record("QueryTrigger", slot);
    }
    bool GetTrigger(int slot, int& polarity, int& source, int& raw, int& mode) override {
        std::tie(polarity, source, raw, mode) = std::tuple(1, 7, 0x55, 3);
        return Record("GetTrigger", slot);
    }
    bool SetTrigger(int slot, bool on, int polarity, int source, int mode, int parameter) override {
        return Record("SetTrigger", slot, on, polarity, source, mode, parameter);
    }
    bool GetCameraProperty(int slot, int property, long& a, long& b, bool& autoMode) override {
        std::tie(a, b, autoMode) = std::tuple(300, 42, true);
        return Record("GetCameraProperty", slot, property);
    }
    bool SetCameraProperty(int slot, int property, long a, long b, bool autoMode) override {
        return Record("SetCameraProperty", slot, property, a, b, autoMode);
    }
    bool SetCameraAbsProperty(int slot, int property, float value) override {
        return RecordF("SetCameraAbsProperty", "SetCameraAbsProperty(%d,%d,%.1f)", slot, property,
                       double(value));
    }
    bool SetCameraRegister(int slot, std::uint32_t address, std::uint32_t value) override {
        return RecordF("SetCameraRegister", "SetCameraRegister(%d,0x%X,0x%08X)", slot,
                       unsigned(address), unsigned(value));
    }
    bool GrabImage(int slot, capture::GrabbedImage& image) override {
        std::unique_lock lock(mutex_);
        ++grabCalls_[slot];
        grabbed_.notify_all();
        wake_.wait(lock, [&] {
            return stopped_[slot] || !queue_[slot].empty() || produced_[slot] < endless_[slot];
        });
        if (stopped_[slot]) return false;
        if (queue_[slot].empty()) {
            // Endless mode: every byte of the frame carries its number.
            queue_[slot].push_back(
                {.pixels = std::vector<std::uint8_t>(640 * 480, std::uint8_t(++produced_[slot]))});
        }
        current_[slot] = std::move(queue_[slot].front());
        queue_[slot].pop_front();
        const Frame& f = current_[slot];
        image.videoMode = f.videoMode;
        image.rows = f.rows;
        image.columns = image.rowBytes = f.columns;
        image.data = f.pixels.data();
        return true;
    }
    bool GetColorProcessingMethod(int, int& method) override {
        method = colorMethod;
        return true;
    }
    bool InplaceWhiteBalance(int slot, std::uint8_t*, int rows, int columns) override {
        return RecordF("InplaceWhiteBalance", "InplaceWhiteBalance(%d,%dx%d)", slot, rows, columns);
    }

    // Test controls.
    void Queue(int slot, Frame frame) {
        Change([&] { queue_[slot].push_back(std::move(frame)); });
    }
    void Endless(int slot, int frames) {
        Change([&] { endless_[slot] = frames; });
    }
    int Produced(int slot) {
        std::lock_guard lock(mutex_);
        return produced_[slot];
    }
    // Waits until the table has asked slot for its count-th frame, which means every frame
    // before it has been parked.
    void WaitForGrabCalls(int slot, int count) {
        std::unique_lock lock(mutex_);
        grabbed_.wait(lock, [&] { return grabCalls_[slot] >= count; });
    }
    // Delivers a bus message on a thread of its own, as a library does, and waits for it.
    void Deliver(int message) {
        capture::BusCallback callback;
        {
            std::lock_guard lock(mutex_);
            callback = callback_;
        }
        if (callback) std::thread([&] { callback(0, message); }).join();
    }
    bool HasCallback() {
        std::lock_guard lock(mutex_);
        return bool(callback_);
    }
    std::vector<std::string> Calls() {
        std::lock_guard lock(mutex_);
        return calls_;
    }
    void ClearCalls() {
        std::lock_guard lock(mutex_);
        calls_.clear();
    }

    // Scripted answers; set them before the table runs.
    std::vector<capture::CameraInfo> cameras;
    std::set<std::string> failing;
    bool triggerPresent = true;
    int colorMethod = 0;

private:
    template <typename F>
    void Change(F change) {
        {
            std::lock_guard lock(mutex_);
            change();
        }
        wake_.notify_all();
    }
    template <typename... Args>
    bool Record(const char* name, Args... args) {
        std::string text = std::string(name) + "(";
        bool first = true;
        ((text += (first ? "" : ",") + std::to_string(args), first = false), ...);
        return RecordText(name, text + ")");
    }
    template <typename... Args>
    bool RecordF(const char* name, const char* format, Args... args) {
        char text[80];
        std::snprintf(text, sizeof text, format, args...);
        return RecordText(name, text);
    }
    bool RecordText(const char* name, const std::string& text) {
        std::lock_guard lock(mutex_);
        calls_.push_back(text);
        return failing.count(name) == 0 && failing.count(text) == 0;
    }

    std::mutex mutex_;
    std::condition_variable wake_;
    std::condition_variable grabbed_;
    std::vector<std::string> calls_;
    capture::BusCallback callback_;
    std::array<bool, capture::kCameraSlots> stopped_{};
    std::array<std::deque<Frame>, capture::kCameraSlots> queue_;
    std::array<Frame, capture::kCameraSlots> current_;
    std::array<int, capture::kCameraSlots> endless_{};
    std::array<int, capture::kCameraSlots> produced_{};
    std::array<int, capture::kCameraSlots> grabCalls_{};
};

}  // namespace kyvern::testing
