// The scene behind the balls as real cameras see it: a gradient of stray light, the mat's edge
// or a tee low in the frame, and sometimes the club head just behind ball 0.
#pragma once

#include <array>
#include <cstdint>

#include "sim/frame_renderer.h"

namespace kyvern::sim {

// The club head's image: a rounded, irregular shape, longer than tall, in pixels.
struct ClubHead {
    double x = 0.0;  // centre, pixels
    double y = 0.0;
    double radius = 0.0;  // mean radius before stretching, pixels
    double stretch = 1.0;
    double angle = 0.0;
    std::array<double, 3> wobble{};
    std::array<double, 3> phase{};
    double level = 0.0;
    double highlight = 0.0;
    double highlightX = 0.0;
    double highlightY = 0.0;
    double extent = 0.0;  // the outline's farthest point from the centre, pixels
    // The hosel: a rod rising from the heel, as offsets from the centre, pixels.
    Xyz hoselFrom;
    Xyz hoselTo;
    double hoselRadius = 0.0;

    // Roughly the distance in pixels outside the outline (negative inside).
    double Margin(double px, double py) const;
    // The head's margin alone, without the hosel.
    double HeadMargin(double px, double py) const;
    // The distance in pixels outside the hosel.
    double HoselMargin(double px, double py) const;
    // The metal's level at a point inside.
    double Shade(double px, double py) const;
    // The outline's point at angle phi of the unstretched shape, relative to the centre.
    Xyz Outline(double phi) const;
};

// The club head just behind ball 0 along the flight as the image shows it, its nearest point
// clearance plus the drawn gap from ball 0's image centre.
ClubHead PlaceClub(const RealismDraws& draws, const Xyz& pix0, const Xyz& pix1, double clearance);

class Backdrop {
public:
    Backdrop(const ShotSetup& setup, const ShotTruth& truth);

    // The scene's level at a pixel with both flashes, before the light falls off.
    double Level(int column, int row) const;

private:
    double MatLevel(int column, int row) const;
    double TeeCover(double x, double y, double& shade) const;

    int width_ = 0;
    double gradientX_ = 0.0;
    double gradientY_ = 0.0;
    double gradientBase_ = 0.0;

    bool mat_ = false;
    double groundTop_ = 0.0;  // row
    int firstGroundRow_ = 0;
    double matTilt_ = 0.0;
    double matLevel_ = 0.0;
    double matTexture_ = 0.0;
    std::uint64_t matGrain_ = 0;

    double teeX_ = 0.0;
    double cupHalf_ = 0.0;
    double cupDepth_ = 0.0;
    double neckHalf_ = 0.0;
    double teeLevel_ = 0.0;

    bool club_ = false;
    ClubHead head_;
    int clubLeft_ = 0;
    int clubTop_ = 0;
    int clubRight_ = -1;
    int clubBottom_ = -1;
};

}  // namespace kyvern::sim
