// The plane search's block kernel on AVX-512's eight double lanes.
#include "analysis/plane_search.h"
#include "frame/simd.h"

namespace kyvern::analysis {

#if defined(KYVERN_AVX2)
namespace {

// GCC 12's AVX-512 intrinsics start from undefined vectors, which it reports as maybe unset.
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
#endif

// Bin() of eight components as 32-bit codes, 255 for no bin.
__attribute__((target("avx512f,avx512dq,avx512vl"))) inline __m256i BinsAvx512(__m512d component) {
    const __m512d fifty = _mm512_set1_pd(kBinScale);
    const __m512d v = _mm512_add_pd(_mm512_mul_pd(component, fifty), fifty);
    const __mmask8 inside = _mm512_cmp_pd_mask(v, _mm512_setzero_pd(), _CMP_GE_OQ) &
                            _mm512_cmp_pd_mask(v, _mm512_set1_pd(kBinEnd), _CMP_LT_OQ);
    return _mm256_mask_blend_epi32(inside, _mm256_set1_epi32(0xff),
                                   _mm512_cvttpd_epi32(_mm512_maskz_mov_pd(inside, v)));
}

// Components below 0.0001 in size become 0.
__attribute__((target("avx512f,avx512dq,avx512vl"))) inline __m512d ZeroTinyAvx512(__m512d v) {
    return _mm512_maskz_mov_pd(
        _mm512_cmp_pd_mask(_mm512_abs_pd(v), _mm512_set1_pd(kTiny), _CMP_NLT_UQ), v);
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
    const __m512d near = _mm512_set1_pd(kMarkFarSquared);
    const __m512d rounding = _mm512_set1_pd(kMarkFarRounding);
    const __m512d twenty = _mm512_set1_pd(kMarkFarApart);
    const __m512d tiny = _mm512_set1_pd(kTiny);
    const __m512d one = _mm512_set1_pd(1.0);
    const __m512d negate = _mm512_set1_pd(-0.0);
    const __m512i laneOffsets = _mm512_setr_epi64(0, 1, 2, 3, 4, 5, 6, 7);
    const __m256i lastBin = _mm256_set1_epi32(kPlaneSide - 1);
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
        const __m512d inverse = _mm512_div_pd(one, length);
        nx = ZeroTinyAvx512(_mm512_mul_pd(nx, inverse));
        ny = ZeroTinyAvx512(_mm512_mul_pd(ny, inverse));
        nz = ZeroTinyAvx512(_mm512_mul_pd(nz, inverse));
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

}  // namespace

int PlaneBlocks8(int i, const double* xs, const double* ys, const double* zs, int j, int end,
                 std::uint64_t* out, int& outCount, int capacity, std::int32_t* cells) {
    if (frame::ProcessorLanes() < 8) return j;
    return PlaneBlocksAvx512(i, xs, ys, zs, j, end, out, outCount, capacity, cells);
}

#else

int PlaneBlocks8(int, const double*, const double*, const double*, int j, int, std::uint64_t*, int&,
                 int, std::int32_t*) {
    return j;
}

#endif

}  // namespace kyvern::analysis
