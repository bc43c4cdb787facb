#include "capture/camera_table.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <memory>
#include <string>
#include <vector>

#include "scripted_driver.h"
#include "support/recording_prompts.h"
#include "support/temp_home.h"

using kyvern::frame::CapturedImage;
using namespace kyvern::capture;
using namespace kyvern::testing;

namespace {

constexpr const char* kNoCameras = "No Kyverns were detected\n\nCheck IEEE1394 interface";
constexpr const char* kNoTrigger = "Warning: this Kyvern does not have a trigger mode";

// A table over a scripted driver with its own settings file.
struct Rig {
    explicit Rig(std::vector<std::uint32_t> serials = {}) {
        for (auto s : serials)
            driver.cameras.push_back(CameraInfo{s, "Test", "Cam"});
        table.SetGrabPause(std::chrono::microseconds(0));
    }
    // How often the driver was called with exactly this text.
    long Called(const std::string& call) {
        const auto calls = driver.Calls();
        return std::count(calls.begin(), calls.end(), call);
    }

    TempHome home;
    std::string settings = home.Settings();
    ScriptedDriver driver;
    RecordingPrompts prompts;
    CameraTable table{driver, prompts, settings};
};

}  // namespace

TEST(CameraTable, StartSetsTriggerAndGainFromWhatTheCameraReports) {
    Rig rig({1234567});
    rig.table.InitCameras();
    EXPECT_TRUE(rig.prompts.messages.empty());
    EXPECT_TRUE(rig.table.IsConnected(1234567));
    // Trigger on, polarity 0, the source the camera reported (7), mode 0; the gain of the
    // default brightness 1 keeps the camera's second value (42) with automatic gain off.
    EXPECT_EQ(rig.Called("SetTrigger(0,1,0,7,0,0)"), 1);
    EXPECT_EQ(rig.Called("SetCameraProperty(0,13,235,42,0)"), 1);

    rig.table.Shutdown();
    EXPECT_EQ(rig.Called("Stop(0)"), 1);
    EXPECT_EQ(rig.Called("DestroyContext(3)"), 1);
    EXPECT_FALSE(rig.table.IsPresent(0));
    EXPECT_FALSE(rig.driver.HasCallback());
}

TEST(CameraTable, FailureRowsOfTheStart) {
    const struct {
        const char* failing;
        std::vector<std::uint32_t> serials;
        bool triggerPresent;
        const char* message;  // nullptr: none
        bool slot0, slot1;
        double interval;
    } cases[] = {
        // No callback: nothing enumerated, nothing started, no speed mode.
        {"ModifyCallback", {11}, true, nullptr, false, false, 0.0},
        // No enumeration: the message, and the speed mode still applied.
        {"EnumerateCameras", {11}, true, kNoCameras, false, false, 0.00145},
        // The first three calls of a start end it silently, for that camera alone.
        {"Initialize(0,0)", {11, 22}, true, nullptr, false, true, 0.00145},
        {"Start(0,5,4)", {11, 22}, true, nullptr, false, true, 0.00145},
        // Without a trigger: the warning, and the camera is left out.
        {"", {11}, false, kNoTrigger, false, false, 0.00145},
        // Failures of the trigger, gain and register settings are ignored.
        {"GetTrigger", {11}, true, nullptr, true, false, 0.00145},
        {"SetCameraRegister(0,0x81C,0x8200010F)", {11}, true, nullptr, true, false, 0.00145},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.failing);
        Rig rig(c.serials);
        rig.driver.failing = {c.failing};
        rig.driver.triggerPresent = c.triggerPresent;
        rig.table.InitCameras();
        EXPECT_EQ(rig.prompts.messages,
                  c.message ? std::vector<std::string>{c.message} : std::vector<std::string>{});
        EXPECT_EQ(rig.table.IsPresent(0), c.slot0);
        EXPECT_EQ(rig.table.IsPresent(1), c.slot1);
        EXPECT_EQ(rig.table.SlotOfSerial(11), c.slot0 ? 0 : -1);
        EXPECT_DOUBLE_EQ(rig.table.StrobeInterval(), c.interval);
        if (!c.slot0) {
            EXPECT_EQ(rig.Called("QueryTrigger(0)") + rig.Called("SetTrigger(0,1,0,7,0,0)"),
                      c.triggerPresent ? 0 : 1);  // nothing after a failed start
            EXPECT_FALSE(rig.table.StopCamera(0));
        }
    }
}

TEST(CameraTable, SpeedAndBrightnessSettings) {
    Rig rig({11, 22});
    rig.table.InitCameras();
    // Speed names in any case; brightness clamped to 0..10, 10 gain steps each from 225, an
    // unreadable value the default 1, a leading number read.
    const struct {
        const char *speed, *brightness;
        double interval;
        long gain;
    } cases[] = {{"Fast", "11", 0.00095, 325},  {"Medium", "-1", 0.00145, 225},
                 {"Slow", "0", 0.00195, 225},   {"superslow", "10", 0.00295, 325},
                 {"fAST", "abc", 0.00095, 235}, {"Fast", "6x", 0.00095, 285}};
    for (const auto& c : cases) {
        rig.home.Set("Camera", "Speed", c.speed);
        rig.home.Set("Camera", "Brightness", c.brightness);
        rig.driver.ClearCalls();
        ASSERT_TRUE(rig.table.ApplySpeedAndBrightness()) << c.speed;
        EXPECT_DOUBLE_EQ(rig.table.StrobeInterval(), c.interval) << c.speed;
        EXPECT_EQ(rig.table.GainValue(), c.gain) << c.brightness;
        EXPECT_EQ(rig.Called("SetCameraProperty(1,13," + std::to_string(c.gain) + ",42,0)"), 1);
    }

    // Putt strobes the two cameras apart: the long interval on slot 0, the short on slot 1;
    // a lone camera takes the middle one.
    rig.home.Set("Camera", "Speed", "Putt");
    rig.driver.ClearCalls();
    ASSERT_TRUE(rig.table.ApplySpeedAndBrightness());
    EXPECT_EQ(rig.Called("SetCameraRegister(0,0x1110,0x80010000)"), 1);
    EXPECT_EQ(rig.Called("SetCameraRegister(1,0x1110,0x80010001)"), 1);
    EXPECT_DOUBLE_EQ(rig.table.StrobeInterval(), 0.070);
    EXPECT_DOUBLE_EQ(kyvern::capture::IntervalOfRegisters(0x80010002u, 0x80010001u), 0.0175);
    {
        Rig lone({11});
        lone.home.Set("Camera", "Speed", "Putt");
        lone.table.InitCameras();
        EXPECT_DOUBLE_EQ(lone.table.StrobeInterval(), 0.040);
    }
    rig.home.Set("Camera", "Speed", "Fast");
    ASSERT_TRUE(rig.table.ApplySpeedAndBrightness());

    // An unrecognised speed changes nothing: no call, the same interval and gain.
    rig.home.Set("Camera", "Speed", "Ludicrous");
    rig.home.Set("Camera", "Brightness", "7");
    rig.driver.ClearCalls();
    EXPECT_FALSE(rig.table.ApplySpeedAndBrightness());
    EXPECT_TRUE(rig.driver.Calls().empty());
    EXPECT_DOUBLE_EQ(rig.table.StrobeInterval(), 0.00095);
    EXPECT_EQ(rig.table.GainValue(), 285);

    // The speed mode stops at the first failing register write; the shutter's failure is
    // ignored.
    rig.home.Set("Camera", "Speed", "Slow");
    rig.driver.failing = {"SetCameraRegister(1,0x1120,0x80010001)", "SetCameraAbsProperty"};
    rig.driver.ClearCalls();
    EXPECT_FALSE(rig.table.ApplySpeedAndBrightness());
    EXPECT_EQ(rig.driver.Calls().back(), "SetCameraRegister(1,0x1120,0x80010001)");

    // Either property call failing fails the gain, and the apply with it.
    rig.home.Set("Camera", "Speed", "Fast");
    for (const char* failing : {"GetCameraProperty", "SetCameraProperty"}) {
        rig.driver.failing = {failing};
        EXPECT_FALSE(rig.table.ApplySpeedAndBrightness()) << failing;
    }
}

TEST(CameraTable, ArrivalAndRemovalRestartTheTable) {
    Rig rig({11, 22});
    EXPECT_EQ(rig.table.SlotOfSerial(0), -1);  // serial 0 is slot 0 only while it is present
    rig.table.InitCameras();
    EXPECT_EQ(rig.table.DeviceText(), "Kyvern: 11, 22");

    // Camera 11 leaves: the table stops all and enumerates afresh, 22 moves to slot 0, and
    // the speed mode is not applied again.
    rig.driver.cameras = {CameraInfo{22, "Test", "Cam"}};
    rig.driver.ClearCalls();
    rig.driver.Deliver(kyvern::capture::kBusMessageRemoval);
    EXPECT_EQ(rig.Called("Stop(1)"), 1);
    EXPECT_EQ(rig.Called("SetCameraRegister(0,0x1120,0x80010000)"), 0);
    EXPECT_EQ(rig.table.CameraCount(), 1);
    EXPECT_EQ(rig.table.SlotOfSerial(22), 0);
    EXPECT_EQ(rig.table.SlotOfSerial(11), -1);
    EXPECT_EQ(rig.table.SerialOfSlot(1), kNoSerial);

    // A camera arrives: restarted with the speed mode and gain applied to the new slots.
    rig.home.Set("Camera", "Speed", "Fast");
    rig.driver.cameras = {CameraInfo{33, "Test", "Cam"}, CameraInfo{22, "Test", "Cam"}};
    rig.driver.ClearCalls();
    rig.driver.Deliver(kyvern::capture::kBusMessageArrival);
    EXPECT_EQ(rig.Called("SetCameraProperty(1,13,235,42,0)"), 1);
    EXPECT_EQ(rig.table.SlotOfSerial(33), 0);
    EXPECT_EQ(rig.table.SlotOfSerial(22), 1);
    EXPECT_DOUBLE_EQ(rig.table.StrobeInterval(), 0.00095);

    // Other messages are ignored.
    rig.driver.ClearCalls();
    rig.driver.Deliver(5);
    rig.driver.Deliver(0);
    EXPECT_TRUE(rig.driver.Calls().empty());

    EXPECT_EQ(rig.table.SlotOfSerial(0), 0);
    EXPECT_TRUE(rig.table.StopCamera(0));
    EXPECT_FALSE(rig.table.StopCamera(0));
    EXPECT_EQ(rig.table.SlotOfSerial(0), -1);
}

TEST(CameraTable, GrabBalancesDropsMisfitsAndStopFreesTheFrame) {
    Rig rig({77});
    rig.driver.colorMethod = 1;
    rig.table.InitCameras();
    rig.driver.WaitForGrabCalls(0, 1);
    // A 1024 x 768 frame whose colour processing asks for the white balance (the newest
    // frame kept is the hand-over test's).
    std::vector<std::uint8_t> first(1024 * 768, 10);
    rig.driver.Queue(0, {kyvern::capture::kVideoMode1024x768, 768, 1024, first});
    rig.driver.WaitForGrabCalls(0, 2);
    EXPECT_EQ(rig.Called("InplaceWhiteBalance(0,768x1024)"), 1);
    auto frame = std::make_unique<CapturedImage>();
    ASSERT_TRUE(rig.table.TakeFrame(77, *frame));
    // The whole frame in one hand-over: size and flash instants with the pixels.
    EXPECT_EQ(frame->width, 1024);
    EXPECT_EQ(frame->height, 768);
    EXPECT_DOUBLE_EQ(frame->t2 - frame->t1, rig.table.StrobeInterval());
    // A frame whose size disagrees with its mode is dropped. One of a mode the table cannot
    // convert must not raise the flag either: the frame handed over after it would be the
    // previous shot's again.
    rig.driver.Queue(0, {kyvern::capture::kVideoMode1024x768, 480, 640, first});
    rig.driver.Queue(0, {3, 2, 2, {1, 2, 3, 4}});
    rig.driver.WaitForGrabCalls(0, 4);
    EXPECT_FALSE(rig.table.HasNewFrame(77));
    EXPECT_FALSE(rig.table.TakeFrame(77, *frame));
    EXPECT_EQ(rig.table.FrameCount(0), 0);
    // Stopping frees the frame: nothing waits after a restart.
    rig.driver.Queue(0, {kyvern::capture::kVideoMode1024x768, 768, 1024, first});
    rig.driver.WaitForGrabCalls(0, 5);
    EXPECT_TRUE(rig.table.HasNewFrame(77));
    EXPECT_TRUE(rig.table.StopCamera(0));
    EXPECT_TRUE(rig.table.StartCamera(0));
    EXPECT_FALSE(rig.table.HasNewFrame(77));
    EXPECT_EQ(rig.table.FrameCount(0), 0);
}

// Two cameras deliver thousands of frames while the window thread fetches; every fetched
// frame must be one whole frame (all its bytes carry the same number), never a mix.
TEST(CameraTable, HandOverOfThousandsOfFramesIsWhole) {
    constexpr int kFrames = 1500;
    Rig rig({101, 202});
    rig.table.InitCameras();
    rig.driver.Endless(0, kFrames);
    rig.driver.Endless(1, kFrames);
    auto frame = std::make_unique<CapturedImage>();
    const std::uint8_t* destination = frame->Pixels();
    int fetched[2] = {0, 0}, lastValue[2] = {-1, -1}, torn = 0;
    const std::uint32_t serials[2] = {101, 202};
    auto fetchOnce = [&](int i) {
        if (!rig.table.HasNewFrame(serials[i])) return;
        if (!rig.table.TakeFrame(serials[i], *frame)) return;
        ++fetched[i];
        const std::uint8_t v = destination[0];
        torn += std::any_of(destination, destination + 640 * 480,
                            [v](std::uint8_t b) { return b != v; });
        lastValue[i] = v;
    };
    while (rig.driver.Produced(0) < kFrames || rig.driver.Produced(1) < kFrames) {
        fetchOnce(0);
        fetchOnce(1);
    }
    // Every frame has been parked once the table asks for the next one.
    rig.driver.WaitForGrabCalls(0, kFrames + 1);
    rig.driver.WaitForGrabCalls(1, kFrames + 1);
    fetchOnce(0);
    fetchOnce(1);
    EXPECT_EQ(torn, 0);
    for (int i = 0; i < 2; ++i) {
        EXPECT_GT(fetched[i], 0);
        EXPECT_EQ(lastValue[i], kFrames % 256);
        EXPECT_EQ(rig.table.FrameCount(i), kFrames - fetched[i]);  // converted minus fetched
    }
    rig.table.Shutdown();
}
