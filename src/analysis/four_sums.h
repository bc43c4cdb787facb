#pragma once

// A sum kept in four partials and combined pairwise at the end. A value goes to the partial of
// the lane a four-wide kernel gives it, so the plain loops and the kernels add the same values
// in the same order and give the same bits, and the kernels keep four sums in one register
// instead of waiting on one chain of additions.
namespace kyvern::analysis {

struct FourSums {
    double lane[4] = {};

    double Total() const { return (lane[0] + lane[1]) + (lane[2] + lane[3]); }
};

}  // namespace kyvern::analysis
