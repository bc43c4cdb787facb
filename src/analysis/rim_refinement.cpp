// The rim at half the contrast between the ball and the scene, for the refined precision and for
// the standard one's unequal flashes: the threshold edge moves with the light on the ball (a
// weaker flash, a darker corner makes the image look smaller and so farther), while the
// half-contrast point moves with neither.
#include <algorithm>
#include <cmath>
#include <limits>

#include "analysis/image_analyzer.h"
#include "base/math_constants.h"
#include "frame/camera_model.h"

namespace kyvern::analysis {
namespace {

constexpr int kRimRays = 180;
constexpr double kRimStep = 0.25;       // pixels along a ray
constexpr double kMinRimContrast = 40;  // levels between the ball's face and the scene
constexpr double kRimOutlier = 1.5;     // pixels off the first fit that a point may lie
constexpr double kRampOutlier = 1.0;    // pixels off the first line that a ramp's width may lie
constexpr double kSceneSpread = 12.0;   // levels the scene beside a ray may differ from the median
constexpr double kFaceInside = 2.0;     // pixels inside the ramp's top where the face is read
constexpr double kRimScale = 0.01;      // the edges' circles' size beyond the rims', as a share
constexpr double kRimSmearShare = 0.5;  // of the ramp's stretch that a smear narrows the rim by
constexpr double kMinSmearStretch = 0.5;  // pixels of stretch on each image that show a smear

// Where a ray's profile, sampled every kRimStep from `from` to `to`, first falls below each of
// the levels (highest first), between the samples; a lower level is looked for from where the
// higher one fell. Returns how many levels it fell below; crossings past those are untouched.
template <class At>
int Falls(const At& at, const double* levels, int count, double from, double to,
          double* crossings) {
    int found = 0;
    double previous = at(from);
    for (double r = from + kRimStep; r <= to && found < count; r += kRimStep) {
        const double v = at(r);
        while (found < count && v < levels[found]) {
            const double t = previous > v ? (previous - levels[found]) / (previous - v) : 0.0;
            crossings[found++] = r - kRimStep + t * kRimStep;
        }
        previous = v;
    }
    return found;
}

}  // namespace

// The ramp from the face to the scene on each ray of a fitted rim: its width from three
// quarters to a quarter of the contrast, |cos| of the ray's angle to the flight, and the ray's
// direction.
struct ImageAnalyzer::RimRamps {
    double width[kRimRays];
    double along[kRimRays];
    double cosine[kRimRays];
    double sine[kRimRays];
    int count = 0;
};

// The ramps' stretch along the flight, in pixels per unit of |cos|: a least-squares fit of
// width = w0 + stretch |cos(to the flight)| + p cos(angle) + q sin(angle), where the last two
// terms take the light falling on one side of the ball (it widens that side's ramps), then
// again without the rays far off it (a print or a dimple at the rim). A stretch below zero is
// returned as it is: it is noise, and the caller averages it with the other image's.
double ImageAnalyzer::RampStretch(const RimRamps& ramps) {
    double coefficients[4] = {0.0, 0.0, 0.0, 0.0};
    double limit = std::numeric_limits<double>::infinity();
    for (int pass = 0; pass < 2; ++pass) {
        double m[4][5] = {};
        int n = 0;
        for (int i = 0; i < ramps.count; ++i) {
            const double row[4] = {1.0, ramps.along[i], ramps.cosine[i], ramps.sine[i]};
            double fitted = 0.0;
            for (int j = 0; j < 4; ++j)
                fitted += coefficients[j] * row[j];
            if (std::fabs(ramps.width[i] - fitted) > limit) continue;
            for (int j = 0; j < 4; ++j) {
                for (int k = 0; k < 4; ++k)
                    m[j][k] += row[j] * row[k];
                m[j][4] += row[j] * ramps.width[i];
            }
            ++n;
        }
        if (n < kRimRays / 4) return 0.0;
        for (int j = 0; j < 4; ++j) {
            int pivot = j;
            for (int k = j + 1; k < 4; ++k)
                if (std::fabs(m[k][j]) > std::fabs(m[pivot][j])) pivot = k;
            if (!(std::fabs(m[pivot][j]) > 1e-9)) return 0.0;
            std::swap(m[j], m[pivot]);
            for (int k = 0; k < 4; ++k) {
                if (k == j) continue;
                const double f = m[k][j] / m[j][j];
                for (int c = j; c < 5; ++c)
                    m[k][c] -= f * m[j][c];
            }
        }
        for (int j = 0; j < 4; ++j)
            coefficients[j] = m[j][4] / m[j][j];
        limit = kRampOutlier;
    }
    return coefficients[1];
}

double ImageAnalyzer::Sample(double x, double y) const {
    const int x0 = int(std::floor(x));
    const int y0 = int(std::floor(y));
    if (x0 < 0 || y0 < 0 || x0 + 1 >= width_ || y0 + 1 >= height_) return -1.0;
    const double fx = x - x0;
    const double fy = y - y0;
    const std::uint8_t* p = frame_.get() + std::size_t(y0) * width_ + x0;
    const double top = p[0] + fx * (p[1] - p[0]);
    const double bottom = p[width_] + fx * (p[width_ + 1] - p[width_]);
    return top + fy * (bottom - top);
}

bool ImageAnalyzer::RefineRim(const BallImage& b, double ux, double uy, double smearShift,
                              frame::Xyz& rim, RimRamps& ramps) const {
    ramps.count = 0;
    if (!b.edgesRefined || !(b.diameter > 20.0)) return false;
    const double radius = b.diameter / 2.0;
    double xs[kRimRays];
    double ys[kRimRays];
    // Each ray's direction, and the face just inside the rim and the scene just outside it on each
    // ray, each the mean of a span; -1 for a ray that leaves the frame, runs onto the ground or
    // crosses the printed line at the rim: it says nothing of the rim.
    double cosines[kRimRays];
    double sines[kRimRays];
    double inners[kRimRays];
    double outers[kRimRays];
    double sorted[kRimRays];
    int scenes = 0;
    for (int k = 0; k < kRimRays; ++k) {
        const double angle = 2.0 * base::kPi * k / kRimRays;
        const double c = cosines[k] = std::cos(angle);
        const double s = sines[k] = std::sin(angle);
        bool inside = true;
        auto mean = [&](double from, double to) {
            double sum = 0.0;
            int counted = 0;
            for (double share = from; share <= to; share += 0.02) {
                const double v =
                    Sample(b.centreX + share * radius * c, b.centreY + share * radius * s);
                inside = inside && v >= 0.0;
                sum += v;
                ++counted;
            }
            return sum / counted;
        };
        inners[k] = mean(0.80, 0.88);
        outers[k] = mean(1.12, 1.25);
        if (!inside || inners[k] - outers[k] < kMinRimContrast ||
            b.centreY + 1.25 * radius * s > edgeFloor_ - 3) {
            outers[k] = -1.0;
        } else {
            sorted[scenes++] = outers[k];
        }
    }
    if (scenes == 0) return false;
    // The scene beside a ball is nearly one level all round it; a ray whose scene is far off
    // that level ends on something else (the club head, the tee), whose ramp is not the ball's.
    std::nth_element(sorted, sorted + scenes / 2, sorted + scenes);
    const double scene = sorted[scenes / 2];

    int n = 0;
    for (int k = 0; k < kRimRays; ++k) {
        if (!(outers[k] >= 0.0) || std::fabs(outers[k] - scene) > kSceneSpread) continue;
        const double c = cosines[k];
        const double s = sines[k];
        auto at = [&](double r) { return Sample(b.centreX + r * c, b.centreY + r * s); };
        const double inner = inners[k];
        const double outer = outers[k];
        // Where the ramp from the face to the scene crosses three quarters, half and a quarter
        // of the contrast.
        const double levels[3] = {outer + 0.75 * (inner - outer), (inner + outer) / 2.0,
                                  outer + 0.25 * (inner - outer)};
        double crossings[3];
        const int found = Falls(at, levels, 3, 0.80 * radius, 1.25 * radius, crossings);
        if (found < 3 || crossings[1] < 0.88 * radius || crossings[1] > 1.12 * radius) continue;
        // The rim is half-way between the scene and the face where the ramp begins, not the
        // face further in: the face darkens towards its rim by however the light falls on that
        // side, so half the contrast with the face further in lies inside the outline by up to
        // a pixel more on one side than on the other, and an arc cut by the mat turns that
        // into its size. The crossing of the wider contrast stands where this one is not found.
        double rimAt = crossings[1];
        const double half = (at(crossings[0] - kFaceInside) + outer) / 2.0;
        // Not beyond the scene's span, which is known to lie in the frame.
        const double end = std::min(crossings[2] + 1.0, 1.25 * radius);
        Falls(at, &half, 1, crossings[0] - 1.0, end, &rimAt);
        ramps.along[n] = std::fabs(c * ux + s * uy);
        rimAt += smearShift * ramps.along[n];
        xs[n] = b.centreX + rimAt * c;
        ys[n] = b.centreY + rimAt * s;
        ramps.width[n] = crossings[2] - crossings[0];
        ramps.cosine[n] = c;
        ramps.sine[n] = s;
        ++n;
    }
    if (n < kRimRays / 4) return false;

    // A ball off the optical axis images as an ellipse stretched along the radius from the
    // frame's centre by 1 / cos of its angle off the axis. On a whole outline a circle takes
    // the mean of the two axes, but on an arc (the frame's edge, the mat) it takes the arc's own
    // curvature, and the size then depends on which part of the outline was seen. So the points
    // are pressed along that radius by the cosine, where the outline is a circle of the short
    // axis, and the circle is fitted there; its size is given back as the whole outline's
    // circle would have it.
    const double cosine = frame::OffAxisCosine(b.centreX, b.centreY, width_, height_);
    const double u = b.centreX - width_ / 2.0;
    const double v = b.centreY - height_ / 2.0;
    const double offAxis = std::hypot(u, v);
    const double ex = offAxis > 0.0 ? u / offAxis : 1.0;
    const double ey = offAxis > 0.0 ? v / offAxis : 0.0;
    for (int i = 0; i < n; ++i) {
        const double along = (xs[i] - b.centreX) * ex + (ys[i] - b.centreY) * ey;
        xs[i] -= (1.0 - cosine) * along * ex;
        ys[i] -= (1.0 - cosine) * along * ey;
    }

    // The least-squares circle through the points (the algebraic fit: linear in the centre and
    // in r^2 - |c|^2), then again without the points far from the first.
    double cx = b.centreX;
    double cy = b.centreY;
    double r = radius;
    bool kept[kRimRays];
    std::fill_n(kept, n, true);
    for (int pass = 0; pass < 2; ++pass) {
        double sx = 0, sy = 0, sxx = 0, syy = 0, sxy = 0, sz = 0, sxz = 0, syz = 0;
        int m = 0;
        for (int i = 0; i < n; ++i) {
            if (!kept[i]) continue;
            // Relative to the old centre, so that the sums stay small.
            const double x = xs[i] - b.centreX;
            const double y = ys[i] - b.centreY;
            const double z = x * x + y * y;
            sx += x, sy += y, sxx += x * x, syy += y * y, sxy += x * y;
            sz += z, sxz += x * z, syz += y * z;
            ++m;
        }
        if (m < kRimRays / 4) return false;
        // Solve [sxx sxy sx; sxy syy sy; sx sy m] [a b c] = [sxz syz sz] for x^2+y^2 = a x + b y +
        // c.
        const double a11 = sxx, a12 = sxy, a13 = sx, a22 = syy, a23 = sy, a33 = m;
        const double det = a11 * (a22 * a33 - a23 * a23) - a12 * (a12 * a33 - a23 * a13) +
                           a13 * (a12 * a23 - a22 * a13);
        if (!(std::fabs(det) > 1e-9)) return false;
        const double b1 = sxz, b2 = syz, b3 = sz;
        const double da = b1 * (a22 * a33 - a23 * a23) - a12 * (b2 * a33 - a23 * b3) +
                          a13 * (b2 * a23 - a22 * b3);
        const double db = a11 * (b2 * a33 - a23 * b3) - b1 * (a12 * a33 - a23 * a13) +
                          a13 * (a12 * b3 - b2 * a13);
        const double dc = a11 * (a22 * b3 - b2 * a23) - a12 * (a12 * b3 - b2 * a13) +
                          b1 * (a12 * a23 - a22 * a13);
        const double ca = da / det / 2.0;
        const double cb = db / det / 2.0;
        const double r2 = dc / det + ca * ca + cb * cb;
        if (!(r2 > 0.0)) return false;
        cx = b.centreX + ca;
        cy = b.centreY + cb;
        r = std::sqrt(r2);
        for (int i = 0; i < n; ++i) {
            const double d = std::hypot(xs[i] - cx, ys[i] - cy) - r;
            kept[i] = std::fabs(d) <= kRimOutlier;
        }
    }
    // Back to the frame: the centre stretched out again, the size the mean of the two axes.
    const double along = (cx - b.centreX) * ex + (cy - b.centreY) * ey;
    cx += (1.0 / cosine - 1.0) * along * ex;
    cy += (1.0 / cosine - 1.0) * along * ey;
    const double diameter = r * (1.0 + 1.0 / cosine);
    // A rim far from the edges' circle is not this ball's: keep the edges' circle then.
    if (std::fabs(diameter - b.diameter) > 0.1 * b.diameter ||
        std::hypot(cx - b.centreX, cy - b.centreY) > 0.1 * b.diameter) {
        return false;
    }
    rim.Set(cx, cy, diameter);

    // The ramps of the rays the circle kept, in their order.
    for (int i = 0; i < n; ++i) {
        if (!kept[i]) continue;
        const int to = ramps.count++;
        ramps.width[to] = ramps.width[i];
        ramps.along[to] = ramps.along[i];
        ramps.cosine[to] = ramps.cosine[i];
        ramps.sine[to] = ramps.sine[i];
    }
    return true;
}

bool ImageAnalyzer::FlashesUnequal() const {
    const int dim = std::min(ball0_.lum, ball1_.lum);
    const int bright = std::max(ball0_.lum, ball1_.lum);
    if (dim < LowContrastLevel()) return false;
    return bright - dim > kUnequalLum || dim < kUnequalShare * bright;
}

void ImageAnalyzer::RefineRims(bool smeared) {
    ball0_.rimRefined = false;
    ball1_.rimRefined = false;
    const bool refined = precision_ == Precision::kRefined;
    // Standard keeps its threshold edges wherever they hold the depth, so that on an evenly lit
    // frame its results are its own algorithm's. Where the light differs, it would set the depth
    // rather than measure it, or keep one the light moved, and the shot would be doubted.
    if (!frameLoaded_ || !(refined || FlashesUnequal())) return;
    const double dx = ball1_.centreX - ball0_.centreX;
    const double dy = ball1_.centreY - ball0_.centreY;
    const double apart = std::hypot(dx, dy);
    if (!(apart > 0.0)) return;
    frame::Xyz rims[2];
    RimRamps ramps[2];
    const double ux = dx / apart;
    const double uy = dy / apart;
    if (!RefineRim(ball0_, ux, uy, 0.0, rims[0], ramps[0]) ||
        !RefineRim(ball1_, ux, uy, 0.0, rims[1], ramps[1])) {
        return;
    }
    // A flash long enough to smear the ball stretches the ramp along the flight by |cos| of
    // the angle to it and not across. The threshold edges sit at the ramp's foot, so each edges'
    // circle is wider by the stretch's mean over its rays.
    // One flash and nearly one speed in the image: the two images' stretches are averaged, and
    // only then is a stretch below zero taken as none, so that noise alone does not add up to a
    // smear.
    const double s0 = smeared && refined ? RampStretch(ramps[0]) : 0.0;
    const double s1 = smeared && refined ? RampStretch(ramps[1]) : 0.0;
    const double stretch = std::max((s0 + s1) / 2.0, 0.0);
    // The rim, at half the contrast, narrows by about half the stretch along the flight. Whole
    // outlines narrow alike and keep their ratio, but an arc (a tee across the trailing side)
    // leaves out the rays that narrowed most, and its circle reads the image larger than the
    // other. Where both images show a smear, each ray's rim is moved out by its share and the
    // rims are fitted again. One image alone is not trusted for it: the mat's or a tee's rays
    // can make the ramps of one image look stretched where nothing moved.
    bool unsmeared = false;
    frame::Xyz again[2];
    RimRamps rampsAgain[2];
    if (std::min(s0, s1) > kMinSmearStretch &&
        RefineRim(ball0_, ux, uy, kRimSmearShare * stretch, again[0], rampsAgain[0]) &&
        RefineRim(ball1_, ux, uy, kRimSmearShare * stretch, again[1], rampsAgain[1])) {
        unsmeared = true;
        for (int k = 0; k < 2; ++k) {
            rims[k] = again[k];
            ramps[k] = rampsAgain[k];
        }
    }
    double smear = 0.0;
    for (int k = 0; k < 2; ++k) {
        double sa = 0.0;
        for (int i = 0; i < ramps[k].count; ++i)
            sa += ramps[k].along[i];
        smear += ramps[k].count > 0 ? stretch * sa / ramps[k].count : 0.0;
    }
    // The edges' circles move with the light on the ball and the sensor's noise, the rims with
    // the prints and the face's shading at the outline: their errors are largely apart, so the
    // mean size is taken from both. The rest of the analysis measures distances on the edges'
    // scale, which on a sharp, evenly lit frame lies kRimScale outside the outline the rims lie
    // on; and a smear widens the edges' circles by its mean over their rays but narrows the rims
    // by about half of that, unless they were fitted again without it. The rims alone give the
    // two sizes' ratio, which the light does not move.
    const double edges = (ball0_.diameter + ball1_.diameter) / 2.0 - smear;
    const double rimsMean =
        (rims[0].z + rims[1].z) / 2.0 * (1.0 + kRimScale) + (unsmeared ? 0.0 : smear / 2.0);
    // Standard keeps its own mean size and takes only the ratio from the rims.
    const double mean = refined ? (edges + rimsMean) / 2.0 : edges;
    double ratio = rims[1].z / rims[0].z;
    // Standard does not undo the ellipse on its sizes, so the ratio it takes from the rims is
    // the one the two balls would have on the axis: without it the rims' ratio reads the
    // depth worse than the threshold edges do (side angle sd 2.1 against 1.9 degrees).
    if (!refined) {
        ratio *= frame::PerspectiveCorrection(ball1_.centreX, ball1_.centreY, width_, height_) /
                 frame::PerspectiveCorrection(ball0_.centreX, ball0_.centreY, width_, height_);
    }
    BallImage* balls[2] = {&ball0_, &ball1_};
    const double sizes[2] = {2.0 * mean / (1.0 + ratio), 2.0 * mean * ratio / (1.0 + ratio)};
    for (int i = 0; i < 2; ++i) {
        BallImage& b = *balls[i];
        // The centres stay the edges': the marks and the spin were tuned on them.
        b.diameter = sizes[i];
        b.pix.Set(b.centreX, b.centreY, b.diameter);
        b.rimRefined = true;
        b.outlineSeen = double(ramps[i].count) / kRimRays;
    }
}

}  // namespace kyvern::analysis
