// Loading and saving a four-frame 1024 x 768 saved-image file.
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>

#include "capture/image_file.h"
#include "frame/captured_image.h"

namespace {

using kyvern::capture::ImageFile;
using kyvern::frame::CapturedImage;

struct Fixture {
    std::string dir;
    std::unique_ptr<ImageFile> file;

    Fixture() {
        char pattern[] = "/tmp/kyvern-bench-XXXXXX";
        dir = ::mkdtemp(pattern);
        file = std::make_unique<ImageFile>(dir + "/Kyvern.ini");
        auto frame = std::make_unique<CapturedImage>();
        frame->width = 1024;
        frame->height = 768;
        frame->bytesPerPixel = 1;
        frame->valid = true;
        for (int s = 0; s < 4; ++s) {
            for (int r = 0; r < 768; ++r) {
                for (int c = 0; c < 1024; ++c)
                    frame->At(r, c) = std::uint8_t(r + c + s);
            }
            frame->serialNumber = 100 + s;
            frame->t1 = 0.001;
            frame->t2 = 0.0018;
            file->SetImage(s, *frame);
        }
    }
    ~Fixture() { std::filesystem::remove_all(dir); }
};

void BM_SaveFourFrames1024(benchmark::State& state) {
    Fixture f;
    const std::string path = f.dir + "/four.bmp";
    for (auto _ : state) {
        if (!f.file->Save(path)) state.SkipWithError("save failed");
    }
    state.SetBytesProcessed(state.iterations() * std::int64_t(1078 + 4 * 1024 * 768));
}
BENCHMARK(BM_SaveFourFrames1024)->Unit(benchmark::kMillisecond);

void BM_LoadFourFrames1024(benchmark::State& state) {
    Fixture f;
    const std::string path = f.dir + "/four.bmp";
    if (!f.file->Save(path)) {
        state.SkipWithError("save failed");
        return;
    }
    ImageFile reader(f.dir + "/Kyvern.ini");
    for (auto _ : state) {
        if (!reader.Load(path)) state.SkipWithError("load failed");
    }
    state.SetBytesProcessed(state.iterations() * std::int64_t(1078 + 4 * 1024 * 768));
}
BENCHMARK(BM_LoadFourFrames1024)->Unit(benchmark::kMillisecond);

}  // namespace
