#include "frame/captured_image.h"

#include <algorithm>
#include <cstring>

namespace kyvern::frame {

BallRecord::BallRecord() : marks(new SpinMark[kMaxMarks]) {}

void BallRecord::CopyFrom(const BallRecord& other) {
    if (this == &other) return;
    pix = other.pix;
    loc = other.loc;
    planeNormal = other.planeNormal;
    viewNormal = other.viewNormal;
    displayNormal = other.displayNormal;
    lum = other.lum;
    markCount = std::clamp(other.markCount, 0, kMaxMarks);
    std::copy_n(other.marks.get(), markCount, marks.get());
    time = other.time;
    edgeFit = other.edgeFit;
    ringLit = other.ringLit;
    outlineSeen = other.outlineSeen;
    onPlane = other.onPlane;
    rimRefined = other.rimRefined;
}

void BallRecord::Reset() {
    pix.Zero();
    loc.Zero();
    planeNormal.Zero();
    viewNormal.Zero();
    displayNormal.Zero();
    lum = 0;
    markCount = 0;
    time = 0.0;
    edgeFit = 0.0;
    ringLit = 0.0;
    outlineSeen = 1.0;
    onPlane = 0.0;
    rimRefined = false;
}

CapturedImage::CapturedImage() : pixels_(new std::uint8_t[kFrameCapacity]) { Reset(); }

void CapturedImage::Reset() {
    cameraPosition.Zero();
    cameraRotation.Zero();
    serialNumber = -1;
    cameraIndex = -1;
    width = 0;
    height = 0;
    bytesPerPixel = 0;
    valid = false;
    analyzed = false;
    captureTime = 0;
    captureStamp = 0.0;
    t1 = 0.0;
    t2 = 0.0;
    result.histogram.fill(0);
    result.backgroundLevel = 0;
    result.meanLevel = 0;
    result.balls[0].Reset();
    result.balls[1].Reset();
    result.errorCode = 0;
    result.warningCount = 0;
    result.warningCodes.fill(0);
}

void CapturedImage::CopyFrom(const CapturedImage& other) {
    if (this == &other) return;
    std::memcpy(pixels_.get(), other.pixels_.get(), kFrameCapacity);
    captureTime = other.captureTime;
    captureStamp = other.captureStamp;
    valid = other.valid;
    analyzed = other.analyzed;
    width = other.width;
    height = other.height;
    bytesPerPixel = other.bytesPerPixel;
    t1 = other.t1;
    t2 = other.t2;
    serialNumber = other.serialNumber;
    cameraIndex = other.cameraIndex;
    cameraPosition = other.cameraPosition;
    cameraRotation = other.cameraRotation;
    result.histogram = other.result.histogram;
    result.backgroundLevel = other.result.backgroundLevel;
    result.meanLevel = other.result.meanLevel;
    result.balls[0].CopyFrom(other.result.balls[0]);
    result.balls[1].CopyFrom(other.result.balls[1]);
    result.errorCode = other.result.errorCode;
    result.warningCount = other.result.warningCount;
    result.warningCodes = other.result.warningCodes;
}

std::size_t CapturedImage::ByteCount() const {
    if (width <= 0 || height <= 0 || bytesPerPixel <= 0) return 0;
    std::size_t bytes = std::size_t(width) * std::size_t(height) * std::size_t(bytesPerPixel);
    return bytes <= kFrameCapacity ? bytes : 0;
}

}  // namespace kyvern::frame
