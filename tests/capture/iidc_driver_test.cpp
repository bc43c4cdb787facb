#ifdef KYVERN_HAVE_IIDC

#include "capture/iidc/iidc_driver.h"

#include <dc1394/dc1394.h>
#include <gtest/gtest.h>

#include "capture/camera_table.h"
#include "support/recording_prompts.h"
#include "support/temp_dir.h"

using namespace kyvern::capture;

TEST(IidcDriver, MapsTheTableTermsOntoIidc) {
    // The two grey modes the table knows go and come back; any other mode is none.
    for (int mode : {kVideoMode640x480, kVideoMode1024x768})
        EXPECT_EQ(iidc::VideoModeOf(iidc::Dc1394ModeOf(mode)), mode);
    EXPECT_EQ(iidc::VideoModeOf(DC1394_VIDEO_MODE_640x480_YUV422), 0);
    EXPECT_EQ(iidc::Dc1394ModeOf(3), 0);
    // Sources and polarities go and come back; a source out of range falls back to the first,
    // and polarity 0, as the table sets it, is active low.
    for (int s = 0; s < 4; ++s)
        EXPECT_EQ(iidc::SourceIndexOf(iidc::Dc1394SourceOf(s)), s);
    EXPECT_EQ(iidc::Dc1394SourceOf(99), DC1394_TRIGGER_SOURCE_0);
    EXPECT_EQ(iidc::Dc1394SourceOf(-1), DC1394_TRIGGER_SOURCE_0);
    EXPECT_EQ(iidc::Dc1394PolarityOf(0), DC1394_TRIGGER_ACTIVE_LOW);
    EXPECT_EQ(iidc::PolarityOf(iidc::Dc1394PolarityOf(1)), 1);
    // Gains within a feature's bounds.
    EXPECT_EQ(iidc::ClampFeature(325, 0, 300), 300u);
    EXPECT_EQ(iidc::ClampFeature(-5, 0, 10), 0u);
}

// Without IEEE 1394 cameras the driver finds none: the table says so and runs on.
TEST(IidcDriver, AnEmptyBusIsReportedAndTheTableRunsOn) {
    kyvern::testing::TempDir home;
    kyvern::testing::RecordingPrompts prompts;
    IidcDriver driver(std::chrono::milliseconds(50));
    {
        CameraTable table(driver, prompts, home.File("Kyvern.ini"));
        table.InitCameras();
        EXPECT_EQ(table.CameraCount(), 0);
        EXPECT_FALSE(table.IsPresent(0));
        EXPECT_EQ(table.DeviceText(), "Kyvern: ");
        EXPECT_EQ(prompts.messages.size(), driver.Available() ? 1u : prompts.messages.size());
        // Every slot operation of an absent camera fails without touching the library.
        long a = 0, b = 0;
        bool autoMode = false;
        GrabbedImage image;
        EXPECT_FALSE(driver.Initialize(0, 0));
        EXPECT_FALSE(driver.GetCameraProperty(0, kPropertyGain, a, b, autoMode));
        EXPECT_FALSE(driver.SetCameraRegister(0, kRegisterStrobeA, 0x80010000));
        EXPECT_FALSE(driver.GrabImage(0, image));
        EXPECT_FALSE(driver.Start(0, kVideoMode1024x768, 0));
        table.Shutdown();
    }
}

#endif  // KYVERN_HAVE_IIDC
