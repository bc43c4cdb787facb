#include "sim/scene_realism.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "frame/camera_model.h"
#include "frame/captured_image.h"
#include "sim/frame_renderer.h"

namespace {

using kyvern::frame::CapturedImage;
using kyvern::frame::Xyz;
using namespace kyvern::sim;

std::uint64_t Fnv1a(const CapturedImage& f) {
    std::uint64_t h = 0xcbf29ce484222325ull;
    const std::uint8_t* p = f.Pixels();
    for (std::size_t i = 0; i < std::size_t(f.width) * f.height; ++i) {
        h ^= p[i];
        h *= 0x100000001b3ull;
    }
    return h;
}

struct Rendered {
    std::unique_ptr<CapturedImage> frame = std::make_unique<CapturedImage>();
    ShotTruth truth;

    int At(int row, int column) const { return frame->At(row, column); }
};

Rendered Render(const ShotSetup& s) {
    Rendered r;
    FrameRenderer renderer;
    EXPECT_TRUE(renderer.Render(s, *r.frame));
    r.truth = renderer.Truth();
    return r;
}

Realism Only(bool Realism::*effect) {
    Realism r;
    r.*effect = true;
    return r;
}

// A shot whose flight is centred 30 in before the lens: both balls well inside the frame,
// the frame's centre and corners clear of them.
ShotSetup Centred(int width = 1024, double distance = 30.0) {
    ShotSetup s;
    s.width = width, s.height = width == 1024 ? 768 : 480;
    s.ballSpeed = 150, s.launchAngle = 10, s.backSpin = 3000, s.sideSpin = 400;
    s.t2 = s.t1 + StrobeIntervalFor(s.ballSpeed);
    s.lineNormal = NormalAcrossSpin(s.backSpin, s.sideSpin, 0.0);
    s.ball0 = CentredStart(s, distance);
    s.noise = 0.0;
    return s;
}

double DistanceTo(const Xyz& pix, int row, int column) {
    return std::hypot(column - pix.x, row - pix.y);
}

// On a ball's image or within margin pixels of its rim.
bool OnBall(const ShotTruth& t, int row, int column, double margin) {
    return DistanceTo(t.pix0, row, column) < t.pix0.z / 2.0 + margin ||
           DistanceTo(t.pix1, row, column) < t.pix1.z / 2.0 + margin;
}

TEST(SceneRealism, AllOffDrawsTheCleanFrameBitForBit) {
    // The clean frames as the renderer drew them before it had any effects.
    ShotSetup plain;
    ShotSetup fast;
    fast.width = 640, fast.height = 480, fast.pinhole = true, fast.ballSpeed = 200;
    fast.launchAngle = 20, fast.sideAngle = -5, fast.seed = 42;
    fast.backSpin = 5000, fast.sideSpin = 700, fast.rifleSpin = 300;
    fast.t2 = fast.t1 + StrobeIntervalFor(fast.ballSpeed);
    fast.ball0 = CentredStart(fast, 20);
    fast.lineNormal = NormalAcrossSpin(fast.backSpin, fast.sideSpin, fast.rifleSpin);
    ShotSetup quiet;
    quiet.noise = 0.0, quiet.seed = 7, quiet.ballSpeed = 120, quiet.launchAngle = 30;
    quiet.t2 = quiet.t1 + StrobeIntervalFor(120);
    quiet.ball0 = CentredStart(quiet, 26), quiet.lighting.ambient = 0.4, quiet.supersampling = 3;

    EXPECT_EQ(plain.realism, Realism::None());
    EXPECT_FALSE(plain.realism.Any());
    EXPECT_EQ(Fnv1a(*Render(plain).frame), 0x1bd14d2709a63140ull);
    EXPECT_EQ(Fnv1a(*Render(fast).frame), 0xc5c8414ff3f2d303ull);
    EXPECT_EQ(Fnv1a(*Render(quiet).frame), 0xcf244509f6ed3098ull);
}

TEST(SceneRealism, EachEffectAloneChangesTheFrameAsItsSeedSays) {
    ShotSetup s = Centred();
    const Rendered off = Render(s);
    for (const RealismEffect& e : kRealismEffects) {
        SCOPED_TRACE(std::string(e.name));
        s.realism = Only(e.on);
        s.seed = 1;
        const Rendered on = Render(s);
        const Rendered again = Render(s);
        s.seed = 2;
        const Rendered other = Render(s);
        const std::uint64_t sum = Fnv1a(*on.frame);
        EXPECT_NE(sum, Fnv1a(*off.frame));
        EXPECT_EQ(sum, Fnv1a(*again.frame));
        EXPECT_NE(sum, Fnv1a(*other.frame));
        // The truth keeps its meaning, and switching an effect on changes no effect's draws.
        EXPECT_EQ(on.truth.pix0, off.truth.pix0);
        EXPECT_EQ(on.truth.pix1, off.truth.pix1);
        EXPECT_EQ(on.truth.ball1, off.truth.ball1);
        EXPECT_EQ(on.truth.normal1, off.truth.normal1);
        EXPECT_EQ(on.truth.drawn, off.truth.drawn);
        EXPECT_NE(other.truth.drawn, on.truth.drawn);
    }
    s.seed = 1;
    s.realism = Realism::Full();
    EXPECT_EQ(Render(s).truth.drawn, off.truth.drawn);
}

TEST(SceneRealism, DimplesShadeAndPrintsInkOnlyTheBalls) {
    ShotSetup s = Centred();
    const Rendered off = Render(s);
    for (std::uint64_t seed : {1, 2, 3}) {
        SCOPED_TRACE(seed);
        s.seed = seed;
        s.realism = Only(&Realism::dimples);
        const Rendered dimpled = Render(s);
        const double depth = dimpled.truth.drawn.dimpleDepth;
        EXPECT_GE(depth, 3.0);
        EXPECT_LE(depth, 8.0);
        int ballPixels = 0, changed = 0, deepest = 0, outside = 0;
        for (int r = 0; r < s.height; ++r) {
            for (int c = 0; c < s.width; ++c) {
                const int d = dimpled.At(r, c) - off.At(r, c);
                if (OnBall(off.truth, r, c, -2.0)) {
                    ++ballPixels;
                    changed += d != 0;
                    deepest = std::max(deepest, std::abs(d));
                } else if (d != 0 && !OnBall(off.truth, r, c, 2.0)) {
                    ++outside;
                }
            }
        }
        EXPECT_EQ(outside, 0);
        EXPECT_GT(changed, ballPixels / 3);  // dimples cover most of the ball
        EXPECT_GE(deepest, 2);               // a few levels deep, never more than drawn
        EXPECT_LE(deepest, int(std::ceil(depth)) + 1);

        s.realism = Only(&Realism::prints);
        const Rendered printed = Render(s);
        int inked = 0, lighter = 0;
        outside = 0;
        for (int r = 0; r < s.height; ++r) {
            for (int c = 0; c < s.width; ++c) {
                const int d = printed.At(r, c) - off.At(r, c);
                inked += d < 0;
                lighter += d > 0;
                outside += d != 0 && !OnBall(off.truth, r, c, 2.0);
            }
        }
        EXPECT_GT(inked, 20);
        EXPECT_EQ(lighter, 0);  // ink only darkens
        EXPECT_EQ(outside, 0);
        EXPECT_LT(printed.truth.logoCentre.Dot(printed.truth.numberCentre), std::cos(0.75));
    }
}

// v turned right-handedly about the unit axis u by angle radians.
Xyz Turned(const Xyz& v, const Xyz& u, double angle) {
    const double c = std::cos(angle), s = std::sin(angle);
    return v.Scaled(c).Plus(u.Cross(v).Scaled(s)).Plus(u.Scaled(u.Dot(v) * (1.0 - c)));
}

TEST(SceneRealism, PrintsTurnWithTheBall) {
    ShotSetup s = Centred();
    s.pinhole = true, s.lineWidth = 0.0;  // all ink is print; a pinhole is easy to project
    const Rendered off = Render(s);
    s.realism = Only(&Realism::prints);
    const double radius = s.ballDiameter / 2.0;
    const Xyz spin(s.rifleSpin, s.sideSpin, s.backSpin);
    const Xyz axis = spin.Divided(spin.Length());
    const double pitch = kyvern::frame::PixelPitch(s.width);
    int checked = 0;
    for (std::uint64_t seed : {1, 2, 3, 4, 5}) {
        SCOPED_TRACE(seed);
        s.seed = seed;
        const Rendered f = Render(s);
        const ShotTruth& t = f.truth;
        // Where each print's centre is at each flash, and how squarely it faces the lens.
        struct Seen {
            int ball;
            double x, y, facing;
        };
        std::vector<Seen> seen;
        for (int k = 0; k < 2; ++k) {
            const Xyz centre = k == 0 ? t.ball0 : t.ball1;
            const double angle = k == 0 ? 0.0 : t.turn * 3.14159265358979323846 / 180.0;
            for (const Xyz& print : {t.logoCentre, t.numberCentre}) {
                const Xyz direction = Turned(print, axis, angle);
                const Xyz point = centre.Plus(direction.Scaled(radius));
                const double scale = kyvern::frame::kFocalLength / -point.z / pitch;
                seen.push_back({k, s.width / 2.0 + point.x * scale,
                                s.height / 2.0 - point.y * scale,
                                -direction.Dot(point) / point.Length()});
            }
        }
        const double reach[2] = {0.5 * t.pix0.z / 2.0, 0.5 * t.pix1.z / 2.0};
        std::vector<int> near(seen.size(), 0);
        int stray = 0;
        for (int r = 0; r < s.height; ++r) {
            for (int c = 0; c < s.width; ++c) {
                if (f.At(r, c) - off.At(r, c) > -30) continue;
                const int ball = DistanceTo(t.pix0, r, c) < DistanceTo(t.pix1, r, c) ? 0 : 1;
                bool placed = false;
                for (std::size_t i = 0; i < seen.size(); ++i) {
                    if (seen[i].ball != ball || seen[i].facing < -0.45) continue;
                    if (std::hypot(c - seen[i].x, r - seen[i].y) < reach[ball]) {
                        placed = true, ++near[i];
                    }
                }
                stray += !placed;
            }
        }
        EXPECT_EQ(stray, 0);
        for (std::size_t i = 0; i < seen.size(); ++i) {
            if (seen[i].facing < 0.5) continue;
            EXPECT_GT(near[i], 15) << i;
            ++checked;
        }
    }
    EXPECT_GE(checked, 3);
}

// Flat lighting, no line: a pixel's level tells how much of it the ball covers.
ShotSetup FlatFast() {
    ShotSetup s;
    s.lineWidth = 0.0, s.noise = 0.0, s.ballSpeed = 250, s.launchAngle = 0;
    s.backSpin = 0, s.lighting.ambient = 1.0, s.lighting.ballLevel = 200.0;
    s.t2 = s.t1 + StrobeIntervalFor(s.ballSpeed);
    s.ball0 = CentredStart(s, 24);
    return s;
}

// Ball 0's coverage-weighted centroid, and the width of its leading rim's ramp from 10 % to
// 90 % covered along the row through its centre.
struct Rim {
    double x = 0.0, y = 0.0;
    int ramp = 0;
    bool monotonic = true;
};

Rim MeasureRim(const Rendered& f, const ShotSetup& s) {
    const double background = s.lighting.backgroundLevel;
    const double full = s.lighting.ballLevel + background / 2.0;
    const Xyz& p = f.truth.pix0;
    Rim rim;
    double area = 0.0, sx = 0.0, sy = 0.0;
    for (int r = int(p.y - p.z); r <= int(p.y + p.z); ++r) {
        for (int c = int(p.x - p.z); c <= int(p.x + p.z); ++c) {
            const double cover = (f.At(r, c) - background) / (full - background);
            area += cover, sx += cover * c, sy += cover * r;
        }
    }
    rim.x = sx / area, rim.y = sy / area;
    const int row = int(std::lround(p.y));
    int previous = 255;
    for (int c = int(p.x); c <= int(p.x + p.z); ++c) {
        const double cover = (f.At(row, c) - background) / (full - background);
        rim.ramp += cover > 0.1 && cover < 0.9;
        rim.monotonic = rim.monotonic && f.At(row, c) <= previous;
        previous = f.At(row, c);
    }
    return rim;
}

TEST(SceneRealism, LongFlashSmearsTheBallByItsTravelAboutTheTrueCentre) {
    ShotSetup s = FlatFast();
    const Rendered sharp = Render(s);
    const Rim still = MeasureRim(sharp, s);
    EXPECT_LE(still.ramp, 2);
    s.realism = Only(&Realism::blur);
    for (std::uint64_t seed : {1, 3, 4}) {
        SCOPED_TRACE(seed);
        s.seed = seed;
        const Rendered blurred = Render(s);
        const ShotTruth& t = blurred.truth;
        const double flash = t.drawn.flashDuration;
        EXPECT_GE(flash, 5e-6);
        EXPECT_LE(flash, 40e-6);
        const double travel = 250 * 12 * flash * t.pix0.z / s.ballDiameter;
        EXPECT_DOUBLE_EQ(t.flashTravel, travel);
        const Rim rim = MeasureRim(blurred, s);
        EXPECT_NEAR(rim.ramp, 0.8 * travel, 1.5) << travel;
        EXPECT_TRUE(rim.monotonic);  // enough instants that the smear is smooth
        EXPECT_NEAR(rim.x, still.x, 0.03);
        EXPECT_NEAR(rim.y, still.y, 0.03);
        EXPECT_EQ(t.pix0, sharp.truth.pix0);
    }
}

double BlockMean(const Rendered& f, int row, int column) {
    double sum = 0.0;
    for (int r = row; r < row + 8; ++r) {
        for (int c = column; c < column + 8; ++c)
            sum += f.At(r, c);
    }
    return sum / 64.0;
}

TEST(SceneRealism, StrobeFallsOffTowardsTheCornersAndShines) {
    ShotSetup s = Centred();
    s.lighting.backgroundLevel = 200.0;  // a bright scene shows the falloff finely
    s.lighting.ballLevel = 150.0;
    const Rendered off = Render(s);
    s.realism = Only(&Realism::light);
    for (std::uint64_t seed : {1, 2}) {
        SCOPED_TRACE(seed);
        s.seed = seed;
        const Rendered lit = Render(s);
        const RealismDraws& d = lit.truth.drawn;
        EXPECT_GE(d.secondFlashGain, 0.8);
        EXPECT_LE(d.secondFlashGain, 1.2);
        // Each flash lights half the scene.
        const double centre = BlockMean(lit, s.height / 2 - 4, s.width / 2 - 4);
        EXPECT_NEAR(centre, 100.0 * (1.0 + d.secondFlashGain), 0.6);
        for (const auto& [r, c] :
             {std::pair(0, 0), std::pair(0, s.width - 8), std::pair(s.height - 8, 0),
              std::pair(s.height - 8, s.width - 8)}) {
            const double share = BlockMean(lit, r, c) / centre;
            EXPECT_GE(share, 0.6 - 0.01);
            EXPECT_LT(share, 0.99);
            EXPECT_NEAR(share, 1.0 - d.vignetting, 0.03);
        }
        // The highlight brightens ball 0 where it faces halfway between light and lens.
        int before = 0, after = 0;
        for (int r = 0; r < s.height; ++r) {
            for (int c = 0; c < s.width; ++c) {
                if (DistanceTo(off.truth.pix0, r, c) > off.truth.pix0.z / 2.0 - 2) continue;
                before = std::max(before, off.At(r, c));
                after = std::max(after, lit.At(r, c));
            }
        }
        EXPECT_GT(after - before, 0.5 * d.highlightLevel - 0.05 * before);
    }
}

// A least-squares plane through (column, row, level) points.
struct Plane {
    double base = 0.0, perColumn = 0.0, perRow = 0.0;
    double rms = 0.0;
    double At(int row, int column) const { return base + perColumn * column + perRow * row; }
};

Plane FitPlane(const std::vector<std::array<int, 3>>& points) {
    double m[3][4] = {};
    for (const auto& [c, r, v] : points) {
        const double row[3] = {1.0, double(c), double(r)};
        for (int i = 0; i < 3; ++i) {
            for (int j = 0; j < 3; ++j)
                m[i][j] += row[i] * row[j];
            m[i][3] += row[i] * v;
        }
    }
    for (int i = 0; i < 3; ++i) {  // Gauss-Jordan: the sums are well conditioned enough
        for (int k = 0; k < 3; ++k) {
            if (k == i) continue;
            const double f = m[k][i] / m[i][i];
            for (int j = 0; j < 4; ++j)
                m[k][j] -= f * m[i][j];
        }
    }
    Plane p{m[0][3] / m[0][0], m[1][3] / m[1][1], m[2][3] / m[2][2], 0.0};
    double sum2 = 0.0;
    for (const auto& [c, r, v] : points)
        sum2 += (v - p.At(r, c)) * (v - p.At(r, c));
    p.rms = std::sqrt(sum2 / points.size());
    return p;
}

TEST(SceneRealism, BackgroundHasGradientGroundAndSometimesTheClub) {
    ShotSetup s = Centred(640, 36.0);
    const Rendered off = Render(s);
    s.realism = Only(&Realism::background);
    // The club head is in about 30 % of shots; Solve says which without rendering.
    std::vector<std::uint64_t> clubbed, plain;
    for (std::uint64_t seed = 1; seed <= 40; ++seed) {
        s.seed = seed;
        ShotTruth t;
        ASSERT_TRUE(FrameRenderer::Solve(s, t));
        (t.clubDrawn ? clubbed : plain).push_back(seed);
    }
    EXPECT_GE(clubbed.size(), 6u);
    EXPECT_LE(clubbed.size(), 20u);
    for (std::uint64_t seed : {plain[0], plain[1], clubbed[0], clubbed[1]}) {
        SCOPED_TRACE(seed);
        s.seed = seed;
        const Rendered f = Render(s);
        const ShotTruth& t = f.truth;
        const RealismDraws& d = t.drawn;
        ASSERT_GT(t.groundRow, s.height / 2);
        // The scene above the ground, away from the balls and the club, is a plane of the
        // drawn rise from corner to corner.
        // Each flash also shows the scene where the other flash's ball is: half of it.
        int throughBall = 0;
        std::vector<std::array<int, 3>> scene;
        for (int r = 0; r < s.height; ++r) {
            for (int c = 0; c < s.width; ++c) {
                if (OnBall(t, r, c, -2.0)) {
                    const int change = f.At(r, c) - off.At(r, c);
                    throughBall += change < 0 || change > d.gradientLevels / 2.0 + 1.0;
                }
                const bool nearClub =
                    t.clubDrawn && DistanceTo(t.clubPix, r, c) < t.clubPix.z / 2.0 + 3.0;
                if (r < t.groundRow && !OnBall(t, r, c, 2.0) && !nearClub) {
                    scene.push_back({c, r, f.At(r, c)});
                }
            }
        }
        EXPECT_EQ(throughBall, 0);  // nothing in the scene lies over the balls
        const Plane plane = FitPlane(scene);
        EXPECT_LT(plane.rms, 0.6);  // whole levels about a smooth rise
        const double rise =
            std::fabs(plane.perColumn) * (s.width - 1) + std::fabs(plane.perRow) * (s.height - 1);
        EXPECT_GE(d.gradientLevels, 5.0);
        EXPECT_LE(d.gradientLevels, 40.0);
        EXPECT_NEAR(rise, d.gradientLevels, 0.5);

        // The mat or the tee is brighter than the scene would be there.
        int ground = 0;
        std::vector<std::pair<int, int>> club;
        for (int r = 0; r < s.height; ++r) {
            for (int c = 0; c < s.width; ++c) {
                if (OnBall(t, r, c, 2.0) || f.At(r, c) < plane.At(r, c) + 12.0) continue;
                if (r >= t.groundRow) {
                    ++ground;
                } else {
                    club.emplace_back(r, c);
                }
            }
        }
        EXPECT_GT(ground, 100);
        if (!t.clubDrawn) {
            EXPECT_TRUE(club.empty());
            continue;
        }
        // Beside ball 0, on the side the ball came from, touching or a little apart.
        const double r0 = t.pix0.z / 2.0;
        ASSERT_GT(club.size(), std::size_t(r0 * r0));
        const double dx = t.pix1.x - t.pix0.x, dy = t.pix1.y - t.pix0.y;
        const double length = std::hypot(dx, dy);
        double nearest = 1e9, ahead = -1e9;
        for (const auto& [r, c] : club) {
            nearest = std::min(nearest, DistanceTo(t.pix0, r, c));
            ahead = std::max(ahead, ((c - t.pix0.x) * dx + (r - t.pix0.y) * dy) / length);
        }
        EXPECT_LT(nearest, r0 * (1.0 + d.clubGap) + 6.0);
        EXPECT_LT(ahead, 0.0);
        EXPECT_LT(DistanceTo(t.clubPix, int(t.pix0.y), int(t.pix0.x)),
                  r0 + t.clubPix.z / 2.0 + r0 * d.clubGap + 4.0);
    }
}

TEST(SceneRealism, SensorNoiseHotPixelsAndRowsMatchTheirDraws) {
    ShotSetup s = Centred(640);
    s.noise = 2.0;  // replaced by the drawn noise
    ShotSetup clean = s;
    clean.noise = 0.0;
    const Rendered off = Render(clean);
    s.realism = Only(&Realism::sensor);
    s.serialNumber = 12345;
    const Rendered noisy = Render(s);
    const RealismDraws& d = noisy.truth.drawn;
    ASSERT_GE(d.hotPixelCount, 1);
    std::vector<bool> hot(std::size_t(s.width) * s.height, false);
    for (int i = 0; i < d.hotPixelCount; ++i) {
        hot[std::size_t(d.hotPixels[i].row) * s.width + d.hotPixels[i].column] = true;
    }
    std::vector<double> rowMean(s.height, 0.0);
    double residual2 = 0.0, meanOfRows = 0.0, rows2 = 0.0;
    int residuals = 0;
    for (int r = 0; r < s.height; ++r) {
        std::vector<int> diff;
        for (int c = 0; c < s.width; ++c) {
            const int v = noisy.At(r, c) - off.At(r, c);
            const bool listed = hot[std::size_t(r) * s.width + c];
            if (!OnBall(off.truth, r, c, 3.0)) {
                EXPECT_EQ(v > 30, listed) << r << " " << c;
                if (!listed) diff.push_back(v);
            }
        }
        for (int v : diff)
            rowMean[r] += v;
        rowMean[r] /= diff.size();
        for (int v : diff)
            residual2 += (v - rowMean[r]) * (v - rowMean[r]), ++residuals;
        meanOfRows += rowMean[r] / s.height;
    }
    for (double m : rowMean)
        rows2 += (m - meanOfRows) * (m - meanOfRows) / s.height;
    EXPECT_LE(d.noiseSigma, 4.0);
    // Each pixel's noise, rounded to a whole level, about its row's offset.
    EXPECT_NEAR(std::sqrt(residual2 / residuals), std::sqrt(d.noiseSigma * d.noiseSigma + 1 / 12.0),
                0.05 * d.noiseSigma);
    EXPECT_NEAR(std::sqrt(rows2), d.rowSigma, 0.2 * d.rowSigma);

    // Hot pixels belong to the camera, not to the shot.
    s.seed = 99;
    EXPECT_EQ(Render(s).truth.drawn.hotPixels, d.hotPixels);
    s.serialNumber = 54321;
    EXPECT_NE(Render(s).truth.drawn.hotPixels, d.hotPixels);
}

TEST(SceneRealism, ParsesAndNamesTheSwitches) {
    Realism r;
    ASSERT_TRUE(ParseRealism("full", r));
    EXPECT_EQ(r, Realism::Full());
    EXPECT_EQ(RealismName(r), "full");
    ASSERT_TRUE(ParseRealism("NONE", r));
    EXPECT_EQ(r, Realism::None());
    EXPECT_EQ(RealismName(r), "none");
    for (const RealismEffect& e : kRealismEffects) {
        ASSERT_TRUE(ParseRealism(e.name, r)) << e.name;
        EXPECT_EQ(r, Only(e.on));
        EXPECT_EQ(RealismName(r), e.name);
    }
    ASSERT_TRUE(ParseRealism("Sensor, BLUR,dimples", r));
    EXPECT_TRUE(r.sensor && r.blur && r.dimples && !r.prints && !r.light && !r.background);
    EXPECT_EQ(RealismName(r), "dimples,blur,sensor");
    Realism back;
    ASSERT_TRUE(ParseRealism(RealismName(r), back));
    EXPECT_EQ(back, r);
    ASSERT_TRUE(ParseRealism("dimples,prints,blur,light,background,sensor", r));
    EXPECT_EQ(RealismName(r), "full");

    const Realism before = Realism::Full();
    for (const char* bad : {"fulll", "", " ", "dimples,,x", "dimples,", ",blur", "none,blur",
                            "full,dimples", "dimple", "blur;light"}) {
        r = before;
        EXPECT_FALSE(ParseRealism(bad, r)) << '"' << bad << '"';
        EXPECT_EQ(r, before);  // left as it was
    }
}

}  // namespace
