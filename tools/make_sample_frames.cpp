// Writes a two-camera saved-image file for the demo: two 640 x 480 frames, each with two
// lit discs where a strobed ball would be, and full capture headers.
#include <cmath>
#include <cstdio>
#include <memory>

#include "analysis/captured_image.h"
#include "base/user_prompts.h"
#include "capture/image_file.h"

namespace {

void DrawDisc(kyvern::analysis::CapturedImage& frame, double cx, double cy, double radius) {
    for (int r = 0; r < frame.height; ++r) {
        for (int c = 0; c < frame.width; ++c) {
            double d = std::hypot(c - cx, r - cy);
            if (d <= radius) frame.At(r, c) = static_cast<std::uint8_t>(200 - 60 * d / radius);
        }
    }
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: kyvern-sample-frames OUT.bmp\n");
        return 2;
    }
    kyvern::base::StderrPrompts prompts;
    kyvern::capture::ImageFile file(prompts);
    auto frame = std::make_unique<kyvern::analysis::CapturedImage>();
    for (int slot = 0; slot < 2; ++slot) {
        frame->Reset();
        frame->width = 640;
        frame->height = 480;
        frame->bytesPerPixel = 1;
        frame->valid = true;
        for (int r = 0; r < 480; ++r) {
            for (int c = 0; c < 640; ++c)
                frame->At(r, c) = static_cast<std::uint8_t>(20 + (r + c) % 7);
        }
        DrawDisc(*frame, 200, 260 - 20 * slot, 48);
        DrawDisc(*frame, 430, 230 - 20 * slot, 47);
        frame->serialNumber = 7300100 + slot;
        frame->cameraPosition.Set(0.0, 6.0 * slot, 24.0);
        frame->cameraRotation.Set(slot * 0.5235987755982988, 0.0, 0.0);
        frame->t1 = 0.001;
        frame->t2 = 0.0018;
        file.SetImage(slot, *frame);
    }
    return file.Save(argv[1]) ? 0 : 1;
}
