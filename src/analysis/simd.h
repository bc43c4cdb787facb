// The wide-lane paths of the analysis: built for x86-64, taken only where the processor has
// AVX2 (four lanes) or AVX-512 (eight). Each gives the same bits as its scalar code (no fused
// operations).
#pragma once

#if defined(__x86_64__)
#include <immintrin.h>
#define KYVERN_AVX2 1

namespace kyvern::analysis {

// The widest lanes the analysis may use: 8 (AVX-512), 4 (AVX2) or 1. Tests lower it to run
// the narrower paths on a machine that has the wider ones.
inline int& LaneLimit() {
    static int limit = 8;
    return limit;
}

inline bool HasAvx2() {
    static const bool has = __builtin_cpu_supports("avx2");
    return has && LaneLimit() >= 4;
}

inline bool HasAvx512() {
    static const bool has = __builtin_cpu_supports("avx512f") &&
                            __builtin_cpu_supports("avx512dq") &&
                            __builtin_cpu_supports("avx512vl");
    return has && LaneLimit() >= 8;
}

}  // namespace kyvern::analysis
#endif
