#include "capture/camera_driver.h"

namespace kyvern::capture {

bool ConvertMono8(const GrabbedImage& image, std::uint8_t* destination, std::size_t capacity) {
    if (!image.data || !destination || image.rows <= 0 || image.columns <= 0) return false;
    if (image.rowBytes < image.columns) return false;
    const std::size_t pixels = std::size_t(image.rows) * std::size_t(image.columns);
    if (pixels > capacity / 3) return false;
    std::uint8_t* out = destination;
    for (int r = 0; r < image.rows; ++r) {
        const std::uint8_t* row = image.data + std::size_t(r) * std::size_t(image.rowBytes);
        for (int c = 0; c < image.columns; ++c) {
            out[0] = out[1] = out[2] = row[c];
            out += 3;
        }
    }
    return true;
}

bool CameraDriver::GetColorProcessingMethod(int, int& method) {
    method = 0;
    return true;
}

bool CameraDriver::GetColorTileFormat(int, int& tile) {
    tile = 0;
    return true;
}

bool CameraDriver::ConvertImage(int, const GrabbedImage& image, std::uint8_t* destination,
                                std::size_t capacity) {
    return ConvertMono8(image, destination, capacity);
}

bool CameraDriver::InplaceWhiteBalance(int, std::uint8_t*, int, int) { return true; }

}  // namespace kyvern::capture
