#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <vector>

#include "analysis/image_analyzer.h"

namespace {

using kyvern::analysis::ImageAnalyzer;

// A frame of runs of levels (count pixels at each level from..to) filled up with the levels
// fill, fill + 1, ... fill + period - 1 in turn.
struct Span {
    int from, to, count;
};
std::vector<std::uint8_t> Levels(int size, std::vector<Span> runs, int fill, int period = 1) {
    std::vector<std::uint8_t> frame(static_cast<std::size_t>(size));
    std::size_t i = 0;
    for (const Span& r : runs) {
        for (int v = r.from; v <= r.to; ++v) {
            for (int k = 0; k < r.count; ++k)
                frame[i++] = std::uint8_t(v);
        }
    }
    for (int v = 0; i < frame.size(); ++i, v = (v + 1) % period)
        frame[i] = std::uint8_t(fill + v);
    return frame;
}

constexpr int kAny = -1;
constexpr int kVga = 640 * 480, kXga = 1024 * 768;

// The histogram walk's levels, case after case on one analyzer, so that no case inherits the
// levels of the one before.
TEST(PixelStats, LevelsOfTheHistogramWalk) {
    const struct Case {
        const char* what;
        int size;
        std::vector<Span> runs;
        int fill, period;
        int mean, background, white, black;
    } cases[] = {
        {"all black", kVga, {}, 0, 1, 0, 1, 2, 0},
        // Mean 128 or more visits no level: 255, and black = (255 + 200) / 2.
        {"bright after black", kVga, {}, 200, 1, 200, 255, 255, 227},
        // 15,079 at 255 do not exceed 4800 pi: the walk goes down to 2 x mean + 1 = 49.
        {"core below 4800 pi", kXga, {{255, 255, 15079}}, 20, 1, 24, 49, 255, kAny},
        {"core above 4800 pi", kXga, {{255, 255, 15080}}, 20, 1, kAny, 255, 255, kAny},
        // No valley below 128: the step-one level shows.
        {"step 15079", kXga, {{255, 255, 15079}, {250, 250, 100}}, 0, 128, kAny, 250, kAny, kAny},
        {"step 15080", kXga, {{255, 255, 15080}, {250, 250, 100}}, 0, 128, kAny, 255, kAny, kAny},
        // The mean's bin (16) is empty: the valley lifts the background to 21; black is
        // (21 + 11.99...) / 2; white lies 1200 pi pixels from the top, 19 levels of 200.
        {"valley above the scene", kXga, {{100, 219, 200}}, 10, 5, 16, 21, 201, 16},
        // White stops at 2 and the valley lifts the background to 6: black 3.
        {"no spread", kXga, {{100, 199, 20}}, 0, 1, kAny, 6, 2, 3},
    };
    ImageAnalyzer a(1.68);
    EXPECT_FALSE(a.PixelStats());  // no frame yet
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const auto frame = Levels(c.size, c.runs, c.fill, c.period);
        ASSERT_TRUE(
            a.SetFrame(frame.data(), c.size == kVga ? 640 : 1024, c.size == kVga ? 480 : 768));
        ASSERT_TRUE(a.PixelStats());
        if (c.mean != kAny) {
            EXPECT_EQ(a.MeanLevel(), c.mean);
        }
        EXPECT_EQ(a.BackgroundLevel(), c.background);
        if (c.white != kAny) {
            EXPECT_EQ(a.WhiteLevel(), c.white);
        }
        if (c.black != kAny) {
            EXPECT_EQ(a.BlackLevel(), c.black);
        }
    }
}

TEST(PixelStats, PreprocessStretchesBlackToZeroAndWhiteTo180) {
    ImageAnalyzer a(1.68);
    const auto frame = Levels(kXga, {{100, 139, 200}, {255, 255, 1}}, 10, 5);
    ASSERT_TRUE(a.SetFrame(frame.data(), 1024, 768));
    ASSERT_TRUE(a.PixelStats());
    ASSERT_EQ(a.BlackLevel(), 15);
    ASSERT_EQ(a.WhiteLevel(), 121);
    ASSERT_TRUE(a.PreprocessImage());
    auto mapped = [&](int p) { return std::clamp(int((p - 15) * (180.0 / (121 - 15))), 0, 255); };
    const std::uint8_t* f = a.Frame();
    EXPECT_EQ(f[0], mapped(100));
    EXPECT_EQ(f[200 * 39], mapped(139));
    EXPECT_EQ(f[200 * 40], 255);        // saturates
    EXPECT_EQ(f[frame.size() - 1], 0);  // below black
    std::uint64_t sum = 0;              // the statistics follow the stretched frame
    for (std::size_t k = 0; k < frame.size(); ++k)
        sum += f[k];
    EXPECT_EQ(a.MeanLevel(), sum / frame.size());

    // Black above white: no spread to stretch, the frame stays as it was.
    const auto flat = Levels(kXga, {{100, 199, 20}}, 0);
    ASSERT_TRUE(a.SetFrame(flat.data(), 1024, 768));
    ASSERT_TRUE(a.PixelStats());
    ASSERT_TRUE(a.PreprocessImage());
    EXPECT_EQ(0, std::memcmp(a.Frame(), flat.data(), flat.size()));
    EXPECT_EQ(a.MeanLevel(), 0);
}

TEST(SetFrame, RefusesFramesBeyondTheBuffer) {
    ImageAnalyzer a(1.68);
    const std::vector<std::uint8_t> frame(1024 * 769, 90);
    EXPECT_FALSE(a.SetFrame(frame.data(), 1024, 769));
    EXPECT_FALSE(a.FrameLoaded());
    EXPECT_FALSE(a.PixelStats());
    EXPECT_FALSE(a.SetFrame(frame.data(), -4, 10));
    ASSERT_TRUE(a.SetFrame(frame.data(), 1024, 768));
    EXPECT_TRUE(a.FrameLoaded());
    // An empty frame loads and leaves the mean as it was.
    EXPECT_TRUE(a.SetFrame(frame.data(), 0, 0));
    EXPECT_EQ(a.MeanLevel(), 90);
}

}  // namespace
