// Spin marks: the dark pixels of the printed line, their groups and the line's plane.
#include <algorithm>
#include <iterator>
#include <cmath>

#if defined(__x86_64__)
#include <immintrin.h>
#define KYVERN_PLANE_AVX2 1
#endif

#include "analysis/analysis_codes.h"
#include "analysis/image_analyzer.h"

namespace kyvern::analysis {

namespace {

constexpr double kPi = 3.14159265358979;

double Clamped(double v) { return std::clamp(v, -1.0, 1.0); }

int TruncatedDistance(double dx, double dy) { return int(std::sqrt(dx * dx + dy * dy)); }

double Component(const Xyz& v, int axis) { return axis == 0 ? v.x : (axis == 1 ? v.y : v.z); }

int Bin(double component) {
    const double v = component * 50 + 50;
    if (!(v >= 0.0) || v >= 101.0) return -1;  // not a number: never counted
    return int(v);
}

#if defined(KYVERN_PLANE_AVX2)
// Marks j, j + 4, ... against mark a in blocks of four, with the operations of the scalar
// pair loop lane by lane (no fused operations, so every lane rounds as the scalar code).
// Normals of passing pairs are appended in j order. Returns the new count.
__attribute__((target("avx2"))) int PlaneBlocksAvx2(double ax, double ay, double az,
                                                    const double* xs, const double* ys,
                                                    const double* zs, int j, int end, Xyz* out,
                                                    int count, int capacity) {
    const __m256d pax = _mm256_set1_pd(ax);
    const __m256d pay = _mm256_set1_pd(ay);
    const __m256d paz = _mm256_set1_pd(az);
    const __m256d upAy = _mm256_set1_pd(-ay);
    const __m256d twenty = _mm256_set1_pd(20.0);
    const __m256d tiny = _mm256_set1_pd(0.0001);
    const __m256d one = _mm256_set1_pd(1.0);
    const __m256d signless = _mm256_castsi256_pd(_mm256_set1_epi64x(0x7fffffffffffffffLL));
    const __m256d negate = _mm256_set1_pd(-0.0);
    for (; j + 4 <= end; j += 4) {
        const __m256d cx = _mm256_loadu_pd(xs + j);
        const __m256d cy = _mm256_loadu_pd(ys + j);
        const __m256d cz = _mm256_loadu_pd(zs + j);
        const __m256d dx = _mm256_sub_pd(pax, cx);
        const __m256d dy = _mm256_sub_pd(pay, cy);
        const __m256d dz = _mm256_sub_pd(paz, cz);
        const __m256d d2 = _mm256_add_pd(
            _mm256_add_pd(_mm256_mul_pd(dx, dx), _mm256_mul_pd(dy, dy)), _mm256_mul_pd(dz, dz));
        const int far = _mm256_movemask_pd(_mm256_cmp_pd(_mm256_sqrt_pd(d2), twenty, _CMP_GT_OQ));
        if (far == 0) continue;
        const __m256d by = _mm256_xor_pd(cy, negate);
        __m256d nx = _mm256_sub_pd(_mm256_mul_pd(by, paz), _mm256_mul_pd(cz, upAy));
        __m256d ny = _mm256_sub_pd(_mm256_mul_pd(cz, pax), _mm256_mul_pd(cx, paz));
        __m256d nz = _mm256_sub_pd(_mm256_mul_pd(cx, upAy), _mm256_mul_pd(by, pax));
        __m256d length = _mm256_sqrt_pd(_mm256_add_pd(
            _mm256_add_pd(_mm256_mul_pd(nx, nx), _mm256_mul_pd(ny, ny)), _mm256_mul_pd(nz, nz)));
        length = _mm256_blendv_pd(length, one, _mm256_cmp_pd(length, tiny, _CMP_LT_OQ));
        nx = _mm256_div_pd(nx, length);
        ny = _mm256_div_pd(ny, length);
        nz = _mm256_div_pd(nz, length);
        nx = _mm256_andnot_pd(_mm256_cmp_pd(_mm256_and_pd(nx, signless), tiny, _CMP_LT_OQ), nx);
        ny = _mm256_andnot_pd(_mm256_cmp_pd(_mm256_and_pd(ny, signless), tiny, _CMP_LT_OQ), ny);
        nz = _mm256_andnot_pd(_mm256_cmp_pd(_mm256_and_pd(nz, signless), tiny, _CMP_LT_OQ), nz);
        alignas(32) double vx[4];
        alignas(32) double vy[4];
        alignas(32) double vz[4];
        _mm256_store_pd(vx, nx);
        _mm256_store_pd(vy, ny);
        _mm256_store_pd(vz, nz);
        for (int lane = 0; lane < 4; ++lane) {
            if ((far >> lane & 1) == 0) continue;
            out[count++] = Xyz(vx[lane], vy[lane], vz[lane]);
            if (count >= capacity) return count;
        }
    }
    return count;
}

bool HasAvx2() {
    static const bool has = __builtin_cpu_supports("avx2");
    return has;
}
#endif

}  // namespace

void ImageAnalyzer::BuildRowSums() {
    const int total = width_ * height_;
    graySums_[0] = 0;
    for (int i = 0; i < total; ++i)
        graySums_[i + 1] = graySums_[i] + frame_[i];
    graySumsReady_ = true;
}

int ImageAnalyzer::WindowMeanPlain(int row, int column) const {
    const std::int64_t total = std::int64_t(width_) * height_;
    std::int64_t sum = 0;
    std::int64_t count = 0;
    for (int rr = row - 15; rr <= row + 14; ++rr) {
        for (int cc = column - 15; cc <= column + 14; ++cc) {
            const std::int64_t index = std::int64_t(rr) * width_ + cc;
            if (index < 0 || index >= total) continue;
            sum += frame_[index];
            ++count;
        }
    }
    return count > 0 ? int(sum / count) : 0;
}

// A window row is a run of consecutive linear indexes, so its sum is a difference of
// running sums; the count is that of the indexes inside the frame, as in the plain loop.
int ImageAnalyzer::WindowMeanFast(int row, int column) const {
    const std::int64_t total = std::int64_t(width_) * height_;
    std::int64_t sum = 0;
    std::int64_t count = 0;
    for (int rr = row - 15; rr <= row + 14; ++rr) {
        const std::int64_t start = std::int64_t(rr) * width_ + column;
        const std::int64_t lo = std::max<std::int64_t>(start - 15, 0);
        const std::int64_t hi = std::min<std::int64_t>(start + 14, total - 1);
        if (lo > hi) continue;
        sum += graySums_[hi + 1] - graySums_[lo];
        count += hi - lo + 1;
    }
    return count > 0 ? int(sum / count) : 0;
}

bool ImageAnalyzer::FindMarks(int ball) {
    if (!frameLoaded_ || ball < 0 || ball > 1) return false;
    BallImage& b = Ball(ball);
    if (!b.found) return false;
    const double d = b.diameter;
    const double r = d / 2;
    const double cx = b.centreX;
    const double cy = b.centreY;
    const int firstRow = int(cy - d);
    const int firstColumn = int(cx - d);

    bool anyInside = false;
    for (int row = firstRow; row < cy + d && !anyInside; ++row) {
        for (int column = firstColumn; column < cx + d; ++column) {
            if (TruncatedDistance(column - cx, row - cy) <= r) {
                anyInside = true;
                break;
            }
        }
    }
    if (!anyInside) return false;

    if (fastSteps_ && !graySumsReady_) BuildRowSums();
    const std::int64_t total = std::int64_t(width_) * height_;
    const std::uint8_t* f = frame_.get();
    b.markCount = 0;
    for (int row = firstRow; row < cy + d; ++row) {
        for (int column = firstColumn; column < cx + d; ++column) {
            const std::int64_t index = std::int64_t(row) * width_ + column;
            if (index - width_ - 1 < 0 || index + width_ + 1 >= total) continue;
            if (TruncatedDistance(column - cx, row - cy) > r - 10) continue;
            const int threshold =
                (fastSteps_ ? WindowMeanFast(row, column) : WindowMeanPlain(row, column)) - 10;
            if (f[index] > threshold) continue;
            const std::int64_t around[8] = {
                index - width_ - 1, index - width_,     index - width_ + 1, index - 1,
                index + 1,          index + width_ - 1, index + width_,     index + width_ + 1};
            int darker = 0;
            for (std::int64_t n : around)
                darker += f[n] < threshold ? 1 : 0;
            if (darker <= 5) continue;
            if (b.markCount >= kMaxMarks) continue;
            SpinMark& mark = b.marks[b.markCount++];
            const double dx = column - cx;
            const double dy = row - cy;
            mark.point.Set(dx, dy, std::sqrt(r * r - dx * dx - dy * dy));
            mark.polar = std::acos(Clamped(dy / r));
            mark.azimuth = std::asin(Clamped(dx / r));
            mark.pixelX = column;
            mark.pixelY = row;
            mark.group = -1;
            mark.visited = false;
        }
    }
    return true;
}

// The same groups as the plain loops below, found through a frame-sized index of the marks'
// pixels instead of a scan of every mark for every member: a group is the 8-connected set of
// ungrouped marks around its seed, and seeds come in mark order. False, with nothing grouped,
// when two marks share a pixel or one lies outside the frame (the plain loops then run).
bool ImageAnalyzer::GroupMarksByGrid(BallImage& b) {
    SpinMark* marks = b.marks.get();
    const int n = b.markCount;
    const int w = width_;
    const int h = height_;
    std::int32_t* grid = markGrid_.get();
    std::int32_t* queue = markQueue_.get();
    int placed = 0;
    bool ok = true;
    for (; placed < n; ++placed) {
        const SpinMark& m = marks[placed];
        if (m.pixelX < 0 || m.pixelX >= w || m.pixelY < 0 || m.pixelY >= h) {
            ok = false;
            break;
        }
        std::int32_t& cell = grid[std::size_t(m.pixelY) * std::size_t(w) + std::size_t(m.pixelX)];
        if (cell != -1) {
            ok = false;
            break;
        }
        cell = placed;
    }
    if (ok) {
        int nextNumber = 0;
        int seedFrom = 0;
        for (;;) {
            int seed = -1;
            for (int i = seedFrom; i < n; ++i) {
                if (marks[i].group == -1) {
                    seed = i;
                    break;
                }
            }
            if (seed < 0 || b.groupCount >= kMaxGroups) break;
            seedFrom = seed + 1;
            const int g = nextNumber++;
            b.groups[b.groupCount++] = {g, 0};
            marks[seed].group = g;
            int head = 0;
            int tail = 0;
            if (!marks[seed].visited) queue[tail++] = seed;  // a visited seed grows nothing
            while (head < tail) {
                const int current = queue[head++];
                marks[current].visited = true;
                const int px = marks[current].pixelX;
                const int py = marks[current].pixelY;
                for (int y = std::max(py - 1, 0); y <= std::min(py + 1, h - 1); ++y) {
                    for (int x = std::max(px - 1, 0); x <= std::min(px + 1, w - 1); ++x) {
                        const std::int32_t j =
                            grid[std::size_t(y) * std::size_t(w) + std::size_t(x)];
                        if (j < 0) continue;
                        SpinMark& m = marks[j];
                        if (m.group != -1 || m.visited) continue;
                        m.group = g;
                        queue[tail++] = j;
                    }
                }
            }
        }
    }
    for (int i = 0; i < placed; ++i) {
        grid[std::size_t(marks[i].pixelY) * std::size_t(w) + std::size_t(marks[i].pixelX)] = -1;
    }
    return ok;
}

bool ImageAnalyzer::GroupMarks(int ball) {
    if (!frameLoaded_ || ball < 0 || ball > 1) return false;
    BallImage& b = Ball(ball);
    if (!b.found) return false;
    SpinMark* marks = b.marks.get();
    const int n = b.markCount;
    b.groupCount = 0;
    const bool grouped = fastSteps_ && GroupMarksByGrid(b);
    for (int nextNumber = 0; !grouped;) {
        int seed = -1;
        for (int i = 0; i < n; ++i) {
            if (marks[i].group == -1) {
                seed = i;
                break;
            }
        }
        if (seed < 0 || b.groupCount >= kMaxGroups) break;
        const int g = nextNumber++;
        b.groups[b.groupCount++] = {g, 0};
        marks[seed].group = g;
        // Grow the group until every member has been visited; only 8-connected neighbours
        // (distance below 2) join. Members before scanFrom are all visited.
        int scanFrom = seed;
        for (;;) {
            int current = -1;
            for (int i = scanFrom; i < n; ++i) {
                if (marks[i].group == g && !marks[i].visited) {
                    current = i;
                    break;
                }
            }
            if (current < 0) break;
            scanFrom = current;
            marks[current].visited = true;
            const int px = marks[current].pixelX;
            const int py = marks[current].pixelY;
            for (int i = 0; i < n; ++i) {
                SpinMark& m = marks[i];
                if (m.group != -1 || m.visited) continue;
                const double dx = m.pixelX - px;
                const double dy = m.pixelY - py;
                if (std::sqrt(dx * dx + dy * dy) < 2.0) {
                    m.group = g;
                    if (i < scanFrom) scanFrom = i;
                }
            }
        }
    }
    for (int k = 0; k < b.groupCount; ++k) {
        int count = 0;
        for (int i = 0; i < n; ++i)
            count += marks[i].group == b.groups[k].number ? 1 : 0;
        b.groups[k].count = count;
    }
    const double r = b.diameter / 2;
    const int onePercent = int(kPi * r * r) / 100;
    int kept = 0;
    for (int k = 0; k < b.groupCount; ++k) {
        if (b.groups[k].count > onePercent) b.groups[kept++] = b.groups[k];
    }
    b.groupCount = kept;
    return true;
}

bool ImageAnalyzer::FindPlane(int ball) {
    if (!frameLoaded_ || ball < 0 || ball > 1) return false;
    BallImage& b = Ball(ball);
    if (!b.found) return false;
    b.planeFound = false;
    axisCandidateCount_ = 0;
    Xyz* axes = axisCandidates_.get();
    const SpinMark* marks = b.marks.get();
    const int n = b.markCount;
    // The cross product and its normalisation are spelt out here with the very operations of
    // Xyz::Cross and Xyz::Normalize, so that the pair loop inlines without changing a bit.
#if defined(KYVERN_PLANE_AVX2)
    const bool blocks = fastSteps_ && HasAvx2();
    if (blocks) {
        for (int i = 0; i < n; ++i) {
            markX_[i] = marks[i].point.x;
            markY_[i] = marks[i].point.y;
            markZ_[i] = marks[i].point.z;
        }
    }
#endif
    // The first axis's bins are taken while each row of candidates is still in the cache, so
    // that its mode filter need not read every candidate again.
    std::int8_t* bins = candidateBins_.get();
    int firstCounts[100] = {};  // of the axis being filtered, in the fast passes
    int binned = 0;
    auto binNewCandidates = [&] {
        if (!fastSteps_) return;
        for (; binned < axisCandidateCount_; ++binned) {
            const int bin = Bin(axes[binned].x);
            bins[binned] = static_cast<std::int8_t>(bin);
            if (bin >= 0 && bin <= 99) ++firstCounts[bin];
        }
    };
    for (int i = 0; i < n && axisCandidateCount_ < kMaxAxisCandidates; ++i) {
        const Xyz& a = marks[i].point;
        const double ax = a.x;
        const double ay = -a.y;  // y up
        const double az = a.z;
        int j = i + 1;
#if defined(KYVERN_PLANE_AVX2)
        if (blocks) {
            const int end = j + (n - j) / 4 * 4;
            axisCandidateCount_ =
                PlaneBlocksAvx2(a.x, a.y, a.z, markX_.get(), markY_.get(), markZ_.get(), j, end,
                                axes, axisCandidateCount_, kMaxAxisCandidates);
            if (axisCandidateCount_ >= kMaxAxisCandidates) break;
            j = end;
        }
#endif
        for (; j < n; ++j) {
            const Xyz& c = marks[j].point;
            const double dx = a.x - c.x;
            const double dy = a.y - c.y;
            const double dz = a.z - c.z;
            const double d2 = dx * dx + dy * dy + dz * dz;
            // sqrt(d2) > 20.0; the root is taken only where rounding could decide.
            if (d2 <= 400.0) continue;
            if (d2 < 400.000001 && !(std::sqrt(d2) > 20.0)) continue;
            const double bx = c.x;
            const double by = -c.y;
            const double bz = c.z;
            double nx = by * az - bz * ay;
            double ny = bz * ax - bx * az;
            double nz = bx * ay - by * ax;
            double length = std::sqrt(nx * nx + ny * ny + nz * nz);
            if (length < 0.0001) length = 1.0;
            nx /= length;
            ny /= length;
            nz /= length;
            if (std::fabs(nx) < 0.0001) nx = 0.0;
            if (std::fabs(ny) < 0.0001) ny = 0.0;
            if (std::fabs(nz) < 0.0001) nz = 0.0;
            axes[axisCandidateCount_++] = Xyz(nx, ny, nz);
            if (axisCandidateCount_ >= kMaxAxisCandidates) break;
        }
        binNewCandidates();
    }
    binNewCandidates();
    if (axisCandidateCount_ == 0) {
        AddWarning(kNoValidMarks);
        return false;
    }
    // Fast: each filter pass also bins the candidates it keeps on the next axis, so every
    // candidate is read once per axis instead of twice.
    for (int axis = 0; fastSteps_ && axis < 3; ++axis) {
        int mode = 0;
        for (int bin = 1; bin < 100; ++bin) {
            if (firstCounts[bin] > firstCounts[mode]) mode = bin;
        }
        int nextCounts[100] = {};
        int kept = 0;
        for (int i = 0; i < axisCandidateCount_; ++i) {
            if (bins[i] != mode) continue;
            axes[kept] = axes[i];
            if (axis < 2) {
                const int bin = Bin(Component(axes[kept], axis + 1));
                bins[kept] = static_cast<std::int8_t>(bin);  // kept <= i: already read
                if (bin >= 0 && bin <= 99) ++nextCounts[bin];
            }
            ++kept;
        }
        axisCandidateCount_ = kept;
        std::copy(std::begin(nextCounts), std::end(nextCounts), std::begin(firstCounts));
    }
    for (int axis = 0; !fastSteps_ && axis < 3; ++axis) {
        int counts[100] = {};
        for (int i = 0; i < axisCandidateCount_; ++i) {
            const int bin = Bin(Component(axes[i], axis));
            if (bin >= 0 && bin <= 99) ++counts[bin];
        }
        int mode = 0;
        for (int bin = 1; bin < 100; ++bin) {
            if (counts[bin] > counts[mode]) mode = bin;
        }
        int kept = 0;
        for (int i = 0; i < axisCandidateCount_; ++i) {
            if (Bin(Component(axes[i], axis)) == mode) axes[kept++] = axes[i];
        }
        axisCandidateCount_ = kept;
    }
    if (axisCandidateCount_ < 75) {
        AddWarning(kMarksTooSmall);
        return false;
    }
    Xyz sum;
    for (int i = 0; i < axisCandidateCount_; ++i)
        sum.Add(axes[i]);
    sum.Divide(axisCandidateCount_);
    sum.Normalize();
    b.planeNormal = sum;
    b.planeFound = true;
    return true;
}

}  // namespace kyvern::analysis
