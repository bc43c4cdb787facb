// What is on the ball's surface besides the line: the dimple pattern and the prints. Both live
// in the ball's own frame (the camera frame at the first flash), so they turn with the ball.
#pragma once

#include <array>
#include <string_view>

#include "frame/xyz.h"
#include "sim/scene_realism.h"

namespace kyvern::sim {

using frame::Xyz;

// A rotation as a 3 x 3 matrix.
struct Turn {
    std::array<double, 9> m{1.0, 0.0, 0.0, 0.0, 1.0, 0.0, 0.0, 0.0, 1.0};

    // Right-handed about the unit axis by angle radians.
    static Turn About(const Xyz& axis, double angle);
    static Turn OfQuaternion(const std::array<double, 4>& q);  // unit (w, x, y, z)

    Xyz Apply(const Xyz& v) const {
        return {m[0] * v.x + m[1] * v.y + m[2] * v.z, m[3] * v.x + m[4] * v.y + m[5] * v.z,
                m[6] * v.x + m[7] * v.y + m[8] * v.z};
    }
    Xyz ApplyInverse(const Xyz& v) const {
        return {m[0] * v.x + m[3] * v.y + m[6] * v.z, m[1] * v.x + m[4] * v.y + m[7] * v.z,
                m[2] * v.x + m[5] * v.y + m[8] * v.z};
    }
    // This turn after first.
    Turn After(const Turn& first) const;
};

// The dimple holding a unit point of the pattern's frame, if any: toCentre is the chord from
// the point to the dimple's centre and share runs from 1 at the centre to 0 at the rim.
bool InDimple(const Xyz& point, Xyz& toCentre, double& share);

// A dimple's radius as a chord of the unit sphere.
double DimpleChord();

// How many dimples the pattern has.
int DimpleCount();

// A print's place in the ball's frame: its centre and the directions along its text and up its
// letters, all unit and at right angles.
struct PrintPlace {
    Xyz centre{0.0, 0.0, 1.0};
    Xyz across{1.0, 0.0, 0.0};
    Xyz up{0.0, 1.0, 0.0};
};

// The places of the logo and the number. view is the unit direction from ball 0 to the lens
// and normal the line's normal at the first flash, both in the ball's frame; radius and
// lineWidth in inches.
void PlacePrints(const RealismDraws& draws, const Xyz& view, const Xyz& normal, double radius,
                 double lineWidth, PrintPlace& logo, PrintPlace& number);

// The logo and the ball number as ink on the ball.
class BallPrints {
public:
    BallPrints(const PrintPlace& logo, const PrintPlace& number, int ballNumber, double radius);

    // Whether ink covers this unit point of the ball's frame.
    bool Inked(const Xyz& point) const;

private:
    struct Segment {
        double x0, y0, x1, y1;
    };
    struct Glyph {
        int count = 0;
        std::array<Segment, 7> strokes{};
    };
    struct Block {
        PrintPlace place;
        double cosReach = 1.0;   // points nearer its centre than this may be inked
        double halfWidth = 0.0;  // inches, the ink's extent about the centre
        double halfHeight = 0.0;
        double cell = 0.0;  // inches per glyph along the text
        double halfStroke = 0.0;
        int glyphCount = 0;
        std::array<Glyph, 6> glyphs{};
    };

    static Block Lay(const PrintPlace& place, std::string_view text, double width, double height,
                     double stroke, double radius);
    bool InkedBy(const Block& block, const Xyz& point) const;

    double radius_;
    Block logo_;
    Block number_;
};

}  // namespace kyvern::sim
