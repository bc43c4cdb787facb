#include "report/frame_drawing.h"

namespace kyvern::report {

QImage FrameImage(const frame::CapturedImage& frame) {
    if (frame.ByteCount() == 0 || !frame.Pixels()) return {};
    const bool gray = frame.bytesPerPixel == 1;
    if (!gray && frame.bytesPerPixel != 3) return {};
    const QImage view(frame.Pixels(), frame.width, frame.height, frame.width * frame.bytesPerPixel,
                      gray ? QImage::Format_Grayscale8 : QImage::Format_BGR888);
    return view.copy();
}

}  // namespace kyvern::report
