// The circle fit's wide kernels on AVX2's four double lanes.
#include <cstring>

#include "analysis/circle_fit.h"
#include "frame/simd.h"

namespace kyvern::analysis {

#if defined(KYVERN_AVX2)
namespace {

// The same operations as the plain circle through three points, lane by lane. Every value
// before the divisions is an integer well inside 2^53 (frames up to 4096 pixels), so it is
// exact; divisions and roots round as the plain ones do. The sums' additions, one per
// candidate, wait on each other and so hide behind the divisions here instead of running as
// a pass of their own.
__attribute__((target("avx2"))) int CircleBlocksAvx2(const TripleRow& r, const CircleBounds& b,
                                                     const double* xs, const double* ys,
                                                     const std::uint8_t* farI,
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
    const __m256d low = _mm256_set1_pd(kMinCircleDiameter);
    const __m256d high = _mm256_set1_pd(kMaxCircleDiameter);
    const __m256d width = _mm256_set1_pd(b.width);
    const __m256d height = _mm256_set1_pd(b.height);
    const __m256d prior = _mm256_set1_pd(b.prior);
    const __m256d lowFactor = _mm256_set1_pd(kPriorLowFactor);
    const __m256d highFactor = _mm256_set1_pd(kPriorHighFactor);
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
        const __m256d bb = _mm256_add_pd(_mm256_mul_pd(_mm256_add_pd(x1, x3), x31),
                                         _mm256_mul_pd(_mm256_add_pd(y1, y3), y31));
        const __m256d nx = _mm256_sub_pd(_mm256_mul_pd(y31, a), _mm256_mul_pd(y21, bb));
        const __m256d ny = _mm256_sub_pd(_mm256_mul_pd(x21, bb), _mm256_mul_pd(x31, a));
        const __m256d cx = _mm256_div_pd(nx, q);
        const __m256d cy = _mm256_div_pd(ny, q);
        const __m256d dx = _mm256_sub_pd(cx, x1);
        const __m256d dy = _mm256_sub_pd(cy, y1);
        const __m256d d = _mm256_mul_pd(
            two, _mm256_sqrt_pd(_mm256_add_pd(_mm256_mul_pd(dx, dx), _mm256_mul_pd(dy, dy))));
        // CircleFits, lane by lane; a zero q is the collinear triple the plain loop skips.
        __m256d ok = _mm256_cmp_pd(q, zero, _CMP_NEQ_OQ);
        ok = _mm256_and_pd(ok, _mm256_cmp_pd(d, low, _CMP_GE_OQ));
        ok = _mm256_and_pd(ok, _mm256_cmp_pd(d, high, _CMP_LE_OQ));
        ok = _mm256_and_pd(ok, _mm256_cmp_pd(cx, zero, _CMP_GE_OQ));
        ok = _mm256_and_pd(ok, _mm256_cmp_pd(cx, width, _CMP_LE_OQ));
        ok = _mm256_and_pd(ok, _mm256_cmp_pd(cy, zero, _CMP_GE_OQ));
        ok = _mm256_and_pd(ok, _mm256_cmp_pd(cy, height, _CMP_LE_OQ));
        ok = _mm256_and_pd(ok, _mm256_cmp_pd(_mm256_mul_pd(lowFactor, d), prior, _CMP_LE_OQ));
        ok = _mm256_and_pd(ok, _mm256_cmp_pd(prior, _mm256_mul_pd(highFactor, d), _CMP_LE_OQ));
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

// Four candidates at a time, read as twelve doubles in three loads, each lane tested against
// the mean and the bound of its own field.
__attribute__((target("avx2"))) int AgreeingAvx2(const CircleCandidate* candidates, int count,
                                                 double meanX, double meanY, double meanD,
                                                 std::int32_t* agreeing) {
    static_assert(sizeof(CircleCandidate) == 3 * sizeof(double));
    const double* fields = &candidates[0].centreX;
    const __m256d means[3] = {_mm256_setr_pd(meanX, meanY, meanD, meanX),
                              _mm256_setr_pd(meanY, meanD, meanX, meanY),
                              _mm256_setr_pd(meanD, meanX, meanY, meanD)};
    constexpr double c = kAgreeCentre;
    constexpr double d = kAgreeDiameter;
    const __m256d bounds[3] = {_mm256_setr_pd(c, c, d, c), _mm256_setr_pd(c, d, c, c),
                               _mm256_setr_pd(d, c, c, d)};
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
        agreeing[agree] = i;
        agree += CircleAgrees(candidates[i], meanX, meanY, meanD) ? 1 : 0;
    }
    return agree;
}

}  // namespace

bool CircleBlocksWide(const TripleRow& row, const CircleBounds& bounds, const double* xs,
                      const double* ys, const std::uint8_t* farI, const std::uint8_t* farJ, int k,
                      int end, CircleCandidate* out, int& count, int capacity, CircleSums& sums) {
    if (frame::ProcessorLanes() < 4) return false;
    count = CircleBlocksAvx2(row, bounds, xs, ys, farI, farJ, k, end, out, count, capacity, sums);
    return true;
}

bool AgreeingWide(const CircleCandidate* candidates, int count, double meanX, double meanY,
                  double meanD, std::int32_t* agreeing, int& agree) {
    if (frame::ProcessorLanes() < 4) return false;
    agree = AgreeingAvx2(candidates, count, meanX, meanY, meanD, agreeing);
    return true;
}

#else

bool CircleBlocksWide(const TripleRow&, const CircleBounds&, const double*, const double*,
                      const std::uint8_t*, const std::uint8_t*, int, int, CircleCandidate*, int&,
                      int, CircleSums&) {
    return false;
}

bool AgreeingWide(const CircleCandidate*, int, double, double, double, std::int32_t*, int&) {
    return false;
}

#endif

}  // namespace kyvern::analysis
