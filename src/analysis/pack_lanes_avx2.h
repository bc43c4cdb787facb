#pragma once

// Compaction of four 64-bit lanes for the AVX2 kernels that append what passed to a list.
#include <cstdint>

#include "frame/simd.h"

#if defined(KYVERN_AVX2)
namespace kyvern::analysis {

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

__attribute__((target("avx2"))) inline __m256d PackLanesAvx2(__m256d lanes, int mask) {
    return _mm256_castsi256_pd(PackLanesAvx2(_mm256_castpd_si256(lanes), mask));
}

}  // namespace kyvern::analysis
#endif
