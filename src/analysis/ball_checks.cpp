// What tells a ball's image from the rest of a real scene: its outline is a circle, the scene
// just outside it is dark, and it lies above the mat. A club head is as bright and as large as
// a ball but not round; the mat is lit from side to side.
#include <algorithm>
#include <cmath>

#include "analysis/image_analyzer.h"
#include "base/math_constants.h"

namespace kyvern::analysis {
namespace {

constexpr double kOnCircle = 2.5;  // pixels an edge may lie off the fitted circle
constexpr int kRingAngles = 96;
constexpr double kOnPlane = 0.12;  // sine of the angle a point of the line may stray from it
constexpr int kGroundGrain = 25;
constexpr int kStepRows = 4;  // half the rows over which the mat's edge rises  // levels above a
                              // ground row's median that are still the mat

// The level below which this share of the histogram's pixels lie.
int LevelBelow(const std::array<std::uint32_t, 256>& histogram, double share) {
    std::uint64_t total = 0;
    for (std::uint32_t n : histogram)
        total += n;
    const double wanted = share * double(total);
    std::uint64_t count = 0;
    for (int level = 0; level < 256; ++level) {
        count += histogram[level];
        if (double(count) >= wanted) return level;
    }
    return 255;
}

}  // namespace

bool ImageAnalyzer::CheckBalls() {
    if (!frameLoaded_) return false;
    bool real = true;
    for (int i = 0; i < 2; ++i) {
        BallImage& b = Ball(i);
        b.edgeFit = 0.0;
        b.ringLit = 0.0;
        b.outlineSeen = 0.0;
        if (!b.edgesRefined || !(b.diameter > 0.0)) {
            real = false;
            continue;
        }
        const double radius = b.diameter / 2.0;
        // Of the profiles that found an edge: a ball cut by the frame or lying on the mat
        // loses edges, a club head's edges are there but off any circle.
        int onCircle = 0;
        int withEdge = 0;
        for (int p = 0; p < b.profileCount; ++p) {
            const RadialProfile& profile = b.profiles[p];
            if (profile.refinedEdge == 0) continue;
            const ProfileSample& sample = profile.samples[profile.refinedEdge];
            if (sample.y > edgeFloor_ - 3) continue;  // as the fit leaves it out
            ++withEdge;
            const double dx = sample.x - b.centreX;
            const double dy = sample.y - b.centreY;
            if (std::fabs(std::sqrt(dx * dx + dy * dy) - radius) <= kOnCircle) ++onCircle;
        }
        b.edgeFit =
            4 * withEdge >= b.profileCount && withEdge > 0 ? double(onCircle) / withEdge : 0.0;
        b.outlineSeen = b.profileCount > 0 ? double(withEdge) / b.profileCount : 0.0;

        // The ring from 1.15 to 1.35 radii: clear of the blur of the edge, inside what a lit
        // neighbour would reach. Outside the frame counts as dark.
        int lit = 0;
        int seen = 0;
        for (double share : {1.15, 1.25, 1.35}) {
            for (int a = 0; a < kRingAngles; ++a) {
                const double angle = 2.0 * base::kPi * a / kRingAngles;
                const int x = int(std::lround(b.centreX + share * radius * std::cos(angle)));
                const int y = int(std::lround(b.centreY + share * radius * std::sin(angle)));
                ++seen;
                if (x < 0 || y < 0 || x >= width_ || y >= height_) continue;
                // On the mat, lit is brighter than the mat and its grain, as the ground's
                // hiding has it.
                const int above =
                    y >= matRow_ ? std::max(int(backgroundLevel_), groundMedians_[y] + kGroundGrain)
                                 : int(backgroundLevel_);
                if (frame_[std::size_t(y) * width_ + x] > above) ++lit;
            }
        }
        b.ringLit = double(lit) / seen;
        real = real && b.edgeFit >= kMinEdgeFit && b.ringLit <= kMaxRingLit;
    }
    return real;
}

void ImageAnalyzer::MeasurePlanes() {
    for (int i = 0; i < 2; ++i) {
        BallImage& b = Ball(i);
        b.onPlane = 0.0;
        const double length = b.planeNormal.Length();
        if (!b.planeFound || b.markCount <= 0 || !(length > 0.0)) continue;
        const frame::Xyz n = b.planeNormal;
        int on = 0;
        for (int k = 0; k < b.markCount; ++k) {
            const frame::Xyz& p = b.marks[k].point;
            const double r = p.Length();
            // The normal is y up, the marks y down.
            if (r > 0.0 && std::fabs(p.x * n.x - p.y * n.y + p.z * n.z) <= kOnPlane * r * length)
                ++on;
        }
        b.onPlane = double(on) / b.markCount;
    }
}

int ImageAnalyzer::RowMedian(int row) const {
    std::array<int, 256> counts{};
    const std::uint8_t* p = frame_.get() + std::size_t(row) * width_;
    for (int x = 0; x < width_; ++x)
        ++counts[p[x]];
    int seen = 0;
    for (int level = 0; level < 256; ++level) {
        seen += counts[level];
        if (2 * seen >= width_) return level;
    }
    return 255;
}

int ImageAnalyzer::GroundRow() const {
    if (!frameLoaded_ || width_ <= 0 || height_ <= 0) return height_;
    const int dark = LevelBelow(histogram_, 0.25);
    // Balls fill at most a third of a row or so: the median of a row is the scene's, or the mat's.
    const int bottom = RowMedian(height_ - 1);
    if (bottom < dark + 15) return height_;
    const int half = (dark + bottom) / 2;
    int row = height_ - 1;
    while (row > 0 && RowMedian(row - 1) >= half)
        --row;
    // The mat's edge is a step within a few rows; stray light rises slowly across the frame.
    const int below = RowMedian(std::min(row + kStepRows, height_ - 1));
    const int above = RowMedian(std::max(row - kStepRows, 0));
    return 2 * (below - above) >= bottom - dark ? row : height_;
}

void ImageAnalyzer::HideGround(int firstRow) {
    if (!frameLoaded_ || firstRow >= height_) return;
    const int first = std::max(firstRow, 0);
    const auto dark = std::uint8_t(LevelBelow(histogram_, 0.25));
    // The mat goes, a ball lying on it stays: each row loses what is no brighter than its
    // median and the mat's grain.
    for (int row = first; row < height_; ++row) {
        std::uint8_t* p = frame_.get() + std::size_t(row) * width_;
        const int median = groundMedians_[row] = std::uint8_t(RowMedian(row));
        const int mat = std::min(median + kGroundGrain, 255);
        for (int x = 0; x < width_; ++x) {
            if (p[x] <= mat) p[x] = dark;
        }
    }
    // A ball's outline across the mat is its contrast with the mat, not with the scene: the
    // circle is fitted to the edges above it.
    edgeFloor_ = first;
    RebuildHistogram();  // the levels of what is left decide the thresholds
}

void ImageAnalyzer::KeepGround(int firstRow) {
    if (!groundRows_) groundRows_.reset(new std::uint8_t[kFramePixelCapacity]);
    const std::size_t from = std::size_t(firstRow) * width_;
    std::copy(frame_.get() + from, frame_.get() + std::size_t(height_) * width_,
              groundRows_.get() + from);
}

void ImageAnalyzer::RestoreGround(int firstRow) {
    const std::size_t from = std::size_t(firstRow) * width_;
    std::copy(groundRows_.get() + from, groundRows_.get() + std::size_t(height_) * width_,
              frame_.get() + from);
    edgeFloor_ = height_;
    RebuildHistogram();
}

void ImageAnalyzer::HideLitRegion(double x, double y, double radius) {
    if (!frameLoaded_ || !(radius > 0.0)) return;
    const auto dark = std::uint8_t(LevelBelow(histogram_, 0.25));
    // Start from the brightest pixel near the point: the point itself may be a groove.
    const int cx = int(x);
    const int cy = int(y);
    int seed = -1;
    int seedLevel = -1;
    for (int yy = cy - 4; yy <= cy + 4; ++yy) {
        for (int xx = cx - 4; xx <= cx + 4; ++xx) {
            if (xx < 0 || yy < 0 || xx >= width_ || yy >= height_) continue;
            const int index = yy * width_ + xx;
            if (frame_[index] > seedLevel) {
                seedLevel = frame_[index];
                seed = index;
            }
        }
    }
    if (seed < 0) return;
    const int lit = (dark + seedLevel) / 2;
    if (seedLevel <= lit) return;
    if (!hideQueue_) hideQueue_.reset(new std::int32_t[kFramePixelCapacity]);
    std::int32_t* queue = hideQueue_.get();
    const double reach2 = radius * radius;
    int head = 0;
    int tail = 0;
    frame_[seed] = dark;
    queue[tail++] = seed;
    while (head < tail) {
        const int index = queue[head++];
        const int px = index % width_;
        const int py = index / width_;
        const int next[4][2] = {{px - 1, py}, {px + 1, py}, {px, py - 1}, {px, py + 1}};
        for (const auto& n : next) {
            if (n[0] < 0 || n[1] < 0 || n[0] >= width_ || n[1] >= height_) continue;
            const double dx = n[0] - x;
            const double dy = n[1] - y;
            if (dx * dx + dy * dy > reach2) continue;
            const int at = n[1] * width_ + n[0];
            if (frame_[at] <= lit) continue;
            frame_[at] = dark;  // painted when queued, so each pixel is queued once
            queue[tail++] = at;
        }
    }
    RebuildHistogram();
}

}  // namespace kyvern::analysis
