// The circle fit's wide kernels on AVX2's four double lanes.
#include <cstring>

#include "analysis/circle_fit.h"
#include "analysis/pack_lanes_avx2.h"
#include "frame/simd.h"

namespace kyvern::analysis {

#if defined(KYVERN_AVX2)
namespace {

// The same operations as the plain circle through three points, lane by lane. Every value
// before the inverse is an integer well inside 2^53 (frames up to 4096 pixels), so it is exact;
// the inverse, the products and the roots round as the plain ones do. Lane l of a block holds
// the third point of partial sum l, so the sums are four-wide adds of the passing lanes.
__attribute__((target("avx2"))) int CircleBlocksAvx2(const TripleRow& r, const CircleBounds& b,
                                                     const double* xs, const double* ys,
                                                     const std::uint8_t* farI,
                                                     const std::uint8_t* farJ, int k, int end,
                                                     const CircleList& out, int count, int capacity,
                                                     CircleSums& sums) {
    __m256d sumX = _mm256_loadu_pd(sums.x.lane);
    __m256d sumY = _mm256_loadu_pd(sums.y.lane);
    __m256d sumD = _mm256_loadu_pd(sums.d.lane);
    const __m256d x1 = _mm256_set1_pd(r.x1);
    const __m256d y1 = _mm256_set1_pd(r.y1);
    const __m256d x2 = _mm256_set1_pd(r.x2);
    const __m256d y2 = _mm256_set1_pd(r.y2);
    const __m256d a = _mm256_set1_pd(r.a);
    const __m256d x21 = _mm256_sub_pd(x2, x1);
    const __m256d y21 = _mm256_sub_pd(y2, y1);
    const __m256d one = _mm256_set1_pd(1.0);
    const __m256d two = _mm256_set1_pd(2.0);
    const __m256d zero = _mm256_setzero_pd();
    const __m256d low = _mm256_set1_pd(kMinCircleDiameter);
    const __m256d high = _mm256_set1_pd(kMaxCircleDiameter);
    const __m256d width = _mm256_set1_pd(b.width);
    const __m256d height = _mm256_set1_pd(b.height);
    const __m256d prior = _mm256_set1_pd(b.prior);
    const __m256d lowFactor = _mm256_set1_pd(kPriorLowFactor);
    const __m256d highFactor = _mm256_set1_pd(kPriorHighFactor);
    // A lane's whole mask from the four bits of a movemask.
    const __m256i laneBits = _mm256_setr_epi64x(1, 2, 4, 8);
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
        const __m256d inverse = _mm256_div_pd(one, q);
        const __m256d cx = _mm256_mul_pd(nx, inverse);
        const __m256d cy = _mm256_mul_pd(ny, inverse);
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
        bool full = false;
        if (count + __builtin_popcount(unsigned(mask)) >= capacity) {
            // Only the lanes up to the one that fills the list count.
            for (int needed = capacity - count, lane = 0; lane < 4; ++lane) {
                if ((mask >> lane & 1) != 0 && needed-- <= 0) mask &= ~(1 << lane);
            }
            full = true;
        }
        const __m256d taken = _mm256_castsi256_pd(
            _mm256_cmpeq_epi64(_mm256_and_si256(_mm256_set1_epi64x(mask), laneBits), laneBits));
        sumX = _mm256_add_pd(sumX, _mm256_and_pd(taken, cx));
        sumY = _mm256_add_pd(sumY, _mm256_and_pd(taken, cy));
        sumD = _mm256_add_pd(sumD, _mm256_and_pd(taken, d));
        _mm256_storeu_pd(out.x + count, PackLanesAvx2(cx, mask));
        _mm256_storeu_pd(out.y + count, PackLanesAvx2(cy, mask));
        _mm256_storeu_pd(out.d + count, PackLanesAvx2(d, mask));
        count += __builtin_popcount(unsigned(mask));
        if (full) break;
    }
    _mm256_storeu_pd(sums.x.lane, sumX);
    _mm256_storeu_pd(sums.y.lane, sumY);
    _mm256_storeu_pd(sums.d.lane, sumD);
    return count;
}

// Four candidates at a time, each field one load, tested against its mean and bound; the
// agreeing ones are added to the partial sums of their place in the list.
__attribute__((target("avx2"))) int AgreeingAvx2(const CircleList& candidates, int count,
                                                 double meanX, double meanY, double meanD,
                                                 CircleSums& sums) {
    const __m256d mx = _mm256_set1_pd(meanX);
    const __m256d my = _mm256_set1_pd(meanY);
    const __m256d md = _mm256_set1_pd(meanD);
    const __m256d centre = _mm256_set1_pd(kAgreeCentre);
    const __m256d diameter = _mm256_set1_pd(kAgreeDiameter);
    const __m256d signless = _mm256_castsi256_pd(_mm256_set1_epi64x(0x7fffffffffffffffLL));
    __m256d sumX = _mm256_setzero_pd();
    __m256d sumY = _mm256_setzero_pd();
    __m256d sumD = _mm256_setzero_pd();
    __m256i agreeing = _mm256_setzero_si256();  // minus the count, lane by lane
    int i = 0;
    for (; i + 4 <= count; i += 4) {
        const __m256d x = _mm256_loadu_pd(candidates.x + i);
        const __m256d y = _mm256_loadu_pd(candidates.y + i);
        const __m256d d = _mm256_loadu_pd(candidates.d + i);
        const __m256d agrees = _mm256_and_pd(
            _mm256_and_pd(
                _mm256_cmp_pd(_mm256_and_pd(_mm256_sub_pd(d, md), signless), diameter, _CMP_LE_OQ),
                _mm256_cmp_pd(_mm256_and_pd(_mm256_sub_pd(x, mx), signless), centre, _CMP_LE_OQ)),
            _mm256_cmp_pd(_mm256_and_pd(_mm256_sub_pd(y, my), signless), centre, _CMP_LE_OQ));
        sumX = _mm256_add_pd(sumX, _mm256_and_pd(agrees, x));
        sumY = _mm256_add_pd(sumY, _mm256_and_pd(agrees, y));
        sumD = _mm256_add_pd(sumD, _mm256_and_pd(agrees, d));
        agreeing = _mm256_add_epi64(agreeing, _mm256_castpd_si256(agrees));
    }
    _mm256_storeu_pd(sums.x.lane, sumX);
    _mm256_storeu_pd(sums.y.lane, sumY);
    _mm256_storeu_pd(sums.d.lane, sumD);
    alignas(32) std::int64_t laneCounts[4];
    _mm256_store_si256(reinterpret_cast<__m256i*>(laneCounts), agreeing);
    int agree = -int(laneCounts[0] + laneCounts[1] + laneCounts[2] + laneCounts[3]);
    for (; i < count; ++i) {
        const double x = candidates.x[i];
        const double y = candidates.y[i];
        const double d = candidates.d[i];
        if (!CircleAgrees(x, y, d, meanX, meanY, meanD)) continue;
        sums.x.lane[i & 3] += x;
        sums.y.lane[i & 3] += y;
        sums.d.lane[i & 3] += d;
        ++agree;
    }
    return agree;
}

}  // namespace

bool CircleBlocksWide(const TripleRow& row, const CircleBounds& bounds, const double* xs,
                      const double* ys, const std::uint8_t* farI, const std::uint8_t* farJ, int k,
                      int end, const CircleList& out, int& count, int capacity, CircleSums& sums) {
    if (frame::ProcessorLanes() < 4) return false;
    count = CircleBlocksAvx2(row, bounds, xs, ys, farI, farJ, k, end, out, count, capacity, sums);
    return true;
}

bool AgreeingWide(const CircleList& candidates, int count, double meanX, double meanY, double meanD,
                  CircleSums& sums, int& agree) {
    if (frame::ProcessorLanes() < 4) return false;
    agree = AgreeingAvx2(candidates, count, meanX, meanY, meanD, sums);
    return true;
}

#else

bool CircleBlocksWide(const TripleRow&, const CircleBounds&, const double*, const double*,
                      const std::uint8_t*, const std::uint8_t*, int, int, const CircleList&, int&,
                      int, CircleSums&) {
    return false;
}

bool AgreeingWide(const CircleList&, int, double, double, double, CircleSums&, int&) {
    return false;
}

#endif

}  // namespace kyvern::analysis
