#pragma once

#include <QImage>

#include "frame/captured_image.h"

namespace kyvern::report {

// A copy of a frame as an image: 8-bit gray, or the blue-green-red bytes the overlays leave.
// A frame without pixels gives a null image.
QImage FrameImage(const frame::CapturedImage& frame);

}  // namespace kyvern::report
