// Spin marks: the dark pixels of the printed line, their groups and the line's plane.
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

double Component(const frame::Xyz& v, int axis) {
    return axis == 0 ? v.x : (axis == 1 ? v.y : v.z);
}

int Bin(double component) {
    const double v = component * 50 + 50;
    if (!(v >= 0.0) || v >= 101.0) return -1;  // not a number: never counted
    return int(v);
}

// The normal of the plane through the ball's centre and marks a and c, y up, with the very
// operations of Xyz::Cross and Xyz::Normalize followed by the zeroing of tiny components.
inline frame::Xyz PairNormal(const frame::Xyz& a, const frame::Xyz& c) {
    const double ax = a.x;
    const double ay = -a.y;
    const double az = a.z;
    const double bx = c.x;
    const double by = -c.y;
    const double bz = c.z;
    double nx = by * az - bz * ay;
    double ny = bz * ax - bx * az;
    double nz = bx * ay - by * ax;
    double length = std::sqrt(nx * nx + ny * ny + nz * nz);
    if (length < 0.0001) length = 1.0;
    nx /= length;
    ny /= length;
    nz /= length;
    if (std::fabs(nx) < 0.0001) nx = 0.0;
    if (std::fabs(ny) < 0.0001) ny = 0.0;
    if (std::fabs(nz) < 0.0001) nz = 0.0;
    return frame::Xyz(nx, ny, nz);
}

// Whether the marks are more than 20 apart; the root is taken only where rounding could decide.
inline bool FarApart(const frame::Xyz& a, const frame::Xyz& c) {
    const double dx = a.x - c.x;
    const double dy = a.y - c.y;
    const double dz = a.z - c.z;
    const double d2 = dx * dx + dy * dy + dz * dz;
    if (d2 <= 400.0) return false;
    return d2 >= 400.000001 || std::sqrt(d2) > 20.0;
}

// cos 3 degrees: the reach of the refined plane normal around the mode's.
constexpr double kNearCosine = 0.9986295347545738;

// The lowest of the most frequent bins.
int ModeOf(const int* counts) {
    int mode = 0;
    for (int bin = 1; bin < 100; ++bin) {
        if (counts[bin] > counts[mode]) mode = bin;
    }
    return mode;
}

// A plane candidate kept for the mode filter: its marks (first << 16 | second) and its bins on
// the three axes (-1 .. 100 as bytes, from bit 32 on).
static_assert(frame::kMaxMarks <= 0x10000, "a mark's index fits 16 bits of a pair record");
constexpr int kXBin = 32;
constexpr int kYBin = 40;
constexpr int kZBin = 48;

std::uint64_t PairRecord(int i, int j, const frame::Xyz& normal) {
    return std::uint64_t(std::uint32_t(i) << 16 | std::uint32_t(j)) |
           std::uint64_t(std::uint8_t(Bin(normal.x))) << kXBin |
           std::uint64_t(std::uint8_t(Bin(normal.y))) << kYBin |
           std::uint64_t(std::uint8_t(Bin(normal.z))) << kZBin;
}

// The bin's byte as an index of a 256-entry count table (-1 is 255, never a mode).
int RecordBin(std::uint64_t record, int shift) { return int(record >> shift & 0xff); }

// Candidates are counted by their first two bins as they are made: bins 0 .. 99 are their own
// rows and columns, bin 100 and no bin (-1) share the last, which is never a mode.
constexpr int kPlaneSide = 101;
constexpr int kPlaneCells = kPlaneSide * kPlaneSide;

int PlaneCell(std::uint64_t record) {
    return std::min(RecordBin(record, kXBin), 100) * kPlaneSide +
           std::min(RecordBin(record, kYBin), 100);
}

#if defined(KYVERN_AVX2)
// Counts the cells of the block's pairs (far: a bit per lane), the lanes taking the four
// tables in turn. Only the pairs up to the one that fills the candidate table count, and the
// search ends after it: returns that pair's lane, or kLanes when the block fits.
template <int kLanes, typename Cell>
inline int CountLanes(int far, int count, int capacity, const Cell* laneCells,
                      std::int32_t* cells) {
    int last = kLanes;
    if (count + __builtin_popcount(unsigned(far)) >= capacity) {
        last = 0;
        for (int needed = capacity - count;; ++last) {
            if ((far >> last & 1) != 0 && --needed == 0) break;
        }
        far &= (2 << last) - 1;
    }
    for (int lane = 0; lane < kLanes; ++lane) {
        if ((far >> lane & 1) != 0) ++cells[(lane & 3) * kPlaneCells + laneCells[lane]];
    }
    return last;
}

// What Bin() floors: component * 50 + 50, rounded as the scalar code rounds it.
__attribute__((target("avx2"))) inline __m256d BinValuesAvx2(__m256d component) {
    return _mm256_add_pd(_mm256_mul_pd(component, _mm256_set1_pd(50.0)), _mm256_set1_pd(50.0));
}

// Bin() of four values from BinValuesAvx2, as bytes in the low bits of 64-bit lanes.
__attribute__((target("avx2"))) inline __m256i BinsOfValuesAvx2(__m256d v) {
    const __m256d inside = _mm256_and_pd(_mm256_cmp_pd(v, _mm256_setzero_pd(), _CMP_GE_OQ),
                                         _mm256_cmp_pd(v, _mm256_set1_pd(101.0), _CMP_LT_OQ));
    const __m256d safe = _mm256_and_pd(v, inside);  // 0 where outside: no undefined conversion
    const __m256i bins = _mm256_cvtepi32_epi64(_mm256_cvttpd_epi32(safe));
    return _mm256_and_si256(
        _mm256_blendv_epi8(_mm256_set1_epi64x(0xff), bins, _mm256_castpd_si256(inside)),
        _mm256_set1_epi64x(0xff));
}

// Moves the 64-bit lanes whose bit is set in a four-bit mask to the front, in order.
__attribute__((target("avx2"))) inline __m256i PackLanesAvx2(__m256i lanes, int mask) {
    static const std::int32_t kOrder[16][8] = {
        {0, 1, 2, 3, 4, 5, 6, 7}, {0, 1, 2, 3, 4, 5, 6, 7}, {2, 3, 0, 1, 4, 5, 6, 7},
        {0, 1, 2, 3, 4, 5, 6, 7}, {4, 5, 0, 1, 2, 3, 6, 7}, {0, 1, 4, 5, 2, 3, 6, 7},
        {2, 3, 4, 5, 0, 1, 6, 7}, {0, 1, 2, 3, 4, 5, 6, 7}, {6, 7, 0, 1, 2, 3, 4, 5},
        {0, 1, 6, 7, 2, 3, 4, 5}, {2, 3, 6, 7, 0, 1, 4, 5}, {0, 1, 2, 3, 6, 7, 4, 5},
        {4, 5, 6, 7, 0, 1, 2, 3}, {0, 1, 4, 5, 6, 7, 2, 3}, {2, 3, 4, 5, 6, 7, 0, 1},
        {0, 1, 2, 3, 4, 5, 6, 7}};
    return _mm256_permutevar8x32_epi32(
        lanes, _mm256_loadu_si256(reinterpret_cast<const __m256i*>(kOrder[mask])));
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
    const int far = _mm256_movemask_pd(_mm256_cmp_pd(d2, _mm256_set1_pd(400.0), _CMP_GT_OQ));
    if (far == 0 ||
        (_mm256_movemask_pd(_mm256_cmp_pd(d2, _mm256_set1_pd(400.000001), _CMP_LT_OQ)) & far) == 0)
        return far;
    return _mm256_movemask_pd(_mm256_cmp_pd(_mm256_sqrt_pd(d2), _mm256_set1_pd(20.0), _CMP_GT_OQ));
}

// PairNormal lane by lane: the unit normal of the plane through the origin, the mark at
// (ax, ay, az) and the marks (cx, cy, cz), with tiny components floored to zero.
__attribute__((target("avx2"))) inline void PairNormalsAvx2(__m256d ax, __m256d ay, __m256d az,
                                                            __m256d cx, __m256d cy, __m256d cz,
                                                            __m256d& nx, __m256d& ny, __m256d& nz) {
    const __m256d tiny = _mm256_set1_pd(0.0001);
    const __m256d signless = _mm256_castsi256_pd(_mm256_set1_epi64x(0x7fffffffffffffffLL));
    const __m256d upAy = _mm256_xor_pd(ay, _mm256_set1_pd(-0.0));
    const __m256d by = _mm256_xor_pd(cy, _mm256_set1_pd(-0.0));
    nx = _mm256_sub_pd(_mm256_mul_pd(by, az), _mm256_mul_pd(cz, upAy));
    ny = _mm256_sub_pd(_mm256_mul_pd(cz, ax), _mm256_mul_pd(cx, az));
    nz = _mm256_sub_pd(_mm256_mul_pd(cx, upAy), _mm256_mul_pd(by, ax));
    __m256d length = _mm256_sqrt_pd(_mm256_add_pd(
        _mm256_add_pd(_mm256_mul_pd(nx, nx), _mm256_mul_pd(ny, ny)), _mm256_mul_pd(nz, nz)));
    length = _mm256_blendv_pd(length, _mm256_set1_pd(1.0), _mm256_cmp_pd(length, tiny, _CMP_LT_OQ));
    nx = _mm256_div_pd(nx, length);
    ny = _mm256_div_pd(ny, length);
    nz = _mm256_div_pd(nz, length);
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

// GCC 12's AVX-512 intrinsics start from undefined vectors, which it reports as maybe unset.
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
#endif

// Bin() of eight components as 32-bit codes, 255 for no bin.
__attribute__((target("avx512f,avx512dq,avx512vl"))) inline __m256i BinsAvx512(__m512d component) {
    const __m512d fifty = _mm512_set1_pd(50.0);
    const __m512d v = _mm512_add_pd(_mm512_mul_pd(component, fifty), fifty);
    const __mmask8 inside = _mm512_cmp_pd_mask(v, _mm512_setzero_pd(), _CMP_GE_OQ) &
                            _mm512_cmp_pd_mask(v, _mm512_set1_pd(101.0), _CMP_LT_OQ);
    return _mm256_mask_blend_epi32(inside, _mm256_set1_epi32(0xff),
                                   _mm512_cvttpd_epi32(_mm512_maskz_mov_pd(inside, v)));
}

// Components below 0.0001 in size become 0.
__attribute__((target("avx512f,avx512dq,avx512vl"))) inline __m512d ZeroTinyAvx512(__m512d v) {
    return _mm512_maskz_mov_pd(
        _mm512_cmp_pd_mask(_mm512_abs_pd(v), _mm512_set1_pd(0.0001), _CMP_NLT_UQ), v);
}

// The same as PlaneBlocksAvx2 in blocks of eight: out has room for seven more records, and the
// lanes count into the four tables in turn.
__attribute__((target("avx512f,avx512dq,avx512vl"))) int PlaneBlocksAvx512(
    int i, const double* xs, const double* ys, const double* zs, int j, int end, std::uint64_t* out,
    int& outCount, int capacity, std::int32_t* cells) {
    const __m512d pax = _mm512_set1_pd(xs[i]);
    const __m512d pay = _mm512_set1_pd(ys[i]);
    const __m512d paz = _mm512_set1_pd(zs[i]);
    const __m512d upAy = _mm512_set1_pd(-ys[i]);
    const __m512d near = _mm512_set1_pd(400.0);
    const __m512d rounding = _mm512_set1_pd(400.000001);
    const __m512d twenty = _mm512_set1_pd(20.0);
    const __m512d tiny = _mm512_set1_pd(0.0001);
    const __m512d one = _mm512_set1_pd(1.0);
    const __m512d negate = _mm512_set1_pd(-0.0);
    const __m512i laneOffsets = _mm512_setr_epi64(0, 1, 2, 3, 4, 5, 6, 7);
    const __m256i lastBin = _mm256_set1_epi32(100);
    const __m256i side = _mm256_set1_epi32(kPlaneSide);
    int count = outCount;  // a local: out and cells could alias the caller's count
    for (; j + 8 <= end; j += 8) {
        const __m512d cx = _mm512_loadu_pd(xs + j);
        const __m512d cy = _mm512_loadu_pd(ys + j);
        const __m512d cz = _mm512_loadu_pd(zs + j);
        const __m512d dx = _mm512_sub_pd(pax, cx);
        const __m512d dy = _mm512_sub_pd(pay, cy);
        const __m512d dz = _mm512_sub_pd(paz, cz);
        const __m512d d2 = _mm512_add_pd(
            _mm512_add_pd(_mm512_mul_pd(dx, dx), _mm512_mul_pd(dy, dy)), _mm512_mul_pd(dz, dz));
        __mmask8 far = _mm512_cmp_pd_mask(d2, near, _CMP_GT_OQ);
        if (far == 0) continue;
        if (_mm512_mask_cmp_pd_mask(far, d2, rounding, _CMP_LT_OQ) != 0) {
            far = _mm512_cmp_pd_mask(_mm512_sqrt_pd(d2), twenty, _CMP_GT_OQ);
            if (far == 0) continue;
        }
        const __m512d by = _mm512_xor_pd(cy, negate);
        __m512d nx = _mm512_sub_pd(_mm512_mul_pd(by, paz), _mm512_mul_pd(cz, upAy));
        __m512d ny = _mm512_sub_pd(_mm512_mul_pd(cz, pax), _mm512_mul_pd(cx, paz));
        __m512d nz = _mm512_sub_pd(_mm512_mul_pd(cx, upAy), _mm512_mul_pd(by, pax));
        __m512d length = _mm512_sqrt_pd(_mm512_add_pd(
            _mm512_add_pd(_mm512_mul_pd(nx, nx), _mm512_mul_pd(ny, ny)), _mm512_mul_pd(nz, nz)));
        length = _mm512_mask_blend_pd(_mm512_cmp_pd_mask(length, tiny, _CMP_LT_OQ), length, one);
        nx = ZeroTinyAvx512(_mm512_div_pd(nx, length));
        ny = ZeroTinyAvx512(_mm512_div_pd(ny, length));
        nz = ZeroTinyAvx512(_mm512_div_pd(nz, length));
        const __m256i xBins = BinsAvx512(nx);
        const __m256i yBins = BinsAvx512(ny);
        const __m256i zBins = BinsAvx512(nz);
        const __m512i pairs = _mm512_add_epi64(
            _mm512_set1_epi64(std::int64_t(std::uint32_t(i) << 16 | std::uint32_t(j))),
            laneOffsets);
        const __m512i records = _mm512_or_si512(
            _mm512_or_si512(pairs, _mm512_slli_epi64(_mm512_cvtepu32_epi64(xBins), kXBin)),
            _mm512_or_si512(_mm512_slli_epi64(_mm512_cvtepu32_epi64(yBins), kYBin),
                            _mm512_slli_epi64(_mm512_cvtepu32_epi64(zBins), kZBin)));
        _mm512_storeu_si512(out + count, _mm512_maskz_compress_epi64(far, records));
        const int added = __builtin_popcount(unsigned(far));
        const __m256i cell =
            _mm256_add_epi32(_mm256_mullo_epi32(_mm256_min_epu32(xBins, lastBin), side),
                             _mm256_min_epu32(yBins, lastBin));
        alignas(32) std::int32_t laneCells[8];
        _mm256_store_si256(reinterpret_cast<__m256i*>(laneCells), cell);
        const int last = CountLanes<8>(far, count, capacity, laneCells, cells);
        if (last < 8) {
            outCount = capacity;
            return j + last + 1;
        }
        count += added;
    }
    outCount = count;
    return j;
}

#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic pop
#endif
#endif

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

// The same groups as the plain loops below, found through a frame-sized index of the marks'
// pixels instead of a scan of every mark for every member: a group is the 8-connected set of
// ungrouped marks around its seed, and seeds come in mark order. False, with nothing grouped,
// when two marks share a pixel or one lies outside the frame (the plain loops then run).
bool ImageAnalyzer::GroupMarksByGrid(BallImage& b) {
    frame::SpinMark* marks = b.marks.get();
    const int n = b.markCount;
    const int w = width_;
    const int h = height_;
    std::int32_t* grid = markGrid_.get();
    std::int32_t* queue = markQueue_.get();
    int placed = 0;
    bool ok = true;
    for (; placed < n; ++placed) {
        const frame::SpinMark& m = marks[placed];
        if (m.pixelX < 0 || m.pixelX >= w || m.pixelY < 0 || m.pixelY >= h) {
            ok = false;
            break;
        }
        std::int32_t& cell = grid[std::size_t(m.pixelY) * std::size_t(w) + std::size_t(m.pixelX)];
        if (cell != -1) {
            ok = false;
            break;
        }
        cell = placed;
    }
    if (ok) {
        int nextNumber = 0;
        int seedFrom = 0;
        for (;;) {
            int seed = -1;
            for (int i = seedFrom; i < n; ++i) {
                if (marks[i].group == -1) {
                    seed = i;
                    break;
                }
            }
            if (seed < 0 || b.groupCount >= kMaxGroups) break;
            seedFrom = seed + 1;
            const int g = nextNumber++;
            b.groups[b.groupCount++] = {g, 0};
            marks[seed].group = g;
            int head = 0;
            int tail = 0;
            if (!marks[seed].visited) queue[tail++] = seed;  // a visited seed grows nothing
            while (head < tail) {
                const int current = queue[head++];
                marks[current].visited = true;
                const int px = marks[current].pixelX;
                const int py = marks[current].pixelY;
                for (int y = std::max(py - 1, 0); y <= std::min(py + 1, h - 1); ++y) {
                    for (int x = std::max(px - 1, 0); x <= std::min(px + 1, w - 1); ++x) {
                        const std::int32_t j =
                            grid[std::size_t(y) * std::size_t(w) + std::size_t(x)];
                        if (j < 0) continue;
                        frame::SpinMark& m = marks[j];
                        if (m.group != -1 || m.visited) continue;
                        m.group = g;
                        queue[tail++] = j;
                    }
                }
            }
        }
    }
    for (int i = 0; i < placed; ++i) {
        grid[std::size_t(marks[i].pixelY) * std::size_t(w) + std::size_t(marks[i].pixelX)] = -1;
    }
    return ok;
}

bool ImageAnalyzer::GroupMarks(int ball) {
    if (!frameLoaded_ || ball < 0 || ball > 1) return false;
    BallImage& b = Ball(ball);
    if (!b.found) return false;
    frame::SpinMark* marks = b.marks.get();
    const int n = b.markCount;
    b.groupCount = 0;
    const bool grouped = fastSteps_ && GroupMarksByGrid(b);
    for (int nextNumber = 0; !grouped;) {
        int seed = -1;
        for (int i = 0; i < n; ++i) {
            if (marks[i].group == -1) {
                seed = i;
                break;
            }
        }
        if (seed < 0 || b.groupCount >= kMaxGroups) break;
        const int g = nextNumber++;
        b.groups[b.groupCount++] = {g, 0};
        marks[seed].group = g;
        // Grow the group until every member has been visited; only 8-connected neighbours
        // (distance below 2) join. Members before scanFrom are all visited.
        int scanFrom = seed;
        for (;;) {
            int current = -1;
            for (int i = scanFrom; i < n; ++i) {
                if (marks[i].group == g && !marks[i].visited) {
                    current = i;
                    break;
                }
            }
            if (current < 0) break;
            scanFrom = current;
            marks[current].visited = true;
            const int px = marks[current].pixelX;
            const int py = marks[current].pixelY;
            for (int i = 0; i < n; ++i) {
                frame::SpinMark& m = marks[i];
                if (m.group != -1 || m.visited) continue;
                const double dx = m.pixelX - px;
                const double dy = m.pixelY - py;
                if (std::sqrt(dx * dx + dy * dy) < 2.0) {
                    m.group = g;
                    if (i < scanFrom) scanFrom = i;
                }
            }
        }
    }
    for (int k = 0; k < b.groupCount; ++k) {
        int count = 0;
        for (int i = 0; i < n; ++i)
            count += marks[i].group == b.groups[k].number ? 1 : 0;
        b.groups[k].count = count;
    }
    const double r = b.diameter / 2;
    const int onePercent = int(base::kPi * r * r) / 100;
    int kept = 0;
    for (int k = 0; k < b.groupCount; ++k) {
        if (b.groups[k].count > onePercent) b.groups[kept++] = b.groups[k];
    }
    b.groupCount = kept;
    return true;
}

// Every candidate is binned on all three axes as it is made, and only its pair of marks and
// its bins are kept. The mode filter then works on the bins, and only the normals that pass
// all three axes are made again, in the order they were made first (the same operations give
// the same bits). Leaves the records in the scratch's pair records, axisCandidateCount of them.
void ImageAnalyzer::RecordPairs(StepScratch& s, const BallImage& b) const {
    const frame::SpinMark* marks = b.marks.get();
    const int n = b.markCount;
    std::uint64_t* records = s.pairRecords.get();
    std::int32_t* cells = s.planeCells.get();
    static_assert(StepScratch::kPlaneCellTables == 4 * kPlaneCells);
    std::fill_n(cells, StepScratch::kPlaneCellTables, 0);
    int count = 0;
#if defined(KYVERN_AVX2)
    const int lanes = std::min(laneLimit_, frame::ProcessorLanes());
    const bool blocks = lanes >= 4;
    const bool wide = lanes >= 8;
    if (blocks) {
        for (int k = 0; k < n; ++k) {
            s.markX[k] = marks[k].point.x;
            s.markY[k] = marks[k].point.y;
            s.markZ[k] = marks[k].point.z;
        }
    }
#endif
    for (int i = 0; i < n && count < kMaxAxisCandidates; ++i) {
        const frame::Xyz& a = marks[i].point;
        int j = i + 1;
#if defined(KYVERN_AVX2)
        if (wide) {
            const int end = j + (n - j) / 8 * 8;
            j = PlaneBlocksAvx512(i, s.markX.get(), s.markY.get(), s.markZ.get(), j, end, records,
                                  count, kMaxAxisCandidates, cells);
            if (count >= kMaxAxisCandidates) break;
        }
        if (blocks) {
            const int end = j + (n - j) / 4 * 4;
            j = PlaneBlocksAvx2(i, s.markX.get(), s.markY.get(), s.markZ.get(), j, end, records,
                                count, kMaxAxisCandidates, cells);
            if (count >= kMaxAxisCandidates) break;
        }
#endif
        for (; j < n; ++j) {
            const frame::Xyz& c = marks[j].point;
            if (!FarApart(a, c)) continue;
            records[count] = PairRecord(i, j, PairNormal(a, c));
            ++cells[PlaneCell(records[count++])];
            if (count >= kMaxAxisCandidates) break;
        }
    }
    s.axisCandidateCount = count;
}

bool ImageAnalyzer::FindPlane(int ball) {
    if (!frameLoaded_ || ball < 0 || ball > 1) return false;
    StepScratch& s = Shown();
    s.warning = 0;
    const bool found = FindPlaneWith(s, Ball(ball));
    if (s.warning != 0) AddWarning(s.warning);
    return found;
}

void ImageAnalyzer::FindBothPlanes() {
    if (!worker_ || !frameLoaded_ || !ball0_.found || !ball1_.found) {
        FindPlane(0);
        FindPlane(1);
        return;
    }
    auto step = [this](StepScratch& s, int ball) {
        s.warning = 0;
        return FindPlaneWith(s, Ball(ball));
    };
    bool found[2];
    RunBoth(step, found);
    for (const int k : {1 - shown_, shown_}) {
        if (scratch_[k]->warning != 0) AddWarning(scratch_[k]->warning);
    }
}

bool ImageAnalyzer::FindPlaneWith(StepScratch& s, BallImage& b) const {
    if (!b.found) return false;
    b.planeFound = false;
    int& axisCount = s.axisCandidateCount;
    axisCount = 0;
    frame::Xyz* axes = s.axisCandidates.get();
    const frame::SpinMark* marks = b.marks.get();
    const int n = b.markCount;
    int firstAxis = 0;  // of the plain mode filter
    if (fastSteps_) {
        RecordPairs(s, b);
        if (axisCount == 0) {
            s.warning = kNoValidMarks;
            return false;
        }
        // The first two modes come from the cells counted while the candidates were made;
        // one pass keeps the records of both and counts their third bins, four tables taking
        // turns (most candidates share a bin, and one table would make each count wait for
        // the last); a last pass keeps those of the third mode.
        std::uint64_t* records = s.pairRecords.get();
        std::int32_t* cells = s.planeCells.get();
        for (int cell = 0; cell < kPlaneCells; ++cell)
            cells[cell] += cells[kPlaneCells + cell] + cells[2 * kPlaneCells + cell] +
                           cells[3 * kPlaneCells + cell];
        int counts[4][256] = {};
        for (int x = 0; x < 100; ++x) {
            for (int y = 0; y < kPlaneSide; ++y)
                counts[0][x] += cells[x * kPlaneSide + y];
        }
        const int xMode = ModeOf(counts[0]);
        const int yMode = ModeOf(cells + xMode * kPlaneSide);
        const std::uint64_t both = std::uint64_t(std::uint8_t(xMode)) << kXBin |
                                   std::uint64_t(std::uint8_t(yMode)) << kYBin;
        const std::uint64_t bothMask = std::uint64_t(0xffff) << kXBin;
        std::fill(&counts[0][0], &counts[0][0] + 4 * 256, 0);
        int total = axisCount;
        int kept = 0;
#if defined(KYVERN_AVX2)
        if (std::min(laneLimit_, frame::ProcessorLanes()) >= 4) {
            kept = KeepBothModesAvx2(records, total, both, bothMask, counts[0]);
        } else
#endif
        {
            for (int k = 0; k < total; ++k) {
                const std::uint64_t r = records[k];
                const int keep = (r & bothMask) == both ? 1 : 0;
                records[kept] = r;
                counts[k & 3][RecordBin(r, kZBin)] += keep;
                kept += keep;
            }
        }
        total = kept;
        for (int bin = 0; bin < 100; ++bin)
            counts[0][bin] += counts[1][bin] + counts[2][bin] + counts[3][bin];
        const int zMode = ModeOf(counts[0]);
        kept = 0;
        for (int k = 0; k < total; ++k) {
            const std::uint64_t r = records[k];
            records[kept] = r;
            kept += RecordBin(r, kZBin) == zMode ? 1 : 0;
        }
        total = kept;
        for (int k = 0; k < total; ++k) {
            const std::uint64_t r = records[k];
            axes[k] = PairNormal(marks[r >> 16 & 0xffff].point, marks[r & 0xffff].point);
        }
        axisCount = total;
        firstAxis = 3;
    } else {
        for (int i = 0; i < n && axisCount < kMaxAxisCandidates; ++i) {
            const frame::Xyz& a = marks[i].point;
            for (int j = i + 1; j < n; ++j) {
                const frame::Xyz& c = marks[j].point;
                if (!FarApart(a, c)) continue;
                axes[axisCount++] = PairNormal(a, c);
                if (axisCount >= kMaxAxisCandidates) break;
            }
        }
        if (axisCount == 0) {
            s.warning = kNoValidMarks;
            return false;
        }
    }
    for (int axis = firstAxis; axis < 3; ++axis) {
        int counts[100] = {};
        for (int i = 0; i < axisCount; ++i) {
            const int bin = Bin(Component(axes[i], axis));
            if (bin >= 0 && bin <= 99) ++counts[bin];
        }
        const int mode = ModeOf(counts);
        int kept = 0;
        for (int i = 0; i < axisCount; ++i) {
            if (Bin(Component(axes[i], axis)) == mode) axes[kept++] = axes[i];
        }
        axisCount = kept;
    }
    if (axisCount < 75) {
        s.warning = kMarksTooSmall;
        return false;
    }
    frame::Xyz sum;
    for (int i = 0; i < axisCount; ++i)
        sum.Add(axes[i]);
    sum.Divide(axisCount);
    sum.Normalize();
    b.planeNormal = precision_ == Precision::kRefined ? RefinedNormal(s, b, sum) : sum;
    b.planeFound = true;
    return true;
}

#if defined(KYVERN_AVX2)
namespace {

// Marks j, j + 4, ... before end against mark i in blocks of four, with the operations of
// FarApart, PairNormal and Xyz::Dot lane by lane: the pairs far enough apart are candidates,
// counted until candidates reaches capacity, and those of them within reach of the mode's
// normal are added to sum in order. Returns the first mark not looked at.
__attribute__((target("avx2"))) int NearPairsAvx2(int i, const double* xs, const double* ys,
                                                  const double* zs, int j, int end, int capacity,
                                                  int& candidates, const frame::Xyz& mode,
                                                  double* sum, int& taken) {
    const __m256d pax = _mm256_set1_pd(xs[i]);
    const __m256d pay = _mm256_set1_pd(ys[i]);
    const __m256d paz = _mm256_set1_pd(zs[i]);
    const __m256d mx = _mm256_set1_pd(mode.x);
    const __m256d my = _mm256_set1_pd(mode.y);
    const __m256d mz = _mm256_set1_pd(mode.z);
    const __m256d reach = _mm256_set1_pd(kNearCosine);
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
        int near = far & _mm256_movemask_pd(_mm256_cmp_pd(dot, reach, _CMP_GE_OQ));
        if (near != 0) {
            alignas(32) double lx[4], ly[4], lz[4];
            _mm256_store_pd(lx, nx);
            _mm256_store_pd(ly, ny);
            _mm256_store_pd(lz, nz);
            for (; near != 0; near &= near - 1) {
                const int lane = __builtin_ctz(unsigned(near));
                sum[0] += lx[lane];
                sum[1] += ly[lane];
                sum[2] += lz[lane];
                ++taken;
            }
        }
        if (full) return j + 4;
    }
    return j;
}

}  // namespace
#endif

// The bins are 0.02 wide, so the mean of the mode's candidates alone quantises the normal by
// about a degree; every candidate within 3 degrees of it, averaged in the order the candidates
// were made, does not.
frame::Xyz ImageAnalyzer::RefinedNormal(StepScratch& s, const BallImage& b,
                                        const frame::Xyz& modeNormal) const {
    const frame::SpinMark* marks = b.marks.get();
    const int n = b.markCount;
    double sum[3] = {0.0, 0.0, 0.0};
    int taken = 0;
    int candidates = 0;
#if defined(KYVERN_AVX2)
    // RecordPairs laid the mark points out by component for the wide lanes.
    const bool wide = fastSteps_ && std::min(laneLimit_, frame::ProcessorLanes()) >= 4;
#endif
    for (int i = 0; i < n && candidates < kMaxAxisCandidates; ++i) {
        const frame::Xyz& a = marks[i].point;
        int j = i + 1;
#if defined(KYVERN_AVX2)
        if (wide) {
            j = NearPairsAvx2(i, s.markX.get(), s.markY.get(), s.markZ.get(), j,
                              j + (n - j) / 4 * 4, kMaxAxisCandidates, candidates, modeNormal, sum,
                              taken);
            if (candidates >= kMaxAxisCandidates) break;
        }
#endif
        for (; j < n; ++j) {
            const frame::Xyz& c = marks[j].point;
            if (!FarApart(a, c)) continue;
            const frame::Xyz normal = PairNormal(a, c);
            if (normal.Dot(modeNormal.x, modeNormal.y, modeNormal.z) >= kNearCosine) {
                sum[0] += normal.x;
                sum[1] += normal.y;
                sum[2] += normal.z;
                ++taken;
            }
            if (++candidates >= kMaxAxisCandidates) break;
        }
    }
    if (taken == 0) return modeNormal;
    frame::Xyz mean(sum[0], sum[1], sum[2]);
    mean.Divide(taken);
    mean.Normalize();
    return mean;
}

}  // namespace kyvern::analysis
