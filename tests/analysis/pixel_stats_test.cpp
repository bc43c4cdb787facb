#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <vector>

#include "analysis/image_analyzer.h"

namespace {

using kyvern::analysis::ImageAnalyzer;

std::vector<std::uint8_t> Filled(int count, std::uint8_t value) {
    return std::vector<std::uint8_t>(std::size_t(count), value);
}

TEST(PixelStats, AllBlackFrame) {
    ImageAnalyzer a(1.68);
    EXPECT_FALSE(a.PixelStats());  // no frame yet
    std::vector<std::uint8_t> frame = Filled(640 * 480, 0);
    ASSERT_TRUE(a.SetFrame(frame.data(), 640, 480));
    ASSERT_TRUE(a.PixelStats());
    EXPECT_EQ(a.MeanLevel(), 0);
    EXPECT_EQ(a.BackgroundLevel(), 1);
    EXPECT_EQ(a.WhiteLevel(), 2);
    EXPECT_EQ(a.BlackLevel(), 0);
    std::array<std::uint32_t, 256> histogram{};
    std::uint8_t background = 0;
    std::uint8_t mean = 9;
    ASSERT_TRUE(a.GetHistogram(histogram, background, mean));
    EXPECT_EQ(histogram[0], 640u * 480u);
    EXPECT_EQ(background, 1);
    EXPECT_EQ(mean, 0);
}

TEST(PixelStats, BallCoreThresholdAt15080Pixels) {
    ImageAnalyzer a(1.68);
    // 15,079 pixels at 255 and the rest at 20: the count at 255 does not exceed 4800 pi, so
    // the walk goes on down to 2 x mean + 1 = 49 without stopping and keeps that level.
    std::vector<std::uint8_t> frame = Filled(1024 * 768, 20);
    for (int i = 0; i < 15079; ++i)
        frame[std::size_t(i)] = 255;
    ASSERT_TRUE(a.SetFrame(frame.data(), 1024, 768));
    EXPECT_EQ(a.MeanLevel(), 24);
    ASSERT_TRUE(a.PixelStats());
    EXPECT_EQ(a.BackgroundLevel(), 49);
    EXPECT_EQ(a.WhiteLevel(), 255);
    // One pixel more: the walk stops at 255.
    frame[15079] = 255;
    ASSERT_TRUE(a.SetFrame(frame.data(), 1024, 768));
    ASSERT_TRUE(a.PixelStats());
    EXPECT_EQ(a.BackgroundLevel(), 255);
    EXPECT_EQ(a.WhiteLevel(), 255);  // no level above 255 to visit
}

// A frame where no valley exists below 128 keeps the step-1 level, so the two counts show.
TEST(PixelStats, StepOneStopsOnlyAboveTheThreshold) {
    ImageAnalyzer a(1.68);
    auto levels = [&](int at255, int at250) {
        // Every level from 0 to 127 well filled: no bin falls below the valley threshold.
        std::vector<std::uint8_t> frame(1024 * 768);
        std::size_t i = 0;
        for (int k = 0; k < at255; ++k)
            frame[i++] = 255;
        for (int k = 0; k < at250; ++k)
            frame[i++] = 250;
        for (int v = 0; i < frame.size(); ++i, v = (v + 1) % 128)
            frame[i] = std::uint8_t(v);
        EXPECT_TRUE(a.SetFrame(frame.data(), 1024, 768));
        EXPECT_TRUE(a.PixelStats());
        return a.BackgroundLevel();
    };
    EXPECT_EQ(levels(15079, 100), 250);
    EXPECT_EQ(levels(15080, 100), 255);
}

TEST(PixelStats, WalkThatVisitsNothingGives255) {
    ImageAnalyzer a(1.68);
    // A first frame leaves its levels behind...
    std::vector<std::uint8_t> dark = Filled(640 * 480, 0);
    ASSERT_TRUE(a.SetFrame(dark.data(), 640, 480));
    ASSERT_TRUE(a.PixelStats());
    EXPECT_EQ(a.BackgroundLevel(), 1);
    // ...which a bright frame (mean 128 or more, so no level is visited) must not inherit.
    std::vector<std::uint8_t> bright = Filled(640 * 480, 200);
    ASSERT_TRUE(a.SetFrame(bright.data(), 640, 480));
    ASSERT_TRUE(a.PixelStats());
    EXPECT_EQ(a.MeanLevel(), 200);
    EXPECT_EQ(a.BackgroundLevel(), 255);
    EXPECT_EQ(a.WhiteLevel(), 255);
    // All 307,200 pixels are below 255: black = (255 + 200) / 2.
    EXPECT_EQ(a.BlackLevel(), 227);

    ImageAnalyzer fresh(1.68);
    ASSERT_TRUE(fresh.SetFrame(bright.data(), 640, 480));
    ASSERT_TRUE(fresh.PixelStats());
    EXPECT_EQ(fresh.BackgroundLevel(), a.BackgroundLevel());
    EXPECT_EQ(fresh.WhiteLevel(), a.WhiteLevel());
    EXPECT_EQ(fresh.BlackLevel(), a.BlackLevel());
}

TEST(PixelStats, ValleyMovesTheBackgroundAboveTheScene) {
    ImageAnalyzer a(1.68);
    // Scene at 10..14, sparse ball levels 100..219 (200 pixels each): the mean is 16 and
    // its bin is empty, so the background is 21.
    std::vector<std::uint8_t> frame(1024 * 768);
    std::size_t i = 0;
    for (int v = 100; v < 220; ++v) {
        for (int k = 0; k < 200; ++k)
            frame[i++] = std::uint8_t(v);
    }
    for (int v = 0; i < frame.size(); ++i, v = (v + 1) % 5)
        frame[i] = std::uint8_t(10 + v);
    ASSERT_TRUE(a.SetFrame(frame.data(), 1024, 768));
    ASSERT_TRUE(a.PixelStats());
    EXPECT_EQ(a.MeanLevel(), 16);
    EXPECT_EQ(a.BackgroundLevel(), 21);
    // Black: (21 + integer mean of the scene pixels, 11.99...) / 2.
    EXPECT_EQ(a.BlackLevel(), 16);
    // White: 1200 pi = 3769.9 pixels from the top: 19 levels of 200.
    EXPECT_EQ(a.WhiteLevel(), 201);
}

TEST(PixelStats, PreprocessStretchesBlackToZeroAndWhiteTo180) {
    ImageAnalyzer a(1.68);
    std::vector<std::uint8_t> frame(1024 * 768);
    std::size_t i = 0;
    for (int v = 100; v < 140; ++v) {
        for (int k = 0; k < 200; ++k)
            frame[i++] = std::uint8_t(v);
    }
    frame[i++] = 255;
    for (int v = 0; i < frame.size(); ++i, v = (v + 1) % 5)
        frame[i] = std::uint8_t(10 + v);
    ASSERT_TRUE(a.SetFrame(frame.data(), 1024, 768));
    ASSERT_TRUE(a.PixelStats());
    const int black = a.BlackLevel();
    const int white = a.WhiteLevel();
    EXPECT_EQ(black, 15);
    EXPECT_EQ(white, 121);
    ASSERT_TRUE(a.PreprocessImage());
    const double s = 180.0 / (white - black);
    auto mapped = [&](int p) { return std::clamp(int((p - black) * s), 0, 255); };
    EXPECT_EQ(mapped(black), 0);
    EXPECT_EQ(mapped(white), 180);
    const std::uint8_t* f = a.Frame();
    EXPECT_EQ(f[0], mapped(100));
    EXPECT_EQ(f[200 * 39], mapped(139));
    EXPECT_EQ(f[200 * 40], 255);        // saturates
    EXPECT_EQ(f[frame.size() - 1], 0);  // below black
    std::uint64_t sum = 0;
    std::array<std::uint32_t, 256> histogram{};
    for (std::size_t k = 0; k < frame.size(); ++k) {
        sum += f[k];
        ++histogram[f[k]];
    }
    EXPECT_EQ(a.Histogram(), histogram);
    EXPECT_EQ(a.MeanLevel(), sum / frame.size());
}

TEST(PixelStats, PreprocessWithoutSpreadLeavesTheFrame) {
    // 20 pixels at each level 100..199 on black: white stops at 2, the valley (20) lifts the
    // background to 1 + 5 = 6, so black (6 + 0) / 2 = 3 lies above white.
    ImageAnalyzer a(1.68);
    std::vector<std::uint8_t> frame = Filled(1024 * 768, 0);
    std::size_t i = 0;
    for (int v = 100; v < 200; ++v) {
        for (int k = 0; k < 20; ++k)
            frame[i++] = std::uint8_t(v);
    }
    ASSERT_TRUE(a.SetFrame(frame.data(), 1024, 768));
    ASSERT_TRUE(a.PixelStats());
    EXPECT_EQ(a.WhiteLevel(), 2);
    EXPECT_EQ(a.BackgroundLevel(), 6);
    EXPECT_EQ(a.BlackLevel(), 3);
    const auto histogram = a.Histogram();
    ASSERT_TRUE(a.PreprocessImage());
    EXPECT_EQ(0, std::memcmp(a.Frame(), frame.data(), frame.size()));
    EXPECT_EQ(a.Histogram(), histogram);
    EXPECT_EQ(a.MeanLevel(), 0);
}

TEST(SetFrame, RefusesFramesBeyondTheBuffer) {
    ImageAnalyzer a(1.68);
    std::vector<std::uint8_t> frame = Filled(1024 * 769, 0);
    EXPECT_FALSE(a.SetFrame(frame.data(), 1024, 769));
    EXPECT_FALSE(a.FrameLoaded());
    EXPECT_FALSE(a.PixelStats());
    EXPECT_FALSE(a.SetFrame(frame.data(), -4, 10));
    EXPECT_TRUE(a.SetFrame(frame.data(), 1024, 768));
    EXPECT_TRUE(a.FrameLoaded());
    // An empty frame loads and leaves the mean as it was.
    std::vector<std::uint8_t> grey = Filled(16, 90);
    ASSERT_TRUE(a.SetFrame(grey.data(), 4, 4));
    EXPECT_EQ(a.MeanLevel(), 90);
    EXPECT_TRUE(a.SetFrame(grey.data(), 0, 0));
    EXPECT_EQ(a.MeanLevel(), 90);
}

}  // namespace
