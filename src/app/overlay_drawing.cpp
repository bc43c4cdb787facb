#include "app/overlay_drawing.h"

#include <cmath>
#include <cstdint>

#include "base/config_store.h"
#include "base/math_constants.h"

namespace kyvern::app {
namespace {

void Put(frame::CapturedImage& frame, long x, long y, Bgr colour) {
    if (x < 0 || y < 0 || x >= frame.width || y >= frame.height) return;
    std::uint8_t* p = frame.Pixels() + (std::size_t(y) * frame.width + std::size_t(x)) * 3;
    p[0] = colour.blue;
    p[1] = colour.green;
    p[2] = colour.red;
}

void Line(frame::CapturedImage& frame, double x0, double y0, double x1, double y1, Bgr colour) {
    const double length = std::hypot(x1 - x0, y1 - y0);
    const int steps = static_cast<int>(std::ceil(length)) + 1;
    if (!std::isfinite(length) || steps > 4 * (frame.width + frame.height)) return;
    for (int i = 0; i <= steps; ++i) {
        const double t = double(i) / steps;
        Put(frame, std::lround(x0 + (x1 - x0) * t), std::lround(y0 + (y1 - y0) * t), colour);
    }
}

void Circle(frame::CapturedImage& frame, double cx, double cy, double r, Bgr colour) {
    if (!(r > 0.0) || r > frame.width + frame.height) return;
    const int steps = static_cast<int>(std::ceil(2.0 * base::kPi * r)) + 8;
    for (int i = 0; i < steps; ++i) {
        const double a = 2.0 * base::kPi * i / steps;
        Put(frame, std::lround(cx + r * std::cos(a)), std::lround(cy + r * std::sin(a)), colour);
    }
}

}  // namespace

OverlaySwitches ReadOverlaySwitches(base::OptionsReader& reader) {
    OverlaySwitches s;
    s.grid = reader.On(base::setting::kOverlayGrid);
    s.planes = reader.On(base::setting::kOverlayPlanes);
    s.marks = reader.On(base::setting::kOverlayMarks);
    s.mono = reader.On(base::setting::kOverlayMono);
    return s;
}

OverlaySwitches ReadOverlaySwitches(const base::SettingsSnapshot& settings) {
    base::OptionsReader reader(settings);
    return ReadOverlaySwitches(reader);
}

bool DrawOverlays(frame::CapturedImage& frame, const OverlaySwitches& switches) {
    if (frame.bytesPerPixel != 1 || frame.width <= 0 || frame.height <= 0 ||
        std::size_t(frame.width) * frame.height * 3 > frame::kFrameCapacity) {
        return false;
    }
    std::uint8_t* pixels = frame.Pixels();
    const std::size_t count = std::size_t(frame.width) * frame.height;
    const std::uint8_t split = frame.result.meanLevel;
    // From the last pixel back, so that no gray byte is overwritten before it is read.
    for (std::size_t i = count; i-- > 0;) {
        std::uint8_t gray = pixels[i];
        if (switches.mono) gray = gray > split ? 255 : 0;
        pixels[3 * i] = pixels[3 * i + 1] = pixels[3 * i + 2] = gray;
    }
    if (switches.grid) {
        for (int x = kGridSpacing; x < frame.width; x += kGridSpacing)
            Line(frame, x, 0, x, frame.height - 1, kGridColour);
        for (int y = kGridSpacing; y < frame.height; y += kGridSpacing)
            Line(frame, 0, y, frame.width - 1, y, kGridColour);
    }
    for (const frame::BallRecord& ball : frame.result.balls) {
        const double r = ball.pix.z / 2.0;
        if (!(r > 0.0)) continue;
        if (switches.planes) {
            Circle(frame, ball.pix.x, ball.pix.y, r, kOutlineColour);
            // The printed line's plane cuts the image along the direction normal to the
            // plane normal's image part.
            const double nx = ball.planeNormal.x;
            const double ny = ball.planeNormal.y;
            const double n = std::hypot(nx, ny);
            if (n > 1e-9) {
                const double dx = -ny / n * r;
                const double dy = nx / n * r;
                Line(frame, ball.pix.x - dx, ball.pix.y - dy, ball.pix.x + dx, ball.pix.y + dy,
                     kPlaneColour);
            }
        }
        if (switches.marks && ball.marks) {
            const int marks = std::min<int>(ball.markCount, frame::kMaxMarks);
            for (int m = 0; m < marks; ++m)
                Put(frame, ball.marks[m].pixelX, ball.marks[m].pixelY, kMarkColour);
        }
    }
    frame.bytesPerPixel = 3;
    return true;
}

}  // namespace kyvern::app
