#include "frame/camera_model.h"

#include <cmath>
#include <cstdio>

#include "base/config_store.h"
#include "base/math_constants.h"
#include "base/program_folder.h"
#include "base/settings_schema.h"

namespace kyvern::frame {

namespace {

// A camera without an entry is named by its serial number.
std::string ReadCalibration(long serialNumber, const base::SettingsSnapshot& settings) {
    const base::SettingId family = base::setting::kCameraCalibration;
    return settings.Stored(family, serialNumber).value_or(base::SettingKey(family, serialNumber));
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

double OffAxisCosine(double x, double y, int width, int height) {
    const double pitch = PixelPitch(width);
    const double u = (x - width / 2.0) * pitch;
    const double v = (y - height / 2.0) * pitch;
    return kFocalLength / std::sqrt(kFocalLength * kFocalLength + u * u + v * v);
}

double PerspectiveCorrection(double x, double y, int width, int height) {
    const double cosine = OffAxisCosine(x, y, width, height);
    return 2.0 * cosine / (1.0 + cosine);
}

Xyz Locate(double centreX, double centreY, double diameterPixels, double ballDiameterInches,
           int width, int height) {
    const double p = PixelPitch(width);
    const double u = (centreX - width / 2.0) * p;
    const double v = (centreY - height / 2.0) * p;
    const double k = ballDiameterInches / (p * diameterPixels);
    return {k * u, k * -v, k * -kFocalLength};
}

Xyz TurnIntoCameraView(const Xyz& normal, double centreX, double centreY, int width, int height) {
    const double p = PixelPitch(width);
    const double u = (centreX - width / 2.0) * p;
    const double v = (height / 2.0 - centreY) * p;
    const double a = std::atan(v / std::sqrt(kFocalLength * kFocalLength + u * u));
    const double b = -std::atan(u / kFocalLength);
    Xyz n(normal.x, std::cos(a) * normal.y - std::sin(a) * normal.z,
          std::sin(a) * normal.y + std::cos(a) * normal.z);
    n.Normalize();
    n.Set(std::cos(b) * n.x + std::sin(b) * n.z, n.y, std::cos(b) * n.z - std::sin(b) * n.x);
    n.Normalize();
    return n;
}

std::string ReadCameraName(long serialNumber, const base::SettingsSnapshot& settings) {
    return ReadCameraPose(serialNumber, settings).name;
}

Xyz ReadCameraPosition(long serialNumber, const base::SettingsSnapshot& settings) {
    return ReadCameraPose(serialNumber, settings).position;
}

Xyz ReadCameraRotation(long serialNumber, const base::SettingsSnapshot& settings) {
    return ReadCameraPose(serialNumber, settings).rotation;
}

CameraPose ReadCameraPose(long serialNumber, const base::SettingsSnapshot& settings) {
    CameraPose pose;
    std::string value = ReadCalibration(serialNumber, settings);
    std::size_t comma = value.size() > 1 ? value.find(',', 1) : std::string::npos;
    pose.name = comma == std::string::npos ? value : value.substr(0, comma);
    ParseNumbers(value, pose.position, pose.rotation);
    return pose;
}

bool IsLeftHanded(const base::SettingsSnapshot& settings) {
    return settings.Find<base::setting::kHanded>() == base::choice::Hand::kLeftHanded;
}

}  // namespace kyvern::frame
