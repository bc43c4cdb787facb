#pragma once

#include <cmath>
#include <cstdint>
#include <tuple>
#include <vector>

#include "frame/captured_image.h"
#include "frame/xyz.h"

namespace kyvern::testing {

// A lit ball for a drawn test frame: a bright disc with a dark band around the great circle
// whose unit normal is bandNormal (x right, y down, z towards the camera).
struct DrawnBall {
    double centreX = 0.0;
    double centreY = 0.0;
    double diameter = 130.0;
    int level = 230;
    int bandLevel = 40;
    double bandHalfWidth = 0.06;           // on the unit sphere
    frame::Xyz bandNormal{0.0, 0.0, 0.0};  // zero: no band
};

struct DrawnFrame {
    int width = 1024;
    int height = 768;
    int background = 12;
    int noise = 6;  // peak-to-peak amplitude of the seeded noise
    unsigned seed = 1;
    std::vector<DrawnBall> balls;
};

// Draws the frame into the pixel buffer of an image (8-bit gray, width x height).
inline void Draw(const DrawnFrame& f, frame::CapturedImage& image) {
    image.width = f.width, image.height = f.height, image.bytesPerPixel = 1, image.valid = true;
    std::uint32_t state = f.seed * 2654435761u + 12345u;
    for (int y = 0; y < f.height; ++y) {
        for (int x = 0; x < f.width; ++x) {
            double value = f.background;
            for (const DrawnBall& b : f.balls) {
                const double r = b.diameter / 2;
                const double dx = (x + 0.5 - b.centreX) / r;
                const double dy = (y + 0.5 - b.centreY) / r;
                const double rr = dx * dx + dy * dy;
                if (rr >= 1.0) continue;
                const double dz = std::sqrt(1.0 - rr);
                double v = b.level * (0.55 + 0.45 * dz);
                const frame::Xyz& n = b.bandNormal;
                if (n.Length() > 0.5 &&
                    std::fabs(dx * n.x + dy * n.y + dz * n.z) < b.bandHalfWidth) {
                    v = b.bandLevel;
                }
                value = v;
            }
            if (f.noise > 0) {
                state = state * 1664525u + 1013904223u;
                value += double(int(state >> 24) % (f.noise + 1)) - f.noise / 2.0;
            }
            image.Pixels()[std::size_t(y) * f.width + x] =
                std::uint8_t(value < 0 ? 0 : (value > 255 ? 255 : value));
        }
    }
}

// Two balls on a level flight, each with a tilted band.
inline DrawnFrame TwoBalls(int width = 1024, int height = 768, double diameter = 130.0) {
    const double scale = width / 1024.0;
    DrawnFrame f;
    f.width = width, f.height = height;
    for (auto [x, y, band] : {std::tuple(300.3, 400.6, frame::Xyz(0.3, 0.9, 0.3)),
                              std::tuple(700.8, 350.2, frame::Xyz(0.5, 0.8, -0.2))}) {
        DrawnBall& b = f.balls.emplace_back();
        b.centreX = x * scale, b.centreY = y * scale, b.diameter = diameter;
        b.bandNormal = band.Normalize();
    }
    return f;
}

}  // namespace kyvern::testing
