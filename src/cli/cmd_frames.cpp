// kyvern-cli frames FILE.bmp [--json]: the frames and capture headers of a saved-image file.
#include <cstdio>
#include <string>

#include "base/math_constants.h"
#include "base/user_prompts.h"
#include "capture/image_file.h"
#include "cli/command.h"
#include "frame/captured_image.h"

namespace kyvern::cli {
namespace {

Json Triple(const frame::Xyz& v) { return JsonNumbers({v.x, v.y, v.z}); }

void PrintJsonDocument(const capture::ImageFile& file, const std::string& path) {
    Json frames = Json::array();
    for (int s = 0; s < frame::kCameraSlots; ++s) {
        const frame::CapturedImage& f = file.Slot(s);
        if (!f.valid) continue;
        frames.push_back({{"slot", s},
                          {"width", f.width},
                          {"height", f.height},
                          {"serialNumber", f.serialNumber},
                          {"cameraPosition", Triple(f.cameraPosition)},
                          {"cameraRotation", Triple(f.cameraRotation)},
                          {"t1", JsonNumber(f.t1)},
                          {"t2", JsonNumber(f.t2)}});
    }
    PrintJson({{"file", path},
               {"clubMass", JsonNumber(file.ClubMass())},
               {"clubLoft", JsonNumber(file.ClubLoft())},
               {"date", file.DateText()},
               {"frames", std::move(frames)}});
}

void PrintText(const capture::ImageFile& file, const std::string& path) {
    std::printf("%s\n", path.c_str());
    std::printf("  club mass %.1f g, club loft %.1f deg, date \"%s\"\n", file.ClubMass(),
                file.ClubLoft(), file.DateText().c_str());
    for (int s = 0; s < frame::kCameraSlots; ++s) {
        const frame::CapturedImage& f = file.Slot(s);
        if (!f.valid) continue;
        const frame::Xyz& p = f.cameraPosition;
        const frame::Xyz& r = f.cameraRotation;
        std::printf("  frame %d: %d x %d, serial number %ld\n", s, f.width, f.height,
                    static_cast<long>(f.serialNumber));
        std::printf("    position %.3f, %.3f, %.3f in; rotation %.3f, %.3f, %.3f deg\n", p.x, p.y,
                    p.z, r.x * base::kRadiansToDegrees, r.y * base::kRadiansToDegrees,
                    r.z * base::kRadiansToDegrees);
        std::printf("    T1 %.6f s, T2 %.6f s, strobe interval %.6f s\n", f.t1, f.t2, f.t2 - f.t1);
    }
}

int RunFrames(const Args& args) {
    Args files = Positionals(args, {});
    if (files.size() != 1) {
        std::fprintf(stderr, "usage: kyvern-cli frames FILE.bmp [--json]\n");
        return 2;
    }
    base::StderrPrompts prompts;
    capture::ImageFile file{base::Settings()};
    if (!base::Show(file.Load(files[0]), prompts)) return 1;
    if (HasFlag(args, "--json")) {
        PrintJsonDocument(file, files[0]);
    } else {
        PrintText(file, files[0]);
    }
    return 0;
}

const Registration kFrames({"frames", "frames FILE.bmp [--json]   frames and capture headers",
                            RunFrames});

}  // namespace
}  // namespace kyvern::cli
