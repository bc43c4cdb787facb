// Runs the whole frame analysis on arbitrary frame bytes and sizes. The first bytes choose
// the size and, optionally, two lit discs to draw under the data so that runs reach the
// later steps; the rest are the pixels, repeated to fill the frame. Frames are small (at most
// 96 x 72) unless the last header byte holds the full-size mark: a small frame costs the
// analysis well under a millisecond, so a ten-minute run passes a million inputs, while the
// seeds that once failed on large frames keep their meaning.
#include <stdlib.h>
#include <unistd.h>

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>

#include "analysis/analysis_pipeline.h"
#include "frame/captured_image.h"

namespace {

class NullMessages final : public kyvern::base::MessageList {
public:
    void Add(std::string_view line) override { total_ += line.size(); }

private:
    std::size_t total_ = 0;
};

std::string settingsFolder;

void RemoveSettings() {
    if (settingsFolder.empty()) return;
    ::unlink((settingsFolder + "/Kyvern.ini").c_str());
    ::rmdir(settingsFolder.c_str());
}

constexpr int kFullSizeMark = 0xA5;

int Byte(const std::uint8_t* data, std::size_t size, std::size_t i) {
    return i < size ? data[i] : 0;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    char pattern[] = "/tmp/kyvern-fuzz-XXXXXX";
    if (::mkdtemp(pattern) != nullptr) {
        settingsFolder = pattern;
        if (FILE* f = std::fopen((settingsFolder + "/Kyvern.ini").c_str(), "w")) {
            std::fputs("[Setup]\nShowTiming=yes\nShowBallData=yes\n", f);
            std::fclose(f);
        }
        std::atexit(RemoveSettings);
    }
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static kyvern::frame::CapturedImage image;
    static kyvern::analysis::AnalysisPipeline pipeline(
        1.68, kyvern::analysis::ReadAnalysisOptions(
                  kyvern::base::SettingsSnapshot::Read(settingsFolder + "/Kyvern.ini")));
    if (size < 6) return 0;
    const int mode = Byte(data, size, 4);
    const bool fullSize = Byte(data, size, 23) == kFullSizeMark;
    const int width = (Byte(data, size, 0) | Byte(data, size, 1) << 8) % (fullSize ? 2049 : 97);
    const int height = (Byte(data, size, 2) | Byte(data, size, 3) << 8) % (fullSize ? 1025 : 73);
    const std::size_t headerSize = 24;
    const std::uint8_t* pixels = data + (size > headerSize ? headerSize : size);
    const std::size_t pixelCount = size > headerSize ? size - headerSize : 0;
    image.width = width;
    image.height = height;
    image.bytesPerPixel = 1;
    std::uint8_t* out = image.Pixels();
    const std::size_t total = std::size_t(width) * std::size_t(height);
    if (total > kyvern::frame::kFrameCapacity) return 0;
    for (std::size_t i = 0; i < total; ++i) {
        out[i] = pixelCount > 0 ? pixels[i % pixelCount] : 0;
    }
    if (mode & 1) {
        // Two discs from the header: centre, diameter and level each.
        for (int d = 0; d < 2; ++d) {
            const std::size_t at = 5 + std::size_t(d) * 8;
            const int spanX = fullSize ? 1100 : width + 1;
            const int spanY = fullSize ? 800 : height + 1;
            const double cx = (Byte(data, size, at) | Byte(data, size, at + 1) << 8) % spanX;
            const double cy = (Byte(data, size, at + 2) | Byte(data, size, at + 3) << 8) % spanY;
            const double r =
                fullSize ? 10 + Byte(data, size, at + 4) / 2.0 : 3 + Byte(data, size, at + 4) / 5.0;
            const int level = Byte(data, size, at + 5);
            const int band = Byte(data, size, at + 6) % 64;
            for (int y = 0; y < height; ++y) {
                for (int x = 0; x < width; ++x) {
                    const double dx = (x - cx) / r;
                    const double dy = (y - cy) / r;
                    const double rr = dx * dx + dy * dy;
                    if (rr >= 1.0) continue;
                    std::uint8_t& p = out[std::size_t(y) * width + x];
                    const bool dark = std::fabs(dx * 0.6 + dy * 0.8) * 64 < band;
                    p = std::uint8_t(dark ? p / 4 : (level + p / 8) & 255);
                }
            }
        }
    }
    pipeline.SetProcess((mode & 2) != 0);
    NullMessages messages;
    const kyvern::analysis::AnalysisSummary summary = pipeline.RunAnalysis(image);
    kyvern::analysis::PrintAnalysis(summary, image, pipeline.Options(), messages);
    return 0;
}
