// Ball finding: the coarse disc search, the radial profiles and the two circle fits.
#include <algorithm>
#include <cmath>

#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif
#include "analysis/analysis_codes.h"
#include "analysis/image_analyzer.h"
#include "analysis/step_worker.h"
#include "base/math_constants.h"
#include "frame/simd.h"

namespace kyvern::analysis {

namespace {

constexpr double kRayStep = 4.0 * base::kDegreesToRadians;
constexpr double kFullTurn = 2.0 * base::kPi;

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

#if defined(KYVERN_AVX2)
// The fixed points of one (i, j) pair of the circle fit and the bounds a circle must meet.
struct TripleRow {
    double x1, y1, x2, y2;
    double a;  // (x1 + x2)(x2 - x1) + (y1 + y2)(y2 - y1)
    double width, height, prior;
};

// Running sums of the candidates' centres and diameters, in the order they are listed.
struct CircleSums {
    double x = 0.0;
    double y = 0.0;
    double d = 0.0;
};

// The third points k, k + 4, ... in blocks of four: the same operations as the scalar circle
// through three points, lane by lane. Every value before the divisions is an integer well
// inside 2^53 (frames up to 4096 pixels), so it is exact; divisions and roots round as the
// scalar ones do. Passing circles are appended in k order and added to the sums (whose
// additions, one per candidate, wait on each other and so hide behind the divisions here
// instead of running as a pass of their own). Returns the new count.
__attribute__((target("avx2"))) int CircleBlocksAvx2(const TripleRow& r, const double* xs,
                                                     const double* ys, const std::uint8_t* farI,
                                                     const std::uint8_t* farJ, int k, int end,
                                                     CircleCandidate* out, int count, int capacity,
                                                     CircleSums& sums) {
    double sumX = sums.x;
    double sumY = sums.y;
    double sumD = sums.d;
    const __m256d x1 = _mm256_set1_pd(r.x1);
    const __m256d y1 = _mm256_set1_pd(r.y1);
    const __m256d x2 = _mm256_set1_pd(r.x2);
    const __m256d y2 = _mm256_set1_pd(r.y2);
    const __m256d a = _mm256_set1_pd(r.a);
    const __m256d x21 = _mm256_sub_pd(x2, x1);
    const __m256d y21 = _mm256_sub_pd(y2, y1);
    const __m256d two = _mm256_set1_pd(2.0);
    const __m256d zero = _mm256_setzero_pd();
    const __m256d low = _mm256_set1_pd(60.0);
    const __m256d high = _mm256_set1_pd(200.0);
    const __m256d width = _mm256_set1_pd(r.width);
    const __m256d height = _mm256_set1_pd(r.height);
    const __m256d prior = _mm256_set1_pd(r.prior);
    const __m256d half = _mm256_set1_pd(0.5);
    const __m256d oneAndHalf = _mm256_set1_pd(1.5);
    for (; k + 4 <= end; k += 4) {
        std::uint32_t fi = 0;
        std::uint32_t fj = 0;
        std::memcpy(&fi, farI + k, 4);
        std::memcpy(&fj, farJ + k, 4);
        const std::uint32_t both = fi & fj;
        if (both == 0) continue;
        const __m256d x3 = _mm256_loadu_pd(xs + k);
        const __m256d y3 = _mm256_loadu_pd(ys + k);
        const __m256d q =
            _mm256_mul_pd(two, _mm256_sub_pd(_mm256_mul_pd(_mm256_sub_pd(y3, y2), x21),
                                             _mm256_mul_pd(_mm256_sub_pd(x3, x2), y21)));
        const __m256d x31 = _mm256_sub_pd(x3, x1);
        const __m256d y31 = _mm256_sub_pd(y3, y1);
        const __m256d b = _mm256_add_pd(_mm256_mul_pd(_mm256_add_pd(x1, x3), x31),
                                        _mm256_mul_pd(_mm256_add_pd(y1, y3), y31));
        const __m256d nx = _mm256_sub_pd(_mm256_mul_pd(y31, a), _mm256_mul_pd(y21, b));
        const __m256d ny = _mm256_sub_pd(_mm256_mul_pd(x21, b), _mm256_mul_pd(x31, a));
        const __m256d cx = _mm256_div_pd(nx, q);
        const __m256d cy = _mm256_div_pd(ny, q);
        const __m256d dx = _mm256_sub_pd(cx, x1);
        const __m256d dy = _mm256_sub_pd(cy, y1);
        const __m256d d = _mm256_mul_pd(
            two, _mm256_sqrt_pd(_mm256_add_pd(_mm256_mul_pd(dx, dx), _mm256_mul_pd(dy, dy))));
        __m256d ok = _mm256_cmp_pd(q, zero, _CMP_NEQ_OQ);
        ok = _mm256_and_pd(ok, _mm256_cmp_pd(d, low, _CMP_GE_OQ));
        ok = _mm256_and_pd(ok, _mm256_cmp_pd(d, high, _CMP_LE_OQ));
        ok = _mm256_and_pd(ok, _mm256_cmp_pd(cx, zero, _CMP_GE_OQ));
        ok = _mm256_and_pd(ok, _mm256_cmp_pd(cx, width, _CMP_LE_OQ));
        ok = _mm256_and_pd(ok, _mm256_cmp_pd(cy, zero, _CMP_GE_OQ));
        ok = _mm256_and_pd(ok, _mm256_cmp_pd(cy, height, _CMP_LE_OQ));
        ok = _mm256_and_pd(ok, _mm256_cmp_pd(_mm256_mul_pd(half, d), prior, _CMP_LE_OQ));
        ok = _mm256_and_pd(ok, _mm256_cmp_pd(prior, _mm256_mul_pd(oneAndHalf, d), _CMP_LE_OQ));
        int mask = _mm256_movemask_pd(ok);
        for (int lane = 0; lane < 4; ++lane) {
            if (((both >> (8 * lane)) & 0xff) == 0) mask &= ~(1 << lane);
        }
        if (mask == 0) continue;
        alignas(32) double vx[4];
        alignas(32) double vy[4];
        alignas(32) double vd[4];
        _mm256_store_pd(vx, cx);
        _mm256_store_pd(vy, cy);
        _mm256_store_pd(vd, d);
        for (int lane = 0; lane < 4; ++lane) {
            if ((mask >> lane & 1) == 0) continue;
            out[count++] = {vx[lane], vy[lane], vd[lane]};
            sumX += vx[lane];
            sumY += vy[lane];
            sumD += vd[lane];
            if (count >= capacity) {
                sums = {sumX, sumY, sumD};
                return count;
            }
        }
    }
    sums = {sumX, sumY, sumD};
    return count;
}

// The consensus test of the circle fit on four candidates at a time, read as twelve doubles
// in three loads, each lane tested against the mean and the bound of its own field. Lists the
// index of every candidate in [0, count) and counts up only for the agreeing ones, as the
// scalar loop does. Returns their number.
__attribute__((target("avx2"))) int AgreeingAvx2(const CircleCandidate* candidates, int count,
                                                 double meanX, double meanY, double meanD,
                                                 std::int32_t* agreeing) {
    static_assert(sizeof(CircleCandidate) == 3 * sizeof(double));
    const double* fields = &candidates[0].centreX;
    const __m256d means[3] = {_mm256_setr_pd(meanX, meanY, meanD, meanX),
                              _mm256_setr_pd(meanY, meanD, meanX, meanY),
                              _mm256_setr_pd(meanD, meanX, meanY, meanD)};
    const __m256d bounds[3] = {_mm256_setr_pd(5.0, 5.0, 2.0, 5.0),
                               _mm256_setr_pd(5.0, 2.0, 5.0, 5.0),
                               _mm256_setr_pd(2.0, 5.0, 5.0, 2.0)};
    const __m256d signless = _mm256_castsi256_pd(_mm256_set1_epi64x(0x7fffffffffffffffLL));
    int agree = 0;
    int i = 0;
    for (; i + 4 <= count; i += 4) {
        int within = 0;
        for (int part = 0; part < 3; ++part) {
            const __m256d v = _mm256_loadu_pd(fields + 3 * i + 4 * part);
            const __m256d off = _mm256_and_pd(_mm256_sub_pd(v, means[part]), signless);
            within |= _mm256_movemask_pd(_mm256_cmp_pd(off, bounds[part], _CMP_LE_OQ)) << 4 * part;
        }
        for (int lane = 0; lane < 4; ++lane) {
            agreeing[agree] = i + lane;
            agree += (within >> 3 * lane & 7) == 7 ? 1 : 0;
        }
    }
    for (; i < count; ++i) {
        const CircleCandidate& c = candidates[i];
        agreeing[agree] = i;
        const bool agrees = (std::fabs(c.diameter - meanD) <= 2.0) &
                            (std::fabs(c.centreX - meanX) <= 5.0) &
                            (std::fabs(c.centreY - meanY) <= 5.0);
        agree += agrees ? 1 : 0;
    }
    return agree;
}
#endif

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

void ImageAnalyzer::SampleProfiles(BallImage& ball) {
    ball.profileCount = 0;
    const std::int64_t low = width_;
    const std::int64_t high = std::int64_t(height_ - 1) * width_;
    const int cx = int(ball.centreX);
    const int cy = int(ball.centreY);
    for (double a = 0.0; a < kFullTurn; a += kRayStep) {
        if (ball.profileCount >= kMaxProfiles) break;
        RadialProfile& profile = ball.profiles[ball.profileCount++];
        profile.Clear();
        profile.angle = a;
        const double c = std::cos(a);
        const double s = std::sin(a);
        for (double r = 0.35 * ball.diameterEstimate; r < 1.5 * ball.diameterEstimate; r += 1.0) {
            if (profile.sampleCount >= kMaxProfileSamples) break;
            const int x = cx + int(c * r);
            const int y = cy + int(s * r);
            const std::int64_t index = std::int64_t(y) * width_ + x;
            // A ray that leaves the frame at a side ends there: the linear index alone would
            // go on into the next or previous row as if it were still the ball.
            if (index < low || index >= high || x < 0 || x >= width_) continue;
            ProfileSample& sample = profile.samples[profile.sampleCount++];
            sample.value = frame_[index];
            sample.x = x;
            sample.y = y;
            sample.index = std::int32_t(index);
            sample.radius = r;
            sample.bright = sample.value > backgroundLevel_ ? 10 : 0;
        }
    }
}

int ImageAnalyzer::CoarseEdge(const RadialProfile& profile) {
    for (int i = 0; i < profile.sampleCount - 20; ++i) {
        int sum = 0;
        for (int j = i; j < i + 20; ++j)
            sum += profile.samples[j].bright;
        if (sum / 20 < 2) return i;
    }
    return 0;
}

// A profile whose coarse edge lies within five samples of the start of its ray (or that has
// none) has no samples before the edge to compare with: it gives no refined edge. So does a
// search that would read past the last sample.
bool ImageAnalyzer::RefinedEdge(RadialProfile& profile, int backgroundLevel) {
    profile.windowFirst = profile.coarseEdge;
    profile.windowEnd = profile.coarseEdge + 35;
    profile.refinedEdge = 0;
    profile.edgeQuality = 0;
    if (profile.windowFirst < 5) return false;
    const ProfileSample* s = profile.samples.data();
    for (int k = profile.windowFirst; k < profile.windowEnd; ++k) {
        if (k + 4 >= profile.sampleCount) return false;
        const int a =
            (s[k - 5].value + s[k - 4].value + s[k - 3].value + s[k - 2].value + s[k - 1].value) /
            5;
        const int b =
            (s[k].value + s[k + 1].value + s[k + 2].value + s[k + 3].value + s[k + 4].value) / 5;
        if (s[k].value < backgroundLevel && a - 10 < b) {
            profile.refinedEdge = k - 5;
            profile.edgeQuality = std::max(0, (a - b - 5) * 50);
            return true;
        }
    }
    return false;
}

void ImageAnalyzer::AddEdgePoint(int x, int y) { AddEdgePointTo(Shown(), x, y); }

void ImageAnalyzer::AddEdgePointTo(StepScratch& s, int x, int y) const {
    if (!frameLoaded_) return;
    if (y < 3 || y > height_ - 3) return;
    int freeSlot = -1;
    for (int i = 0; i < s.edgePointCount; ++i) {
        EdgePoint& p = s.edgePoints[i];
        if (!p.Live()) {
            if (freeSlot < 0) freeSlot = i;
            continue;
        }
        if (p.x >= x - 2 && p.x < x + 2 && p.y >= y - 2 && p.y < y + 2) {
            p = EdgePoint{};
            return;
        }
    }
    if (freeSlot >= 0) {
        s.edgePoints[freeSlot] = {x, y};
    } else if (s.edgePointCount < kMaxEdgePoints) {
        s.edgePoints[s.edgePointCount++] = {x, y};
    }
}

bool ImageAnalyzer::CircleThroughPoints(int x1, int y1, int x2, int y2, int x3, int y3,
                                        double& centreX, double& centreY, double& diameter) {
    // Every product is an integer well inside 2^53, so integer arithmetic gives exactly the
    // values the same expressions give in doubles; only the divisions round.
    const std::int64_t q =
        2 * (std::int64_t(y3 - y2) * (x2 - x1) - std::int64_t(x3 - x2) * (y2 - y1));
    if (q == 0) return false;  // |q| < 0.1
    const std::int64_t a = std::int64_t(x1 + x2) * (x2 - x1) + std::int64_t(y1 + y2) * (y2 - y1);
    const std::int64_t b = std::int64_t(x1 + x3) * (x3 - x1) + std::int64_t(y1 + y3) * (y3 - y1);
    const double numeratorX = double(std::int64_t(y3 - y1) * a - std::int64_t(y2 - y1) * b);
    const double numeratorY = double(std::int64_t(x2 - x1) * b - std::int64_t(x3 - x1) * a);
#if defined(__SSE2__)
    // Both quotients in one instruction; each is rounded exactly as a single division is.
    const __m128d quotient = _mm_div_pd(_mm_set_pd(numeratorY, numeratorX), _mm_set1_pd(double(q)));
    centreX = _mm_cvtsd_f64(quotient);
    centreY = _mm_cvtsd_f64(_mm_unpackhi_pd(quotient, quotient));
#else
    centreX = numeratorX / double(q);
    centreY = numeratorY / double(q);
#endif
    const double dx = centreX - x1;
    const double dy = centreY - y1;
    diameter = 2.0 * std::sqrt(dx * dx + dy * dy);
    return true;
}

bool ImageAnalyzer::FitCircle(double /*priorX*/, double /*priorY*/, double priorDiameter,
                              double& centreX, double& centreY, double& diameter) {
    return FitCircleWith(Shown(), priorDiameter, centreX, centreY, diameter);
}

bool ImageAnalyzer::FitCircleWith(StepScratch& s, double priorDiameter, double& centreX,
                                  double& centreY, double& diameter) const {
    constexpr int kFarTableSide = StepScratch::kFarTableSide;
    // The live points, in slot order.
    EdgePoint* live = s.livePoints.get();
    int n = 0;
    for (int i = 0; i < s.edgePointCount; ++i) {
        if (s.edgePoints[i].Live()) live[n++] = s.edgePoints[i];
    }
    if (n < 10) return false;
    int& candidates = s.circleCandidateCount;
    CircleCandidate* const circleCandidates = s.circleCandidates.get();
    candidates = 0;
    s.circlesCleared = true;
    auto point = [live](int k) -> const EdgePoint& { return live[k]; };
    const double w = width_;
    const double h = height_;
    auto farApart = [](const EdgePoint& p, const EdgePoint& q) {
        const std::int64_t dx = p.x - q.x;
        const std::int64_t dy = p.y - q.y;
        return dx * dx + dy * dy > 400;  // more than 20.0 pixels
    };
    // Which pairs lie far enough apart, worked out once for all triples.
    const bool table = n <= kFarTableSide;
    std::uint8_t* far = s.farTable.get();
    if (table) {
        for (int i = 0; i < n; ++i) {
            for (int j = i + 1; j < n; ++j)
                far[i * kFarTableSide + j] = farApart(live[i], live[j]);
        }
    }
    auto apart = [&](int i, int j) {
        return table ? far[i * kFarTableSide + j] != 0 : farApart(live[i], live[j]);
    };
#if defined(KYVERN_AVX2)
    const bool blocks = fastSteps_ && table && width_ <= 4096 && height_ <= 4096 &&
                        std::min(laneLimit_, frame::ProcessorLanes()) >= 4;
#else
    const bool blocks = false;
#endif
    if (blocks) {
        for (int k = 0; k < n; ++k) {
            s.liveX[k] = live[k].x;
            s.liveY[k] = live[k].y;
        }
    }
#if defined(KYVERN_AVX2)
    CircleSums sums;
#endif
    for (int i = 0; i < n && candidates < kMaxCircleCandidates; ++i) {
        const EdgePoint& p1 = point(i);
        for (int j = i + 1; j < n && candidates < kMaxCircleCandidates; ++j) {
            if (!apart(i, j)) continue;
            const EdgePoint& p2 = point(j);
            int k = j + 1;
#if defined(KYVERN_AVX2)
            if (blocks) {
                const int end = k + (n - k) / 4 * 4;
                const TripleRow row{double(p1.x),
                                    double(p1.y),
                                    double(p2.x),
                                    double(p2.y),
                                    double(std::int64_t(p1.x + p2.x) * (p2.x - p1.x) +
                                           std::int64_t(p1.y + p2.y) * (p2.y - p1.y)),
                                    w,
                                    h,
                                    priorDiameter};
                candidates =
                    CircleBlocksAvx2(row, s.liveX.get(), s.liveY.get(), far + i * kFarTableSide,
                                     far + j * kFarTableSide, k, end, circleCandidates, candidates,
                                     kMaxCircleCandidates, sums);
                if (candidates >= kMaxCircleCandidates) break;
                k = end;
            }
#endif
            for (; k < n; ++k) {
                if (!apart(i, k) || !apart(j, k)) continue;
                const EdgePoint& p3 = point(k);
                double cx = 0.0;
                double cy = 0.0;
                double d = 0.0;
                if (!CircleThroughPoints(p1.x, p1.y, p2.x, p2.y, p3.x, p3.y, cx, cy, d)) continue;
                if (d < 60.0 || d > 200.0) continue;
                if (cx < 0.0 || cx > w || cy < 0.0 || cy > h) continue;
                if (!(0.5 * d <= priorDiameter && priorDiameter <= 1.5 * d)) continue;
                circleCandidates[candidates++] = {cx, cy, d};
#if defined(KYVERN_AVX2)
                if (blocks) {
                    sums.x += cx;
                    sums.y += cy;
                    sums.d += d;
                }
#endif
                if (candidates >= kMaxCircleCandidates) break;
            }
        }
    }
    const int count = candidates;
    if (count < 50) return false;
    double sumX = 0.0;
    double sumY = 0.0;
    double sumD = 0.0;
#if defined(KYVERN_AVX2)
    if (blocks) {
        sumX = sums.x;
        sumY = sums.y;
        sumD = sums.d;
    }
#endif
    for (int i = 0; i < count && !blocks; ++i) {
        sumX += circleCandidates[i].centreX;
        sumY += circleCandidates[i].centreY;
        sumD += circleCandidates[i].diameter;
    }
    const double meanX = sumX / count;
    const double meanY = sumY / count;
    const double meanD = sumD / count;
    // The agreeing candidates are listed first, without a branch on the data, and summed in
    // their order after: the sums then wait only on the candidates they take.
    std::int32_t* agreeing = s.agreeingCircles.get();
    int agree = 0;
#if defined(KYVERN_AVX2)
    if (blocks) agree = AgreeingAvx2(circleCandidates, count, meanX, meanY, meanD, agreeing);
#endif
    for (int i = 0; i < count && !blocks; ++i) {
        const CircleCandidate& c = circleCandidates[i];
        agreeing[agree] = i;
        const bool agrees = (std::fabs(c.diameter - meanD) <= 2.0) &
                            (std::fabs(c.centreX - meanX) <= 5.0) &
                            (std::fabs(c.centreY - meanY) <= 5.0);
        agree += agrees ? 1 : 0;
    }
    sumX = sumY = sumD = 0.0;
    for (int k = 0; k < agree; ++k) {
        const CircleCandidate& c = circleCandidates[agreeing[k]];
        sumX += c.centreX;
        sumY += c.centreY;
        sumD += c.diameter;
    }
    if (agree < 5) return false;
    centreX = sumX / agree;
    centreY = sumY / agree;
    diameter = sumD / agree;
    return true;
}

void ImageAnalyzer::DiscardFarEdgePoints(StepScratch& s, double centreX, double centreY,
                                         double radius) {
    for (int i = 0; i < s.edgePointCount; ++i) {
        EdgePoint& p = s.edgePoints[i];
        if (!p.Live()) continue;
        const double dx = p.x - centreX;
        const double dy = p.y - centreY;
        if (std::fabs(std::sqrt(dx * dx + dy * dy) - radius) > 10.0) p = EdgePoint{};
    }
}

// Fits a circle to the edge points, drops the points far from it and fits again; the ball's
// centre and the given diameter follow each fit, so a failed second fit leaves the first.
bool ImageAnalyzer::FitEdgesTwice(StepScratch& s, BallImage& b, double priorDiameter,
                                  double& diameter, std::int32_t firstError,
                                  std::int32_t secondError) const {
    double cx = 0.0;
    double cy = 0.0;
    double d = 0.0;
    if (!FitCircleWith(s, int(priorDiameter), cx, cy, d)) {
        s.error = firstError;
        return false;
    }
    b.centreX = cx;
    b.centreY = cy;
    diameter = d;
    DiscardFarEdgePoints(s, cx, cy, diameter / 2);
    if (!FitCircleWith(s, int(diameter), cx, cy, d)) {
        s.error = secondError;
        return false;
    }
    b.centreX = cx;
    b.centreY = cy;
    diameter = d;
    return true;
}

bool ImageAnalyzer::RefineOne(int ball,
                              bool (ImageAnalyzer::*refine)(StepScratch&, BallImage&) const) {
    if (!frameLoaded_ || ball < 0 || ball > 1) return false;
    StepScratch& s = Shown();
    s.error = 0;
    if ((this->*refine)(s, Ball(ball))) return true;
    if (s.error != 0) errorCode_ = s.error;
    return false;
}

bool ImageAnalyzer::RefineDiscEdges(int ball) {
    return RefineOne(ball, &ImageAnalyzer::RefineDiscEdgesWith);
}

bool ImageAnalyzer::RefineDiscEdgesWith(StepScratch& s, BallImage& b) const {
    if (!b.found) return false;
    s.edgePointCount = 0;
    for (int i = 0; i < b.profileCount; ++i) {
        RadialProfile& profile = b.profiles[i];
        profile.coarseEdge = CoarseEdge(profile);
        if (profile.coarseEdge != 0) {
            const ProfileSample& sample = profile.samples[profile.coarseEdge];
            AddEdgePointTo(s, sample.x, sample.y);
        }
    }
    if (!FitEdgesTwice(s, b, b.diameterEstimate, b.diameterEstimate, kDiscEdgeFitFirst,
                       kDiscEdgeFitSecond)) {
        return false;
    }
    b.diameterEstimate -= 10.0;
    return true;
}

bool ImageAnalyzer::RefineBallEdges(int ball) {
    return RefineOne(ball, &ImageAnalyzer::RefineBallEdgesWith);
}

bool ImageAnalyzer::RefineBallEdgesWith(StepScratch& s, BallImage& b) const {
    if (!b.found) return false;
    s.edgePointCount = 0;
    std::int64_t qualitySum = 0;
    for (int i = 0; i < b.profileCount; ++i) {
        RefinedEdge(b.profiles[i], backgroundLevel_);
        qualitySum += b.profiles[i].edgeQuality;
    }
    b.edgeQuality = b.profileCount > 0 ? std::int32_t(qualitySum / b.profileCount) : 0;
    for (int i = 0; i < b.profileCount; ++i) {
        const RadialProfile& profile = b.profiles[i];
        if (profile.refinedEdge != 0) {
            const ProfileSample& sample = profile.samples[profile.refinedEdge];
            AddEdgePointTo(s, sample.x, sample.y);
        }
    }
    if (!FitEdgesTwice(s, b, b.diameterEstimate, b.diameter, kBallEdgeFitFirst,
                       kBallEdgeFitSecond)) {
        return false;
    }
    b.edgesRefined = true;
    b.edgeQuality = std::int32_t(b.edgeQuality * 150.0 / b.diameter);

    const int half = int(b.diameter / 2);
    const std::int64_t last = std::int64_t(width_) * height_ - 1;
    std::int64_t sum = 0;
    std::int64_t count = 0;
    const double reach = 0.45 * b.diameter;
    for (int yy = int(b.centreY) - half; yy <= b.centreY + half; ++yy) {
        for (int xx = int(b.centreX) - half; xx <= b.centreX + half; ++xx) {
            const double dx = xx - b.centreX;
            const double dy = yy - b.centreY;
            if (std::sqrt(dx * dx + dy * dy) > reach) continue;
            const std::int64_t index = std::int64_t(yy) * width_ + xx;
            if (index < 0 || index > last) continue;
            sum += frame_[index];
            ++count;
        }
    }
    b.lum = count > 0 ? std::int32_t(sum / count) : 0;
    b.pix.Set(b.centreX, b.centreY, b.diameter);
    return true;
}

// Both balls' refinements at once, leaving what one thread running ball 0 and then ball 1
// would: when ball 0 fails, ball 1 is put back as it was (one thread would not have touched
// it) and ball 0's lists are shown; a ball 1 whose fit never started its candidate list shows
// the count ball 0 left.
template <typename Step>
bool ImageAnalyzer::RefineBoth(Step step, bool (ImageAnalyzer::*single)(int)) {
    if (!worker_ || !frameLoaded_ || !ball0_.found || !ball1_.found) {
        return (this->*single)(0) && (this->*single)(1);
    }
    KeepEdges(ball1_);
    StepScratch& mine = Shown();
    StepScratch& other = *scratch_[1 - shown_];
    other.circleCandidateCount = mine.circleCandidateCount;
    mine.circlesCleared = false;
    mine.error = 0;
    other.error = 0;
    bool ok[2];
    RunBoth(step, ok);
    if (!ok[0]) {
        RestoreEdges(ball1_);
        shown_ = 1 - shown_;
        if (other.error != 0) errorCode_ = other.error;
        return false;
    }
    if (!mine.circlesCleared) mine.circleCandidateCount = other.circleCandidateCount;
    if (!ok[1]) {
        if (mine.error != 0) errorCode_ = mine.error;
        return false;
    }
    return true;
}

bool ImageAnalyzer::RefineBothDiscEdges() {
    return RefineBoth(
        [this](StepScratch& s, int ball) { return RefineDiscEdgesWith(s, Ball(ball)); },
        &ImageAnalyzer::RefineDiscEdges);
}

bool ImageAnalyzer::RefineBothBallEdges() {
    return RefineBoth(
        [this](StepScratch& s, int ball) { return RefineBallEdgesWith(s, Ball(ball)); },
        &ImageAnalyzer::RefineBallEdges);
}

void ImageAnalyzer::KeepEdges(const BallImage& b) {
    EdgeKeep& k = kept_;
    k.centreX = b.centreX;
    k.centreY = b.centreY;
    k.pix = b.pix;
    k.diameterEstimate = b.diameterEstimate;
    k.diameter = b.diameter;
    k.edgesRefined = b.edgesRefined;
    k.edgeQuality = b.edgeQuality;
    k.lum = b.lum;
    for (int i = 0; i < b.profileCount; ++i) {
        const RadialProfile& p = b.profiles[i];
        k.profiles[i] = {p.coarseEdge, p.refinedEdge, p.windowFirst, p.windowEnd, p.edgeQuality};
    }
}

void ImageAnalyzer::RestoreEdges(BallImage& b) const {
    const EdgeKeep& k = kept_;
    b.centreX = k.centreX;
    b.centreY = k.centreY;
    b.pix = k.pix;
    b.diameterEstimate = k.diameterEstimate;
    b.diameter = k.diameter;
    b.edgesRefined = k.edgesRefined;
    b.edgeQuality = k.edgeQuality;
    b.lum = k.lum;
    for (int i = 0; i < b.profileCount; ++i) {
        RadialProfile& p = b.profiles[i];
        const auto& e = k.profiles[i];
        p.coarseEdge = e[0];
        p.refinedEdge = e[1];
        p.windowFirst = e[2];
        p.windowEnd = e[3];
        p.edgeQuality = e[4];
    }
}

}  // namespace kyvern::analysis
