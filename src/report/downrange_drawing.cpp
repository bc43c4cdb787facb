#include "report/downrange_drawing.h"

#include <QFontMetricsF>
#include <QImage>
#include <QPaintEngine>
#include <QPainter>
#include <QPainterPath>
#include <algorithm>
#include <cmath>
#include <utility>
#include <vector>

#include "shot/text_formats.h"
#include "shot/units.h"

namespace kyvern::report {
namespace {

QPointF OnPlane(double distance, double offline) {
    const double along = std::sqrt(std::max(0.0, distance * distance - offline * offline));
    return QPointF(along, offline);
}

struct ItemSpread {
    int count = 0;
    double meanAlong = 0.0;
    double meanOffline = 0.0;
    double varAlong = 0.0;
    double varOffline = 0.0;
    double covariance = 0.0;
};

// Mean and sample covariance of an item's carry points (yards).
ItemSpread SpreadOf(const SessionPicture& session, int item) {
    ItemSpread s;
    for (const SessionShot& shot : session.shots) {
        if (shot.itemIndex != item) continue;
        const QPointF p = CarryPoint(shot);
        ++s.count;
        s.meanAlong += p.x();
        s.meanOffline += p.y();
    }
    if (s.count == 0) return s;
    s.meanAlong /= s.count;
    s.meanOffline /= s.count;
    if (s.count < 2) return s;
    for (const SessionShot& shot : session.shots) {
        if (shot.itemIndex != item) continue;
        const QPointF p = CarryPoint(shot);
        const double a = p.x() - s.meanAlong;
        const double o = p.y() - s.meanOffline;
        s.varAlong += a * a;
        s.varOffline += o * o;
        s.covariance += a * o;
    }
    s.varAlong /= s.count - 1;
    s.varOffline /= s.count - 1;
    s.covariance /= s.count - 1;
    return s;
}

// The one-standard-deviation ellipse of a spread, as a polygon in device coordinates.
QPolygonF Ellipse(const ItemSpread& s, const DownRangeFrame& frame) {
    const double half = (s.varAlong + s.varOffline) / 2;
    const double diff = (s.varAlong - s.varOffline) / 2;
    const double root = std::sqrt(diff * diff + s.covariance * s.covariance);
    const double major = std::sqrt(std::max(0.0, half + root));
    const double minor = std::sqrt(std::max(0.0, half - root));
    const double angle = 0.5 * std::atan2(2 * s.covariance, s.varAlong - s.varOffline);
    QPolygonF polygon;
    for (int i = 0; i <= 72; ++i) {
        const double t = i * 2 * M_PI / 72;
        const double u = major * std::cos(t);
        const double v = minor * std::sin(t);
        polygon << frame.Map(s.meanAlong + u * std::cos(angle) - v * std::sin(angle),
                             s.meanOffline + u * std::sin(angle) + v * std::cos(angle));
    }
    return polygon;
}

}  // namespace

QPointF CarryPoint(const SessionShot& shot) { return OnPlane(shot.carry, shot.carryOffline); }
QPointF TotalPoint(const SessionShot& shot) { return OnPlane(shot.total, shot.totalOffline); }

QPointF DownRangeFrame::Map(double downrangeYards, double offlineYards) const {
    const double d = shot::ToDisplayDistance(downrangeYards, distanceUnit);
    const double o = shot::ToDisplayDistance(offlineYards, distanceUnit);
    return QPointF(tee.x() + o * sideScale, tee.y() - d * scale);
}

DownRangeFrame DownRangeLayout(const QRectF& rect, const SessionPicture& session) {
    DownRangeFrame frame;
    frame.distanceUnit = session.distanceUnit;
    frame.targetStep = session.distanceUnit == shot::kFeet ? 150.0 : 50.0;
    double farthest = shot::ToDisplayDistance(100.0, frame.distanceUnit);
    double widest = shot::ToDisplayDistance(30.0, frame.distanceUnit);
    for (const SessionShot& s : session.shots) {
        for (const QPointF& p : {CarryPoint(s), TotalPoint(s)}) {
            farthest = std::max(farthest, shot::ToDisplayDistance(p.x(), frame.distanceUnit));
            widest = std::max(widest,
                              shot::ToDisplayDistance(std::fabs(p.y()), frame.distanceUnit) * 1.3);
        }
    }
    const double left = rect.width() * 0.07;
    const double right = rect.width() * 0.02;
    const double top = rect.height() * 0.1;
    const double bottom = rect.height() * 0.11;
    frame.plot = QRectF(rect.left() + left, rect.top() + top, rect.width() - left - right,
                        rect.height() - top - bottom);
    frame.maxDownrange = std::ceil(farthest * 1.1 / frame.targetStep) * frame.targetStep;
    frame.scale = frame.plot.height() / frame.maxDownrange;
    frame.sideStep = NiceStep(widest, 3);
    frame.halfWidth = std::ceil(widest / frame.sideStep) * frame.sideStep;
    frame.sideScale = frame.plot.width() / 2 / frame.halfWidth;
    frame.tee = QPointF(frame.plot.center().x(), frame.plot.bottom());
    return frame;
}

namespace {

// The landing markers of a long session. On a raster device ten thousand antialiased ellipses
// cost a fifth of a second; each marker is drawn once into a small picture and stamped where a
// shot landed, to the nearest pixel. A page, a scaled painter and a short session keep their
// markers as shapes.
class MarkerStamps {
public:
    MarkerStamps(const QPainter& painter, std::size_t shots)
        : stamp_(shots >= kFewShots && painter.device() != nullptr &&
                 painter.device()->paintEngine() != nullptr &&
                 painter.device()->paintEngine()->type() == QPaintEngine::Raster &&
                 painter.transform().type() <= QTransform::TxTranslate) {}

    void Draw(QPainter& painter, const QPointF& centre, double radius) {
        if (!stamp_) {
            painter.drawEllipse(centre, radius, radius);
            return;
        }
        const QPen pen = painter.pen();
        const QBrush brush = painter.brush();
        const Key key{pen.color().rgba(), brush.style() == Qt::NoBrush ? 0u : brush.color().rgba(),
                      brush.style() == Qt::NoBrush, radius, pen.widthF()};
        const QImage* image = nullptr;
        for (const auto& [k, made] : stamps_) {
            if (k == key) image = &made;
        }
        if (image == nullptr) image = &Make(key, pen, brush);
        const double half = image->width() / 2.0;
        painter.drawImage(QPointF(std::round(centre.x() - half), std::round(centre.y() - half)),
                          *image);
    }

private:
    static constexpr std::size_t kFewShots = 200;
    struct Key {
        QRgb pen;
        QRgb brush;
        bool hollow;
        double radius;
        double width;
        bool operator==(const Key&) const = default;
    };

    const QImage& Make(const Key& key, const QPen& pen, const QBrush& brush) {
        const int side = int(std::ceil(2.0 * (key.radius + key.width))) + 2;
        QImage image(side, side, QImage::Format_ARGB32_Premultiplied);
        image.fill(Qt::transparent);
        QPainter p(&image);
        p.setRenderHint(QPainter::Antialiasing, true);
        p.setPen(pen);
        p.setBrush(brush);
        p.drawEllipse(QPointF(side / 2.0, side / 2.0), key.radius, key.radius);
        p.end();
        stamps_.emplace_back(key, std::move(image));
        return stamps_.back().second;
    }

    bool stamp_;
    std::vector<std::pair<Key, QImage>> stamps_;
};

}  // namespace

void DrawDownRange(QPainter& painter, const QRectF& rect, const SessionPicture& session,
                   bool title) {
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing, true);
    painter.setClipRect(rect);
    painter.fillRect(rect, Qt::white);
    const DownRangeFrame frame = DownRangeLayout(rect, session);
    const QRectF& plot = frame.plot;
    const auto [textSize, line] = ScaleOf(rect, 0.024);
    const QString label = QString::fromUtf8(shot::DistanceLabel(frame.distanceUnit));
    const int unitIndex = frame.distanceUnit;
    auto toYards = [unitIndex](double display) {
        return shot::FromDisplayDistance(display, unitIndex);
    };

    // Rough, fairway 18 yards either side of the target line, target lines.
    painter.fillRect(plot, QColor(214, 234, 200));
    const double fairway = 18.0;
    const QPointF fairwayLeft = frame.Map(0.0, -fairway);
    const QPointF fairwayRight = frame.Map(0.0, fairway);
    painter.fillRect(
        QRectF(QPointF(fairwayLeft.x(), plot.top()), QPointF(fairwayRight.x(), plot.bottom())),
        QColor(176, 214, 156));
    painter.setFont(DrawingFont(textSize));
    for (double d = frame.targetStep; d < frame.maxDownrange; d += frame.targetStep) {
        const double y = frame.Map(toYards(d), 0.0).y();
        painter.setPen(QPen(QColor(255, 255, 255), line * 1.2));
        painter.drawLine(QPointF(plot.left(), y), QPointF(plot.right(), y));
        painter.setPen(QColor(60, 60, 60));
        DrawTextAt(painter, QPointF(plot.left() - textSize * 0.3, y),
                   Qt::AlignRight | Qt::AlignVCenter, QString::number(d, 'f', 0));
    }
    painter.setPen(QPen(QColor(255, 255, 255), line, Qt::DashLine));
    painter.drawLine(frame.tee, QPointF(frame.tee.x(), plot.top()));
    painter.setPen(Qt::NoPen);
    painter.setBrush(QColor(60, 60, 60));
    painter.drawRect(
        QRectF(frame.tee.x() - line * 3, frame.tee.y() - line * 3, line * 6, line * 3));
    painter.setPen(QColor(60, 60, 60));
    DrawOfflineTicks(
        painter, frame.halfWidth, frame.sideStep,
        [&](double o) { return frame.Map(0.0, toYards(o)).x(); }, plot.bottom() + textSize * 0.4);
    DrawTextAt(
        painter, QPointF(plot.center().x(), plot.bottom() + textSize * 1.9),
        Qt::AlignHCenter | Qt::AlignTop,
        TextOf(base::MessageId::kDrawOfflineAxis).arg(label).arg(frame.targetStep, 0, 'f', 0));
    if (title) {
        painter.setFont(DrawingFont(textSize * 1.3, true));
        painter.setPen(QColor(30, 30, 30));
        DrawTextAt(painter, QPointF(rect.left() + textSize, rect.top() + textSize * 0.6),
                   Qt::AlignLeft | Qt::AlignTop, TextOf(base::MessageId::kDrawDownRangeTitle));
    }

    painter.setClipRect(plot);
    // Each item's dispersion ellipse and mean, under the shots.
    std::vector<ItemSpread> spreads;
    for (int item = 0; item < static_cast<int>(session.items.size()); ++item) {
        spreads.push_back(SpreadOf(session, item));
        const ItemSpread& s = spreads.back();
        if (s.count == 0) continue;
        QColor fill = ItemColour(item);
        fill.setAlpha(45);
        painter.setBrush(fill);
        painter.setPen(QPen(ItemColour(item), line * 1.2));
        if (s.count >= 2) painter.drawPolygon(Ellipse(s, frame));
        const QPointF mean = frame.Map(s.meanAlong, s.meanOffline);
        painter.setPen(QPen(ItemColour(item), line * 2));
        const double arm = line * 6;
        painter.drawLine(mean - QPointF(arm, 0), mean + QPointF(arm, 0));
        painter.drawLine(mean - QPointF(0, arm), mean + QPointF(0, arm));
    }
    const double dot = std::max(2.0, line * 2.6);
    // The current shot's carry and offline in a box beside it, under the shots it passes.
    if (const SessionShot* c = session.Current()) {
        const QPointF carry = frame.Map(CarryPoint(*c).x(), CarryPoint(*c).y());
        painter.setFont(DrawingFont(textSize, true));
        const std::string offline =
            shot::FormatOffline(shot::ToDisplayDistance(c->carryOffline, unitIndex));
        const QString text = QStringLiteral("%1 %2, %3")
                                 .arg(shot::ToDisplayDistance(c->carry, unitIndex), 0, 'f', 1)
                                 .arg(label)
                                 .arg(QString::fromStdString(offline));
        const QFontMetricsF metrics(painter.font(), painter.device());
        const double width = metrics.horizontalAdvance(text) + textSize;
        const double height = metrics.height() + textSize * 0.4;
        const bool leftSide = carry.x() > plot.center().x();
        const double x =
            leftSide ? plot.left() + textSize * 0.5 : plot.right() - textSize * 0.5 - width;
        const QRectF box(x, carry.y() - height / 2, width, height);
        painter.setPen(QPen(kCurrentShotColour, line));
        painter.drawLine(QPointF(leftSide ? box.right() : box.left(), carry.y()),
                         carry + QPointF(leftSide ? -dot * 3.4 : dot * 3.4, 0));
        painter.setBrush(QColor(255, 255, 255, 230));
        painter.drawRoundedRect(box, textSize * 0.3, textSize * 0.3);
        painter.setPen(QColor(20, 20, 20));
        painter.drawText(box, Qt::AlignCenter, text);
    }

    // Every shot: the roll from the carry point (filled) to the resting point (open).
    MarkerStamps markers(painter, session.shots.size());
    for (const SessionShot& s : session.shots) {
        if (s.current) continue;
        const QColor colour = ItemColour(s.itemIndex);
        const QPointF carry = frame.Map(CarryPoint(s).x(), CarryPoint(s).y());
        const QPointF rest = frame.Map(TotalPoint(s).x(), TotalPoint(s).y());
        painter.setPen(QPen(colour.lighter(130), line * 0.7));
        painter.drawLine(carry, rest);
        painter.setBrush(Qt::white);
        markers.Draw(painter, rest, dot * 0.8);
        painter.setPen(QPen(colour.darker(130), line * 0.6));
        painter.setBrush(colour);
        markers.Draw(painter, carry, dot);
    }
    if (const SessionShot* c = session.Current()) {
        const QPointF carry = frame.Map(CarryPoint(*c).x(), CarryPoint(*c).y());
        const QPointF rest = frame.Map(TotalPoint(*c).x(), TotalPoint(*c).y());
        painter.setPen(QPen(kCurrentShotColour, line * 1.5));
        painter.drawLine(carry, rest);
        painter.setBrush(Qt::white);
        painter.drawEllipse(rest, dot * 1.3, dot * 1.3);
        painter.setBrush(kCurrentShotColour);
        painter.setPen(QPen(Qt::white, line));
        painter.drawEllipse(carry, dot * 1.8, dot * 1.8);
        painter.setBrush(Qt::NoBrush);
        painter.setPen(QPen(kCurrentShotColour, line * 1.5));
        painter.drawEllipse(carry, dot * 3.4, dot * 3.4);
    }

    // Legend: each item's colour, shot count, mean carry and offline spread.
    painter.setFont(DrawingFont(textSize * 0.9));
    int listed = 0;
    for (const ItemSpread& s : spreads)
        listed += s.count > 0;
    double y = plot.bottom() - textSize * (0.9 + 1.35 * (listed - 1));
    for (int item = 0; item < static_cast<int>(spreads.size()); ++item) {
        const ItemSpread& s = spreads[item];
        if (s.count == 0) continue;
        const QPointF swatch(plot.left() + textSize * 0.9, y);
        painter.setPen(Qt::NoPen);
        painter.setBrush(ItemColour(item));
        painter.drawEllipse(swatch, dot, dot);
        painter.setPen(QColor(20, 20, 20));
        const double meanCarry =
            shot::ToDisplayDistance(std::hypot(s.meanAlong, s.meanOffline), unitIndex);
        const double spread =
            shot::ToDisplayDistance(std::sqrt(std::max(0.0, s.varOffline)), unitIndex);
        DrawTextAt(painter, swatch + QPointF(textSize * 0.8, 0), Qt::AlignLeft | Qt::AlignVCenter,
                   TextOf(base::MessageId::kDrawItemSummary)
                       .arg(QString::fromStdString(session.items[item]))
                       .arg(s.count)
                       .arg(meanCarry, 0, 'f', 1)
                       .arg(label)
                       .arg(spread, 0, 'f', 1));
        y += textSize * 1.35;
    }
    painter.restore();
}

}  // namespace kyvern::report
