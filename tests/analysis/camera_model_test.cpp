#include "analysis/camera_model.h"

#include <gtest/gtest.h>

#include <cmath>

#include "base/config_store.h"
#include "base/math_constants.h"
#include "support/temp_dir.h"

using namespace kyvern::analysis;
using kyvern::base::ConfigStore;
using kyvern::testing::TempDir;

TEST(CameraModel, LocateBySimilarTriangles) {
    EXPECT_EQ(PixelPitch(1024), 0.00018307086614193);
    EXPECT_EQ(PixelPitch(640), 0.00029133858267748003);
    EXPECT_EQ(PixelPitch(1023), 0.00029133858267748003);

    // A 1.685 in ball imaged 130 pixels wide at the centre of a 1024 x 768 frame.
    Xyz centred = Locate(512, 384, 130, 1.685, 1024, 768);
    EXPECT_EQ(centred.x, 0.0);
    EXPECT_EQ(centred.y, 0.0);
    double k = 1.685 / (0.00018307086614193 * 130);
    EXPECT_DOUBLE_EQ(centred.z, -k * 0.3346456692913386);
    EXPECT_NEAR(centred.z, -23.7, 0.05);

    // Right of and below the centre: x positive, y negative (y is up), same depth.
    Xyz off = Locate(612, 484, 130, 1.685, 1024, 768);
    EXPECT_DOUBLE_EQ(off.x, k * 100 * 0.00018307086614193);
    EXPECT_DOUBLE_EQ(off.y, -k * 100 * 0.00018307086614193);
    EXPECT_DOUBLE_EQ(off.z, centred.z);
    // The angular form gives the same point.
    double u = 100 * 0.00018307086614193, v = 100 * 0.00018307086614193, f = kFocalLength;
    double e = std::atan(v / std::sqrt(f * f + u * u)), a = std::atan(u / f);
    double range = k * std::sqrt(u * u + v * v + f * f);
    EXPECT_NEAR(off.x, range * std::sin(a) * std::cos(e), 1e-12);
    EXPECT_NEAR(off.y, -range * std::sin(e), 1e-12);
    EXPECT_NEAR(off.z, -range * std::cos(a) * std::cos(e), 1e-12);

    // A 640-wide frame uses the 7.4 um pitch; half sizes are real numbers.
    Xyz small = Locate(320.5, 240, 100, 1.685, 641, 480);
    EXPECT_DOUBLE_EQ(small.x, 0.0);
    EXPECT_DOUBLE_EQ(small.z, -1.685 / (0.00029133858267748003 * 100) * kFocalLength);
}

TEST(CameraModel, CalibrationFromTheSettings) {
    TempDir dir;
    std::string ini = dir.File("Kyvern.ini");
    ASSERT_TRUE(ConfigStore::WriteSetting(ini, "Camera", "7001", "Cam A,10,20,30,0,90,0,"));
    ASSERT_TRUE(ConfigStore::WriteSetting(ini, "Camera", "7002", "Side cam"));
    ASSERT_TRUE(ConfigStore::WriteSetting(ini, "Camera", "7003", "Tilted,1.5,-2,"));

    CameraPose pose = ReadCameraPose(7001, ini);
    EXPECT_EQ(pose.name, "Cam A");
    EXPECT_EQ(pose.position, Xyz(10, 20, 30));
    EXPECT_EQ(pose.rotation.x, 0.0);
    EXPECT_DOUBLE_EQ(pose.rotation.y, 90 * 0.017453292519943278);
    EXPECT_NEAR(pose.rotation.y, M_PI / 2, 1e-12);
    EXPECT_EQ(ReadCameraName(7001, ini), "Cam A");
    EXPECT_EQ(ReadCameraPosition(7001, ini), Xyz(10, 20, 30));
    EXPECT_EQ(ReadCameraRotation(7001, ini), pose.rotation);

    // A value without numbers: the name is the whole value, the pose zero.
    EXPECT_EQ(ReadCameraName(7002, ini), "Side cam");
    EXPECT_EQ(ReadCameraPosition(7002, ini), Xyz());
    // Numbers the parse does not reach stay 0.
    EXPECT_EQ(ReadCameraPosition(7003, ini), Xyz(1.5, -2, 0));
    EXPECT_EQ(ReadCameraRotation(7003, ini), Xyz());
    // No entry: named by its serial number, zero pose.
    EXPECT_EQ(ReadCameraName(4242, ini), "4242");
    EXPECT_EQ(ReadCameraPosition(4242, ini), Xyz());
    // The 50-character buffer cuts a long value: the last numbers are lost, not misread.
    std::string longName(40, 'N');
    ASSERT_TRUE(ConfigStore::WriteSetting(ini, "Camera", "7004", longName + ",1,2,3,4,5,6,"));
    CameraPose cut = ReadCameraPose(7004, ini);  // reads longName + ",1,2,3,4,"
    EXPECT_EQ(cut.name, longName);
    EXPECT_EQ(cut.position, Xyz(1, 2, 3));
    EXPECT_EQ(cut.rotation, Xyz(4 * kyvern::base::kDegreesToRadians, 0, 0));
}

TEST(CameraModel, HandednessIsLeftOnlyForTheWholeWord) {
    TempDir dir;
    std::string ini = dir.File("Kyvern.ini");
    EXPECT_FALSE(IsLeftHanded(ini));
    for (const char* left : {"Left-handed", "LEFT-HANDED", "left-Handed"}) {
        ASSERT_TRUE(ConfigStore::WriteSetting(ini, "Setup", "Handed", left));
        EXPECT_TRUE(IsLeftHanded(ini)) << left;
    }
    for (const char* other : {"Left", "Right-handed", "Left-handed please", ""}) {
        ASSERT_TRUE(ConfigStore::WriteSetting(ini, "Setup", "Handed", other));
        EXPECT_FALSE(IsLeftHanded(ini)) << other;
    }
}
