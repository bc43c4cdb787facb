// The rim at half the contrast between the ball and the scene, for the refined precision: the
// threshold edge moves with the light on the ball (a weaker flash, a darker corner makes the
// image look smaller and so farther), while the half-contrast point moves with neither.
#include <algorithm>
#include <cmath>

#include "analysis/image_analyzer.h"
#include "base/math_constants.h"

namespace kyvern::analysis {
namespace {

constexpr int kRimRays = 180;
constexpr double kRimStep = 0.25;       // pixels along a ray
constexpr double kMinRimContrast = 40;  // levels between the ball's face and the scene
constexpr double kRimOutlier = 1.5;     // pixels off the first fit that a point may lie

}  // namespace

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

bool ImageAnalyzer::RefineRim(const BallImage& b, frame::Xyz& rim) const {
    if (!b.edgesRefined || !(b.diameter > 20.0)) return false;
    const double radius = b.diameter / 2.0;
    double xs[kRimRays];
    double ys[kRimRays];
    int n = 0;
    for (int k = 0; k < kRimRays; ++k) {
        const double angle = 2.0 * base::kPi * k / kRimRays;
        const double c = std::cos(angle);
        const double s = std::sin(angle);
        auto at = [&](double r) { return Sample(b.centreX + r * c, b.centreY + r * s); };
        // The face just inside the rim and the scene just outside it, each the mean of a span.
        bool inside = true;
        auto mean = [&](double from, double to) {
            double sum = 0.0;
            int counted = 0;
            for (double share = from; share <= to; share += 0.02) {
                const double v = at(share * radius);
                inside = inside && v >= 0.0;
                sum += v;
                ++counted;
            }
            return sum / counted;
        };
        const double inner = mean(0.80, 0.88);
        const double outer = mean(1.12, 1.25);
        // A ray that leaves the frame, runs onto the ground or crosses the printed line at
        // the rim says nothing of the rim.
        if (!inside || inner - outer < kMinRimContrast) continue;
        if (b.centreY + 1.25 * radius * s > edgeFloor_ - 3) continue;
        const double half = (inner + outer) / 2.0;
        double previous = at(0.88 * radius);
        for (double r = 0.88 * radius + kRimStep; r <= 1.12 * radius; r += kRimStep) {
            const double v = at(r);
            if (v < half) {
                const double t = previous > v ? (previous - half) / (previous - v) : 0.0;
                const double crossing = r - kRimStep + t * kRimStep;
                xs[n] = b.centreX + crossing * c;
                ys[n] = b.centreY + crossing * s;
                ++n;
                break;
            }
            previous = v;
        }
    }
    if (n < kRimRays / 4) return false;

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
    // A rim far from the edges' circle is not this ball's: keep the edges' circle then.
    if (std::fabs(2.0 * r - b.diameter) > 0.1 * b.diameter ||
        std::hypot(cx - b.centreX, cy - b.centreY) > 0.1 * b.diameter) {
        return false;
    }
    rim.Set(cx, cy, 2.0 * r);
    return true;
}

void ImageAnalyzer::RefineRims() {
    ball0_.rimRefined = false;
    ball1_.rimRefined = false;
    if (!frameLoaded_ || precision_ != Precision::kRefined) return;
    frame::Xyz rims[2];
    if (!RefineRim(ball0_, rims[0]) || !RefineRim(ball1_, rims[1])) return;
    // The half-contrast point lies inside the outline by a share that depends on how the face
    // darkens towards it, which the edges' circles were made to match: their mean size stands,
    // and the rims give the two sizes' ratio, which the light does not move.
    const double mean = (ball0_.diameter + ball1_.diameter) / 2.0;
    const double ratio = rims[1].z / rims[0].z;
    BallImage* balls[2] = {&ball0_, &ball1_};
    const double sizes[2] = {2.0 * mean / (1.0 + ratio), 2.0 * mean * ratio / (1.0 + ratio)};
    for (int i = 0; i < 2; ++i) {
        BallImage& b = *balls[i];
        // The centres stay the edges': the marks and the spin were tuned on them.
        b.diameter = sizes[i];
        b.pix.Set(b.centreX, b.centreY, b.diameter);
        b.rimRefined = true;
    }
}

}  // namespace kyvern::analysis
