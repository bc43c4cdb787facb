// The plane search's wide kernels on AVX2's four double lanes.
#include <cstring>

#include "analysis/pack_lanes_avx2.h"
#include "analysis/plane_search.h"
#include "frame/simd.h"

namespace kyvern::analysis {

#if defined(KYVERN_AVX2)
namespace {

// What Bin() floors: component * 50 + 50, rounded as the scalar code rounds it.
__attribute__((target("avx2"))) inline __m256d BinValuesAvx2(__m256d component) {
    return _mm256_add_pd(_mm256_mul_pd(component, _mm256_set1_pd(kBinScale)),
                         _mm256_set1_pd(kBinScale));
}

// Bin() of four values from BinValuesAvx2, as bytes in the low bits of 64-bit lanes.
__attribute__((target("avx2"))) inline __m256i BinsOfValuesAvx2(__m256d v) {
    const __m256d inside = _mm256_and_pd(_mm256_cmp_pd(v, _mm256_setzero_pd(), _CMP_GE_OQ),
                                         _mm256_cmp_pd(v, _mm256_set1_pd(kBinEnd), _CMP_LT_OQ));
    const __m256d safe = _mm256_and_pd(v, inside);  // 0 where outside: no undefined conversion
    const __m256i bins = _mm256_cvtepi32_epi64(_mm256_cvttpd_epi32(safe));
    return _mm256_and_si256(
        _mm256_blendv_epi8(_mm256_set1_epi64x(0xff), bins, _mm256_castpd_si256(inside)),
        _mm256_set1_epi64x(0xff));
}

// Loads marks j ... j + 3 and returns the lanes of those more than 20 apart from the mark at
// (ax, ay, az), as FarApart decides: the exact square root only where the squared distance lies
// within rounding of 400.
__attribute__((target("avx2"))) inline int FarLanesAvx2(__m256d ax, __m256d ay, __m256d az,
                                                        const double* xs, const double* ys,
                                                        const double* zs, int j, __m256d& cx,
                                                        __m256d& cy, __m256d& cz) {
    cx = _mm256_loadu_pd(xs + j);
    cy = _mm256_loadu_pd(ys + j);
    cz = _mm256_loadu_pd(zs + j);
    const __m256d dx = _mm256_sub_pd(ax, cx);
    const __m256d dy = _mm256_sub_pd(ay, cy);
    const __m256d dz = _mm256_sub_pd(az, cz);
    const __m256d d2 = _mm256_add_pd(_mm256_add_pd(_mm256_mul_pd(dx, dx), _mm256_mul_pd(dy, dy)),
                                     _mm256_mul_pd(dz, dz));
    const int far =
        _mm256_movemask_pd(_mm256_cmp_pd(d2, _mm256_set1_pd(kMarkFarSquared), _CMP_GT_OQ));
    if (far == 0 ||
        (_mm256_movemask_pd(_mm256_cmp_pd(d2, _mm256_set1_pd(kMarkFarRounding), _CMP_LT_OQ)) &
         far) == 0)
        return far;
    return _mm256_movemask_pd(
        _mm256_cmp_pd(_mm256_sqrt_pd(d2), _mm256_set1_pd(kMarkFarApart), _CMP_GT_OQ));
}

// PairNormal lane by lane: the unit normal of the plane through the origin, the mark at
// (ax, ay, az) and the marks (cx, cy, cz), with tiny components floored to zero.
__attribute__((target("avx2"))) inline void PairNormalsAvx2(__m256d ax, __m256d ay, __m256d az,
                                                            __m256d cx, __m256d cy, __m256d cz,
                                                            __m256d& nx, __m256d& ny, __m256d& nz) {
    const __m256d tiny = _mm256_set1_pd(kTiny);
    const __m256d signless = _mm256_castsi256_pd(_mm256_set1_epi64x(0x7fffffffffffffffLL));
    const __m256d upAy = _mm256_xor_pd(ay, _mm256_set1_pd(-0.0));
    const __m256d by = _mm256_xor_pd(cy, _mm256_set1_pd(-0.0));
    nx = _mm256_sub_pd(_mm256_mul_pd(by, az), _mm256_mul_pd(cz, upAy));
    ny = _mm256_sub_pd(_mm256_mul_pd(cz, ax), _mm256_mul_pd(cx, az));
    nz = _mm256_sub_pd(_mm256_mul_pd(cx, upAy), _mm256_mul_pd(by, ax));
    __m256d length = _mm256_sqrt_pd(_mm256_add_pd(
        _mm256_add_pd(_mm256_mul_pd(nx, nx), _mm256_mul_pd(ny, ny)), _mm256_mul_pd(nz, nz)));
    length = _mm256_blendv_pd(length, _mm256_set1_pd(1.0), _mm256_cmp_pd(length, tiny, _CMP_LT_OQ));
    const __m256d inverse = _mm256_div_pd(_mm256_set1_pd(1.0), length);
    nx = _mm256_mul_pd(nx, inverse);
    ny = _mm256_mul_pd(ny, inverse);
    nz = _mm256_mul_pd(nz, inverse);
    nx = _mm256_andnot_pd(_mm256_cmp_pd(_mm256_and_pd(nx, signless), tiny, _CMP_LT_OQ), nx);
    ny = _mm256_andnot_pd(_mm256_cmp_pd(_mm256_and_pd(ny, signless), tiny, _CMP_LT_OQ), ny);
    nz = _mm256_andnot_pd(_mm256_cmp_pd(_mm256_and_pd(nz, signless), tiny, _CMP_LT_OQ), nz);
}

// Marks j, j + 4, ... before end against mark i in blocks of four, with the operations of
// PairNormal and Bin lane by lane (no fused operations, so every lane rounds as the scalar
// code). The records of the pairs far enough apart are appended to out, in j order, until
// count reaches capacity (out has room for three more), and counted in cells, one table of
// kPlaneCells per lane. Returns the first mark not looked at.
__attribute__((target("avx2"))) int PlaneBlocksAvx2(int i, const double* xs, const double* ys,
                                                    const double* zs, int j, int end,
                                                    std::uint64_t* out, int& outCount, int capacity,
                                                    std::int32_t* cells) {
    const __m256d pax = _mm256_set1_pd(xs[i]);
    const __m256d pay = _mm256_set1_pd(ys[i]);
    const __m256d paz = _mm256_set1_pd(zs[i]);
    const __m256i laneOffsets = _mm256_setr_epi64x(0, 1, 2, 3);
    const __m256d zero = _mm256_setzero_pd();
    const __m128i side = _mm_set1_epi32(kPlaneSide);
    int count = outCount;  // a local: out and cells could alias the caller's count
    for (; j + 4 <= end; j += 4) {
        __m256d cx, cy, cz;
        int far = FarLanesAvx2(pax, pay, paz, xs, ys, zs, j, cx, cy, cz);
        if (far == 0) continue;
        __m256d nx, ny, nz;
        PairNormalsAvx2(pax, pay, paz, cx, cy, cz, nx, ny, nz);
        const __m256d vx = BinValuesAvx2(nx);
        const __m256d vy = BinValuesAvx2(ny);
        const __m256d vz = BinValuesAvx2(nz);
        const __m256i pairs = _mm256_add_epi64(
            _mm256_set1_epi64x(std::int64_t(std::uint32_t(i) << 16 | std::uint32_t(j))),
            laneOffsets);
        __m256i records;
        alignas(16) std::int32_t laneCells[4];
        // A unit normal's values lie in [0, 101) unless rounding takes one a hair below 0 or
        // a component is not a number; only then are the bins worked out lane by lane.
        const __m256d outside = _mm256_or_pd(_mm256_or_pd(_mm256_cmp_pd(vx, zero, _CMP_NGE_UQ),
                                                          _mm256_cmp_pd(vy, zero, _CMP_NGE_UQ)),
                                             _mm256_cmp_pd(vz, zero, _CMP_NGE_UQ));
        if ((_mm256_movemask_pd(outside) & far) == 0) {
            const __m128i xBins = _mm256_cvttpd_epi32(vx);
            const __m128i yBins = _mm256_cvttpd_epi32(vy);
            const __m128i codes =
                _mm_or_si128(_mm_or_si128(xBins, _mm_slli_epi32(yBins, kYBin - kXBin)),
                             _mm_slli_epi32(_mm256_cvttpd_epi32(vz), kZBin - kXBin));
            records =
                _mm256_or_si256(pairs, _mm256_slli_epi64(_mm256_cvtepu32_epi64(codes), kXBin));
            _mm_store_si128(reinterpret_cast<__m128i*>(laneCells),
                            _mm_add_epi32(_mm_mullo_epi32(xBins, side), yBins));
        } else {
            records = _mm256_or_si256(
                _mm256_or_si256(pairs, _mm256_slli_epi64(BinsOfValuesAvx2(vx), kXBin)),
                _mm256_or_si256(_mm256_slli_epi64(BinsOfValuesAvx2(vy), kYBin),
                                _mm256_slli_epi64(BinsOfValuesAvx2(vz), kZBin)));
            alignas(32) std::uint64_t laneRecords[4];
            _mm256_store_si256(reinterpret_cast<__m256i*>(laneRecords), records);
            for (int lane = 0; lane < 4; ++lane)
                laneCells[lane] = PlaneCell(laneRecords[lane]);
        }
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(out + count), PackLanesAvx2(records, far));
        const int added = __builtin_popcount(unsigned(far));
        const int last = CountLanes<4>(far, count, capacity, laneCells, cells);
        if (last < 4) {
            outCount = capacity;
            return j + last + 1;
        }
        count += added;
    }
    outCount = count;
    return j;
}

// Keeps, in order and in place, the records whose first two bins are those of both, and counts
// their third bins, each lane in a table of 256 of its own (zCounts holds four: most records
// share a bin, and one table would make each count wait for the one before); blocks of four
// in which no record matches cost one compare. Returns how many were kept.
__attribute__((target("avx2"))) int KeepBothModesAvx2(std::uint64_t* records, int total,
                                                      std::uint64_t both, std::uint64_t bothMask,
                                                      int* zCounts) {
    const __m256i mask = _mm256_set1_epi64x(std::int64_t(bothMask));
    const __m256i wanted = _mm256_set1_epi64x(std::int64_t(both));
    int kept = 0;
    int k = 0;
    for (; k + 4 <= total; k += 4) {
        const __m256i r = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(records + k));
        const int match = _mm256_movemask_pd(
            _mm256_castsi256_pd(_mm256_cmpeq_epi64(_mm256_and_si256(r, mask), wanted)));
        if (match == 0) continue;
        if (match == 0xf) {  // the whole block: no branch per lane
            for (int lane = 0; lane < 4; ++lane)
                ++zCounts[lane * 256 + RecordBin(records[k + lane], kZBin)];
            _mm256_storeu_si256(reinterpret_cast<__m256i*>(records + kept), r);
            kept += 4;
            continue;
        }
        for (int lane = 0; lane < 4; ++lane) {
            if ((match >> lane & 1) == 0) continue;
            const std::uint64_t record = records[k + lane];
            ++zCounts[lane * 256 + RecordBin(record, kZBin)];
            records[kept++] = record;
        }
    }
    for (; k < total; ++k) {
        const std::uint64_t record = records[k];
        if ((record & bothMask) != both) continue;
        ++zCounts[RecordBin(record, kZBin)];
        records[kept++] = record;
    }
    return kept;
}

// Marks j, j + 4, ... before end against mark i in blocks of four, with the operations of
// FarApart, PairNormal and Xyz::Dot lane by lane: the pairs far enough apart are candidates,
// counted until candidates reaches capacity, and those of them within reach of the mode's
// normal are added to the partial sums of their lanes. Returns the first mark not looked at.
__attribute__((target("avx2"))) int NearPairsAvx2(int i, const double* xs, const double* ys,
                                                  const double* zs, int j, int end, int capacity,
                                                  int& candidates, const frame::Xyz& mode,
                                                  NormalSums& sums, int& taken) {
    const __m256d pax = _mm256_set1_pd(xs[i]);
    const __m256d pay = _mm256_set1_pd(ys[i]);
    const __m256d paz = _mm256_set1_pd(zs[i]);
    const __m256d mx = _mm256_set1_pd(mode.x);
    const __m256d my = _mm256_set1_pd(mode.y);
    const __m256d mz = _mm256_set1_pd(mode.z);
    const __m256d reach = _mm256_set1_pd(kNearCosine);
    const __m256i laneBits = _mm256_setr_epi64x(1, 2, 4, 8);
    __m256d sumX = _mm256_loadu_pd(sums.x.lane);
    __m256d sumY = _mm256_loadu_pd(sums.y.lane);
    __m256d sumZ = _mm256_loadu_pd(sums.z.lane);
    for (; j + 4 <= end; j += 4) {
        __m256d cx, cy, cz;
        int far = FarLanesAvx2(pax, pay, paz, xs, ys, zs, j, cx, cy, cz);
        if (far == 0) continue;
        bool full = false;
        if (candidates + __builtin_popcount(unsigned(far)) >= capacity) {
            // Only the pairs up to the one that fills the candidates count.
            for (int needed = capacity - candidates, lane = 0; lane < 4; ++lane) {
                if ((far >> lane & 1) != 0 && needed-- <= 0) far &= ~(1 << lane);
            }
            full = true;
        }
        candidates += __builtin_popcount(unsigned(far));
        __m256d nx, ny, nz;
        PairNormalsAvx2(pax, pay, paz, cx, cy, cz, nx, ny, nz);
        const __m256d dot = _mm256_add_pd(
            _mm256_add_pd(_mm256_mul_pd(mx, nx), _mm256_mul_pd(my, ny)), _mm256_mul_pd(mz, nz));
        const int near = far & _mm256_movemask_pd(_mm256_cmp_pd(dot, reach, _CMP_GE_OQ));
        if (near != 0) {
            const __m256d take = _mm256_castsi256_pd(
                _mm256_cmpeq_epi64(_mm256_and_si256(_mm256_set1_epi64x(near), laneBits), laneBits));
            sumX = _mm256_add_pd(sumX, _mm256_and_pd(take, nx));
            sumY = _mm256_add_pd(sumY, _mm256_and_pd(take, ny));
            sumZ = _mm256_add_pd(sumZ, _mm256_and_pd(take, nz));
            taken += __builtin_popcount(unsigned(near));
        }
        if (full) {
            j += 4;
            break;
        }
    }
    _mm256_storeu_pd(sums.x.lane, sumX);
    _mm256_storeu_pd(sums.y.lane, sumY);
    _mm256_storeu_pd(sums.z.lane, sumZ);
    return j;
}

}  // namespace

int PlaneBlocks4(int i, const double* xs, const double* ys, const double* zs, int j, int end,
                 std::uint64_t* out, int& outCount, int capacity, std::int32_t* cells) {
    if (frame::ProcessorLanes() < 4) return j;
    return PlaneBlocksAvx2(i, xs, ys, zs, j, end, out, outCount, capacity, cells);
}

bool KeepBothModesWide(std::uint64_t* records, int total, std::uint64_t both,
                       std::uint64_t bothMask, int* zCounts, int& kept) {
    if (frame::ProcessorLanes() < 4) return false;
    kept = KeepBothModesAvx2(records, total, both, bothMask, zCounts);
    return true;
}

int NearPairsWide(int i, const double* xs, const double* ys, const double* zs, int j, int end,
                  int capacity, int& candidates, const frame::Xyz& mode, NormalSums& sums,
                  int& taken) {
    if (frame::ProcessorLanes() < 4) return j;
    return NearPairsAvx2(i, xs, ys, zs, j, end, capacity, candidates, mode, sums, taken);
}

#else

int PlaneBlocks4(int, const double*, const double*, const double*, int j, int, std::uint64_t*, int&,
                 int, std::int32_t*) {
    return j;
}

bool KeepBothModesWide(std::uint64_t*, int, std::uint64_t, std::uint64_t, int*, int&) {
    return false;
}

int NearPairsWide(int, const double*, const double*, const double*, int j, int, int, int&,
                  const frame::Xyz&, NormalSums&, int&) {
    return j;
}

#endif

}  // namespace kyvern::analysis
