// The coarse ball search: a disc template scored over a grid of the frame, at falling sizes,
// from running sums of the bright pixels.
#include <algorithm>
#include <cmath>
#include <cstring>

#include "analysis/analysis_codes.h"
#include "analysis/image_analyzer.h"
#include "analysis/step_worker.h"
#include "frame/simd.h"

namespace kyvern::analysis {

namespace {

// Floor and ceiling of a / b for b > 0.
std::int64_t FloorDiv(std::int64_t a, std::int64_t b) {
    std::int64_t q = a / b;
    if ((a % b != 0) && (a < 0)) --q;
    return q;
}
std::int64_t CeilDiv(std::int64_t a, std::int64_t b) { return -FloorDiv(-a, b); }

// Largest d with d * d <= value, for value >= 0.
std::int64_t IntegerRoot(std::int64_t value) {
    std::int64_t d = std::int64_t(std::sqrt(double(value)));
    while (d * d > value)
        --d;
    while ((d + 1) * (d + 1) <= value)
        ++d;
    return d;
}

void ExchangeSortByScore(DiscCandidate* candidates, int first, int count) {
    for (int i = first; i < count; ++i) {
        for (int j = i + 1; j < count; ++j) {
            if (candidates[i].score < candidates[j].score) {
                const DiscCandidate t = candidates[i];
                candidates[i] = candidates[j];
                candidates[j] = t;
            }
        }
    }
}

}  // namespace

int ImageAnalyzer::DiscScore(int& x, int& y, int size) const {
    if (backgroundLevel_ < 5) return -1;
    const int h = size / 2;
    const std::int64_t total = std::int64_t(width_) * height_;
    std::int64_t inside = 0;
    std::int64_t bright = 0;
    std::int64_t sumX = 0;
    std::int64_t sumY = 0;
    for (int yy = y - h; yy < y + h; yy += 2) {
        for (int xx = x - h; xx < x + h; xx += 2) {
            const std::int64_t index = std::int64_t(yy) * width_ + xx;
            if (index < 0 || index >= total) continue;
            const double dx = xx - x;
            const double dy = yy - y;
            if (int(std::sqrt(dx * dx + dy * dy)) > h) continue;
            ++inside;
            if (frame_[index] > backgroundLevel_) {
                ++bright;
                sumX += xx;
                sumY += yy;
            }
        }
    }
    if (inside == 0) return -1;
    const int score = int(bright * 100 / inside);
    if (bright > 0) {
        x = int(sumX / bright);
        y = int(sumY / bright);
    }
    return score;
}

// The half-width of every second row of the disc template of one size, taken once for all
// the positions it is tried at (-1 for a row with no inside position).
bool ImageAnalyzer::PrepareDiscRows(int size, std::int32_t* rows) {
    const std::int64_t h = size / 2;
    if (h > StepScratch::kMaxDiscRows) return false;
    const std::int64_t limit = (h + 1) * (h + 1);
    int t = 0;
    for (std::int64_t dy = -h; dy < h; dy += 2, ++t) {
        const std::int64_t rest = limit - 1 - dy * dy;
        rows[t] = rest < 0 ? -1 : std::int32_t(IntegerRoot(rest));
    }
    return true;
}

// Running sums along each parity of the linear index over [first, end), kept in locals (the
// frame's bytes may alias the tables) and starting from zero at first, which is even. Index
// sums wrap modulo 2^32: a template row's sum is a difference that the caller only takes where
// the true value is below 2^32.
void ImageAnalyzer::BuildDiscSums(int first, int end) {
    const std::uint8_t* f = frame_.get();
    const std::uint8_t level = backgroundLevel_;
    std::int32_t* counts = brightEvery2_.get();
    std::uint32_t* sums = brightIndexEvery2_.get();
    std::int32_t countEven = 0;
    std::int32_t countOdd = 0;
    std::uint32_t sumEven = 0;
    std::uint32_t sumOdd = 0;
    int i = first;
    for (; i + 1 < end; i += 2) {
        const bool even = f[i] > level;
        const bool odd = f[i + 1] > level;
        countEven += even ? 1 : 0;
        countOdd += odd ? 1 : 0;
        sumEven += even ? std::uint32_t(i) : 0u;
        sumOdd += odd ? std::uint32_t(i + 1) : 0u;
        counts[i] = countEven;
        counts[i + 1] = countOdd;
        sums[i] = sumEven;
        sums[i + 1] = sumOdd;
    }
    if (i < end) {
        const bool even = f[i] > level;
        counts[i] = countEven + (even ? 1 : 0);
        sums[i] = sumEven + (even ? std::uint32_t(i) : 0u);
    }
}

// The running sums of the whole frame: with two threads, the worker makes the first half's and
// this thread the second half's from zero; the second half's entries then take the first
// half's last ones of their parity as they are read.
void ImageAnalyzer::BuildAllDiscSums() {
    const int total = width_ * height_;
    discSumsMiddle_ = total;
    if (!worker_ || total < 4096) {
        BuildDiscSums(0, total);
        return;
    }
    const int middle = total / 2 & ~1;
    auto half = [&](StepScratch&, int part) {
        BuildDiscSums(part == 0 ? 0 : middle, part == 0 ? middle : total);
        return true;
    };
    bool done[2];
    RunBoth(half, done);
    for (int parity = 0; parity < 2; ++parity) {
        discCarry_[parity] = {brightEvery2_[middle - 2 + parity],
                              brightIndexEvery2_[middle - 2 + parity]};
    }
    discSumsMiddle_ = middle;
}

// The same counts as DiscScore, row by row: the inside positions of a template row form a
// run of every second linear index, so the bright ones are read off running sums.
int ImageAnalyzer::DiscScoreFast(int& x, int& y, int size, const std::int32_t* discRows) const {
    if (backgroundLevel_ < 5) return -1;
    const std::int64_t h = size / 2;
    const std::int64_t total = std::int64_t(width_) * height_;
    const std::int64_t limit = (h + 1) * (h + 1);  // int(sqrt(d2)) <= h  <=>  d2 < (h+1)^2
    std::int64_t inside = 0;
    std::int64_t bright = 0;
    std::int64_t sumX = 0;
    std::int64_t sumY = 0;
    const bool rows = discRows != nullptr;
    for (std::int64_t yy = y - h, t = 0; yy < y + h; yy += 2, ++t) {
        std::int64_t reach = 0;
        if (rows) {
            reach = discRows[t];
        } else {
            const std::int64_t dy = yy - y;
            const std::int64_t rest = limit - 1 - dy * dy;
            reach = rest < 0 ? -1 : IntegerRoot(rest);
        }
        if (reach < 0) continue;
        // Positions xx = x - h + 2k with xx < x + h and |xx - x| <= reach.
        const std::int64_t lowDx = std::max(-h, -reach);
        const std::int64_t highDx = std::min(h - 1, reach);
        if (lowDx > highDx) continue;
        std::int64_t kLow = CeilDiv(lowDx + h, 2);
        std::int64_t kHigh = FloorDiv(highDx + h, 2);
        const std::int64_t base = yy * width_ + x - h;  // linear index of k = 0
        kLow = std::max(kLow, CeilDiv(-base, 2));
        kHigh = std::min(kHigh, FloorDiv(total - 1 - base, 2));
        if (kLow > kHigh) continue;
        const std::int64_t n = kHigh - kLow + 1;
        const std::int64_t first = base + 2 * kLow;
        const std::int64_t last = base + 2 * kHigh;
        inside += n;
        const std::int64_t b = BrightCount(last) - (first >= 2 ? BrightCount(first - 2) : 0);
        if (b == 0) continue;
        const std::int64_t indexSum =
            std::uint32_t(BrightIndexSum(last) - (first >= 2 ? BrightIndexSum(first - 2) : 0u));
        bright += b;
        sumX += indexSum - yy * width_ * b;
        sumY += yy * b;
    }
    if (inside == 0) return -1;
    const int score = int(bright * 100 / inside);
    if (bright > 0) {
        x = int(sumX / bright);
        y = int(sumY / bright);
    }
    return score;
}

void ImageAnalyzer::ScanDiscs(StepScratch& s, const DiscGrid& grid, int firstColumn,
                              int endColumn) const {
    s.discCount = 0;
    int index = 0;
    for (int size = grid.firstSize; size > grid.lastSize; size -= grid.sizeStep, ++index) {
        s.discsPerSize[index] = 0;
        const std::int32_t* rows =
            PrepareDiscRows(size, s.discRows.data()) ? s.discRows.data() : nullptr;
        for (int column = firstColumn; column < endColumn; ++column) {
            const int x = grid.firstColumn + column * grid.step;
            for (int y = grid.rowStart; y > grid.rowEnd; y -= grid.step) {
                int cx = x;
                int cy = y;
                const int score = DiscScoreFast(cx, cy, size, rows);
                if (score > 50 && s.discCount < kMaxDiscCandidates) {
                    s.discs[s.discCount++] = {cx, cy, size, score};
                    ++s.discsPerSize[index];
                }
            }
        }
    }
}

bool ImageAnalyzer::FindDiscs() {
    if (!frameLoaded_) return false;
    const int w = width_;
    const int h = height_;
    const int d0 = int(w / 3.2);
    const int margin = int(w / 10.666666666666666);
    const int sizeStep = w / 32;
    const int positionStep = int(w / 21.333333333333332);

    discCandidateCount_ = 0;
    // A frame too narrow for a step of at least one pixel holds no ball.
    if (sizeStep > 0 && positionStep > 0) {
        // The running index sums wrap at 2^32; no template row of these sizes gets there.
        const bool fast = fastSteps_ && std::int64_t(d0 / 2 + 1) * w * h < (std::int64_t(1) << 32);
        if (fast && backgroundLevel_ >= 5) BuildAllDiscSums();
        int sizes = 0;
        for (int size = d0; size > margin; size -= sizeStep)
            ++sizes;
        int columns = 0;
        for (int x = margin; x < w - margin; x += positionStep)
            ++columns;
        if (fast && sizes <= StepScratch::kMaxDiscSizes) {
            // Each thread searches a share of the columns at every size; the shares' candidates
            // are then listed in the order of one search over all of them: by size, then
            // column. A share keeps its first candidates only, which is all the list can take.
            const DiscGrid grid{d0, margin, sizeStep, margin, h - margin, margin, positionStep};
            const StepScratch* second = nullptr;
            const int half = columns / 2;
            if (worker_ && backgroundLevel_ >= 5 && half > 0) {
                auto step = [&](StepScratch& s, int part) {
                    ScanDiscs(s, grid, part == 1 ? 0 : half, part == 1 ? half : columns);
                    return true;
                };
                bool done[2];
                RunBoth(step, done);
                second = scratch_[1 - shown_].get();
            } else {
                ScanDiscs(Shown(), grid, 0, columns);
            }
            const StepScratch* shares[2] = {&Shown(), second};
            int next[2] = {0, 0};
            for (int size = 0; size < sizes; ++size) {
                for (int k = 0; k < 2; ++k) {
                    if (shares[k] == nullptr) continue;
                    for (int i = 0; i < shares[k]->discsPerSize[size]; ++i) {
                        const DiscCandidate& c = shares[k]->discs[next[k]++];
                        if (discCandidateCount_ < kMaxDiscCandidates) {
                            discCandidates_[discCandidateCount_++] = c;
                        }
                    }
                }
            }
        } else {
            for (int size = d0; size > margin; size -= sizeStep) {
                for (int x = margin; x < w - margin; x += positionStep) {
                    for (int y = h - margin; y > margin; y -= positionStep) {
                        int cx = x;
                        int cy = y;
                        const int score =
                            fast ? DiscScoreFast(cx, cy, size, nullptr) : DiscScore(cx, cy, size);
                        if (score > 50 && discCandidateCount_ < kMaxDiscCandidates) {
                            discCandidates_[discCandidateCount_++] = {cx, cy, size, score};
                        }
                    }
                }
            }
        }
    }

    DiscCandidate* c = discCandidates_.get();
    const int n = discCandidateCount_;
    ExchangeSortByScore(c, 0, n);
    for (int k = 1; k < n; ++k) {
        const double dx = c[k].x - c[0].x;
        const double dy = c[k].y - c[0].y;
        if (std::sqrt(dx * dx + dy * dy) < 0.8 * c[0].size) c[k].score = 0;
    }
    ExchangeSortByScore(c, 1, n);

    if (n == 0) {
        errorCode_ = kNoBallsFound;
        return false;
    }
    if (!(n >= 2 && c[0].score > 0 && c[1].score > 0)) {
        errorCode_ = kOnlyOneBallFound;
        return false;
    }

    int left = 0;
    int right = 1;
    if (c[0].x > c[1].x) {
        left = 1;
        right = 0;
    }
    const DiscCandidate* chosen[2] = {&c[left], &c[right]};
    for (int i = 0; i < 2; ++i) {
        BallImage& ball = Ball(i);
        ball.diameterEstimate = int(0.75 * chosen[i]->size);
        ball.found = true;
        ball.centreX = chosen[i]->x;
        ball.centreY = chosen[i]->y;
        ball.edgesRefined = false;
    }
    if (worker_) {
        auto sample = [this](StepScratch&, int ball) {
            SampleProfiles(Ball(ball));
            return true;
        };
        bool done[2];
        RunBoth(sample, done);
    } else {
        SampleProfiles(ball0_);
        SampleProfiles(ball1_);
    }
    return true;
}

bool ImageAnalyzer::FindDiscsAboveGround(int groundRow) {
    if (!frameLoaded_ || groundRow >= height_) return FindDiscs();
    const int first = std::max(groundRow, 0);
    KeepGround(first);
    HideGround(first);
    PixelStats();
    const bool found = FindDiscs();
    RestoreGround(first);
    PixelStats();
    graySumsReady_ = false;
    if (!found) return false;
    matRow_ = first;
    // The profiles were read off the hidden frame.
    SampleProfiles(ball0_);
    SampleProfiles(ball1_);
    return true;
}

}  // namespace kyvern::analysis
