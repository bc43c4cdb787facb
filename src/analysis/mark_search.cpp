// The spin marks: the dark pixels of the printed line on each ball, each darker than the mean
// of the 30 x 30 window around it, lifted onto the ball's sphere.
#include <algorithm>
#include <cmath>

#include "analysis/analysis_codes.h"
#include "analysis/image_analyzer.h"
#include "base/math_constants.h"
#include "frame/simd.h"

namespace kyvern::analysis {

namespace {

double Clamped(double v) { return std::clamp(v, -1.0, 1.0); }

int TruncatedDistance(double dx, double dy) { return int(std::sqrt(dx * dx + dy * dy)); }

}  // namespace

void ImageAnalyzer::BuildRowSums() {
    const int total = width_ * height_;
    graySums_[0] = 0;
    for (int i = 0; i < total; ++i)
        graySums_[i + 1] = graySums_[i] + frame_[i];
    graySumsReady_ = true;
}

int ImageAnalyzer::WindowMeanPlain(int row, int column) const {
    const std::int64_t total = std::int64_t(width_) * height_;
    std::int64_t sum = 0;
    std::int64_t count = 0;
    for (int rr = row - 15; rr <= row + 14; ++rr) {
        for (int cc = column - 15; cc <= column + 14; ++cc) {
            const std::int64_t index = std::int64_t(rr) * width_ + cc;
            if (index < 0 || index >= total) continue;
            sum += frame_[index];
            ++count;
        }
    }
    return count > 0 ? int(sum / count) : 0;
}

// A window row is a run of consecutive linear indexes, so its sum is a difference of
// running sums; the count is that of the indexes inside the frame, as in the plain loop.
int ImageAnalyzer::WindowMeanFast(int row, int column) const {
    const std::int64_t total = std::int64_t(width_) * height_;
    std::int64_t sum = 0;
    std::int64_t count = 0;
    for (int rr = row - 15; rr <= row + 14; ++rr) {
        const std::int64_t start = std::int64_t(rr) * width_ + column;
        const std::int64_t lo = std::max<std::int64_t>(start - 15, 0);
        const std::int64_t hi = std::min<std::int64_t>(start + 14, total - 1);
        if (lo > hi) continue;
        sum += graySums_[hi + 1] - graySums_[lo];
        count += hi - lo + 1;
    }
    return count > 0 ? int(sum / count) : 0;
}

ImageAnalyzer::WindowSums ImageAnalyzer::MarkWindows(const BallImage& b) const {
    WindowSums sums;
    const double r = b.diameter / 2;
    if (!(std::isfinite(b.centreX) && std::isfinite(b.centreY) && r >= 10 && r < 1e6)) {
        sums.clipped = true;
        return sums;
    }
    // A searched pixel's truncated distance from the centre is at most r - 10, so it lies less
    // than r - 9 away; its window reaches 15 pixels before it and 14 after.
    const double top = std::floor(b.centreY - r) - 15;
    const double bottom = std::ceil(b.centreY + r) + 14;
    const double left = std::floor(b.centreX - r) - 15;
    const double right = std::ceil(b.centreX + r) + 14;
    sums.clipped = top < 0 || left < 0 || bottom > height_ - 1 || right > width_ - 1;
    sums.firstRow = int(std::max(top, 0.0));
    sums.lastRow = int(std::min(bottom, double(height_ - 1)));
    sums.firstColumn = int(std::max(left, 0.0));
    sums.lastColumn = int(std::min(right, double(width_ - 1)));
    return sums;
}

bool ImageAnalyzer::NeedsRowSums(const WindowSums& sums, std::int64_t capacity) const {
    return fastSteps_ && (sums.Empty() || sums.Size() > capacity || sums.clipped);
}

void ImageAnalyzer::BuildWindowSums(WindowSums& sums, std::int32_t* table) const {
    sums.table = table;
    const int stride = sums.lastColumn - sums.firstColumn + 2;
    std::fill_n(table, stride, 0);
    for (int row = sums.firstRow; row <= sums.lastRow; ++row) {
        std::int32_t* line = table + std::size_t(row - sums.firstRow + 1) * stride;
        const std::int32_t* above = line - stride;
        const std::uint8_t* pixels = frame_.get() + std::size_t(row) * width_;
        std::int32_t running = 0;
        line[0] = 0;
        for (int column = sums.firstColumn; column <= sums.lastColumn; ++column) {
            running += pixels[column];
            line[column - sums.firstColumn + 1] = above[column - sums.firstColumn + 1] + running;
        }
    }
}

// The plain loop's mean from the table where its 30 x 30 window lies inside the table (so
// inside the frame: 900 pixels, no wrapped reads); elsewhere from the running sums when they
// are built, or from the pixels, which give the same mean.
int ImageAnalyzer::WindowMeanTable(const WindowSums& sums, int row, int column) const {
    if (sums.table == nullptr || row - 15 < sums.firstRow || row + 14 > sums.lastRow ||
        column - 15 < sums.firstColumn || column + 14 > sums.lastColumn) {
        return graySumsReady_ ? WindowMeanFast(row, column) : WindowMeanPlain(row, column);
    }
    const int stride = sums.lastColumn - sums.firstColumn + 2;
    const std::int32_t* top = sums.table + std::size_t(row - 15 - sums.firstRow) * stride +
                              (column - 15 - sums.firstColumn);
    const std::int32_t* bottom = top + std::size_t(30) * stride;
    return (bottom[30] - bottom[0] - top[30] + top[0]) / 900;
}

namespace {

// Narrows [left, right] to the run of a row's pixels that pass within(row, column), a test
// that holds the nearer a column lies to the centre (so the passing pixels are one run): from
// the pixel nearest the centre, the run's two ends are found by halving with the same test.
// False when no pixel of the row passes.
template <typename Within>
bool WithinRun(int row, int& left, int& right, double centreX, const Within& within) {
    if (left > right) return false;
    // The pixel nearest the centre is one of the two around it, or the end of the row nearer
    // to it when the row does not reach it.
    const int nearest = std::clamp(int(std::floor(centreX)), left, right);
    const int next = std::min(nearest + 1, right);
    int middle = nearest;
    if (!within(row, middle)) {
        middle = next;
        if (!within(row, middle)) return false;
    }
    int low = left;  // the first passing column lies in [low, middle]
    int high = middle;
    while (low < high) {
        const int mid = low + (high - low) / 2;
        if (within(row, mid))
            high = mid;
        else
            low = mid + 1;
    }
    left = low;
    low = middle;  // the last in [middle, right]
    high = right;
    while (low < high) {
        const int mid = high - (high - low) / 2;
        if (within(row, mid))
            low = mid;
        else
            high = mid - 1;
    }
    right = low;
    return true;
}

}  // namespace

bool ImageAnalyzer::FindMarks(int ball) {
    if (!frameLoaded_ || ball < 0 || ball > 1) return false;
    BallImage& b = Ball(ball);
    if (!b.found) return false;
    const WindowSums sums = MarkWindows(b);
    if (!graySumsReady_ && NeedsRowSums(sums, kWindowTableSize)) BuildRowSums();
    return FindMarksWith(b, sums, windowTable_.get(), kWindowTableSize);
}

void ImageAnalyzer::FindBothMarks() {
    if (!worker_ || !frameLoaded_ || !ball0_.found || !ball1_.found) {
        FindMarks(0);
        FindMarks(1);
        return;
    }
    // The two balls' tables one after the other; when they do not fit together, one by one.
    const WindowSums sums[2] = {MarkWindows(ball0_), MarkWindows(ball1_)};
    const std::int64_t sizes[2] = {sums[0].Empty() ? 0 : sums[0].Size(),
                                   sums[1].Empty() ? 0 : sums[1].Size()};
    if (sizes[0] + sizes[1] > kWindowTableSize) {
        FindMarks(0);
        FindMarks(1);
        return;
    }
    if (!graySumsReady_ && (NeedsRowSums(sums[0], sizes[0]) || NeedsRowSums(sums[1], sizes[1]))) {
        BuildRowSums();
    }
    auto step = [&](StepScratch&, int ball) {
        return FindMarksWith(Ball(ball), sums[ball],
                             windowTable_.get() + (ball == 0 ? 0 : sizes[0]), sizes[ball]);
    };
    bool found[2];
    RunBoth(step, found);
}

// Reads the frame, the running gray sums when they are built, and nothing else the other
// ball's search writes: the two balls may be searched at once, each with a table of its own.
bool ImageAnalyzer::FindMarksWith(BallImage& b, WindowSums sums, std::int32_t* table,
                                  std::int64_t capacity) const {
    const double d = b.diameter;
    const double r = d / 2;
    const double cx = b.centreX;
    const double cy = b.centreY;
    const int firstRow = int(cy - d);
    const int firstColumn = int(cx - d);

    bool anyInside = false;
    auto inside = [&](int row, int column) {
        return TruncatedDistance(column - cx, row - cy) <= r;
    };
    for (int row = firstRow; row < cy + d && !anyInside; ++row) {
        int left = firstColumn;
        int right = int(std::ceil(cx + d)) - 1;
        if (fastSteps_) {
            anyInside = WithinRun(row, left, right, cx, inside);
            continue;
        }
        for (int column = left; column <= right; ++column) {
            if (inside(row, column)) {
                anyInside = true;
                break;
            }
        }
    }
    if (!anyInside) return false;

    if (fastSteps_ && !sums.Empty() && sums.Size() <= capacity) BuildWindowSums(sums, table);
    const std::int64_t total = std::int64_t(width_) * height_;
    const std::uint8_t* f = frame_.get();
    b.markCount = 0;
    auto within = [&](int row, int column) {
        return TruncatedDistance(column - cx, row - cy) <= r - 10;
    };
    for (int row = firstRow; row < cy + d; ++row) {
        int left = firstColumn;
        int right = int(std::ceil(cx + d)) - 1;
        if (fastSteps_ && !WithinRun(row, left, right, cx, within)) continue;
        for (int column = left; column <= right; ++column) {
            const std::int64_t index = std::int64_t(row) * width_ + column;
            if (index - width_ - 1 < 0 || index + width_ + 1 >= total) continue;
            if (!fastSteps_ && !within(row, column)) continue;
            const int mean =
                fastSteps_ ? WindowMeanTable(sums, row, column) : WindowMeanPlain(row, column);
            const int threshold = mean - 10;
            if (f[index] > threshold) continue;
            const std::int64_t around[8] = {
                index - width_ - 1, index - width_,     index - width_ + 1, index - 1,
                index + 1,          index + width_ - 1, index + width_,     index + width_ + 1};
            int darker = 0;
            for (std::int64_t n : around)
                darker += f[n] < threshold ? 1 : 0;
            if (darker <= 5) continue;
            if (b.markCount >= frame::kMaxMarks) continue;
            frame::SpinMark& mark = b.marks[b.markCount++];
            const double dx = column - cx;
            const double dy = row - cy;
            mark.point.Set(dx, dy, std::sqrt(r * r - dx * dx - dy * dy));
            mark.polar = std::acos(Clamped(dy / r));
            mark.azimuth = std::asin(Clamped(dx / r));
            mark.pixelX = column;
            mark.pixelY = row;
            mark.group = -1;
            mark.visited = false;
        }
    }
    return true;
}

}  // namespace kyvern::analysis
