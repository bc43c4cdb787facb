#pragma once

#include <array>
#include <cmath>

#include "frame/camera_model.h"
#include "frame/xyz.h"

namespace kyvern::testing {

struct LinePixel {
    int x = 0;
    int y = 0;
};

// Where a user clicks to re-measure a misread line: two points of the ball's printed great
// circle (normal) on the side facing the camera, a quarter turn apart, where the lens draws
// them, nearer the ball's image centre by its shrink. centre and diameter in inches.
inline std::array<LinePixel, 2> LineClicks(const frame::Xyz& centre, const frame::Xyz& normal,
                                           double diameter, int width, int height) {
    using frame::Xyz;
    const auto project = [&](const Xyz& p) {
        const double scale = frame::kFocalLength / frame::PixelPitch(width) / -p.z;
        return Xyz(width / 2.0 + p.x * scale, height / 2.0 - p.y * scale, 0.0);
    };
    Xyz u = normal.Cross(Xyz(0, 0, 1));
    u.Normalize();
    Xyz w = normal.Cross(u);
    w.Normalize();
    if (w.Dot(centre.Negated()) < 0.0) w.Negate();
    const Xyz middle = project(centre);
    const double shrink =
        1 + frame::kRadialShrink * std::hypot(middle.x - width / 2, middle.y - height / 2);
    const auto at = [&](double degrees) {
        const double a = degrees * 0.017453292519943278;
        const Xyz p = u.Scaled(std::cos(a)).Plus(w.Scaled(std::sin(a)));
        const Xyz drawn =
            middle.Plus(project(centre.Plus(p.Scaled(diameter / 2))).Minus(middle).Divided(shrink));
        return LinePixel{int(std::lround(drawn.x)), int(std::lround(drawn.y))};
    };
    return {at(45), at(135)};
}

}  // namespace kyvern::testing
