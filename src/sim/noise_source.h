#pragma once

#include <algorithm>
#include <cmath>
#include <cstdint>

#include "base/math_constants.h"

namespace kyvern::sim {

// splitmix64's output step: spreads a seed (or a seed mixed with a salt) over all 64 bits, so
// that streams started from nearby seeds share nothing.
inline std::uint64_t Scramble(std::uint64_t z) {
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return z ^ (z >> 31);
}

// Small, fast and the same on every platform, so that a seed always gives the same frame.
class NoiseSource {
public:
    explicit NoiseSource(std::uint64_t seed) : state_(seed) {}

    double Gaussian() {
        if (hasSpare_) {
            hasSpare_ = false;
            return spare_;
        }
        double u1 = 0.0;
        do {
            u1 = Uniform();
        } while (u1 <= 0.0);
        const double u2 = Uniform();
        const double r = std::sqrt(-2.0 * std::log(u1));
        spare_ = r * std::sin(2.0 * base::kExactPi * u2);
        hasSpare_ = true;
        return r * std::cos(2.0 * base::kExactPi * u2);
    }

    // In [0, 1).
    double Uniform() { return double(Next() >> 11) * 0x1.0p-53; }
    // In [low, high).
    double Uniform(double low, double high) { return low + (high - low) * Uniform(); }
    // One of 0 .. count - 1.
    int Index(int count) { return std::min(count - 1, int(Uniform() * count)); }
    std::uint64_t Bits() { return Next(); }

private:
    std::uint64_t Next() { return Scramble(state_ += 0x9E3779B97F4A7C15ull); }

    std::uint64_t state_;
    double spare_ = 0.0;
    bool hasSpare_ = false;
};

}  // namespace kyvern::sim
