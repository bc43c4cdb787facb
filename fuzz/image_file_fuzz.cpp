// Arbitrary bytes as a saved-image file: Load must refuse or read, never crash or overread.
#include <sys/mman.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "capture/image_file.h"

namespace {

std::string tempFolder;

void RemoveTempFolder() {
    std::error_code ignored;
    std::filesystem::remove_all(tempFolder, ignored);
}

std::string SettingsInTempFolder() {
    char pattern[] = "/tmp/kyvern-fuzz-XXXXXX";
    if (::mkdtemp(pattern) == nullptr) std::abort();
    tempFolder = pattern;
    std::atexit(RemoveTempFolder);
    return tempFolder + "/Kyvern.ini";
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const std::string settings = SettingsInTempFolder();
    static kyvern::capture::ImageFile file(settings);
    static const int fd = ::memfd_create("frame.bmp", 0);
    if (fd < 0) std::abort();
    if (::ftruncate(fd, 0) != 0 || ::pwrite(fd, data, size, 0) != ssize_t(size)) return 0;
    const std::string path = "/proc/self/fd/" + std::to_string(fd);
    if (file.Load(path)) {
        // Whatever loaded must describe itself consistently.
        for (int s = 0; s < kyvern::frame::kCameraSlots; ++s) {
            const auto& slot = file.Slot(s);
            if (!slot.valid) continue;
            if (slot.width <= 0 || slot.width > 1024 || slot.height <= 0 || slot.height > 768) {
                std::abort();
            }
        }
    }
    return 0;
}
