// Four flights at once, one in each lane of an AVX2 vector, through the very operations of the
// one-flight model: each flight is a long chain of dependent divisions and roots, and four
// chains side by side keep the processor busy where one leaves it waiting.
#include "flight/flight_lanes.h"

#include <cmath>
#include <cstdint>

#include "base/math_constants.h"
#include "flight/flight_model.h"

#if defined(__x86_64__)
#include <immintrin.h>

// Everything from here on may use AVX2; it runs only where the processor has it. The laws are
// included here so that their copies in this file are built for it (they are internal to it).
#pragma GCC push_options
#pragma GCC target("avx2")

#include "flight/flight_laws.h"

namespace kyvern::flight {

namespace {

struct Lanes {
    __m256d v;
    Lanes() = default;
    Lanes(double x) : v(_mm256_set1_pd(x)) {}  // a constant in every lane, as the laws write it
    explicit Lanes(__m256d x) : v(x) {}
};

struct LaneMask {
    __m256d v;
};

inline Lanes operator+(Lanes a, Lanes b) { return Lanes(_mm256_add_pd(a.v, b.v)); }
inline Lanes operator-(Lanes a, Lanes b) { return Lanes(_mm256_sub_pd(a.v, b.v)); }
inline Lanes operator*(Lanes a, Lanes b) { return Lanes(_mm256_mul_pd(a.v, b.v)); }
inline Lanes operator/(Lanes a, Lanes b) { return Lanes(_mm256_div_pd(a.v, b.v)); }
inline Lanes operator+(Lanes a, double b) { return a + Lanes(b); }
inline Lanes operator-(Lanes a, double b) { return a - Lanes(b); }
inline Lanes operator*(Lanes a, double b) { return a * Lanes(b); }
inline Lanes operator/(Lanes a, double b) { return a / Lanes(b); }
inline Lanes operator+(double a, Lanes b) { return Lanes(a) + b; }
inline Lanes operator-(double a, Lanes b) { return Lanes(a) - b; }
inline Lanes operator*(double a, Lanes b) { return Lanes(a) * b; }
inline Lanes operator/(double a, Lanes b) { return Lanes(a) / b; }
inline Lanes operator-(Lanes a) { return Lanes(_mm256_xor_pd(a.v, _mm256_set1_pd(-0.0))); }

inline LaneMask operator>(Lanes a, double b) {
    return {_mm256_cmp_pd(a.v, _mm256_set1_pd(b), _CMP_GT_OQ)};
}
inline LaneMask operator<(Lanes a, double b) {
    return {_mm256_cmp_pd(a.v, _mm256_set1_pd(b), _CMP_LT_OQ)};
}
inline LaneMask operator>=(Lanes a, double b) {
    return {_mm256_cmp_pd(a.v, _mm256_set1_pd(b), _CMP_GE_OQ)};
}
inline LaneMask operator&(LaneMask a, LaneMask b) { return {_mm256_and_pd(a.v, b.v)}; }

inline Lanes Select(LaneMask take, Lanes taken, Lanes otherwise) {
    return Lanes(_mm256_blendv_pd(otherwise.v, taken.v, take.v));
}
inline bool Any(LaneMask m) { return _mm256_movemask_pd(m.v) != 0; }
inline Lanes Root(Lanes x) { return Lanes(_mm256_sqrt_pd(x.v)); }
inline Lanes Size(Lanes x) { return Lanes(_mm256_andnot_pd(_mm256_set1_pd(-0.0), x.v)); }
inline Lanes Atan(Lanes x) {
    alignas(32) double lane[4];
    _mm256_store_pd(lane, x.v);
    for (double& value : lane)
        value = std::atan(value);
    return Lanes(_mm256_load_pd(lane));
}

double Lane(Lanes x, int k) {
    alignas(32) double lane[4];
    _mm256_store_pd(lane, x.v);
    return lane[k];
}

}  // namespace

void FlightsAvx2(const FlightConstants& c, const double (&starts)[4][9], LaneFlight (&flights)[4]) {
    alignas(32) double init[9][4];
    for (int k = 0; k < 4; ++k) {
        for (int i = 0; i < 9; ++i)
            init[i][k] = starts[k][i];
    }
    Lanes y[9];
    Lanes previous[9];
    for (int i = 0; i < 9; ++i)
        previous[i] = y[i] = Lanes(_mm256_load_pd(init[i]));
    auto derivative = [&c](const Lanes* state, Lanes* rate) {
        Lanes drag;
        Lanes lift;
        MotionOf(state, rate, c, drag, lift, nullptr);
    };
    // A flight stops where the one-flight model stops: at the ground or at the last point.
    LaneMask flying = y[1] > 0.0;
    int steps[4] = {0, 0, 0, 0};
    for (int points = 1; points < FlightModel::kFlightPointLimit && Any(flying); ++points) {
        Lanes next[9];
        for (int i = 0; i < 9; ++i)
            next[i] = y[i];
        MotionStep(next, FlightModel::kStep, derivative);
        const int moved = _mm256_movemask_pd(flying.v);
        for (int i = 0; i < 9; ++i) {
            previous[i] = Select(flying, y[i], previous[i]);
            y[i] = Select(flying, next[i], y[i]);
        }
        alignas(32) double x[4];
        alignas(32) double z[4];
        alignas(32) double height[4];
        alignas(32) double spin[4];
        _mm256_store_pd(x, y[0].v);
        _mm256_store_pd(z, y[2].v);
        _mm256_store_pd(height, y[1].v);
        _mm256_store_pd(spin, y[8].v);
        for (int k = 0; k < 4; ++k) {
            if (!(moved & (1 << k))) continue;
            const int s = steps[k]++;
            flights[k].x[s] = x[k];
            flights[k].z[s] = z[k];
            flights[k].height[s] = height[k];
            flights[k].spin[s] = spin[k];
        }
        flying = flying & (y[1] > 0.0);
    }
    for (int k = 0; k < 4; ++k) {
        flights[k].steps = steps[k];
        for (int i = 0; i < 9; ++i) {
            flights[k].previous[i] = Lane(previous[i], k);
            flights[k].last[i] = Lane(y[i], k);
        }
    }
}

void CarriesFeetAvx2(const FlightConstants& c, double ballSpeed, double teeHeightIn,
                     const double* launchAngles, const double* backSpins, int count,
                     double* carries) {
    LaneFlight flights[4];
    for (int first = 0; first < count; first += 4) {
        const int lanes = count - first < 4 ? count - first : 4;
        double starts[4][9];
        for (int k = 0; k < 4; ++k) {
            // Lanes past the end repeat the last flight, whose result is not kept.
            const int index = first + (k < lanes ? k : lanes - 1);
            LaunchState({ballSpeed, launchAngles[index], backSpins[index], 0.0, 0.0}, teeHeightIn,
                        starts[k]);
        }
        FlightsAvx2(c, starts, flights);
        for (int k = 0; k < lanes; ++k) {
            const LaneFlight& f = flights[k];
            double x = f.last[0];
            double z = f.last[2];
            double share = 0.0;
            if (LandingShare(f.previous[1], f.last[1], share)) {
                x = f.previous[0] + share * (x - f.previous[0]);
                z = f.previous[2] + share * (z - f.previous[2]);
            }
            carries[first + k] = SignedDistance(x / 3.0, z / 3.0) * 3.0;
        }
    }
}

}  // namespace kyvern::flight

#pragma GCC pop_options
#endif
