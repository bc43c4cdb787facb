// The plane of the printed line: every pair of marks far enough apart gives the normal of a
// plane through the ball's centre; the mode of their bins, axis by axis, is the line's.
#include <algorithm>
#include <cmath>

#include "analysis/analysis_codes.h"
#include "analysis/image_analyzer.h"
#include "analysis/plane_search.h"

namespace kyvern::analysis {

namespace {

double Component(const frame::Xyz& v, int axis) {
    return axis == 0 ? v.x : (axis == 1 ? v.y : v.z);
}

// The lowest of the most frequent bins.
int ModeOf(const int* counts) {
    int mode = 0;
    for (int bin = 1; bin < 100; ++bin) {
        if (counts[bin] > counts[mode]) mode = bin;
    }
    return mode;
}

}  // namespace

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
    // The kernels decline lanes the processor lacks; the limit is the tests' narrowing.
    const bool blocks = laneLimit_ >= 4;
    const bool wide = laneLimit_ >= 8;
    if (blocks) {
        for (int k = 0; k < n; ++k) {
            s.markX[k] = marks[k].point.x;
            s.markY[k] = marks[k].point.y;
            s.markZ[k] = marks[k].point.z;
        }
    }
    for (int i = 0; i < n && count < kMaxAxisCandidates; ++i) {
        const frame::Xyz& a = marks[i].point;
        int j = i + 1;
        if (wide) {
            const int end = j + (n - j) / 8 * 8;
            j = PlaneBlocks8(i, s.markX.get(), s.markY.get(), s.markZ.get(), j, end, records, count,
                             kMaxAxisCandidates, cells);
            if (count >= kMaxAxisCandidates) break;
        }
        if (blocks) {
            const int end = j + (n - j) / 4 * 4;
            j = PlaneBlocks4(i, s.markX.get(), s.markY.get(), s.markZ.get(), j, end, records, count,
                             kMaxAxisCandidates, cells);
            if (count >= kMaxAxisCandidates) break;
        }
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
        if (!(laneLimit_ >= 4 &&
              KeepBothModesWide(records, total, both, bothMask, counts[0], kept))) {
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
    if (axisCount < kMinPlaneCandidates) {
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

// The bins are 0.02 wide, so the mean of the mode's candidates alone quantises the normal by
// about a degree; every candidate within 3 degrees of it, averaged, does not.
frame::Xyz ImageAnalyzer::RefinedNormal(StepScratch& s, const BallImage& b,
                                        const frame::Xyz& modeNormal) const {
    const frame::SpinMark* marks = b.marks.get();
    const int n = b.markCount;
    NormalSums sums;
    int taken = 0;
    int candidates = 0;
    // RecordPairs laid the mark points out by component for the wide lanes.
    const bool wide = fastSteps_ && laneLimit_ >= 4;
    for (int i = 0; i < n && candidates < kMaxAxisCandidates; ++i) {
        const frame::Xyz& a = marks[i].point;
        int j = i + 1;
        if (wide) {
            j = NearPairsWide(i, s.markX.get(), s.markY.get(), s.markZ.get(), j,
                              j + (n - j) / 4 * 4, kMaxAxisCandidates, candidates, modeNormal, sums,
                              taken);
            if (candidates >= kMaxAxisCandidates) break;
        }
        for (; j < n; ++j) {
            const frame::Xyz& c = marks[j].point;
            if (!FarApart(a, c)) continue;
            const frame::Xyz normal = PairNormal(a, c);
            if (normal.Dot(modeNormal.x, modeNormal.y, modeNormal.z) >= kNearCosine) {
                const int lane = (j - i - 1) & 3;
                sums.x.lane[lane] += normal.x;
                sums.y.lane[lane] += normal.y;
                sums.z.lane[lane] += normal.z;
                ++taken;
            }
            if (++candidates >= kMaxAxisCandidates) break;
        }
    }
    if (taken == 0) return modeNormal;
    frame::Xyz mean(sums.x.Total(), sums.y.Total(), sums.z.Total());
    mean.Divide(taken);
    mean.Normalize();
    return mean;
}

}  // namespace kyvern::analysis
