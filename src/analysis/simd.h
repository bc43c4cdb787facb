// The four-lane paths of the analysis: built for x86-64, taken only where the processor has
// AVX2. Each gives the same bits as its scalar code (no fused operations).
#pragma once

#if defined(__x86_64__)
#include <immintrin.h>
#define KYVERN_AVX2 1

namespace kyvern::analysis {

inline bool HasAvx2() {
    static const bool has = __builtin_cpu_supports("avx2");
    return has;
}

}  // namespace kyvern::analysis
#endif
