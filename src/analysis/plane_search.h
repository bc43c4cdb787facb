#pragma once

// The plane search's rules, named once for the plain loops and the vector kernels alike: two
// marks far enough apart make a candidate, the normal of the plane through them and the ball's
// centre; the candidates are binned on each axis and the mode's survive.
#include <algorithm>
#include <cmath>
#include <cstdint>

#include "analysis/four_sums.h"
#include "analysis/image_analyzer.h"
#include "frame/xyz.h"

namespace kyvern::analysis {

// Marks more than 20 pixels apart make a candidate; where the squared distance lies within
// rounding of 400 the root decides.
inline constexpr double kMarkFarApart = 20.0;
inline constexpr double kMarkFarSquared = 400.0;
inline constexpr double kMarkFarRounding = 400.000001;
// A normal's length, and its components, below this count as zero.
inline constexpr double kTiny = 0.0001;
// A component's bin: component * 50 + 50, 0.02 wide; 101 and above, or not a number, is none.
inline constexpr double kBinScale = 50.0;
inline constexpr double kBinEnd = 101.0;
// cos 3 degrees: the reach of the refined plane normal around the mode's.
inline constexpr double kNearCosine = 0.9986295347545738;
// Fewer candidates of the mode than this: the line is too small to trust.
inline constexpr int kMinPlaneCandidates = 75;

inline int Bin(double component) {
    const double v = component * kBinScale + kBinScale;
    if (!(v >= 0.0) || v >= kBinEnd) return -1;  // not a number: never counted
    return int(v);
}

// The normal of the plane through the ball's centre and marks a and c, y up: the operations of
// Xyz::Cross, a scaling by the inverse length, and the zeroing of tiny components. One division
// and three products instead of three divisions: the divider is the search's narrowest
// resource, and a product by the rounded inverse moves a component by an ulp at most.
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
    if (length < kTiny) length = 1.0;
    const double inverse = 1.0 / length;
    nx *= inverse;
    ny *= inverse;
    nz *= inverse;
    if (std::fabs(nx) < kTiny) nx = 0.0;
    if (std::fabs(ny) < kTiny) ny = 0.0;
    if (std::fabs(nz) < kTiny) nz = 0.0;
    return frame::Xyz(nx, ny, nz);
}

inline bool FarApart(const frame::Xyz& a, const frame::Xyz& c) {
    const double dx = a.x - c.x;
    const double dy = a.y - c.y;
    const double dz = a.z - c.z;
    const double d2 = dx * dx + dy * dy + dz * dz;
    if (d2 <= kMarkFarSquared) return false;
    return d2 >= kMarkFarRounding || std::sqrt(d2) > kMarkFarApart;
}

// A plane candidate kept for the mode filter: its marks (first << 16 | second) and its bins on
// the three axes (-1 .. 100 as bytes, from bit 32 on).
static_assert(frame::kMaxMarks <= 0x10000, "a mark's index fits 16 bits of a pair record");
inline constexpr int kXBin = 32;
inline constexpr int kYBin = 40;
inline constexpr int kZBin = 48;

inline std::uint64_t PairRecord(int i, int j, const frame::Xyz& normal) {
    return std::uint64_t(std::uint32_t(i) << 16 | std::uint32_t(j)) |
           std::uint64_t(std::uint8_t(Bin(normal.x))) << kXBin |
           std::uint64_t(std::uint8_t(Bin(normal.y))) << kYBin |
           std::uint64_t(std::uint8_t(Bin(normal.z))) << kZBin;
}

// The bin's byte as an index of a 256-entry count table (-1 is 255, never a mode).
inline int RecordBin(std::uint64_t record, int shift) { return int(record >> shift & 0xff); }

// Candidates are counted by their first two bins as they are made: bins 0 .. 99 are their own
// rows and columns, bin 100 and no bin (-1) share the last, which is never a mode.
inline constexpr int kPlaneSide = 101;
inline constexpr int kPlaneCells = kPlaneSide * kPlaneSide;

inline int PlaneCell(std::uint64_t record) {
    return std::min(RecordBin(record, kXBin), kPlaneSide - 1) * kPlaneSide +
           std::min(RecordBin(record, kYBin), kPlaneSide - 1);
}

// For the kernels: counts the cells of a block's pairs (far: a bit per lane), the lanes taking
// the four tables in turn. Only the pairs up to the one that fills the candidate table count,
// and the search ends after it: returns that pair's lane, or kLanes when the block fits.
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

// The wide kernels. Each gives the bits of the plain loop and declines where this build or
// this processor lacks its lanes: the block searches then return j (no mark looked at), the
// others false; the caller's plain loop goes on from there.
//
// PlaneBlocks4 and PlaneBlocks8: marks j, j + lanes, ... before end against mark i (xs, ys, zs
// the marks by component): the records of the pairs far apart appended to out in j order
// until outCount reaches capacity (out has room for lanes - 1 more), counted in cells, one
// table of kPlaneCells per lane in turn. Return the first mark not looked at.
int PlaneBlocks4(int i, const double* xs, const double* ys, const double* zs, int j, int end,
                 std::uint64_t* out, int& outCount, int capacity, std::int32_t* cells);
int PlaneBlocks8(int i, const double* xs, const double* ys, const double* zs, int j, int end,
                 std::uint64_t* out, int& outCount, int capacity, std::int32_t* cells);
// Keeps, in order and in place, the records whose first two bins are those of both, counting
// their third bins in zCounts (four tables of 256); kept is how many were kept.
bool KeepBothModesWide(std::uint64_t* records, int total, std::uint64_t both,
                       std::uint64_t bothMask, int* zCounts, int& kept);
// The refined normal's sums: the normal of pair (i, j) goes to partial (j - i - 1) mod 4, its
// lane in the four-wide kernel.
struct NormalSums {
    FourSums x;
    FourSums y;
    FourSums z;
};

// The refined normal's pairs of mark i with marks j, j + 4, ... before end: the pairs far
// apart count as candidates until capacity, and those within reach of mode are added to sums
// (taken counts them). Returns the first mark not looked at.
int NearPairsWide(int i, const double* xs, const double* ys, const double* zs, int j, int end,
                  int capacity, int& candidates, const frame::Xyz& mode, NormalSums& sums,
                  int& taken);

}  // namespace kyvern::analysis
