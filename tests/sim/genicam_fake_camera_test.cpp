#ifdef KYVERN_HAVE_GENICAM

#include <arv.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <iterator>
#include <memory>
#include <mutex>

#include "base/config_store.h"
#include "capture/camera_table.h"
#include "capture/genicam/genicam_driver.h"
#include "sim/shot_generator.h"
#include "support/eventually.h"
#include "support/recording_prompts.h"
#include "support/temp_home.h"

using kyvern::base::ConfigStore;
using kyvern::capture::CameraTable;
using kyvern::capture::GenicamDriver;
using kyvern::capture::GenicamOptions;
using kyvern::frame::CapturedImage;

namespace {

// What the fake camera's buffers are filled with, and what it was set to when it filled them.
struct FillState {
    std::mutex mutex;
    const CapturedImage* frame = nullptr;
    int fills = 0;
    guint32 exposureUs = 0;
    guint32 gain = 0;
};

void FillWithFrame(ArvBuffer* buffer, void* data, guint32 exposureUs, guint32 gain,
                   ArvPixelFormat format) {
    auto* state = static_cast<FillState*>(data);
    std::lock_guard lock(state->mutex);
    ++state->fills;
    state->exposureUs = exposureUs;
    state->gain = gain;
    const int w = arv_buffer_get_image_width(buffer);
    const int h = arv_buffer_get_image_height(buffer);
    size_t size = 0;
    auto* pixels =
        static_cast<std::uint8_t*>(const_cast<void*>(arv_buffer_get_data(buffer, &size)));
    if (!pixels || format != ARV_PIXEL_FORMAT_MONO_8 || !state->frame) return;
    if (w != state->frame->width || h != state->frame->height) return;
    std::memcpy(pixels, state->frame->Pixels(), std::size_t(w) * std::size_t(h));
}

bool AwaitFrame(const CameraTable& table, std::uint32_t serial) {
    return kyvern::testing::Eventually([&] { return table.HasNewFrame(serial); });
}

}  // namespace

// The GenICam back-end against Aravis's own fake camera, in-process: the camera is found,
// set to Mono8 1024 x 768, an external line trigger, the exposure of the speed mode and the
// gain of the brightness, and its buffers, filled with a rendered shot, arrive whole in the
// table, turned for the player's hand.
TEST(GenicamFakeCamera, DeliversRenderedFramesThroughAravis) {
    // The shot, rendered before the camera starts. The fill state outlives the driver: the
    // fake camera's stream thread fills buffers until the driver lets the camera go.
    auto frame = std::make_unique<CapturedImage>();
    kyvern::sim::FrameRenderer renderer;
    const auto setup = kyvern::sim::ShotGenerator::SetupFor(kyvern::sim::ShotGenerator::MeanShot(0),
                                                            0.00095, 1024, kyvern::sim::ViewPose{});
    ASSERT_TRUE(renderer.Render(setup, *frame));
    FillState state;
    state.frame = frame.get();
    kyvern::testing::TempHome home;
    const std::string settings = home.Settings();
    ConfigStore::WriteSetting(settings, "Camera", "Speed", "Fast");
    ConfigStore::WriteSetting(settings, "Camera", "Brightness", "4");
    kyvern::testing::RecordingPrompts prompts;
    GenicamOptions options;
    options.fakeInterface = true;
    options.pollPeriod = std::chrono::milliseconds(50);
    GenicamDriver driver(options);
    CameraTable table(driver, prompts, settings);
    table.SetGrabPause(std::chrono::microseconds(0));

    table.InitCameras();
    ASSERT_TRUE(prompts.messages.empty()) << prompts.messages[0];
    ASSERT_GE(table.CameraCount(), 1);
    ASSERT_TRUE(table.IsPresent(0));
    const std::uint32_t serial = table.SerialOfSlot(0);
    EXPECT_EQ(table.InfoOfSlot(0).vendor, "Aravis");

    ArvCamera* camera = driver.CameraOf(0);
    ASSERT_NE(camera, nullptr);
    // From the camera, not Aravis's global device list, which the bus poller rebuilds meanwhile.
    EXPECT_EQ(serial,
              GenicamDriver::SerialNumberOf(arv_camera_get_device_serial_number(camera, nullptr)));
    ArvFakeCamera* fake =
        arv_fake_device_get_fake_camera(ARV_FAKE_DEVICE(arv_camera_get_device(camera)));
    arv_fake_camera_set_fill_pattern(fake, FillWithFrame, &state);

    GError* error = nullptr;
    gint x = 0, y = 0, w = 0, h = 0;
    arv_camera_get_region(camera, &x, &y, &w, &h, &error);
    EXPECT_EQ(w, 1024);
    EXPECT_EQ(h, 768);
    EXPECT_EQ(arv_camera_get_pixel_format(camera, &error), ARV_PIXEL_FORMAT_MONO_8);
    EXPECT_STREQ(arv_camera_get_string(camera, "TriggerMode", &error), "On");
    EXPECT_STREQ(arv_camera_get_trigger_source(camera, &error), "Line0");
    // Fast: 1.4 ms; brightness 4: gain value 265, 4 dB.
    EXPECT_DOUBLE_EQ(arv_camera_get_exposure_time(camera, &error), 1400.0);
    EXPECT_DOUBLE_EQ(arv_camera_get_gain(camera, &error), 4.0);
    EXPECT_EQ(error, nullptr);
    EXPECT_DOUBLE_EQ(table.StrobeInterval(), 0.00095);

    // Frames filled before the pattern was set carry the fake's own ramp: wait for ours.
    // Turned half a turn, the frame's pixels run backwards.
    auto taken = std::make_unique<kyvern::frame::CapturedImage>();
    const std::size_t pixels = 1024 * 768;
    const std::reverse_iterator<const std::uint8_t*> turned(frame->Pixels() + pixels);
    bool ours = false;
    for (int attempt = 0; attempt < 50 && !ours; ++attempt) {
        ASSERT_TRUE(AwaitFrame(table, serial));
        ASSERT_TRUE(table.TakeFrame(serial, *taken));
        ours = std::equal(taken->Pixels(), taken->Pixels() + pixels, turned);
    }
    EXPECT_TRUE(ours);
    EXPECT_EQ(taken->width, 1024);
    EXPECT_EQ(taken->height, 768);
    {
        std::lock_guard lock(state.mutex);
        EXPECT_GT(state.fills, 0);
        EXPECT_EQ(state.exposureUs, 1400u);
    }

    // A new speed and brightness reach the camera at once.
    ConfigStore::WriteSetting(settings, "Camera", "Speed", "SuperSlow");
    ConfigStore::WriteSetting(settings, "Camera", "Brightness", "15");
    ASSERT_TRUE(table.ApplySpeedAndBrightness());
    EXPECT_DOUBLE_EQ(arv_camera_get_exposure_time(camera, &error), 4400.0);
    EXPECT_DOUBLE_EQ(arv_camera_get_gain(camera, &error), 10.0);

    // The fake interface disappears: the poll reports a removal and the table empties.
    arv_disable_interface("Fake");
    EXPECT_TRUE(kyvern::testing::Eventually([&] { return !table.IsPresent(0); }));
    EXPECT_EQ(table.CameraCount(), 0);
    table.Shutdown();
    arv_enable_interface("Fake");
}

TEST(GenicamFakeCamera, SerialNumbersOfAnyText) {
    EXPECT_EQ(GenicamDriver::SerialNumberOf("1"), 1u);
    EXPECT_EQ(GenicamDriver::SerialNumberOf("SN-0012345"), 12345u);
    EXPECT_EQ(GenicamDriver::SerialNumberOf("ABC"), GenicamDriver::SerialNumberOf("ABC"));
    EXPECT_NE(GenicamDriver::SerialNumberOf("ABC"), GenicamDriver::SerialNumberOf("ABD"));
    EXPECT_LE(GenicamDriver::SerialNumberOf("ABC"), 0x7FFFFFFFu);
}

#endif  // KYVERN_HAVE_GENICAM
