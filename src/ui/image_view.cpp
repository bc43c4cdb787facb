#include "ui/image_view.h"

#include <QMouseEvent>
#include <QPainter>
#include <cstdio>

#include "app/launch_monitor.h"
#include "app/overlay_drawing.h"
#include "base/string_table.h"

namespace kyvern::ui {

ImageView::ImageView(app::LaunchMonitor& monitor, QWidget* parent)
    : QWidget(parent),
      monitor_(monitor),
      scratch_(std::make_unique<frame::CapturedImage>()),
      focus_(std::make_unique<frame::CapturedImage>()) {
    setMouseTracking(true);
    setMinimumSize(320, 240);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
    setCursor(Qt::CrossCursor);
}

ImageView::~ImageView() = default;

void ImageView::ShowSlot(int slot) {
    slot_ = slot;
    focusing_ = false;
    Redraw();
}

void ImageView::ShowFocus(const frame::CapturedImage& frame, const QString& notice) {
    focus_->CopyFrom(frame);
    focusing_ = true;
    notice_ = notice;
    Redraw();
}

void ImageView::Redraw() {
    stale_ = true;
    update();
}

const QImage& ImageView::Picture() {
    if (stale_) BuildPicture();
    return picture_;
}

const frame::CapturedImage* ImageView::Source() const {
    const frame::CapturedImage& frame =
        focusing_ ? *focus_ : monitor_.Frame(std::clamp(slot_, 0, frame::kCameraSlots - 1));
    if (!frame.valid || frame.bytesPerPixel != 1 || frame.ByteCount() == 0) return nullptr;
    return &frame;
}

void ImageView::BuildPicture() {
    stale_ = false;
    picture_ = QImage();
    scaled_ = QImage();
    const frame::CapturedImage* source = Source();
    if (!source) return;
    scratch_->CopyFrom(*source);
    const int w = scratch_->width;
    const int h = scratch_->height;
    // The overlays are drawn by the core, on a copy: the frame slots stay gray.
    if (!focusing_ &&
        app::DrawOverlays(*scratch_, app::ReadOverlaySwitches(base::SettingsSnapshot::Read()))) {
        picture_ = QImage(scratch_->Pixels(), w, h, w * 3, QImage::Format_BGR888).copy();
    } else {
        picture_ = QImage(source->Pixels(), w, h, w, QImage::Format_Grayscale8).copy();
    }
}

QRect ImageView::Target() {
    if (Picture().isNull()) return {};
    QSize size = picture_.size().scaled(this->size(), Qt::KeepAspectRatio);
    return QRect(QPoint((width() - size.width()) / 2, (height() - size.height()) / 2), size);
}

QPoint ImageView::FrameToWidget(int x, int y) {
    const QRect t = Target();
    if (t.isEmpty()) return {};
    return {t.x() + int((x + 0.5) * t.width() / picture_.width()),
            t.y() + int((y + 0.5) * t.height() / picture_.height())};
}

bool ImageView::WidgetToFrame(QPoint at, int& x, int& y) {
    const QRect t = Target();
    if (t.isEmpty() || !t.contains(at)) return false;
    x = int(std::int64_t(at.x() - t.x()) * picture_.width() / t.width());
    y = int(std::int64_t(at.y() - t.y()) * picture_.height() / t.height());
    return x >= 0 && y >= 0 && x < picture_.width() && y < picture_.height();
}

void ImageView::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.fillRect(rect(), Qt::black);
    const QRect t = Target();
    if (t.isEmpty()) return;
    // Scaled once per frame and size, not at every paint.
    if (scaled_.size() != t.size())
        scaled_ = picture_.scaled(t.size(), Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    painter.drawImage(t.topLeft(), scaled_);
    if (focusing_ && !notice_.isEmpty()) {
        painter.setPen(Qt::yellow);
        painter.drawText(t.adjusted(8, 8, -8, -8), Qt::AlignTop | Qt::AlignLeft, notice_);
    }
}

void ImageView::resizeEvent(QResizeEvent*) { scaled_ = QImage(); }

void ImageView::mouseMoveEvent(QMouseEvent* event) {
    int x = 0, y = 0;
    const frame::CapturedImage* source = Source();
    if (!source || !WidgetToFrame(event->position().toPoint(), x, y) || x >= source->width ||
        y >= source->height) {
        emit PixelReadout(QString());
        return;
    }
    char text[96];
    const std::string_view format = base::Text(base::MessageId::kPixelReadout);
    std::snprintf(text, sizeof text, std::string(format).c_str(), x, y, int(source->At(y, x)));
    emit PixelReadout(QString::fromUtf8(text));
}

void ImageView::leaveEvent(QEvent*) { emit PixelReadout(QString()); }

void ImageView::mousePressEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton || focusing_ || !Source()) return;
    // Corrections work on the frame of slot 0, the one the scene's first ball records hold.
    if (slot_ != 0) return;
    int x = 0, y = 0;
    if (!WidgetToFrame(event->position().toPoint(), x, y)) return;
    const bool edge = event->modifiers().testFlag(Qt::ShiftModifier);
    const bool solved = edge ? monitor_.MarkEdgePoint(x, y) : monitor_.MarkLinePoint(x, y);
    emit PointMarked(!edge, solved);
}

}  // namespace kyvern::ui
