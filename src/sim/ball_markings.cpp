#include "sim/ball_markings.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <vector>

#include "base/math_constants.h"

namespace kyvern::sim {

namespace {

// About as many dimples as a ball has, each nearly touching its neighbours.
constexpr int kDimples = 332;
constexpr double kDimpleAngle = 0.098;  // radians, a 4 mm dimple on a 42.7 mm ball
constexpr int kCells = 8;               // cells per side of each face of the lookup cube
constexpr int kFaceCells = kCells * kCells;

// The prints' sizes, inches: a logo block of 15 mm x 5 mm and a ball number 6.5 mm tall.
constexpr double kLogoWidth = 15.0 / 25.4;
constexpr double kLogoHeight = 5.0 / 25.4;
constexpr double kLogoStroke = 0.8 / 25.4;
constexpr double kDigitCell = 4.2 / 25.4;
constexpr double kDigitHeight = 6.5 / 25.4;
constexpr double kDigitStroke = 1.1 / 25.4;
constexpr std::string_view kLogoText = "KYVERN";
// Prints closer than this angle are moved apart: the number goes elsewhere on the ball.
constexpr double kPrintSeparation = 0.75;  // radians

Xyz Unit(const Xyz& v) { return v.Divided(v.Length()); }

Xyz AnyPerpendicular(const Xyz& v) {
    const Xyz axis = std::fabs(v.x) < 0.6 ? Xyz(1.0, 0.0, 0.0) : Xyz(0.0, 1.0, 0.0);
    return Unit(axis.Cross(v));
}

// The cube-map cell of a direction: its face by the largest component, then a square grid.
int CellOf(const Xyz& p) {
    const double ax = std::fabs(p.x), ay = std::fabs(p.y), az = std::fabs(p.z);
    int face = 0;
    double major = 0.0, u = 0.0, v = 0.0;
    if (ax >= ay && ax >= az) {
        face = p.x > 0.0 ? 0 : 1, major = ax, u = p.y, v = p.z;
    } else if (ay >= az) {
        face = p.y > 0.0 ? 2 : 3, major = ay, u = p.x, v = p.z;
    } else {
        face = p.z > 0.0 ? 4 : 5, major = az, u = p.x, v = p.y;
    }
    const int i = std::clamp(int((u / major + 1.0) * 0.5 * kCells), 0, kCells - 1);
    const int j = std::clamp(int((v / major + 1.0) * 0.5 * kCells), 0, kCells - 1);
    return face * kFaceCells + i * kCells + j;
}

Xyz FacePoint(int face, double u, double v) {
    switch (face) {
        case 0:
            return Unit(Xyz(1.0, u, v));
        case 1:
            return Unit(Xyz(-1.0, u, v));
        case 2:
            return Unit(Xyz(u, 1.0, v));
        case 3:
            return Unit(Xyz(u, -1.0, v));
        case 4:
            return Unit(Xyz(u, v, 1.0));
        default:
            return Unit(Xyz(u, v, -1.0));
    }
}

// Dimple centres spread evenly by a Fibonacci spiral, and for each cube-map cell the dimples
// that may reach into it, so that a surface point tests only a handful.
struct DimpleTable {
    std::array<Xyz, kDimples> centres;
    std::array<int, 6 * kFaceCells + 1> start{};
    std::vector<std::uint16_t> members;
    double cosRadius = 0.0;
    double chord = 0.0;

    DimpleTable() {
        const double golden = base::kExactPi * (3.0 - std::sqrt(5.0));
        for (int i = 0; i < kDimples; ++i) {
            const double z = 1.0 - (2.0 * i + 1.0) / kDimples;
            const double r = std::sqrt(1.0 - z * z);
            centres[i] = Xyz(r * std::cos(golden * i), r * std::sin(golden * i), z);
        }
        cosRadius = std::cos(kDimpleAngle);
        chord = 2.0 * std::sin(kDimpleAngle / 2.0);
        for (int face = 0; face < 6; ++face) {
            for (int i = 0; i < kCells; ++i) {
                for (int j = 0; j < kCells; ++j) {
                    const double u0 = -1.0 + 2.0 * i / kCells, u1 = -1.0 + 2.0 * (i + 1) / kCells;
                    const double v0 = -1.0 + 2.0 * j / kCells, v1 = -1.0 + 2.0 * (j + 1) / kCells;
                    const Xyz middle = FacePoint(face, (u0 + u1) / 2.0, (v0 + v1) / 2.0);
                    double reach = 0.0;
                    for (const Xyz& corner : {FacePoint(face, u0, v0), FacePoint(face, u0, v1),
                                              FacePoint(face, u1, v0), FacePoint(face, u1, v1)}) {
                        reach =
                            std::max(reach, std::acos(std::clamp(middle.Dot(corner), -1.0, 1.0)));
                    }
                    const double cosReach = std::cos(reach + kDimpleAngle + 0.01);
                    const int cell = face * kFaceCells + i * kCells + j;
                    start[cell] = int(members.size());
                    for (int d = 0; d < kDimples; ++d) {
                        if (centres[d].Dot(middle) >= cosReach) members.push_back(std::uint16_t(d));
                    }
                }
            }
        }
        start[6 * kFaceCells] = int(members.size());
    }
};

const DimpleTable& Dimples() {
    static const DimpleTable table;
    return table;
}

// Glyphs as strokes in a unit box, y up: the logo's letters and seven-segment digits.
struct UnitStroke {
    double x0, y0, x1, y1;
};

int LetterStrokes(char c, std::array<UnitStroke, 7>& s) {
    switch (c) {
        case 'K':
            s = {{{0, 0, 0, 1}, {0, 0.42, 1, 1}, {0.3, 0.6, 1, 0}}};
            return 3;
        case 'Y':
            s = {{{0, 1, 0.5, 0.5}, {1, 1, 0.5, 0.5}, {0.5, 0.5, 0.5, 0}}};
            return 3;
        case 'V':
            s = {{{0, 1, 0.5, 0}, {0.5, 0, 1, 1}}};
            return 2;
        case 'E':
            s = {{{0, 0, 0, 1}, {0, 1, 1, 1}, {0, 0.5, 0.8, 0.5}, {0, 0, 1, 0}}};
            return 4;
        case 'R':
            s = {{{0, 0, 0, 1},
                  {0, 1, 0.75, 1},
                  {0.75, 1, 1, 0.85},
                  {1, 0.85, 1, 0.65},
                  {1, 0.65, 0.75, 0.5},
                  {0, 0.5, 0.75, 0.5},
                  {0.45, 0.5, 1, 0}}};
            return 7;
        case 'N':
            s = {{{0, 0, 0, 1}, {0, 1, 1, 0}, {1, 0, 1, 1}}};
            return 3;
        default:
            break;
    }
    if (c < '0' || c > '9') return 0;
    // Segments a to g: top, upper right, lower right, bottom, lower left, upper left, middle.
    constexpr UnitStroke kSegments[7] = {{0, 1, 1, 1},    {1, 1, 1, 0.5}, {1, 0.5, 1, 0},
                                         {0, 0, 1, 0},    {0, 0.5, 0, 0}, {0, 1, 0, 0.5},
                                         {0, 0.5, 1, 0.5}};
    constexpr unsigned kDigits[10] = {0x3F, 0x06, 0x5B, 0x4F, 0x66, 0x6D, 0x7D, 0x07, 0x7F, 0x6F};
    int count = 0;
    for (int k = 0; k < 7; ++k) {
        if (kDigits[c - '0'] & (1u << k)) s[count++] = kSegments[k];
    }
    return count;
}

PrintPlace Oriented(const Xyz& centre, const Xyz& across) {
    PrintPlace p;
    p.centre = centre;
    p.across = across;
    p.up = centre.Cross(across);
    return p;
}

PrintPlace PlaceOne(const PrintDraw& d, const Xyz& view, const Xyz& normal, double halfHeight,
                    double lineHalf) {
    const double turn = 2.0 * base::kExactPi;
    switch (d.placement) {
        case PrintPlacement::kOutline: {
            // On the rim of ball 0 as the lens sees it, a little to either side.
            const Xyz side = view.Cross(normal);
            const Xyz a = side.Length() > 1e-6 ? Unit(side) : AnyPerpendicular(view);
            const Xyz b = view.Cross(a);
            const double phi = turn * d.around;
            const double lift = 0.12 * d.offset;
            const Xyz rim = a.Scaled(std::cos(phi)).Plus(b.Scaled(std::sin(phi)));
            const Xyz centre = Unit(rim.Scaled(std::cos(lift)).Plus(view.Scaled(std::sin(lift))));
            const Xyz t1 = Unit(view.Minus(centre.Scaled(view.Dot(centre))));
            const Xyz t2 = centre.Cross(t1);
            const double roll = turn * d.roll;
            return Oriented(centre, t1.Scaled(std::cos(roll)).Plus(t2.Scaled(std::sin(roll))));
        }
        case PrintPlacement::kNearLine: {
            // Beside the line on the side facing the lens, its text running along the line.
            const Xyz facing = view.Minus(normal.Scaled(view.Dot(normal)));
            const Xyz w = facing.Length() > 1e-6 ? Unit(facing) : AnyPerpendicular(normal);
            const double psi = (d.around - 0.5) * 1.8;
            const Xyz along = w.Scaled(std::cos(psi)).Plus(normal.Cross(w).Scaled(std::sin(psi)));
            const double gap = halfHeight + lineHalf + 0.03 + 0.17 * std::fabs(d.offset);
            const double sign = d.offset < 0.0 ? -1.0 : 1.0;
            const Xyz centre =
                Unit(along.Scaled(std::cos(gap)).Plus(normal.Scaled(sign * std::sin(gap))));
            Xyz across = Unit(normal.Cross(centre));
            if (d.roll >= 0.5) across = across.Negated();
            return Oriented(centre, across);
        }
        case PrintPlacement::kAnywhere:
            break;
    }
    const Xyz centre = Unit(d.direction);
    const Xyz t1 = AnyPerpendicular(centre);
    const Xyz t2 = centre.Cross(t1);
    const double roll = turn * d.roll;
    return Oriented(centre, t1.Scaled(std::cos(roll)).Plus(t2.Scaled(std::sin(roll))));
}

double AngleOf(double length, double radius) { return std::asin(std::min(1.0, length / radius)); }

}  // namespace

Turn Turn::About(const Xyz& u, double angle) {
    const double c = std::cos(angle), s = std::sin(angle), k = 1.0 - c;
    Turn t;
    t.m = {c + k * u.x * u.x,       k * u.x * u.y - s * u.z, k * u.x * u.z + s * u.y,
           k * u.y * u.x + s * u.z, c + k * u.y * u.y,       k * u.y * u.z - s * u.x,
           k * u.z * u.x - s * u.y, k * u.z * u.y + s * u.x, c + k * u.z * u.z};
    return t;
}

Turn Turn::OfQuaternion(const std::array<double, 4>& q) {
    const double w = q[0], x = q[1], y = q[2], z = q[3];
    Turn t;
    t.m = {1 - 2 * (y * y + z * z), 2 * (x * y - w * z),     2 * (x * z + w * y),
           2 * (x * y + w * z),     1 - 2 * (x * x + z * z), 2 * (y * z - w * x),
           2 * (x * z - w * y),     2 * (y * z + w * x),     1 - 2 * (x * x + y * y)};
    return t;
}

Turn Turn::After(const Turn& first) const {
    Turn t;
    for (int i = 0; i < 3; ++i) {
        for (int j = 0; j < 3; ++j) {
            t.m[i * 3 + j] = m[i * 3] * first.m[j] + m[i * 3 + 1] * first.m[3 + j] +
                             m[i * 3 + 2] * first.m[6 + j];
        }
    }
    return t;
}

bool InDimple(const Xyz& point, Xyz& toCentre, double& share) {
    const DimpleTable& table = Dimples();
    const int cell = CellOf(point);
    double best = table.cosRadius;
    int found = -1;
    for (int k = table.start[cell]; k < table.start[cell + 1]; ++k) {
        const double d = point.Dot(table.centres[table.members[k]]);
        if (d > best) best = d, found = table.members[k];
    }
    if (found < 0) return false;
    toCentre = table.centres[found].Minus(point);
    // A flat floor and steep walls, as a dimple is cut.
    const double x2 = std::min(1.0, toCentre.Dot(toCentre) / (table.chord * table.chord));
    share = 1.0 - x2 * x2;
    return true;
}

double DimpleChord() { return Dimples().chord; }

int DimpleCount() { return kDimples; }

void PlacePrints(const RealismDraws& draws, const Xyz& view, const Xyz& normal, double radius,
                 double lineWidth, PrintPlace& logo, PrintPlace& number) {
    const double lineHalf = AngleOf(lineWidth / 2.0, radius);
    logo = PlaceOne(draws.logo, view, normal, AngleOf(kLogoHeight / 2.0, radius), lineHalf);
    const double numberHalf = AngleOf(kDigitHeight / 2.0, radius);
    number = PlaceOne(draws.number, view, normal, numberHalf, lineHalf);
    if (logo.centre.Dot(number.centre) > std::cos(kPrintSeparation)) {
        // Too near the logo: the same kind of place on the other side.
        PrintDraw moved = draws.number;
        moved.around = moved.placement == PrintPlacement::kOutline
                           ? std::fmod(moved.around + 0.5, 1.0)
                           : 1.0 - moved.around;
        moved.offset = -moved.offset;
        moved.direction = moved.direction.Negated();
        number = PlaceOne(moved, view, normal, numberHalf, lineHalf);
    }
}

BallPrints::BallPrints(const PrintPlace& logo, const PrintPlace& number, int ballNumber,
                       double radius)
    : radius_(radius) {
    logo_ = Lay(logo, kLogoText, kLogoWidth, kLogoHeight, kLogoStroke, radius);
    char digits[3] = {};
    const int n = std::clamp(ballNumber, 0, 99);
    if (n >= 10) {
        digits[0] = char('0' + n / 10), digits[1] = char('0' + n % 10);
    } else {
        digits[0] = char('0' + n);
    }
    const std::string_view text(digits);
    number_ =
        Lay(number, text, kDigitCell * double(text.size()), kDigitHeight, kDigitStroke, radius);
}

BallPrints::Block BallPrints::Lay(const PrintPlace& place, std::string_view text, double width,
                                  double height, double stroke, double radius) {
    Block b;
    b.place = place;
    b.glyphCount = int(std::min(text.size(), b.glyphs.size()));
    b.cell = width / b.glyphCount;
    b.halfWidth = (width - 0.2 * b.cell) / 2.0;  // the last glyph's spacing is not ink
    b.halfHeight = height / 2.0;
    b.halfStroke = stroke / 2.0;
    const double reach = std::hypot(b.halfWidth, b.halfHeight);
    b.cosReach = reach < radius ? std::cos(std::asin(reach / radius) + 0.01) : 0.0;
    const double hs = b.halfStroke;
    for (int i = 0; i < b.glyphCount; ++i) {
        std::array<UnitStroke, 7> unit{};
        Glyph& g = b.glyphs[i];
        g.count = LetterStrokes(text[i], unit);
        // Each glyph inks only its own cell, inset by half a stroke.
        const double x0 = -b.halfWidth + i * b.cell + hs;
        const double w = 0.8 * b.cell - 2.0 * hs;
        const double y0 = -b.halfHeight + hs;
        const double h = height - 2.0 * hs;
        for (int k = 0; k < g.count; ++k) {
            g.strokes[k] = {x0 + unit[k].x0 * w, y0 + unit[k].y0 * h, x0 + unit[k].x1 * w,
                            y0 + unit[k].y1 * h};
        }
    }
    return b;
}

bool BallPrints::InkedBy(const Block& b, const Xyz& point) const {
    if (point.Dot(b.place.centre) < b.cosReach) return false;
    const double u = radius_ * point.Dot(b.place.across);
    const double v = radius_ * point.Dot(b.place.up);
    if (std::fabs(u) > b.halfWidth || std::fabs(v) > b.halfHeight) return false;
    const int i = std::clamp(int((u + b.halfWidth) / b.cell), 0, b.glyphCount - 1);
    const Glyph& g = b.glyphs[i];
    const double limit = b.halfStroke * b.halfStroke;
    for (int k = 0; k < g.count; ++k) {
        const Segment& s = g.strokes[k];
        const double dx = s.x1 - s.x0, dy = s.y1 - s.y0;
        const double length2 = dx * dx + dy * dy;
        const double t = length2 > 0.0
                             ? std::clamp(((u - s.x0) * dx + (v - s.y0) * dy) / length2, 0.0, 1.0)
                             : 0.0;
        const double ex = u - (s.x0 + t * dx), ey = v - (s.y0 + t * dy);
        if (ex * ex + ey * ey <= limit) return true;
    }
    return false;
}

bool BallPrints::Inked(const Xyz& point) const {
    return InkedBy(logo_, point) || InkedBy(number_, point);
}

}  // namespace kyvern::sim
