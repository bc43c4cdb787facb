#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

#include "base/config_store.h"
#include "cli_runner.h"
#include "support/bitmap_bytes.h"

using kyvern::testing::Bytes;
using kyvern::testing::MakeBitmap;
using kyvern::testing::RunCli;
using kyvern::testing::TempDir;
using kyvern::testing::TempHome;
using kyvern::testing::WriteBytes;
using kyvern::testing::WriteHeaderInBlock;

namespace {

std::string G17(double v) {
    char buf[40];
    for (int precision = 15; precision <= 17; ++precision) {
        std::snprintf(buf, sizeof buf, "%.*g", precision, v);
        if (std::strtod(buf, nullptr) == v) break;
    }
    return buf;
}

// A two-frame 640 x 960 file with the given header texts.
void WriteTwoFrameFile(const std::string& path, const std::string& header0,
                       const std::string& header1) {
    Bytes b = MakeBitmap(640, 960, 8, 1078, 2 * 640 * 480);
    WriteHeaderInBlock(b, 1078, header0);
    WriteHeaderInBlock(b, 1078 + 640 * 480, header1);
    WriteBytes(path, b);
}

}  // namespace

TEST(FramesCli, ListsEveryCaptureHeaderFieldAsTextAndJson) {
    TempHome home;
    std::string file = home.File("shot.bmp");
    WriteTwoFrameFile(file,
                      "Date: Sun Dec  6 20:14:29 2026\n   SerialNumber: 42   CamPosition: "
                      "1.000000,2.500000,-3.000000   CamRotation: 90.000000,0.000000,0.000000   "
                      "ClubMass: 250.0   ClubLoft: 12.0   Strobe: 0.000800   T1: 0.001000   "
                      "T2: 0.001800   ",
                      "SerialNumber: 43   CamRotation: 30,0,0   Strobe: 0.0005   ClubMass: 250.0"
                      "   ClubLoft: 12.0 ");

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

    auto text = RunCli({"frames", file}, home.Path());
    ASSERT_EQ(text.exitCode, 0) << text.err;
    EXPECT_NE(text.out.find("frame 0: 640 x 480, serial number 42"), std::string::npos);
    EXPECT_NE(text.out.find("position 1.000, 2.500, -3.000 in; rotation 90.000, 0.000, 0.000 deg"),
              std::string::npos);
    EXPECT_NE(text.out.find("T1 0.001000 s, T2 0.001500 s, strobe interval 0.000500 s"),
              std::string::npos);
    EXPECT_NE(text.out.find("club mass 250.0 g, club loft 12.0 deg"), std::string::npos);
    // Loading made the file's club the current club.
    EXPECT_EQ(kyvern::base::ConfigStore::ReadSetting(home.File("Kyvern.ini"), "Setup", "ClubMass",
                                                     "", 20),
              "250.0");
}

TEST(FramesCli, BadFilesPrintTheSystemMessageAndExit1) {
    TempHome home;
    auto missing = RunCli({"frames", home.File("none.bmp")}, home.Path());
    EXPECT_EQ(missing.exitCode, 1);
    EXPECT_EQ(missing.err, "Couldn't open image file\n");
    EXPECT_EQ(missing.out, "");

    std::ofstream(home.File("garbage.bmp")) << "this is not a bitmap at all, not even close.......";
    auto garbage = RunCli({"frames", home.File("garbage.bmp"), "--json"}, home.Path());
    EXPECT_EQ(garbage.exitCode, 1);
    EXPECT_EQ(garbage.err, "Image load failed\n");
    EXPECT_EQ(garbage.out, "");

    auto usage = RunCli({"frames"}, home.Path());
    EXPECT_EQ(usage.exitCode, 2);
    EXPECT_NE(usage.err.find("usage: kyvern-cli frames"), std::string::npos);
    auto unknown = RunCli({"no-such-command"}, home.Path());
    EXPECT_EQ(unknown.exitCode, 2);
}
