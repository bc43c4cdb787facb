#include "analysis/camera_model.h"

#include <cstdio>

#include "base/config_store.h"
#include "base/math_constants.h"
#include "base/program_folder.h"

namespace kyvern::analysis {

namespace {

constexpr std::size_t kCalibrationBuffer = 50;

std::string ReadCalibration(long serialNumber, const std::string& settingsPath) {
    char key[32];
    std::snprintf(key, sizeof key, "%ld", serialNumber);
    return base::ConfigStore::ReadSetting(settingsPath, "Camera", key, key, kCalibrationBuffer);
}

// The six numbers after the name; fields the parse does not reach stay 0.
void ParseNumbers(const std::string& value, Xyz& position, Xyz& rotation) {
    double n[6] = {0, 0, 0, 0, 0, 0};
    std::size_t comma = value.size() > 1 ? value.find(',', 1) : std::string::npos;
    if (comma != std::string::npos) {
        std::sscanf(value.c_str() + comma + 1, "%lf,%lf,%lf,%lf,%lf,%lf,", &n[0], &n[1], &n[2],
                    &n[3], &n[4], &n[5]);
    }
    position.Set(n[0], n[1], n[2]);
    rotation.Set(n[3] * base::kDegreesToRadians, n[4] * base::kDegreesToRadians,
                 n[5] * base::kDegreesToRadians);
}

}  // namespace

double PixelPitch(int width) { return width == 1024 ? kPixelPitch1024 : kPixelPitchOther; }

Xyz Locate(double centreX, double centreY, double diameterPixels, double ballDiameterInches,
           int width, int height) {
    const double p = PixelPitch(width);
    const double u = (centreX - width / 2.0) * p;
    const double v = (centreY - height / 2.0) * p;
    const double k = ballDiameterInches / (p * diameterPixels);
    return {k * u, k * -v, k * -kFocalLength};
}

std::string ReadCameraName(long serialNumber, const std::string& settingsPath) {
    return ReadCameraPose(serialNumber, settingsPath).name;
}

Xyz ReadCameraPosition(long serialNumber, const std::string& settingsPath) {
    return ReadCameraPose(serialNumber, settingsPath).position;
}

Xyz ReadCameraRotation(long serialNumber, const std::string& settingsPath) {
    return ReadCameraPose(serialNumber, settingsPath).rotation;
}

CameraPose ReadCameraPose(long serialNumber, const std::string& settingsPath) {
    CameraPose pose;
    std::string value = ReadCalibration(serialNumber, settingsPath);
    std::size_t comma = value.size() > 1 ? value.find(',', 1) : std::string::npos;
    pose.name = comma == std::string::npos ? value : value.substr(0, comma);
    ParseNumbers(value, pose.position, pose.rotation);
    return pose;
}

std::string ReadCameraName(long serialNumber) {
    return ReadCameraName(serialNumber, base::SettingsPath());
}
Xyz ReadCameraPosition(long serialNumber) {
    return ReadCameraPosition(serialNumber, base::SettingsPath());
}
Xyz ReadCameraRotation(long serialNumber) {
    return ReadCameraRotation(serialNumber, base::SettingsPath());
}

bool IsLeftHanded(const std::string& settingsPath) {
    return base::EqualsNoCase(
        base::ConfigStore::ReadSetting(settingsPath, "Setup", "Handed", "Right-handed", 20),
        "Left-handed");
}

bool IsLeftHanded() { return IsLeftHanded(base::SettingsPath()); }

}  // namespace kyvern::analysis
