#pragma once

#include <QImage>
#include <QPoint>
#include <QRect>
#include <QWidget>
#include <memory>

#include "frame/captured_image.h"

namespace kyvern::app {
class LaunchMonitor;
}

namespace kyvern::ui {

// The Image view: the displayed frame with the overlays that are switched on, scaled to fit
// and kept in proportion; under the mouse the pixel's position and level; a click on the
// printed line marks a line point for the manual correction, a Shift-click a ball-edge point.
// In the camera's focus mode it shows the live frame with its notice instead.
class ImageView final : public QWidget {
    Q_OBJECT
public:
    explicit ImageView(app::LaunchMonitor& monitor, QWidget* parent = nullptr);
    ~ImageView() override;

    // Shows the monitor's frame slot (what it analyses) from now on.
    void ShowSlot(int slot);
    // A live frame of the focus mode, with its notice.
    void ShowFocus(const frame::CapturedImage& frame, const QString& notice);
    // Draws again, at the next paint, from the frame and the overlay switches as they are
    // then: the shot cycle that asks for it is not held up by the drawing.
    void Redraw();

    // Where a frame pixel shows in the widget (its centre), and the frame pixel under a widget
    // position; false outside the picture.
    QPoint FrameToWidget(int x, int y);
    bool WidgetToFrame(QPoint at, int& x, int& y);
    // The picture as drawn now, before scaling; null when there is no frame.
    const QImage& Picture();
    bool Focusing() const { return focusing_; }

signals:
    // "x %d  y %d  level %d" under the mouse; empty when it leaves the picture.
    void PixelReadout(const QString& text);
    // A click marked a point: line (true) or edge (false); solved says whether the launch was
    // solved again with it.
    void PointMarked(bool line, bool solved);

protected:
    void paintEvent(QPaintEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void leaveEvent(QEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    const frame::CapturedImage* Source() const;
    void BuildPicture();
    QRect Target();

    app::LaunchMonitor& monitor_;
    int slot_ = 0;
    bool focusing_ = false;
    bool stale_ = true;  // the picture waits to be drawn again
    QString notice_;
    std::unique_ptr<frame::CapturedImage> scratch_;  // the coloured copy the overlays go on
    std::unique_ptr<frame::CapturedImage> focus_;
    QImage picture_;
    QImage scaled_;
};

}  // namespace kyvern::ui
