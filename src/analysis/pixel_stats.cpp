// The frame's pixel statistics: the histogram, its mean, background, black and white levels,
// and the preprocessing that stretches the frame between them.
#include <algorithm>
#include <cstring>

#include "analysis/analysis_codes.h"
#include "analysis/image_analyzer.h"

namespace kyvern::analysis {

void ImageAnalyzer::CountLevels(const std::uint8_t* pixels, int count,
                                std::uint32_t (&counts)[4][256]) {
    int i = 0;
    for (; i + 4 <= count; i += 4) {
        ++counts[0][pixels[i]];
        ++counts[1][pixels[i + 1]];
        ++counts[2][pixels[i + 2]];
        ++counts[3][pixels[i + 3]];
    }
    for (; i < count; ++i)
        ++counts[0][pixels[i]];
}

bool ImageAnalyzer::PixelStats() {
    if (!frameLoaded_) return false;

    // Bright core of both balls. A walk that visits no level leaves the level at 255, so
    // nothing of an earlier frame carries over.
    backgroundLevel_ = 255;
    std::int64_t count = 0;
    for (int level = 255; level > 2 * meanLevel_; --level) {
        backgroundLevel_ = std::uint8_t(level);
        count += histogram_[level];
        if (double(count) > kBallCoreArea) break;
    }

    whiteLevel_ = 255;
    count = 0;
    for (int level = 255; level > backgroundLevel_; --level) {
        whiteLevel_ = std::uint8_t(level);
        count += histogram_[level];
        if (double(count) > kWhiteCoreArea) break;
    }

    // Valley between the dark scene and the lit balls: twice the mean of the sparse bins.
    std::int64_t sparseSum = 0;
    std::int64_t sparseBins = 0;
    for (int level = 200; level > 10 && histogram_[level] <= 1000; --level) {
        sparseSum += histogram_[level];
        ++sparseBins;
    }
    const std::int64_t valley = sparseBins > 0 ? 2 * (sparseSum / sparseBins) : 0;

    for (int level = meanLevel_; level <= 127; ++level) {
        if (std::int64_t(histogram_[level]) < valley) {
            backgroundLevel_ = std::uint8_t(level + 5);
            break;
        }
    }

    // The histogram is the frame's, so the mean of the dark pixels comes from it.
    std::int64_t darkSum = 0;
    std::int64_t darkCount = 0;
    for (int level = 0; level < backgroundLevel_; ++level) {
        darkSum += std::int64_t(histogram_[level]) * level;
        darkCount += histogram_[level];
    }
    const int darkMean = darkCount > 0 ? int(darkSum / darkCount) : 0;
    blackLevel_ = std::uint8_t((backgroundLevel_ + darkMean) / 2);
    return true;
}

bool ImageAnalyzer::PreprocessImage() {
    if (!frameLoaded_) return false;
    const int count = width_ * height_;
    if (whiteLevel_ > blackLevel_) {
        const double s = 180.0 / (whiteLevel_ - blackLevel_);
        std::uint8_t map[256];
        for (int p = 0; p < 256; ++p) {
            const int v = int((p - blackLevel_) * s);
            map[p] = std::uint8_t(std::clamp(v, 0, 255));
        }
        for (int i = 0; i < count; ++i)
            frame_[i] = map[frame_[i]];
    }
    RebuildHistogram();
    graySumsReady_ = false;
    return true;
}

void ImageAnalyzer::RebuildHistogram() {
    histogram_.fill(0);
    const int count = width_ * height_;
    std::uint64_t sum = 0;
    for (int i = 0; i < count; ++i)
        ++histogram_[frame_[i]];
    for (int level = 0; level < 256; ++level)
        sum += std::uint64_t(histogram_[level]) * level;
    if (count > 0) meanLevel_ = std::uint8_t(sum / std::uint64_t(count));
}

bool ImageAnalyzer::GetHistogram(std::array<std::uint32_t, 256>& histogram,
                                 std::uint8_t& backgroundLevel, std::uint8_t& meanLevel) const {
    if (!frameLoaded_) return false;
    histogram = histogram_;
    backgroundLevel = backgroundLevel_;
    meanLevel = meanLevel_;
    return true;
}

}  // namespace kyvern::analysis
