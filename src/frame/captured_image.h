#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <ctime>
#include <memory>

#include "frame/xyz.h"

namespace kyvern::frame {

// Up to four cameras, each with its frame slot: in a shot, a saved image file and the status.
inline constexpr int kCameraSlots = 4;
inline constexpr int kMaxFrameWidth = 1024;
inline constexpr int kMaxFrameHeight = 768;
inline constexpr std::size_t kFrameCapacity = 1024 * 768 * 3;  // bytes
inline constexpr int kMaxMarks = 5000;
inline constexpr int kMaxWarnings = 20;

// A dark pixel of the printed line, lifted onto the ball's sphere.
struct SpinMark {
    Xyz point;  // pixels, relative to the ball centre: x right, y down, z towards the camera
    double polar = 0.0;
    double azimuth = 0.0;
    std::int32_t pixelX = 0;
    std::int32_t pixelY = 0;
    std::int32_t group = -1;
    bool visited = false;
};

// What the analysis found of one ball image.
struct BallRecord {
    BallRecord();
    BallRecord(const BallRecord&) = delete;
    BallRecord& operator=(const BallRecord&) = delete;
    // Copies every field and the marks in use.
    void CopyFrom(const BallRecord& other);
    // Zeroes the triples, lum, the mark count and the time.
    void Reset();

    Xyz pix;            // centre x, centre y, diameter, in pixels
    Xyz loc;            // inches, camera frame
    Xyz planeNormal;    // normal of the printed line's plane in the image
    Xyz viewNormal;     // the same, turned into the camera frame
    Xyz displayNormal;  // the pair of view normals turned so that ball 0's is (0, 1, 0)
    std::int32_t lum = 0;
    std::unique_ptr<SpinMark[]> marks;  // kMaxMarks, allocated once
    std::int32_t markCount = 0;
    double time = 0.0;  // strobe instant of this ball: t1 for ball 0, t2 for ball 1
    // How much the image looked like a ball: the share of its edges on the fitted circle and
    // the share of a ring just outside it that is lit.
    double edgeFit = 0.0;
    double ringLit = 0.0;
    double outlineSeen = 1.0;  // the share of the outline the image's size was read on
    double onPlane = 0.0;      // the share of the line's points on the plane found for them
    bool rimRefined = false;   // the circle is the half-contrast rim's, whatever the light
};

// The analysis fields of a frame.
struct AnalysisResult {
    std::array<std::uint32_t, 256> histogram{};
    std::uint8_t backgroundLevel = 0;
    std::uint8_t meanLevel = 0;
    BallRecord balls[2];
    std::int32_t errorCode = 0;
    std::int32_t warningCount = 0;
    std::array<std::int32_t, kMaxWarnings> warningCodes{};
    std::array<const char*, kMaxWarnings> warningTexts{};  // fixed texts of the warning table
};

// One strobed frame: 8-bit gray pixels with the capture facts the analysis needs. The pixel
// buffer has a fixed capacity and is allocated with the image, never per frame.
class CapturedImage {
public:
    CapturedImage();
    CapturedImage(const CapturedImage&) = delete;
    CapturedImage& operator=(const CapturedImage&) = delete;

    // Clears the capture facts, flags and analysis fields; the pixels stay as they are.
    void Reset();
    // Copies everything but the warning texts, the whole pixel buffer included.
    void CopyFrom(const CapturedImage& other);

    std::uint8_t* Pixels() { return pixels_.get(); }
    const std::uint8_t* Pixels() const { return pixels_.get(); }
    std::uint8_t& At(int row, int column) { return pixels_[std::size_t(row) * width + column]; }
    std::uint8_t At(int row, int column) const {
        return pixels_[std::size_t(row) * width + column];
    }
    // Bytes in use: width x height x bytesPerPixel, or 0 when the size is out of capacity.
    std::size_t ByteCount() const;

    std::time_t captureTime = 0;
    double captureStamp = 0.0;
    bool valid = false;
    bool analyzed = false;
    std::int32_t width = 0;
    std::int32_t height = 0;
    std::int32_t bytesPerPixel = 0;
    double t1 = 0.0;
    double t2 = 0.0;
    std::int32_t serialNumber = -1;
    std::int32_t cameraIndex = -1;
    Xyz cameraPosition;  // inches
    Xyz cameraRotation;  // radians
    AnalysisResult result;

private:
    std::unique_ptr<std::uint8_t[]> pixels_;
};

}  // namespace kyvern::frame
