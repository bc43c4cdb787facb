// The commands that show what the program sees: cameras, settings and saved frames.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "cli_runner.h"
#include "support/bitmap_bytes.h"

using namespace kyvern::testing;

TEST(CamerasCli, ListsTheSimulatedCameras) {
    TempHome home;
    home.Set("Simulator", "Cameras", "2");
    auto r = RunCli({"cameras", "--simulate", "--json"}, home.Path());
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.out.rfind("[{\"serial\": 9100001, \"slot\": 0, \"size\": \"1024x768\"", 0), 0u)
        << r.out;
    EXPECT_TRUE(Contains(r.out, "}, {\"serial\": 9100002, \"slot\": 1, "));
    EXPECT_TRUE(r.err.empty()) << r.err;
    // Their calibration entries were written for the shot cycle to read.
    EXPECT_EQ(home.Get("Camera", "9100001"), "Sim 1,0.000,0.000,0.000,0.0,0.0,0.0,");

    // Chosen by the settings, in the 640 x 480 mode, the slowest speed and the brightest gain.
    home.Set("Camera", "Driver", "simulated");
    home.Set("Camera", "Speed", "superslow");
    home.Set("Camera", "Brightness", "15");
    home.Set("Simulator", "Resolution", "640x480");
    home.Set("Simulator", "Cameras", "1");
    r = RunCli({"cameras"}, home.Path());
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.out,
              "Simulated cameras: 1\n"
              "  slot 0: serial 9100001, 640 x 480, speed SuperSlow, gain 325\n");

    // None: said, and the command still succeeds.
    home.Set("Simulator", "Cameras", "0");
    r = RunCli({"cameras", "--driver", "Simulated", "--json"}, home.Path());
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.out, "[]\n");
    EXPECT_TRUE(Contains(r.err, "No Kyverns were detected\n\nCheck IEEE1394 interface")) << r.err;
}

TEST(SettingsCli, ShowsTheBallAndWeatherInForce) {
    TempHome home;
    ASSERT_TRUE(home.Set("Setup", "Ball", "cork SOFTBALL"));
    ASSERT_TRUE(home.Set("Setup", "Handed", "left-handed"));
    ASSERT_TRUE(home.Set("Setup", "SpeedDisplay", "kph"));
    ASSERT_TRUE(home.Set("Weather", "Altitude", "5000"));
    ASSERT_TRUE(home.Set("Weather", "WindDir", "450"));
    auto text = RunCli({"settings"}, home.Path());
    ASSERT_EQ(text.exitCode, 0) << text.err;
    for (const char* part : {"Left-handed; speeds in km/h", "\"cork SOFTBALL\": type 6, Softball",
                             "0.0 mph from 90 deg", "density 0.00192746 slug/ft3"})
        EXPECT_TRUE(Contains(text.out, part)) << part << "\n" << text.out;
}

namespace {

std::string G17(double v) {
    char buf[40];
    for (int precision = 15; precision <= 17; ++precision) {
        std::snprintf(buf, sizeof buf, "%.*g", precision, v);
        if (std::strtod(buf, nullptr) == v) break;
    }
    return buf;
}

}  // namespace

TEST(FramesCli, ListsEveryCaptureHeaderFieldAndRefusesBadFiles) {
    TempHome home;
    // Two 640 x 480 frames, the second with fewer fields.
    const std::string file = home.File("shot.bmp");
    Bytes b = MakeBitmap(640, 960, 8, 1078, 2 * 640 * 480);
    WriteHeaderInBlock(b, 1078,
                       "Date: Sun Dec  6 20:14:29 2026\n   SerialNumber: 42   CamPosition: "
                       "1.000000,2.500000,-3.000000   CamRotation: 90.000000,0.000000,0.000000   "
                       "ClubMass: 250.0   ClubLoft: 12.0   Strobe: 0.000800   T1: 0.001000   "
                       "T2: 0.001800   ");
    WriteHeaderInBlock(b, 1078 + 640 * 480,
                       "SerialNumber: 43   CamRotation: 30,0,0   Strobe: 0.0005   ClubMass: 250.0"
                       "   ClubLoft: 12.0 ");
    WriteBytes(file, b);

    auto json = RunCli({"frames", file, "--json"}, home.Path());
    ASSERT_EQ(json.exitCode, 0) << json.err;
    std::string expected = "{\"file\": \"" + file +
                           "\", \"clubMass\": 250, \"clubLoft\": 12, \"date\": \"\", \"frames\": ["
                           "{\"slot\": 0, \"width\": 640, \"height\": 480, \"serialNumber\": 42, "
                           "\"cameraPosition\": [1, 2.5, -3], \"cameraRotation\": [" +
                           G17(90 * 0.017453292519943278) +
                           ", 0, 0], \"t1\": 0.001, \"t2\": 0.0018}, "
                           "{\"slot\": 1, \"width\": 640, \"height\": 480, \"serialNumber\": 43, "
                           "\"cameraPosition\": [0, 0, 0], \"cameraRotation\": [" +
                           G17(30 * 0.017453292519943278) +
                           ", 0, 0], \"t1\": 0.001, \"t2\": " + G17(0.001 + 0.0005) + "}]}\n";
    // The file object holds the last header read: frame 1 has no date.
    EXPECT_EQ(json.out, expected);

    // Loading made the file's club the current club.
    EXPECT_EQ(home.Get("Setup", "ClubMass"), "250.0");

    // A bad file: the system's message, status 1.
    WriteFileText(home.File("garbage.bmp"), "this is not a bitmap at all, not even close.......");
    auto r = RunCli({"frames", home.File("garbage.bmp"), "--json"}, home.Path());
    EXPECT_EQ(std::to_string(r.exitCode) + " " + r.err + r.out, "1 Image load failed\n");
}
