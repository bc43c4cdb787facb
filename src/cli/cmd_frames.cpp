// kyvern-cli frames FILE.bmp [--json]: the frames and capture headers of a saved-image file.
#include <cstdio>
#include <string>

#include "analysis/captured_image.h"
#include "base/math_constants.h"
#include "base/user_prompts.h"
#include "capture/image_file.h"
#include "cli/command.h"

namespace kyvern::cli {
namespace {

std::string Triple(const analysis::Xyz& v) {
    // A std::string first: GCC 12 at -O3 takes "[" + a temporary for an overlapping copy.
    return std::string("[") + JsonNumber(v.x) + ", " + JsonNumber(v.y) + ", " + JsonNumber(v.z) +
           "]";
}

void PrintJson(const capture::ImageFile& file, const std::string& path) {
    std::string out = "{\"file\": " + JsonString(path) +
                      ", \"clubMass\": " + JsonNumber(file.ClubMass()) +
                      ", \"clubLoft\": " + JsonNumber(file.ClubLoft()) +
                      ", \"date\": " + JsonString(file.DateText()) + ", \"frames\": [";
    bool firstFrame = true;
    for (int s = 0; s < analysis::kCameraSlots; ++s) {
        const analysis::CapturedImage& f = file.Slot(s);
        if (!f.valid) continue;
        if (!firstFrame) out += ", ";
        firstFrame = false;
        out += "{\"slot\": " + std::to_string(s) + ", \"width\": " + std::to_string(f.width) +
               ", \"height\": " + std::to_string(f.height) +
               ", \"serialNumber\": " + std::to_string(f.serialNumber) +
               ", \"cameraPosition\": " + Triple(f.cameraPosition) +
               ", \"cameraRotation\": " + Triple(f.cameraRotation) +
               ", \"t1\": " + JsonNumber(f.t1) + ", \"t2\": " + JsonNumber(f.t2) + "}";
    }
    out += "]}";
    std::printf("%s\n", out.c_str());
}

void PrintText(const capture::ImageFile& file, const std::string& path) {
    std::printf("%s\n", path.c_str());
    std::printf("  club mass %.1f g, club loft %.1f deg, date \"%s\"\n", file.ClubMass(),
                file.ClubLoft(), file.DateText().c_str());
    for (int s = 0; s < analysis::kCameraSlots; ++s) {
        const analysis::CapturedImage& f = file.Slot(s);
        if (!f.valid) continue;
        const analysis::Xyz& p = f.cameraPosition;
        const analysis::Xyz& r = f.cameraRotation;
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
    capture::ImageFile file(prompts);
    if (!file.Load(files[0])) return 1;
    if (HasFlag(args, "--json")) {
        PrintJson(file, files[0]);
    } else {
        PrintText(file, files[0]);
    }
    return 0;
}

const Registration kFrames({"frames", "frames FILE.bmp [--json]   frames and capture headers",
                            RunFrames});

}  // namespace
}  // namespace kyvern::cli
