#include <gtest/gtest.h>

#include <string>
#include <utility>

#include "base/config_store.h"
#include "base/math_constants.h"
#include "frame/camera_model.h"
#include "frame/xyz.h"
#include "support/temp_dir.h"

using namespace kyvern::frame;
using kyvern::base::ConfigStore;

TEST(Xyz, NormalizeFloorsTinyComponentsAndPowerHandlesTheLowestExponent) {
    Xyz tiny(0.00005, 0, 0);
    EXPECT_EQ(tiny.Normalize(), Xyz(0, 0, 0));
    Xyz nearlyX(1, 0.00001, 0);
    nearlyX.Normalize();
    EXPECT_NEAR(nearlyX.x, 1.0, 1e-9);
    EXPECT_EQ(nearlyX.y, 0.0);  // floored exactly
    EXPECT_DOUBLE_EQ(IntegerPower(2.0, -2), 0.25);
    EXPECT_DOUBLE_EQ(IntegerPower(-1.5, 3), -3.375);
    EXPECT_EQ(IntegerPower(1.0, -2147483647 - 1), 1.0);  // negating it would overflow
}

// Rendered shots pin Locate at both sensor widths; an odd size keeps its half pixel.
TEST(CameraModel, HalfSizesAreRealNumbers) {
    EXPECT_DOUBLE_EQ(Locate(320.5, 240, 100, 1.685, 641, 480).x, 0.0);
}

TEST(CameraModel, CalibrationAndHandednessFromTheSettings) {
    kyvern::testing::TempDir dir;
    const std::string ini = dir.File("Kyvern.ini");
    const struct {
        long serial;
        const char* value;  // nullptr: no entry
        const char* name;
        Xyz position;
        Xyz rotationDegrees;
    } rows[] = {
        {7001, "Cam A,10,20,30,0,90,0,", "Cam A", {10, 20, 30}, {0, 90, 0}},
        {7002, "Side cam", "Side cam", {}, {}},                // no numbers: the name is all
        {7003, "Tilted,1.5,-2,", "Tilted", {1.5, -2, 0}, {}},  // numbers not reached stay 0
        {4242, nullptr, "4242", {}, {}},                       // no entry: named by its serial
        // The 50-character reader cuts a long value: the last numbers are lost, not misread.
        {7004,
         "NNNNNNNNNNNNNNNNNNNNNNNNNNNNNNNNNNNNNNNN,1,2,3,4,5,6,",
         "NNNNNNNNNNNNNNNNNNNNNNNNNNNNNNNNNNNNNNNN",
         {1, 2, 3},
         {4, 0, 0}},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.serial);
        const std::string key = std::to_string(row.serial);
        if (row.value) {
            ASSERT_TRUE(ConfigStore::WriteSetting(ini, "Camera", key.c_str(), row.value));
        }
        const CameraPose pose =
            ReadCameraPose(row.serial, kyvern::base::SettingsSnapshot::Read(ini));
        EXPECT_EQ(pose.name, row.name);
        EXPECT_EQ(pose.position, row.position);
        EXPECT_EQ(pose.rotation, row.rotationDegrees.Scaled(kyvern::base::kDegreesToRadians));
    }

    EXPECT_FALSE(IsLeftHanded(kyvern::base::SettingsSnapshot::Read(ini)));
    const std::pair<const char*, bool> hands[] = {
        {"LEFT-HANDED", true}, {"Left", false}, {"Left-handed please", false}, {"", false}};
    for (const auto& [hand, left] : hands) {
        ASSERT_TRUE(ConfigStore::WriteSetting(ini, "Setup", "Handed", hand));
        EXPECT_EQ(IsLeftHanded(kyvern::base::SettingsSnapshot::Read(ini)), left) << hand;
    }
}
