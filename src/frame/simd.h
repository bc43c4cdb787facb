// The wide-lane paths of the analysis: built for x86-64, taken only where the processor has
// AVX2 (four lanes) or AVX-512 (eight). Each gives the same bits as its scalar code (no fused
// operations).
#pragma once

#if defined(__x86_64__)
#include <immintrin.h>
#define KYVERN_AVX2 1

namespace kyvern::frame {

// The widest lanes this processor offers the analysis: 8 (AVX-512), 4 (AVX2) or 1. Found once;
// an analyzer may use fewer (ImageAnalyzer::LimitLanes).
inline int ProcessorLanes() {
    static const int lanes = __builtin_cpu_supports("avx512f") &&
                                     __builtin_cpu_supports("avx512dq") &&
                                     __builtin_cpu_supports("avx512vl")
                                 ? 8
                             : __builtin_cpu_supports("avx2") ? 4
                                                              : 1;
    return lanes;
}

}  // namespace kyvern::frame
#endif
