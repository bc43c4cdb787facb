#include "report/impact_drawing.h"

#include <QPainter>
#include <QPainterPath>
#include <algorithm>
#include <cmath>
#include <cstdio>

#include "report/shot_drawing.h"
#include "shot/text_formats.h"
#include "shot/units.h"

namespace kyvern::report {
namespace {

constexpr double kDegrees = M_PI / 180.0;
const QColor kPathColour(30, 90, 220);
const QColor kFaceColour(215, 30, 30);
const QColor kClubColour(70, 75, 85);
const QColor kLaunchColour(20, 150, 50);

std::string Degrees(const shot::ClubValue& value) {
    if (!value.Present()) return shot::kNoFigure;
    char text[32];
    std::snprintf(text, sizeof text, "%.1f\u00b0", value.Value());
    return text;
}

QString Signed(double degrees) { return QStringLiteral("%1\u00b0").arg(degrees, 0, 'f', 1); }

void Arrow(QPainter& painter, const QPointF& from, const QPointF& to, double head) {
    painter.drawLine(from, to);
    const QPointF d = to - from;
    const double length = std::hypot(d.x(), d.y());
    if (length <= 0.0) return;
    const QPointF u = d / length;
    const QPointF n(-u.y(), u.x());
    QPolygonF tip;
    tip << to << to - u * head + n * head * 0.45 << to - u * head - n * head * 0.45;
    const QBrush old = painter.brush();
    painter.setBrush(painter.pen().color());
    painter.drawPolygon(tip);
    painter.setBrush(old);
}

void Caption(QPainter& painter, const QRectF& box, double textSize, const QString& text) {
    painter.setFont(DrawingFont(textSize, true));
    painter.setPen(QColor(40, 40, 40));
    DrawTextAt(painter, QPointF(box.center().x(), box.top() + textSize * 0.3),
               Qt::AlignHCenter | Qt::AlignTop, text);
}

// The angles of a picture, one line each in the colour of what they measure, at its bottom left.
void Labels(QPainter& painter, const QRectF& box, double textSize,
            std::initializer_list<std::pair<QColor, QString>> lines) {
    painter.setFont(DrawingFont(textSize, true));
    double y = box.bottom() - textSize * 0.5 - textSize * 1.3 * (lines.size() - 1);
    for (const auto& [colour, text] : lines) {
        painter.setPen(colour);
        DrawTextAt(painter, QPointF(box.left() + textSize * 0.5, y),
                   Qt::AlignLeft | Qt::AlignBottom, text);
        y += textSize * 1.3;
    }
}

// From above, target up: the path through the ball, the face square to its angle, the ball's
// start line.
void DrawFromAbove(QPainter& painter, const QRectF& box, const shot::ShotRecord* shot,
                   double textSize, double line) {
    painter.fillRect(box, QColor(226, 240, 216));
    Caption(painter, box, textSize, TextOf(base::MessageId::kDrawFromAbove));
    const double size = std::min(box.width(), box.height());
    const QPointF ball(box.center().x(), box.top() + box.height() * 0.52);
    const double r = size * 0.045;
    const double reach = size * 0.36;

    painter.setPen(QPen(QColor(120, 120, 120), line, Qt::DashLine));
    painter.drawLine(QPointF(ball.x(), box.top() + textSize * 2.2),
                     QPointF(ball.x(), box.bottom() - textSize * 0.5));
    painter.setFont(DrawingFont(textSize * 0.85));
    painter.setPen(QColor(90, 90, 90));
    DrawTextAt(painter, QPointF(ball.x() + textSize * 0.3, box.top() + textSize * 2.3),
               Qt::AlignLeft | Qt::AlignTop, TextOf(base::MessageId::kDrawTarget));

    const double path = shot ? shot->club.pathAngle.Value() : 0.0;
    const double face = shot ? shot->club.faceAngle.Value() : 0.0;
    const double side = shot ? shot->launch.sideAngle : 0.0;
    auto along = [&](double degrees, double distance) {
        return ball +
               QPointF(std::sin(degrees * kDegrees), -std::cos(degrees * kDegrees)) * distance;
    };
    if (shot) {
        // The ball's start line.
        painter.setPen(QPen(kLaunchColour, line * 1.2, Qt::DotLine));
        Arrow(painter, along(side, r * 1.2), along(side, reach), line * 7);
        // The club's path, arriving from behind the ball.
        painter.setPen(QPen(kPathColour, line * 2.2));
        Arrow(painter, along(path, -reach), along(path, reach * 0.55), line * 9);
    }
    // The club head behind the ball, turned to the face angle.
    painter.save();
    painter.translate(ball);
    painter.rotate(face);
    const double width = size * 0.3;
    const double depth = size * 0.1;
    QPainterPath head;
    head.addRoundedRect(QRectF(-width / 2, r, width, depth), depth * 0.4, depth * 0.4);
    painter.setPen(QPen(kClubColour.darker(130), line));
    painter.setBrush(kClubColour);
    painter.drawPath(head);
    painter.setPen(QPen(kFaceColour, line * 2.5));
    painter.drawLine(QPointF(-width / 2, r), QPointF(width / 2, r));
    if (shot) {
        painter.setPen(QPen(kFaceColour, line * 1.5));
        Arrow(painter, QPointF(width * 0.36, r), QPointF(width * 0.36, r - reach * 0.45), line * 7);
    }
    painter.restore();
    painter.setPen(QPen(QColor(150, 150, 150), line));
    painter.setBrush(Qt::white);
    painter.drawEllipse(ball, r, r);

    if (!shot) return;
    Labels(painter, box, textSize,
           {{kPathColour, TextOf(base::MessageId::kDrawPath) + ' ' + Signed(path)},
            {kFaceColour, TextOf(base::MessageId::kDrawFace) + ' ' + Signed(face)},
            {kLaunchColour, TextOf(base::MessageId::kDrawStart) + ' ' + Signed(side)}});
}

// From the side, target right: the club's descent or ascent into the ball, the face laid back
// by the effective loft, the launch line.
void DrawFromSide(QPainter& painter, const QRectF& box, const shot::ShotRecord* shot,
                  double textSize, double line) {
    painter.fillRect(box, QColor(232, 242, 252));
    Caption(painter, box, textSize, TextOf(base::MessageId::kDrawFromSide));
    const double size = std::min(box.width(), box.height());
    const double groundY = box.top() + box.height() * 0.68;
    const double r = size * 0.045;
    const QPointF ball(box.center().x() + size * 0.06, groundY - r);
    const double reach = size * 0.36;
    painter.fillRect(QRectF(QPointF(box.left(), groundY), box.bottomRight()),
                     QColor(176, 214, 156));
    painter.setPen(QPen(QColor(40, 130, 50), line * 1.5));
    painter.drawLine(QPointF(box.left(), groundY), QPointF(box.right(), groundY));

    const double attack = shot ? shot->club.angleOfAttack.Value() : 0.0;
    const double loft = shot ? shot->club.effectiveLoft.Value() : 0.0;
    const double launch = shot ? shot->launch.launchAngle : 0.0;
    auto along = [&](double degrees, double distance) {
        return ball +
               QPointF(std::cos(degrees * kDegrees), -std::sin(degrees * kDegrees)) * distance;
    };
    if (shot) {
        painter.setPen(QPen(kLaunchColour, line * 1.2, Qt::DotLine));
        Arrow(painter, along(launch, r * 1.2), along(launch, reach), line * 7);
        painter.setPen(QPen(kPathColour, line * 2.2));
        Arrow(painter, along(attack, -reach), along(attack, reach * 0.5), line * 9);
    }
    // The club head meets the back of the ball, its face laid back by the loft; the shaft
    // rises from the back of the head.
    const double height = size * 0.14;
    const double depth = size * 0.07;
    const QPointF contact = ball - QPointF(r, 0);
    const QPointF up(-std::sin(loft * kDegrees), -std::cos(loft * kDegrees));
    const QPointF faceBottom = contact - up * (height * 0.25);
    const QPointF faceTop = contact + up * (height * 0.75);
    QPolygonF head;
    head << faceBottom << faceTop << faceTop - QPointF(depth * 0.5, 0)
         << QPointF(std::min(faceBottom.x(), faceTop.x()) - depth, faceBottom.y()) << faceBottom;
    painter.setPen(QPen(kClubColour, line * 2));
    const QPointF hosel = faceTop - QPointF(depth * 0.35, 0);
    painter.drawLine(hosel, hosel + QPointF(-height * 0.45, -height * 2.6));
    painter.setPen(QPen(kClubColour.darker(130), line, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    painter.setBrush(kClubColour);
    painter.drawPolygon(head);
    painter.setPen(QPen(kFaceColour, line * 2.5));
    painter.drawLine(faceBottom, faceTop);
    painter.setPen(QPen(QColor(150, 150, 150), line));
    painter.setBrush(Qt::white);
    painter.drawEllipse(ball, r, r);

    if (!shot) return;
    Labels(painter, box, textSize,
           {{kPathColour, TextOf(base::MessageId::kDrawAttack) + ' ' + Signed(attack)},
            {kFaceColour, TextOf(base::MessageId::kDrawLoft) + ' ' + Signed(loft)},
            {kLaunchColour, TextOf(base::MessageId::kDrawLaunch) + ' ' + Signed(launch)}});
}

}  // namespace

ImpactOptions ReadImpactOptions(const base::SettingsSnapshot& settings) {
    ImpactOptions options;
    options.speedUnit = shot::ReadSpeedUnit(settings, 0);
    options.showNumbers = settings.Yes(base::setting::kShowImpactData);
    return options;
}

std::vector<std::pair<std::string, std::string>> ImpactNumbers(const shot::ShotRecord& shot,
                                                               int speedUnit) {
    const shot::ClubData& c = shot.club;
    std::vector<std::pair<std::string, std::string>> rows;
    char text[48];
    if (c.clubSpeed.Present()) {
        std::snprintf(text, sizeof text, "%.1f %s",
                      shot::ToDisplaySpeed(c.clubSpeed.Value(), speedUnit),
                      shot::SpeedLabel(speedUnit));
        rows.emplace_back("Club speed", text);
    } else {
        rows.emplace_back("Club speed", shot::kNoFigure);
    }
    rows.emplace_back("Attack angle", Degrees(c.angleOfAttack));
    rows.emplace_back("Club path", Degrees(c.pathAngle));
    rows.emplace_back("Face angle", Degrees(c.faceAngle));
    if (c.faceAngle.Present() && c.pathAngle.Present()) {
        std::snprintf(text, sizeof text, "%.1f\u00b0", c.faceAngle.Value() - c.pathAngle.Value());
        rows.emplace_back("Face to path", text);
    } else {
        rows.emplace_back("Face to path", shot::kNoFigure);
    }
    rows.emplace_back("Effective loft", Degrees(c.effectiveLoft));
    if (c.clubSpeed.Value() > 0.0 && shot.launch.ballSpeed > 0.0) {
        std::snprintf(text, sizeof text, "%.2f", shot.launch.ballSpeed / c.clubSpeed.Value());
        rows.emplace_back("Smash factor", text);
    } else {
        rows.emplace_back("Smash factor", shot::kNoFigure);
    }
    // Only a sensor gives these.
    const std::pair<const char*, const shot::ClubValue*> sensor[] = {
        {"Face rotation", &c.faceRotation}, {"Tempo", &c.tempo}, {"From toe", &c.dxFromToe}};
    for (const auto& [name, value] : sensor) {
        if (value->Present()) rows.emplace_back(name, shot::FormatValue(value->Value()));
    }
    return rows;
}

void DrawImpact(QPainter& painter, const QRectF& rect, const shot::ShotRecord* shot,
                const ImpactOptions& options) {
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing, true);
    painter.setClipRect(rect);
    painter.fillRect(rect, Qt::white);
    const auto [textSize, line] = ScaleOf(rect, 0.026);
    const double top = rect.top() + (options.title ? textSize * 2.6 : textSize * 0.5);
    if (options.title) {
        painter.setFont(DrawingFont(textSize * 1.3, true));
        painter.setPen(QColor(30, 30, 30));
        QString title = TextOf(base::MessageId::kDrawImpactTitle);
        if (shot && !shot->item.empty())
            title += TextOf(base::MessageId::kDrawItemShot)
                         .arg(QString::fromStdString(shot->item))
                         .arg(shot->shotNumber);
        DrawTextAt(painter, QPointF(rect.left() + textSize, rect.top() + textSize * 0.6),
                   Qt::AlignLeft | Qt::AlignTop, title);
    }
    const double numbersWidth = options.showNumbers ? rect.width() * 0.3 : 0.0;
    const double gap = textSize * 0.6;
    const double pictureWidth = (rect.width() - numbersWidth - 3 * gap) / 2;
    const double pictureHeight = rect.bottom() - top - gap;
    const QRectF above(rect.left() + gap, top, pictureWidth, pictureHeight);
    const QRectF side(above.right() + gap, top, pictureWidth, pictureHeight);
    DrawFromAbove(painter, above, shot, textSize, line);
    DrawFromSide(painter, side, shot, textSize, line);

    if (!shot) {
        painter.setFont(DrawingFont(textSize * 1.2));
        painter.setPen(QColor(110, 110, 110));
        DrawTextAt(painter, QPointF(rect.center().x(), top + pictureHeight * 0.2), Qt::AlignCenter,
                   TextOf(base::MessageId::kDrawNoShot));
    }
    if (options.showNumbers) {
        const QRectF box(side.right() + gap, top, numbersWidth - gap, pictureHeight);
        painter.fillRect(box, QColor(245, 245, 245));
        const auto rows = shot ? ImpactNumbers(*shot, options.speedUnit)
                               : std::vector<std::pair<std::string, std::string>>{};
        const double rowHeight = std::min(textSize * 2.2, box.height() / 11);
        double y = box.top() + rowHeight * 0.8;
        for (const auto& [name, value] : rows) {
            painter.setFont(DrawingFont(textSize * 0.8));
            painter.setPen(QColor(90, 90, 90));
            DrawTextAt(painter, QPointF(box.left() + textSize * 0.6, y),
                       Qt::AlignLeft | Qt::AlignVCenter, QString::fromStdString(name));
            painter.setFont(DrawingFont(textSize * 0.95, true));
            painter.setPen(QColor(20, 20, 20));
            DrawTextAt(painter, QPointF(box.right() - textSize * 0.6, y),
                       Qt::AlignRight | Qt::AlignVCenter, QString::fromUtf8(value.c_str()));
            y += rowHeight;
        }
        if (shot && shot->club.loftMismatch) {
            painter.setFont(DrawingFont(textSize * 0.8));
            painter.setPen(kFaceColour);
            DrawTextAt(painter, QPointF(box.left() + textSize * 0.6, y),
                       Qt::AlignLeft | Qt::AlignVCenter,
                       QStringLiteral("Effective loft far from the club's loft"));
        }
    }
    painter.restore();
}

}  // namespace kyvern::report
