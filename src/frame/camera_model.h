#pragma once

#include <string>

#include "base/settings_snapshot.h"
#include "frame/xyz.h"

namespace kyvern::frame {

// Sensor and lens of the supported cameras.
inline constexpr double kPixelPitch1024 = 0.00018307086614193;      // 4.65 um
inline constexpr double kPixelPitchOther = 0.00029133858267748003;  // 7.4 um
inline constexpr double kFocalLength = 0.3346456692913386;          // 8.5 mm
// The lens draws a ball smaller by 1 + kRadialShrink x the distance of its image centre from
// the frame centre in pixels; the scene solution undoes it before locating the ball.
inline constexpr double kRadialShrink = 6.7e-05;

// The pitch is chosen by the frame width alone.
double PixelPitch(int width);

// The cosine of the angle between the lens's axis and the line of sight to an image point: a
// ball seen there images as an ellipse stretched along the radius from the frame centre by
// its inverse.
double OffAxisCosine(double x, double y, int width, int height);

// A sphere imaged at (x, y) is an ellipse whose fitted circle is as wide as the mean of its two
// axes: this factor brings that width back to the one the ball would have on the axis.
double PerspectiveCorrection(double x, double y, int width, int height);

// Position of a ball centre in the camera frame (inches; x right, y up, z towards the
// camera) from its image centre and diameter in pixels, by similar triangles.
Xyz Locate(double centreX, double centreY, double diameterPixels, double ballDiameterInches,
           int width, int height);

// A ball's plane normal, measured as if the ball sat on the lens's axis, turned into the camera
// frame: about x by the elevation and about y by the azimuth at which the camera sees the
// image centre (centreX, centreY). A normal pointing straight back along the line of sight
// comes out pointing from the ball to the lens.
Xyz TurnIntoCameraView(const Xyz& normal, double centreX, double centreY, int width, int height);

// The calibration of one camera as the settings file holds it.
struct CameraPose {
    std::string name;
    Xyz position;  // inches
    Xyz rotation;  // radians; x is the turn about the vertical axis
};

// Calibration of the camera with this serial number from section "Camera" of the settings:
// "name,x,y,z,a,b,c," with the angles in degrees.
std::string ReadCameraName(long serialNumber, const base::SettingsSnapshot& settings);
Xyz ReadCameraPosition(long serialNumber, const base::SettingsSnapshot& settings);
Xyz ReadCameraRotation(long serialNumber, const base::SettingsSnapshot& settings);
CameraPose ReadCameraPose(long serialNumber, const base::SettingsSnapshot& settings);

// Setup/Handed is the left-handed word.
bool IsLeftHanded(const base::SettingsSnapshot& settings);

}  // namespace kyvern::frame
