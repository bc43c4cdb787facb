// The mark groups: the 8-connected sets of marks, the printed line being the large ones.
#include <algorithm>
#include <cmath>

#include "analysis/analysis_codes.h"
#include "analysis/image_analyzer.h"
#include "base/math_constants.h"

namespace kyvern::analysis {

// The same groups as the plain loops below, found through a frame-sized index of the marks'
// pixels instead of a scan of every mark for every member: a group is the 8-connected set of
// ungrouped marks around its seed, and seeds come in mark order. False, with nothing grouped,
// when two marks share a pixel or one lies outside the frame (the plain loops then run).
bool ImageAnalyzer::GroupMarksByGrid(BallImage& b) {
    frame::SpinMark* marks = b.marks.get();
    const int n = b.markCount;
    const int w = width_;
    const int h = height_;
    std::int32_t* grid = markGrid_.get();
    std::int32_t* queue = markQueue_.get();
    int placed = 0;
    bool ok = true;
    for (; placed < n; ++placed) {
        const frame::SpinMark& m = marks[placed];
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
                        frame::SpinMark& m = marks[j];
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
    frame::SpinMark* marks = b.marks.get();
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
                frame::SpinMark& m = marks[i];
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
    const int onePercent = int(base::kPi * r * r) / 100;
    int kept = 0;
    for (int k = 0; k < b.groupCount; ++k) {
        if (b.groups[k].count > onePercent) b.groups[kept++] = b.groups[k];
    }
    b.groupCount = kept;
    return true;
}

}  // namespace kyvern::analysis
