#include "capture/camera_table.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "scripted_driver.h"
#include "support/recording_prompts.h"
#include "support/temp_home.h"

using kyvern::analysis::CapturedImage;
using kyvern::capture::CameraInfo;
using kyvern::capture::CameraTable;
using kyvern::capture::kNoSerial;
using kyvern::testing::RecordingPrompts;
using kyvern::testing::ScriptedDriver;
using kyvern::testing::TempHome;

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
    void Set(const char* section, const char* key, const char* value) {
        home.Set(section, key, value);
    }
    // The recorded calls from the first one whose text starts with from.
    std::vector<std::string> CallsFrom(const std::string& from) {
        auto calls = driver.Calls();
        auto it = std::find_if(calls.begin(), calls.end(),
                               [&](const std::string& c) { return c.rfind(from, 0) == 0; });
        return {it, calls.end()};
    }

    TempHome home;
    std::string settings = home.Settings();
    ScriptedDriver driver;
    RecordingPrompts prompts;
    CameraTable table{driver, prompts, settings};
};

std::vector<std::uint8_t> Ramp(int w, int h) {
    std::vector<std::uint8_t> p(std::size_t(w) * h);
    for (int y = 0; y < h; ++y) {
        for (int x = 0; x < w; ++x)
            p[std::size_t(y) * w + x] = std::uint8_t(x * 7 + y * 13);
    }
    return p;
}

}  // namespace

TEST(CameraTable, StartsEachCameraWithItsCallsInOrder) {
    Rig rig({1234567});
    rig.table.InitCameras();
    const std::vector<std::string> expected = {
        "CreateContext(0)",
        "CreateContext(1)",
        "CreateContext(2)",
        "CreateContext(3)",
        "ModifyCallback(0,0,1)",
        "EnumerateCameras(4)",
        "Initialize(0,0)",
        "GetCurrentVideoMode(0)",
        "Start(0,5,4)",
        "QueryTrigger(0)",
        "GetTrigger(0)",
        "SetTrigger(0,1,0,7,0,0)",  // on, polarity 0, the source as read, mode 0, parameter 0
        "GetCameraProperty(0,13)",
        "SetCameraProperty(0,13,225,42,0)",  // b as read, auto off
        "SetCameraRegister(0,0x81C,0x8200010F)",
        "SetCameraAbsProperty(0,12,2.2)",
        // ApplySpeedAndBrightness with the defaults: Medium, brightness 1.
        "SetCameraAbsProperty(0,12,2.2)",
        "SetCameraRegister(0,0x1120,0x80010000)",
        "SetCameraRegister(0,0x1110,0x80010001)",
        "GetCameraProperty(0,13)",
        "SetCameraProperty(0,13,235,42,0)",
    };
    EXPECT_EQ(rig.driver.Calls(), expected);
    EXPECT_TRUE(rig.prompts.messages.empty());
    EXPECT_EQ(rig.table.CameraCount(), 1);
    EXPECT_TRUE(rig.table.IsPresent(0));
    EXPECT_TRUE(rig.table.IsConnected(1234567));
    EXPECT_DOUBLE_EQ(rig.table.StrobeInterval(), 0.00145);
    EXPECT_EQ(rig.table.GainValue(), 235);

    rig.driver.ClearCalls();
    rig.table.Shutdown();
    const std::vector<std::string> down = {
        "ModifyCallback(0,0,0)", "Stop(0)",           "DestroyContext(0)",
        "DestroyContext(1)",     "DestroyContext(2)", "DestroyContext(3)",
    };
    EXPECT_EQ(rig.driver.Calls(), down);
    EXPECT_FALSE(rig.table.IsPresent(0));
    EXPECT_FALSE(rig.driver.HasCallback());
}

TEST(CameraTable, FailureRowsOfTheStart) {
    {
        // Callback registration fails: no enumeration, nothing started, no message.
        Rig rig({11});
        rig.driver.failing = {"ModifyCallback"};
        rig.table.InitCameras();
        EXPECT_TRUE(rig.CallsFrom("EnumerateCameras").empty());
        EXPECT_FALSE(rig.table.IsPresent(0));
        EXPECT_TRUE(rig.prompts.messages.empty());
        EXPECT_DOUBLE_EQ(rig.table.StrobeInterval(), 0.0);
    }
    {
        // Enumeration fails: the message, and the speed mode is still applied.
        Rig rig({11});
        rig.driver.failing = {"EnumerateCameras"};
        rig.table.InitCameras();
        ASSERT_EQ(rig.prompts.messages.size(), 1u);
        EXPECT_EQ(rig.prompts.messages[0], kNoCameras);
        EXPECT_EQ(rig.table.CameraCount(), 0);
        EXPECT_DOUBLE_EQ(rig.table.StrobeInterval(), 0.00145);
    }
    for (const char* failing : {"Initialize(0,0)", "GetCurrentVideoMode(0)", "Start(0,5,4)"}) {
        // The first three calls end the start silently; nothing after them is called.
        Rig rig({11, 22});
        rig.driver.failing = {failing};
        rig.table.InitCameras();
        EXPECT_TRUE(rig.prompts.messages.empty()) << failing;
        EXPECT_FALSE(rig.table.IsPresent(0)) << failing;
        EXPECT_TRUE(rig.table.IsPresent(1)) << failing;
        EXPECT_EQ(rig.table.CameraCount(), 2);
        auto calls = rig.driver.Calls();
        EXPECT_EQ(std::count(calls.begin(), calls.end(), "QueryTrigger(0)"), 0) << failing;
        EXPECT_EQ(std::count(calls.begin(), calls.end(), "QueryTrigger(1)"), 1) << failing;
        EXPECT_EQ(rig.table.SlotOfSerial(11), -1);
        EXPECT_EQ(rig.table.SlotOfSerial(22), 1);
        // Serial 0 means slot 0, which is absent.
        EXPECT_EQ(rig.table.SlotOfSerial(0), -1);
    }
    {
        // A camera without a trigger: the warning, absent, and no trigger set.
        Rig rig({11});
        rig.driver.triggerPresent = false;
        rig.table.InitCameras();
        ASSERT_EQ(rig.prompts.messages.size(), 1u);
        EXPECT_EQ(rig.prompts.messages[0], kNoTrigger);
        EXPECT_FALSE(rig.table.IsPresent(0));
        EXPECT_TRUE(rig.CallsFrom("GetTrigger").empty());
        EXPECT_EQ(rig.table.DeviceText(), "Kyvern: ");
        EXPECT_FALSE(rig.table.StopCamera(0));
    }
    {
        // Failures of the trigger, gain and register settings are ignored.
        Rig rig({11});
        rig.driver.failing = {"GetTrigger", "SetTrigger", "SetCameraRegister(0,0x81C,0x8200010F)",
                              "SetCameraAbsProperty"};
        rig.table.InitCameras();
        EXPECT_TRUE(rig.table.IsPresent(0));
        EXPECT_TRUE(rig.table.ApplySpeedAndBrightness());
    }
}

TEST(CameraTable, SpeedModesAndTheirRegisters) {
    Rig rig({11, 22});
    rig.table.InitCameras();
    struct Row {
        const char* setting;
        double interval;
        const char* shutter;
        const char* a;
        const char* b;
    };
    const Row rows[] = {
        {"Fast", 0.00095, "1.4", "0x80010000", "0x80010000"},
        {"Medium", 0.00145, "2.2", "0x80010000", "0x80010001"},
        {"Slow", 0.00195, "2.9", "0x80010001", "0x80010000"},
        {"SuperSlow", 0.00295, "4.4", "0x80010001", "0x80010001"},
        {"superslow", 0.00295, "4.4", "0x80010001", "0x80010001"},
        {"fAST", 0.00095, "1.4", "0x80010000", "0x80010000"},
    };
    for (const Row& row : rows) {
        rig.Set("Camera", "Speed", row.setting);
        rig.driver.ClearCalls();
        ASSERT_TRUE(rig.table.ApplySpeedAndBrightness()) << row.setting;
        EXPECT_DOUBLE_EQ(rig.table.StrobeInterval(), row.interval) << row.setting;
        std::vector<std::string> expected;
        for (int slot = 0; slot < 2; ++slot) {
            const std::string s = std::to_string(slot);
            expected.push_back("SetCameraAbsProperty(" + s + ",12," + row.shutter + ")");
            expected.push_back("SetCameraRegister(" + s + ",0x1120," + row.a + ")");
            expected.push_back("SetCameraRegister(" + s + ",0x1110," + row.b + ")");
            expected.push_back("GetCameraProperty(" + s + ",13)");
            expected.push_back("SetCameraProperty(" + s + ",13,235,42,0)");
        }
        EXPECT_EQ(rig.driver.Calls(), expected) << row.setting;
    }
    // The mode numbers.
    EXPECT_EQ(kyvern::capture::SpeedModeOfName("superslow")->number, 0);
    EXPECT_EQ(kyvern::capture::SpeedModeOfName("Fast")->number, 1);
    EXPECT_EQ(kyvern::capture::SpeedModeOfName("Medium")->number, 2);
    EXPECT_EQ(kyvern::capture::SpeedModeOfName("Slow")->number, 3);
    EXPECT_EQ(kyvern::capture::SpeedModeOfRegisters(0x80010001, 0x80010000)->number, 3);
    EXPECT_EQ(kyvern::capture::SpeedModeOfRegisters(0, 0), nullptr);

    // An unrecognised speed changes nothing: no call, same interval.
    rig.Set("Camera", "Speed", "Ludicrous");
    rig.Set("Camera", "Brightness", "7");
    rig.driver.ClearCalls();
    EXPECT_FALSE(rig.table.ApplySpeedAndBrightness());
    EXPECT_TRUE(rig.driver.Calls().empty());
    EXPECT_DOUBLE_EQ(rig.table.StrobeInterval(), 0.00095);
    EXPECT_EQ(rig.table.GainValue(), 235);

    // SetSpeedMode stops at the first failing register write; the shutter's failure is
    // ignored.
    rig.Set("Camera", "Speed", "Slow");
    rig.driver.failing = {"SetCameraRegister(1,0x1120,0x80010001)", "SetCameraAbsProperty"};
    rig.driver.ClearCalls();
    EXPECT_FALSE(rig.table.ApplySpeedAndBrightness());
    auto calls = rig.driver.Calls();
    EXPECT_EQ(calls.back(), "SetCameraRegister(1,0x1120,0x80010001)");
    EXPECT_EQ(std::count(calls.begin(), calls.end(), "SetCameraRegister(1,0x1110,0x80010000)"), 0);
    EXPECT_FALSE(rig.table.SetSpeedMode(3, 1));
    EXPECT_TRUE(rig.table.SetSpeedMode(3, 0));
    EXPECT_FALSE(rig.table.SetSpeedMode(4, 0));
    EXPECT_FALSE(rig.table.SetSpeedMode(0, 4));
}

TEST(CameraTable, BrightnessLimitsAndGain) {
    Rig rig({11});
    rig.table.InitCameras();
    struct Row {
        const char* setting;
        long gain;
    };
    for (const Row& row : {Row{"15", 325}, Row{"-3", 225}, Row{"0", 225}, Row{"10", 325},
                           Row{"4", 265}, Row{"abc", 235}, Row{"6x", 285}}) {
        rig.Set("Camera", "Brightness", row.setting);
        rig.driver.ClearCalls();
        ASSERT_TRUE(rig.table.ApplySpeedAndBrightness()) << row.setting;
        EXPECT_EQ(rig.table.GainValue(), row.gain) << row.setting;
        EXPECT_EQ(rig.driver.Calls().back(),
                  "SetCameraProperty(0,13," + std::to_string(row.gain) + ",42,0)");
    }
    // SetGain fails when either property call fails, and the apply with it.
    rig.driver.failing = {"GetCameraProperty"};
    EXPECT_FALSE(rig.table.SetGain(300, 0));
    EXPECT_FALSE(rig.table.ApplySpeedAndBrightness());
    rig.driver.failing = {"SetCameraProperty"};
    rig.driver.ClearCalls();
    EXPECT_FALSE(rig.table.SetGain(300, 0));
    EXPECT_EQ(rig.driver.Calls().back(), "SetCameraProperty(0,13,300,42,0)");
    rig.driver.failing.clear();
    EXPECT_TRUE(rig.table.SetGain(300, 0));
}

TEST(CameraTable, ArrivalAndRemovalRestartTheTable) {
    Rig rig({11, 22});
    rig.table.InitCameras();
    EXPECT_EQ(rig.table.SlotOfSerial(22), 1);

    // Camera 11 leaves: the table stops all and enumerates afresh, 22 moves to slot 0, and
    // the speed mode is not applied again.
    rig.driver.cameras = {CameraInfo{22, "Test", "Cam"}};
    rig.driver.ClearCalls();
    rig.driver.Deliver(kyvern::capture::kBusMessageRemoval);
    auto calls = rig.driver.Calls();
    ASSERT_GE(calls.size(), 3u);
    EXPECT_EQ(calls[0], "Stop(0)");
    EXPECT_EQ(calls[1], "Stop(1)");
    EXPECT_EQ(calls[2], "EnumerateCameras(4)");
    EXPECT_EQ(std::count(calls.begin(), calls.end(), "SetCameraRegister(0,0x1120,0x80010000)"), 0);
    EXPECT_EQ(rig.table.CameraCount(), 1);
    EXPECT_EQ(rig.table.SlotOfSerial(22), 0);
    EXPECT_EQ(rig.table.SlotOfSerial(11), -1);
    EXPECT_FALSE(rig.table.IsPresent(1));
    EXPECT_EQ(rig.table.SerialOfSlot(1), kNoSerial);

    // A camera arrives: stop, enumerate, start, and the speed mode and gain applied.
    rig.Set("Camera", "Speed", "Fast");
    rig.driver.cameras = {CameraInfo{33, "Test", "Cam"}, CameraInfo{22, "Test", "Cam"}};
    rig.driver.ClearCalls();
    rig.driver.Deliver(kyvern::capture::kBusMessageArrival);
    calls = rig.driver.Calls();
    EXPECT_EQ(calls[0], "Stop(0)");
    EXPECT_EQ(calls[1], "EnumerateCameras(4)");
    EXPECT_EQ(std::count(calls.begin(), calls.end(), "SetCameraRegister(1,0x1110,0x80010000)"), 1);
    EXPECT_EQ(calls.back(), "SetCameraProperty(1,13,235,42,0)");
    EXPECT_EQ(rig.table.SlotOfSerial(33), 0);
    EXPECT_EQ(rig.table.SlotOfSerial(22), 1);
    EXPECT_DOUBLE_EQ(rig.table.StrobeInterval(), 0.00095);

    // Other messages are ignored.
    rig.driver.ClearCalls();
    rig.driver.Deliver(5);
    rig.driver.Deliver(0);
    EXPECT_TRUE(rig.driver.Calls().empty());
}

TEST(CameraTable, SerialQueries) {
    Rig rig({5000001, 5000002});
    // Before start nothing is present.
    EXPECT_EQ(rig.table.SlotOfSerial(0), -1);
    EXPECT_EQ(rig.table.FrameWidth(0), -1);
    rig.table.InitCameras();
    EXPECT_EQ(rig.table.SlotOfSerial(0), 0);
    EXPECT_EQ(rig.table.SlotOfSerial(5000001), 0);
    EXPECT_EQ(rig.table.SlotOfSerial(5000002), 1);
    EXPECT_EQ(rig.table.SlotOfSerial(5000003), -1);
    EXPECT_EQ(rig.table.SerialOfSlot(0), 5000001u);
    EXPECT_EQ(rig.table.SerialOfSlot(1), 5000002u);
    EXPECT_EQ(rig.table.SerialOfSlot(2), kNoSerial);
    EXPECT_EQ(rig.table.SerialOfSlot(7), kNoSerial);
    EXPECT_TRUE(rig.table.IsConnected(5000002));
    EXPECT_FALSE(rig.table.IsConnected(5000003));
    EXPECT_FALSE(rig.table.HasNewFrame(5000003));
    EXPECT_FALSE(rig.table.HasNewFrame(5000001));
    EXPECT_EQ(rig.table.FrameWidth(5000003), -1);
    EXPECT_EQ(rig.table.FrameHeight(5000003), -1);
    EXPECT_EQ(rig.table.FrameWidth(5000001), 0);  // no frame yet
    EXPECT_EQ(rig.table.DeviceText(), "Kyvern: 5000001, 5000002");
    EXPECT_STREQ(CameraTable::Version(), "Kyvern v3.0.1");

    // With slot 0 stopped, no separator stands before the first serial.
    EXPECT_TRUE(rig.table.StopCamera(0));
    EXPECT_FALSE(rig.table.StopCamera(0));
    EXPECT_EQ(rig.table.DeviceText(), "Kyvern: 5000002");
    EXPECT_EQ(rig.table.SlotOfSerial(0), -1);
    EXPECT_FALSE(rig.table.IsConnected(5000001));
}

TEST(CameraTable, FetchMirrorsForEachHand) {
    // The 2 x 1 frame p, q: left-handed stays p, q; right-handed turns to q, p.
    const std::uint8_t pq[2] = {'p', 'q'};
    std::uint8_t out[2] = {};
    CameraTable::MirrorFrame(pq, out, 2, 1, true);
    EXPECT_EQ(std::string(out, out + 2), "pq");
    CameraTable::MirrorFrame(pq, out, 2, 1, false);
    EXPECT_EQ(std::string(out, out + 2), "qp");
    // A 2 x 2 frame a b / c d: left-handed c d / a b; right-handed d c / b a.
    const std::uint8_t abcd[4] = {'a', 'b', 'c', 'd'};
    std::uint8_t four[4] = {};
    CameraTable::MirrorFrame(abcd, four, 2, 2, true);
    EXPECT_EQ(std::string(four, four + 4), "cdab");
    CameraTable::MirrorFrame(abcd, four, 2, 2, false);
    EXPECT_EQ(std::string(four, four + 4), "dcba");

    // Through the grab thread: a 640 x 480 frame is parked and fetched once per hand.
    Rig rig({77});
    rig.table.InitCameras();
    // The grab thread is waiting for its first frame before the count is taken, so that the
    // count plus one means "parked".
    rig.driver.WaitForGrabCalls(0, 1);
    const auto ramp = Ramp(640, 480);
    auto frame = std::make_unique<CapturedImage>();
    const std::uint8_t* destination = frame->Pixels();
    for (bool left : {false, true}) {
        rig.Set("Setup", "Handed", left ? "LEFT-handed" : "Right-handed");
        const int calls = rig.driver.GrabCalls(0);
        rig.driver.Queue(0, {kyvern::capture::kVideoMode640x480, 480, 640, ramp});
        rig.driver.WaitForGrabCalls(0, calls + 1);
        EXPECT_TRUE(rig.table.HasNewFrame(77));
        EXPECT_EQ(rig.table.FrameCount(0), 1);
        EXPECT_EQ(rig.table.FrameWidth(77), 640);
        EXPECT_EQ(rig.table.FrameHeight(0), 480);
        ASSERT_TRUE(rig.table.TakeFrame(77, *frame));
        EXPECT_FALSE(rig.table.HasNewFrame(77));
        EXPECT_EQ(rig.table.FrameCount(0), 0);
        EXPECT_FALSE(rig.table.TakeFrame(77, *frame));
        int wrong = 0;
        for (int y = 0; y < 480; ++y) {
            for (int x = 0; x < 640; ++x) {
                const int sx = left ? x : 639 - x;
                if (destination[y * 640 + x] != ramp[(479 - y) * 640 + sx]) ++wrong;
            }
        }
        EXPECT_EQ(wrong, 0) << (left ? "left" : "right");
    }
    EXPECT_FALSE(rig.table.TakeFrame(78, *frame));
}

TEST(CameraTable, GrabConvertsOnlyTheKnownModes) {
    Rig rig({77});
    rig.driver.colorMethod = 1;
    rig.table.InitCameras();
    // Two 1024 x 768 frames before a fetch: the newer one is kept, both are counted, and the
    // colour processing asks for the white balance.
    std::vector<std::uint8_t> first(1024 * 768, 10);
    std::vector<std::uint8_t> second(1024 * 768, 20);
    rig.driver.Queue(0, {kyvern::capture::kVideoMode1024x768, 768, 1024, first});
    rig.driver.Queue(0, {kyvern::capture::kVideoMode1024x768, 768, 1024, second});
    rig.driver.WaitForGrabCalls(0, 3);
    EXPECT_EQ(rig.table.FrameCount(0), 2);
    EXPECT_EQ(rig.table.FrameWidth(77), 1024);
    EXPECT_EQ(rig.table.FrameHeight(77), 768);
    EXPECT_EQ(rig.driver.WhiteBalanced(), (std::vector<std::string>{"0:768x1024", "0:768x1024"}));
    auto frame = std::make_unique<CapturedImage>();
    ASSERT_TRUE(rig.table.TakeFrame(0, *frame));
    EXPECT_EQ(frame->Pixels()[0], 20);
    EXPECT_EQ(frame->Pixels()[1024 * 768 - 1], 20);
    EXPECT_EQ(rig.table.FrameCount(0), 1);
    // A frame whose size disagrees with its mode is dropped.
    rig.driver.Queue(0, {kyvern::capture::kVideoMode1024x768, 480, 640, first});
    rig.driver.WaitForGrabCalls(0, 4);
    EXPECT_FALSE(rig.table.HasNewFrame(77));
    // Stopping frees the frame: nothing waits after a restart.
    rig.driver.Queue(0, {kyvern::capture::kVideoMode1024x768, 768, 1024, first});
    rig.driver.WaitForGrabCalls(0, 5);
    EXPECT_TRUE(rig.table.HasNewFrame(77));
    EXPECT_TRUE(rig.table.StopCamera(0));
    EXPECT_TRUE(rig.table.StartCamera(0));
    EXPECT_FALSE(rig.table.HasNewFrame(77));
    EXPECT_EQ(rig.table.FrameCount(0), 0);
}

// A frame of a mode the table cannot convert must not raise the flag: the frame handed over
// after it would be the previous shot's again.
TEST(CameraTable, UnknownModeHandsOverNoStaleFrame) {
    Rig rig({77});
    rig.table.InitCameras();
    auto frame = std::make_unique<CapturedImage>();
    rig.driver.Queue(0, {kyvern::capture::kVideoMode640x480, 480, 640, Ramp(640, 480)});
    rig.driver.WaitForGrabCalls(0, 2);
    ASSERT_TRUE(rig.table.TakeFrame(77, *frame));
    // The whole frame in one hand-over: size and flash instants with the pixels.
    EXPECT_EQ(frame->width, 640);
    EXPECT_EQ(frame->height, 480);
    EXPECT_DOUBLE_EQ(frame->t2 - frame->t1, rig.table.StrobeInterval());

    rig.driver.Queue(0, {3, 2, 2, {1, 2, 3, 4}});
    rig.driver.WaitForGrabCalls(0, 3);
    EXPECT_FALSE(rig.table.HasNewFrame(77));
    EXPECT_FALSE(rig.table.TakeFrame(77, *frame));
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
    int fetched[2] = {0, 0};
    int torn = 0;
    int lastValue[2] = {-1, -1};
    const std::uint32_t serials[2] = {101, 202};
    auto fetchOnce = [&](int i) {
        if (!rig.table.HasNewFrame(serials[i])) return;
        if (!rig.table.TakeFrame(serials[i], *frame)) return;
        ++fetched[i];
        const std::uint8_t v = destination[0];
        for (int k = 0; k < 640 * 480; ++k) {
            if (destination[k] != v) {
                ++torn;
                break;
            }
        }
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
    EXPECT_GT(fetched[0], 0);
    EXPECT_GT(fetched[1], 0);
    EXPECT_EQ(lastValue[0], kFrames % 256);
    EXPECT_EQ(lastValue[1], kFrames % 256);
    // Frames converted minus frames fetched.
    EXPECT_EQ(rig.table.FrameCount(0), kFrames - fetched[0]);
    EXPECT_EQ(rig.table.FrameCount(1), kFrames - fetched[1]);
    rig.table.Shutdown();
}
