#include "sim/scene_backdrop.h"

#include <algorithm>
#include <cmath>
#include <utility>

#include "base/math_constants.h"
#include "sim/noise_source.h"

namespace kyvern::sim {

namespace {

constexpr int kHarmonics[3] = {2, 3, 5};  // orders of the club outline's irregularity
constexpr int kOutlineSamples = 180;
constexpr int kEdgeSamples = 4;  // per pixel side along the club head's outline
constexpr std::uint64_t kCoarseSalt = 0x4D41545455465453ull;

// Uniform in [-1, 1) from a pixel and a key, the same on every platform.
double Grain(std::uint64_t key, int a, int b) {
    const std::uint64_t h =
        Scramble(key ^ (std::uint64_t(std::uint32_t(b)) << 32 | std::uint32_t(a)));
    return double(h >> 11) * 0x1.0p-52 - 1.0;
}

}  // namespace

double ClubHead::Margin(double px, double py) const {
    return std::min(HeadMargin(px, py), HoselMargin(px, py));
}

double ClubHead::HoselMargin(double px, double py) const {
    const double ax = hoselTo.x - hoselFrom.x, ay = hoselTo.y - hoselFrom.y;
    const double qx = px - x - hoselFrom.x, qy = py - y - hoselFrom.y;
    const double t = std::clamp((qx * ax + qy * ay) / (ax * ax + ay * ay), 0.0, 1.0);
    return std::hypot(qx - t * ax, qy - t * ay) - hoselRadius;
}

double ClubHead::HeadMargin(double px, double py) const {
    const double dx = px - x, dy = py - y;
    const double c = std::cos(angle), s = std::sin(angle);
    const double sx = (dx * c + dy * s) / stretch;
    const double sy = (-dx * s + dy * c) * stretch;
    const double phi = std::atan2(sy, sx);
    double shape = 1.0;
    for (int k = 0; k < 3; ++k)
        shape += wobble[k] * std::cos(kHarmonics[k] * phi + phase[k]);
    return std::hypot(sx, sy) - radius * shape;
}

double ClubHead::Shade(double px, double py) const {
    const double hosel = HoselMargin(px, py);
    if (hosel < HeadMargin(px, py)) {
        // A polished rod: brightest along its middle.
        const double across = std::clamp(1.0 + hosel / hoselRadius, 0.0, 1.0);
        return level * (0.55 + 0.45 * (1.0 - across * across)) + 0.5 * highlight * (1.0 - across);
    }
    const double dx = px - x, dy = py - y;
    const double c = std::cos(angle), s = std::sin(angle);
    const double lx = dx * c + dy * s;
    const double ly = -dx * s + dy * c;
    const double height = radius / stretch;
    // Lit from above: the crown bright, the sole darker, and the face's grooves dark.
    double v = level * (0.78 - 0.22 * std::clamp(ly / height, -1.0, 1.0));
    const double pitch = 0.5 * height;
    const double f = (ly + 4.0 * height) / pitch;
    if (std::fabs(lx) < 0.6 * radius * stretch && f - std::floor(f) < 0.12) v *= 0.7;
    const double hx = highlightX * radius * stretch - lx;
    const double hy = -highlightY * height - ly;
    const double sigma = 0.25 * radius;
    v += highlight * std::exp(-(hx * hx + hy * hy) / (2.0 * sigma * sigma));
    return v;
}

Xyz ClubHead::Outline(double phi) const {
    double shape = 1.0;
    for (int k = 0; k < 3; ++k)
        shape += wobble[k] * std::cos(kHarmonics[k] * phi + phase[k]);
    const double lx = radius * shape * std::cos(phi) * stretch;
    const double ly = radius * shape * std::sin(phi) / stretch;
    const double c = std::cos(angle), s = std::sin(angle);
    return {lx * c - ly * s, lx * s + ly * c, 0.0};
}

ClubHead PlaceClub(const RealismDraws& d, const Xyz& pix0, const Xyz& pix1, double clearance) {
    ClubHead h;
    const double r0 = pix0.z / 2.0;
    h.radius = d.clubSize * r0;
    h.stretch = d.clubStretch;
    h.wobble = d.clubWobble;
    h.phase = d.clubPhase;
    h.level = d.clubLevel;
    h.highlight = d.clubHighlight;
    h.highlightX = d.clubHighlightX;
    h.highlightY = d.clubHighlightY;
    double dx = pix1.x - pix0.x, dy = pix1.y - pix0.y;
    const double length = std::hypot(dx, dy);
    if (length > 1e-9) {
        dx /= length, dy /= length;
    } else {
        dx = 1.0, dy = 0.0;
    }
    // Its length along the flight, turned a little.
    h.angle = std::atan2(dy, dx) + d.clubAngle;
    double toward = 0.0;
    for (int i = 0; i < kOutlineSamples; ++i) {
        const Xyz p = h.Outline(2.0 * base::kExactPi * i / kOutlineSamples);
        toward = std::max(toward, p.x * dx + p.y * dy);
        h.extent = std::max(h.extent, std::hypot(p.x, p.y));
    }
    // The hosel rises from the heel, the end away from the ball, leaning back.
    const double c = std::cos(h.angle), s = std::sin(h.angle);
    const auto local = [&](double lx, double ly) {
        return Xyz(lx * c - ly * s, lx * s + ly * c, 0.0);
    };
    h.hoselRadius = 0.13 * h.radius;
    h.hoselFrom = local(-0.55 * h.radius * h.stretch, -0.3 * h.radius / h.stretch);
    h.hoselTo = h.hoselFrom.Plus(local(-0.3 * h.radius, -1.3 * h.radius));
    for (const Xyz& p : {h.hoselFrom, h.hoselTo}) {
        toward = std::max(toward, p.x * dx + p.y * dy + h.hoselRadius);
        h.extent = std::max(h.extent, std::hypot(p.x, p.y) + h.hoselRadius);
    }
    // The outline is sampled: a pixel's worth keeps it clear of the ball between samples.
    const double back = clearance + d.clubGap * r0 + toward + 1.0;
    h.x = pix0.x - dx * back;
    h.y = pix0.y - dy * back;
    return h;
}

Backdrop::Backdrop(const ShotSetup& setup, const ShotTruth& truth) : width_(setup.width) {
    const RealismDraws& d = truth.drawn;
    const int w = setup.width, h = setup.height;
    // A linear rise of gradientLevels from the darkest corner to the brightest.
    const double c = std::cos(d.gradientAngle), s = std::sin(d.gradientAngle);
    double low = 0.0, high = 0.0;
    for (const auto& [x, y] : {std::pair(0.0, 0.0), std::pair(w - 1.0, 0.0),
                               std::pair(0.0, h - 1.0), std::pair(w - 1.0, h - 1.0)}) {
        low = std::min(low, x * c + y * s);
        high = std::max(high, x * c + y * s);
    }
    const double scale = d.gradientLevels / (high - low);
    gradientX_ = c * scale;
    gradientY_ = s * scale;
    gradientBase_ = setup.lighting.backgroundLevel - low * scale;

    mat_ = d.mat;
    groundTop_ = d.groundTop * h;
    matTilt_ = d.matTilt;
    const double tiltRows = std::fabs(matTilt_) * w / 2.0;
    firstGroundRow_ = std::max(0, int(std::floor(groundTop_ - (mat_ ? tiltRows : 0.0))) - 1);
    matLevel_ = d.matLevel;
    matTexture_ = d.matTexture;
    matGrain_ = d.matGrain;

    const double diameter = truth.pix0.z;
    const double forward = truth.pix1.x >= truth.pix0.x ? 1.0 : -1.0;
    cupHalf_ = 0.13 * diameter;
    // Where the ball sat, kept in view.
    teeX_ = std::clamp(truth.pix0.x - forward * d.teeBehind * diameter / 2.0, 2.0 * cupHalf_,
                       w - 2.0 * cupHalf_);
    cupDepth_ = 0.16 * diameter;
    neckHalf_ = 0.045 * diameter;
    teeLevel_ = d.teeLevel;

    club_ = truth.clubDrawn;
    if (club_) {
        head_ = PlaceClub(d, truth.pix0, truth.pix1, truth.clubClearance);
        const double reach = head_.extent + 2.0;
        clubLeft_ = std::max(0, int(std::floor(head_.x - reach)));
        clubRight_ = std::min(w - 1, int(std::ceil(head_.x + reach)));
        clubTop_ = std::max(0, int(std::floor(head_.y - reach)));
        clubBottom_ = std::min(h - 1, int(std::ceil(head_.y + reach)));
    }
}

double Backdrop::MatLevel(int column, int row) const {
    const double edge = groundTop_ + matTilt_ * (column - width_ / 2.0);
    const double cover = std::clamp(row + 0.5 - edge, 0.0, 1.0);
    if (cover <= 0.0) return 0.0;
    // Fine grain and coarser tufts, and a brighter strip along the edge.
    const double grain = 0.55 * Grain(matGrain_, column, row) +
                         0.45 * Grain(matGrain_ ^ kCoarseSalt, column / 4, row / 2);
    const double strip = row - edge < 3.0 ? 12.0 : 0.0;
    return cover * (matLevel_ + matTexture_ * grain + strip);
}

double Backdrop::TeeCover(double x, double y, double& shade) const {
    const double down = y - groundTop_;
    if (down < -0.5) return 0.0;
    const double half = down < cupDepth_
                            ? cupHalf_ + (neckHalf_ - cupHalf_) * std::max(0.0, down) / cupDepth_
                            : neckHalf_;
    const double across = std::fabs(x - teeX_);
    const double cover =
        std::clamp(half - across + 0.5, 0.0, 1.0) * std::clamp(down + 0.5, 0.0, 1.0);
    if (cover <= 0.0) return 0.0;
    const double round = std::clamp(across / half, 0.0, 1.0);
    shade = teeLevel_ * (0.55 + 0.45 * std::sqrt(1.0 - round * round));
    return cover;
}

double Backdrop::Level(int column, int row) const {
    double level = gradientBase_ + gradientX_ * column + gradientY_ * row;
    if (row >= firstGroundRow_) {
        if (mat_) {
            level += MatLevel(column, row);
        } else {
            double shade = 0.0;
            const double cover = TeeCover(column, row, shade);
            level += cover * (shade - level);
        }
    }
    if (club_ && column >= clubLeft_ && column <= clubRight_ && row >= clubTop_ &&
        row <= clubBottom_) {
        const double margin = head_.Margin(column, row);
        double cover = margin < 0.0 ? 1.0 : 0.0;
        if (std::fabs(margin) < 2.0) {
            int inside = 0;
            for (int sy = 0; sy < kEdgeSamples; ++sy) {
                for (int sx = 0; sx < kEdgeSamples; ++sx) {
                    const double x = column - 0.5 + (sx + 0.5) / kEdgeSamples;
                    const double y = row - 0.5 + (sy + 0.5) / kEdgeSamples;
                    inside += head_.Margin(x, y) < 0.0 ? 1 : 0;
                }
            }
            cover = double(inside) / (kEdgeSamples * kEdgeSamples);
        }
        if (cover > 0.0) level += cover * (head_.Shade(column, row) - level);
    }
    return level;
}

}  // namespace kyvern::sim
