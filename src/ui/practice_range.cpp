#include "ui/practice_range.h"

#include <QGuiApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QLinearGradient>
#include <QPainterPath>
#include <QScreen>
#include <QVBoxLayout>
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <numbers>

#include "base/config_store.h"
#include "base/settings_snapshot.h"
#include "base/string_table.h"
#include "shot/units.h"

namespace kyvern::ui {

namespace {

constexpr double kFarYards = 420.0;

// A settings word, blanks around it and case aside.
bool Is(std::string_view setting, std::string_view word) {
    return base::EqualsNoCase(base::Trim(setting), word);
}
constexpr double kNearYards = -RangeView::kEyeBack + 30.0;

QString Printf(const char* format, double value, const char* unit) {
    char text[64];
    std::snprintf(text, sizeof text, format, value, unit);
    return QString::fromUtf8(text);
}

QString T(base::MessageId id) {
    const std::string_view text = base::Text(id);
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

// An offline distance as its size and its side (right is positive).
QString OfflineText(double offline, const char* unit) {
    return Printf("%.1f %s", std::fabs(offline), unit) + " " +
           T(offline < 0 ? base::MessageId::kRangeLeft : base::MessageId::kRangeRight);
}

// Where along the trajectory the ball is at this fraction of the animation, as a point index
// with its fraction: the flight by its 0.1 s points up to the landing, then the roll.
double PathIndex(const flight::FlightResult& flight, double fraction) {
    const int last = flight.pointCount - 1;
    if (last <= 0) return 0.0;
    // The origin and the flight points come first; 19 roll points and the resting point after.
    const int landing = std::clamp(flight.pointCount - 21, 1, last);
    fraction = std::clamp(fraction, 0.0, 1.0);
    if (fraction < kLandingFraction) return fraction / kLandingFraction * landing;
    return landing + (fraction - kLandingFraction) / (1.0 - kLandingFraction) * (last - landing);
}

QPointF PointAt(const RangeView& view, const flight::FlightResult& flight, int i) {
    return view.Project(flight.pointX[i] / 3.0, flight.pointZ[i] / 3.0,
                        std::max(0.0, flight.pointHeight[i] / 3.0));
}

void DrawScenery(QPainter& painter, const RangeView& view) {
    const QRectF& area = view.area;
    QLinearGradient sky(0, area.top(), 0, view.horizonY);
    sky.setColorAt(0, QColor(70, 130, 200));
    sky.setColorAt(1, QColor(190, 220, 245));
    painter.fillRect(QRectF(area.left(), area.top(), area.width(), view.horizonY - area.top()),
                     sky);

    QLinearGradient grass(0, view.horizonY, 0, area.bottom());
    grass.setColorAt(0, QColor(70, 120, 60));
    grass.setColorAt(1, QColor(60, 150, 55));
    painter.fillRect(
        QRectF(area.left(), view.horizonY, area.width(), area.bottom() - view.horizonY), grass);

    // Mowing stripes running down the range.
    painter.setPen(Qt::NoPen);
    painter.setBrush(QColor(255, 255, 255, 18));
    for (int k = -40; k < 40; k += 2) {
        const double z0 = k * 8.0;
        const double z1 = z0 + 8.0;
        const QPointF quad[] = {view.Project(kNearYards, z0, 0), view.Project(kFarYards, z0, 0),
                                view.Project(kFarYards, z1, 0), view.Project(kNearYards, z1, 0)};
        painter.drawPolygon(quad, 4);
    }

    // A tree line along the far end.
    QPainterPath trees;
    const double treeHeight = area.height() * 0.035;
    trees.moveTo(area.left(), view.horizonY + 1);
    for (double x = area.left(); x <= area.right() + treeHeight; x += treeHeight * 0.9) {
        const double bump = treeHeight * (0.7 + 0.3 * std::sin(x * 0.37));
        trees.quadTo(x + treeHeight * 0.45, view.horizonY - bump * 1.6, x + treeHeight * 0.9,
                     view.horizonY + 1);
    }
    trees.closeSubpath();
    painter.setBrush(QColor(35, 75, 40));
    painter.drawPath(trees);

    // The tee mat.
    const QPointF mat[] = {view.Project(-1.5, -2, 0), view.Project(1.5, -2, 0),
                           view.Project(1.5, 2, 0), view.Project(-1.5, 2, 0)};
    painter.setBrush(QColor(40, 90, 40));
    painter.setPen(QPen(QColor(230, 230, 230), 2));
    painter.drawPolygon(mat, 4);
}

void DrawGreens(QPainter& painter, const RangeView& view, int distanceUnit) {
    // Greens every 50 yards or metres (150 feet), offset to either side as on a real range.
    const double step = distanceUnit == shot::kFeet ? 150.0 : 50.0;
    static constexpr double kOffsets[] = {-9.0, 8.0, -14.0, 12.0, -6.0, 16.0, -18.0};
    for (int i = 6; i >= 0; --i) {  // far ones first
        const double label = step * (i + 1);
        const double x = shot::FromDisplayDistance(label, distanceUnit);
        if (x > kFarYards - 20) continue;
        const double z = kOffsets[i];
        const double radius = 7.0 + x * 0.02;
        QPointF ring[32];
        for (int t = 0; t < 32; ++t) {
            const double angle = t * 2.0 * std::numbers::pi / 32;
            ring[t] =
                view.Project(x + radius * std::cos(angle), z + radius * 1.3 * std::sin(angle), 0);
        }
        painter.setPen(QPen(QColor(40, 100, 40), 1.5));
        painter.setBrush(QColor(120, 200, 95));
        painter.drawPolygon(ring, 32);

        const QPointF foot = view.Project(x, z, 0);
        const QPointF top = view.Project(x, z, 3.5);
        painter.setPen(QPen(QColor(240, 240, 240), std::max(1.0, (foot.y() - top.y()) * 0.04)));
        painter.drawLine(foot, top);
        const double flag = (foot.y() - top.y()) * 0.35;
        const QPointF pennant[] = {top, top + QPointF(flag * 1.4, flag * 0.5),
                                   top + QPointF(0, flag)};
        painter.setPen(Qt::NoPen);
        painter.setBrush(QColor(220, 40, 40));
        painter.drawPolygon(pennant, 3);

        QFont font = painter.font();
        font.setPixelSize(std::max(9, static_cast<int>((foot.y() - top.y()) * 0.45)));
        font.setBold(true);
        painter.setFont(font);
        painter.setPen(QColor(255, 255, 255));
        const QRectF box(top.x() - 60, top.y() - font.pixelSize() * 1.3, 120,
                         font.pixelSize() * 1.2);
        char text[16];
        std::snprintf(text, sizeof text, "%.0f", label);
        painter.drawText(box, Qt::AlignCenter, QString::fromUtf8(text));
    }
}

void DrawFlight(QPainter& painter, const RangeView& view, const flight::FlightResult& flight,
                double fraction) {
    if (flight.pointCount < 2) return;
    const double at = PathIndex(flight, fraction);
    const int whole = static_cast<int>(at);
    const double part = at - whole;
    QPolygonF trail;
    for (int i = 0; i <= whole && i < flight.pointCount; ++i)
        trail << PointAt(view, flight, i);
    QPointF ball = trail.back();
    double downrange = flight.pointX[whole] / 3.0;
    double offline = flight.pointZ[whole] / 3.0;
    if (whole + 1 < flight.pointCount && part > 0) {
        const QPointF next = PointAt(view, flight, whole + 1);
        ball = trail.back() + (next - trail.back()) * part;
        trail << ball;
        downrange += (flight.pointX[whole + 1] / 3.0 - downrange) * part;
        offline += (flight.pointZ[whole + 1] / 3.0 - offline) * part;
    }
    const double depth = downrange + RangeView::kEyeBack;
    const double radius = std::clamp(view.focal * 0.6 / depth, 3.0, 12.0);

    painter.setBrush(Qt::NoBrush);
    painter.setPen(
        QPen(QColor(255, 230, 80, 90), radius * 1.2, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    painter.drawPolyline(trail);
    painter.setPen(QPen(QColor(255, 255, 255, 220), std::max(1.5, radius * 0.35), Qt::SolidLine,
                        Qt::RoundCap, Qt::RoundJoin));
    painter.drawPolyline(trail);

    // Where it landed, once it has.
    if (fraction >= kLandingFraction) {
        const int landing = std::clamp(flight.pointCount - 21, 1, flight.pointCount - 1);
        const QPointF mark =
            view.Project(flight.pointX[landing] / 3.0, flight.pointZ[landing] / 3.0, 0);
        painter.setPen(QPen(QColor(255, 255, 255, 200), 2));
        painter.setBrush(Qt::NoBrush);
        painter.drawEllipse(mark, radius * 3.0, radius * 1.2);
    }

    // The shadow on the ground under the ball, then the ball.
    const QPointF shadow = view.Project(downrange, offline, 0);
    painter.setPen(Qt::NoPen);
    painter.setBrush(QColor(0, 0, 0, 80));
    painter.drawEllipse(shadow, radius * 1.1, radius * 0.4);
    painter.setBrush(QColor(255, 255, 255));
    painter.setPen(QPen(QColor(120, 120, 120), 1));
    painter.drawEllipse(ball, radius, radius);
}

void DrawNumbers(QPainter& painter, const QRectF& area, const flight::FlightResult& flight,
                 double fraction, int distanceUnit) {
    const char* unit = shot::DistanceLabel(distanceUnit);
    const bool landed = fraction >= kLandingFraction;
    const bool resting = fraction >= 1.0;
    const double offline = shot::ToDisplayDistance(flight.carryOffline, distanceUnit);
    const QString values[] = {
        landed ? Printf("%.1f %s", shot::ToDisplayDistance(flight.carry, distanceUnit), unit)
               : QStringLiteral("\u2013"),
        resting ? Printf("%.1f %s", shot::ToDisplayDistance(flight.total, distanceUnit), unit)
                : QStringLiteral("\u2013"),
        landed ? OfflineText(offline, unit) : QStringLiteral("\u2013"),
    };
    const QString names[] = {T(base::MessageId::kColumnCarry).toUpper(),
                             T(base::MessageId::kColumnTotal).toUpper(),
                             T(base::MessageId::kColumnOffline).toUpper()};
    const double boxWidth = area.width() * 0.24;
    const double boxHeight = area.height() * 0.14;
    const double gap = area.width() * 0.02;
    const double left = area.center().x() - (3 * boxWidth + 2 * gap) / 2;
    QFont font = painter.font();
    for (int i = 0; i < 3; ++i) {
        const QRectF box(left + i * (boxWidth + gap),
                         area.bottom() - area.height() * 0.02 - boxHeight, boxWidth, boxHeight);
        painter.setPen(Qt::NoPen);
        painter.setBrush(QColor(0, 0, 0, 140));
        painter.drawRoundedRect(box, boxHeight * 0.12, boxHeight * 0.12);
        font.setBold(true);
        font.setPixelSize(std::max(8, static_cast<int>(boxHeight * 0.2)));
        painter.setFont(font);
        painter.setPen(QColor(200, 220, 255));
        painter.drawText(box.adjusted(0, boxHeight * 0.05, 0, -boxHeight * 0.65), Qt::AlignCenter,
                         names[i]);
        font.setPixelSize(std::max(10, static_cast<int>(boxHeight * 0.42)));
        painter.setFont(font);
        painter.setPen(QColor(255, 255, 255));
        painter.drawText(box.adjusted(0, boxHeight * 0.35, 0, 0), Qt::AlignCenter, values[i]);
    }
}

void DrawEarlier(QPainter& painter, const RangeView& view,
                 std::span<const flight::FlightResult> earlier) {
    painter.setPen(QPen(QColor(90, 90, 90), 0.8));
    painter.setBrush(QColor(245, 245, 245));
    for (const flight::FlightResult& shot : earlier) {
        if (shot.pointCount < 2) continue;
        const int rest = shot.pointCount - 1;
        const QPointF at = view.Project(shot.pointX[rest] / 3.0, shot.pointZ[rest] / 3.0, 0);
        const double radius = std::clamp(
            view.focal * 0.4 / (shot.pointX[rest] / 3.0 + RangeView::kEyeBack), 2.0, 6.0);
        painter.drawEllipse(at, radius, radius * 0.8);
    }
}

}  // namespace

RangeView::RangeView(const QRectF& a)
    : area(a),
      horizonY(a.top() + a.height() * 0.28),
      // The tee sits just above the numbers at the bottom, a high drive's apex well inside the
      // top: kEyeBack away and kEyeHeight below the eye.
      focal(a.height() * 0.53 * kEyeBack / kEyeHeight) {}

QPointF RangeView::Project(double downrange, double offline, double height) const {
    const double depth = std::max(downrange + kEyeBack, 0.5);
    return {area.center().x() + focal * offline / depth,
            horizonY + focal * (kEyeHeight - height) / depth};
}

void DrawPracticeRange(QPainter& painter, const QRectF& area, const flight::FlightResult* flight,
                       double fraction, int distanceUnit,
                       std::span<const flight::FlightResult> earlier) {
    painter.save();
    painter.setClipRect(area);
    painter.setRenderHint(QPainter::Antialiasing);
    const RangeView view(area);
    DrawScenery(painter, view);
    DrawGreens(painter, view, distanceUnit);
    DrawEarlier(painter, view, earlier);
    if (flight && flight->pointCount >= 2) {
        DrawFlight(painter, view, *flight, fraction);
        DrawNumbers(painter, area, *flight, fraction, distanceUnit);
    }
    painter.restore();
}

std::optional<int> PracticeRangeScreen(std::string_view setting, int screenCount) {
    static constexpr std::string_view kNames[] = {"Mon1", "Mon2", "Mon3", "Mon4"};
    for (int i = 0; i < 4; ++i) {
        if (Is(setting, kNames[i])) return screenCount > i ? i : 0;
    }
    return std::nullopt;
}

std::optional<int> PopupSeconds(std::string_view setting) {
    if (Is(setting, "5")) return 5;
    if (Is(setting, "10")) return 10;
    if (Is(setting, "Always")) return 0;
    return std::nullopt;
}

PracticeRangeWindow::PracticeRangeWindow(QWidget* parent)
    : QWidget(parent, Qt::Window | Qt::FramelessWindowHint) {
    setWindowTitle(QStringLiteral("Practice Range"));
    setAttribute(Qt::WA_OpaquePaintEvent);
    timer_.setInterval(16);
    QObject::connect(&timer_, &QTimer::timeout, this, [this] { Tick(); });
}

void PracticeRangeWindow::ShowShot(const flight::FlightResult& flight, int distanceUnit) {
    if (hasShot_) {
        if (earlier_.size() >= kEarlierShown) earlier_.erase(earlier_.begin());
        earlier_.push_back(flight_);
    }
    flight_ = flight;
    hasShot_ = true;
    distanceUnit_ = distanceUnit;
    fraction_ = 0.0;
    // The flight in real time; the roll takes the rest of the animation.
    durationMs_ = std::max(flight.flightTime, 0.5) * 1000.0 / kLandingFraction;
    clock_.start();
    timer_.start();
    update();
}

void PracticeRangeWindow::Tick() {
    fraction_ = std::min(1.0, static_cast<double>(clock_.elapsed()) / durationMs_);
    if (fraction_ >= 1.0) timer_.stop();
    update();
}

void PracticeRangeWindow::PlaceOn(int screen) {
    const QList<QScreen*> screens = QGuiApplication::screens();
    if (screens.isEmpty()) return;
    QScreen* target = screens.value(screen, screens.first());
    setScreen(target);
    setGeometry(target->geometry());
    showFullScreen();
}

void PracticeRangeWindow::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    DrawPracticeRange(painter, QRectF(rect()), hasShot_ ? &flight_ : nullptr, fraction_,
                      distanceUnit_, earlier_);
}

void PracticeRangeWindow::keyPressEvent(QKeyEvent* event) {
    // Escape puts the range away until the next shot.
    if (event->key() == Qt::Key_Escape) {
        hide();
        return;
    }
    QWidget::keyPressEvent(event);
}

PracticeRange::PracticeRange(base::Settings settings) : settings_(std::move(settings)) {
    popupTimer_.setSingleShot(true);
    QObject::connect(&popupTimer_, &QTimer::timeout, [this] {
        if (popup_) popup_->hide();
    });
}

PracticeRange::~PracticeRange() {
    delete window_;
    delete popup_;
}

void PracticeRange::Apply() {
    const base::SettingsSnapshot settings = base::SettingsSnapshot::Read(settings_);
    const auto screen = PracticeRangeScreen(settings.Text(base::setting::kPracticeRange),
                                            static_cast<int>(QGuiApplication::screens().size()));
    if (!screen) {
        delete window_;
        window_ = nullptr;
    } else {
        if (!window_) window_ = new PracticeRangeWindow;
        window_->PlaceOn(*screen);
    }
    if (!PopupSeconds(settings.Text(base::setting::kDxPopupDisplay)) && popup_) {
        popupTimer_.stop();
        popup_->hide();
    }
}

void PracticeRange::ShowShot(const shot::ShotRecord& shot) {
    const base::SettingsSnapshot settings = base::SettingsSnapshot::Read(settings_);
    const int unit = shot::ReadDistanceUnit(settings);
    if (window_) {
        if (!window_->isVisible()) window_->showFullScreen();
        window_->ShowShot(shot.flight, unit);
    }
    const auto seconds = PopupSeconds(settings.Text(base::setting::kDxPopupDisplay));
    if (!seconds) return;
    if (!popup_) {
        popup_ =
            new QWidget(nullptr, Qt::ToolTip | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint);
        popup_->setStyleSheet(QStringLiteral(
            "background: rgb(20, 40, 30); color: white; border: 2px solid rgb(120, 200, 95);"));
        auto* layout = new QVBoxLayout(popup_);
        popupText_ = new QLabel(popup_);
        QFont font = popupText_->font();
        font.setPixelSize(28);
        font.setBold(true);
        popupText_->setFont(font);
        layout->addWidget(popupText_);
    }
    const char* label = shot::DistanceLabel(unit);
    const double offline = shot::ToDisplayDistance(shot.flight.carryOffline, unit);
    popupText_->setText(T(base::MessageId::kColumnCarry) + "  " +
                        Printf("%.1f %s", shot::ToDisplayDistance(shot.flight.carry, unit), label) +
                        "\n" + T(base::MessageId::kColumnTotal) + "  " +
                        Printf("%.1f %s", shot::ToDisplayDistance(shot.flight.total, unit), label) +
                        "\n" + T(base::MessageId::kColumnOffline) + "  " +
                        OfflineText(offline, label));
    popup_->adjustSize();
    if (QScreen* screen = QGuiApplication::primaryScreen()) {
        const QRect free = screen->availableGeometry();
        popup_->move(free.right() - popup_->width() - 24, free.top() + 24);
    }
    popup_->show();
    popup_->raise();
    if (*seconds > 0) {
        popupTimer_.start(*seconds * 1000);
    } else {
        popupTimer_.stop();
    }
}

}  // namespace kyvern::ui
