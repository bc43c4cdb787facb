#include "report/panel_drawing.h"

#include <QPainter>
#include <algorithm>
#include <cmath>
#include <cstdio>

#include "base/string_table.h"
#include "report/green_drawing.h"
#include "report/profile_drawing.h"
#include "report/shot_drawing.h"
#include "shot/text_formats.h"
#include "shot/units.h"

namespace kyvern::report {
namespace {

using base::MessageId;

std::string Label(MessageId id) { return std::string(base::Text(id)); }

std::string Number(const char* format, double value, const char* unit) {
    char text[64];
    std::snprintf(text, sizeof text, format, value, unit);
    return text;
}

}  // namespace

bool LandingFigures(const flight::FlightResult& flight, double& descentAngle, double& speed) {
    const int k = LandingIndex(flight);
    if (k < 1 || flight.pointCount < 2) return false;
    const double dx = flight.pointX[k] - flight.pointX[k - 1];
    const double dz = flight.pointZ[k] - flight.pointZ[k - 1];
    const double dy = flight.pointHeight[k] - flight.pointHeight[k - 1];
    const double ground = std::hypot(dx, dz);
    descentAngle = std::atan2(-dy, ground) * 180.0 / M_PI;
    // Points in flight are 0.1 s apart.
    speed = std::sqrt(ground * ground + dy * dy) / 0.1;
    return true;
}

std::array<PanelText, 3> InfoPanels(const shot::ShotRecord* shot, const std::string& scoreLabel,
                                    const base::SettingsSnapshot& settings) {
    using base::setting::kBallInfoFontColor;
    using base::setting::kClubInfoFontColor;
    using base::setting::kFlightInfoFontColor;
    const int d = shot::ReadDistanceUnit(settings, 0);
    const int s = shot::ReadSpeedUnit(settings, 0);
    const char* dl = shot::DistanceLabel(d);
    const char* sl = shot::SpeedLabel(s);
    const std::string none = shot::kNoFigure;
    std::array<PanelText, 3> panels;
    panels[kBallPanel].title = Label(MessageId::kPanelBall);
    panels[kClubPanel].title = Label(MessageId::kPanelClub);
    panels[kFlightPanel].title = Label(MessageId::kPanelFlight);
    panels[kBallPanel].colour = ColourOfNumber(settings.Integer(kBallInfoFontColor));
    panels[kClubPanel].colour = ColourOfNumber(settings.Integer(kClubInfoFontColor));
    panels[kFlightPanel].colour = ColourOfNumber(settings.Integer(kFlightInfoFontColor));

    auto& ball = panels[kBallPanel].lines;
    const shot::LaunchConditions* l = shot ? &shot->launch : nullptr;
    ball.emplace_back(Label(MessageId::kColumnBallSpeed),
                      l ? Number("%.1f %s", shot::ToDisplaySpeed(l->ballSpeed, s), sl) : none);
    ball.emplace_back(Label(MessageId::kColumnLaunchAngle),
                      l ? Number("%.1f\u00b0%s", l->launchAngle, "") : none);
    ball.emplace_back(Label(MessageId::kColumnSideAngle),
                      l ? shot::FormatOffline(l->sideAngle) : none);
    // A doubtful spin keeps its figure, marked, and says so on a line of its own.
    const char* rpm = l && l->spinDoubtful ? "rpm?" : "rpm";
    ball.emplace_back(Label(MessageId::kColumnBackSpin),
                      l ? Number("%.0f %s", l->backSpin, rpm) : shot::kNoSpinFigure);
    ball.emplace_back(Label(MessageId::kColumnSideSpin),
                      l ? Number("%.0f %s", l->sideSpin, rpm) : shot::kNoSpinFigure);
    if (settings.Yes(base::setting::kTotalSpinDisplay))
        ball.emplace_back(Label(MessageId::kColumnTotalSpin),
                          l ? Number("%.0f %s", l->totalSpin, rpm) : shot::kNoSpinFigure);
    if (l && l->spinDoubtful)
        ball.emplace_back(Label(MessageId::kSpinDoubtfulLabel),
                          Label(MessageId::kSpinDoubtfulValue));

    auto& club = panels[kClubPanel].lines;
    const shot::ClubData* c = shot ? &shot->club : nullptr;
    auto degrees = [&](const shot::ClubValue* v) {
        return v && v->Present() ? Number("%.1f\u00b0%s", v->Value(), "") : none;
    };
    club.emplace_back(Label(MessageId::kColumnClubSpeed),
                      c && c->clubSpeed.Present()
                          ? Number("%.1f %s", shot::ToDisplaySpeed(c->clubSpeed.Value(), s), sl)
                          : none);
    club.emplace_back(Label(MessageId::kColumnAngleOfAttack),
                      degrees(c ? &c->angleOfAttack : nullptr));
    club.emplace_back(Label(MessageId::kColumnPathAngle), degrees(c ? &c->pathAngle : nullptr));
    club.emplace_back(Label(MessageId::kColumnFaceAngle), degrees(c ? &c->faceAngle : nullptr));
    club.emplace_back(Label(MessageId::kColumnEffectiveLoft),
                      degrees(c ? &c->effectiveLoft : nullptr));
    if (!scoreLabel.empty())
        club.emplace_back(scoreLabel, shot ? shot::FormatShotScore(shot->shotScore) : none);

    auto& flight = panels[kFlightPanel].lines;
    const flight::FlightResult* f = shot ? &shot->flight : nullptr;
    auto distance = [&](double yards) {
        return Number("%.1f %s", shot::ToDisplayDistance(yards, d), dl);
    };
    auto offline = [&](double yards) {
        return OfflineWithUnit(shot::ToDisplayDistance(yards, d), dl);
    };
    flight.emplace_back(Label(MessageId::kColumnCarry), f ? distance(f->carry) : none);
    flight.emplace_back(Label(MessageId::kColumnOffline), f ? offline(f->carryOffline) : none);
    flight.emplace_back(Label(MessageId::kColumnTotal), f ? distance(f->total) : none);
    flight.emplace_back(Label(MessageId::kPanelTotalOffline), f ? offline(f->totalOffline) : none);
    flight.emplace_back(Label(MessageId::kColumnMaxHeight), f ? distance(f->maxHeight) : none);
    flight.emplace_back(Label(MessageId::kColumnFlightTime),
                        f ? Number("%.1f %s", f->flightTime, "s") : none);
    if (settings.Yes(base::setting::kTerminalDisplay)) {
        double descent = 0.0;
        double speed = 0.0;
        const bool landed = f && LandingFigures(*f, descent, speed);
        flight.emplace_back(Label(MessageId::kPanelDescentAngle),
                            landed ? Number("%.1f\u00b0%s", descent, "") : none);
        flight.emplace_back(Label(MessageId::kPanelLandingSpeed),
                            landed ? Number("%.1f %s", shot::ToDisplaySpeed(speed, s), sl) : none);
    }
    if (shot && shot->launch.putt) PuttPanels(*shot, d, panels);
    return panels;
}

std::string OfflineWithUnit(double offline, const char* label) {
    const std::string text = shot::FormatOffline(offline);
    return text == "center"
               ? text
               : text.substr(0, text.size() - 2) + " " + label + " " + text.substr(text.size() - 1);
}

double PuttBreak(const shot::ShotRecord& shot) {
    return PuttBreak(shot.flight.total, shot.flight.totalOffline, shot.launch.sideAngle);
}

void PuttPanels(const shot::ShotRecord& shot, int distanceUnit, std::array<PanelText, 3>& panels) {
    // A green is read in feet, or in metres by those who read the course so.
    const int unit = distanceUnit == shot::kMeters ? shot::kMeters : shot::kFeet;
    const char* label = shot::DistanceLabel(unit);
    auto offline = [&](double yards) {
        return OfflineWithUnit(shot::ToDisplayDistance(yards, unit), label);
    };
    // Speed and launch stand; the start line is the side angle; a putt's spin is not measured.
    auto& ball = panels[kBallPanel].lines;
    ball.resize(2);
    ball.emplace_back(Label(MessageId::kPanelStartLine),
                      shot::FormatOffline(shot.launch.sideAngle));
    // The club's delivery is inferred for full shots only.
    for (auto& [text, value] : panels[kClubPanel].lines)
        value = shot::kNoFigure;
    PanelText& roll = panels[kFlightPanel];
    roll.title = Label(MessageId::kPanelPutt);
    roll.lines.clear();
    const flight::FlightResult& f = shot.flight;
    roll.lines.emplace_back(Label(MessageId::kPanelRoll),
                            Number("%.1f %s", shot::ToDisplayDistance(f.roll, unit), label));
    roll.lines.emplace_back(Label(MessageId::kPanelTotalOffline), offline(f.totalOffline));
    roll.lines.emplace_back(Label(MessageId::kPanelBreak), offline(PuttBreak(shot)));
    roll.lines.emplace_back(Label(MessageId::kPanelRollTime), Number("%.1f %s", f.flightTime, "s"));
}

QColor PanelBackground(const QColor& text) {
    // By how bright the eye finds the colour: pure yellow is light, pure blue dark.
    const double luma = 0.299 * text.red() + 0.587 * text.green() + 0.114 * text.blue();
    return luma > 140.0 ? QColor(28, 34, 42) : QColor(246, 246, 240);
}

void DrawInfoPanel(QPainter& painter, const QRectF& rect, const PanelText& panel) {
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing, true);
    painter.setClipRect(rect);
    painter.fillRect(rect, PanelBackground(panel.colour));
    const int rows = static_cast<int>(panel.lines.size()) + 1;
    const double rowHeight = rect.height() / (rows + 0.5);
    const double textSize =
        std::clamp(std::min(rowHeight * 0.62, rect.width() * 0.075), 6.0, 400.0);
    const double margin = textSize * 0.5;
    painter.setPen(panel.colour);
    painter.setFont(DrawingFont(textSize * 1.05, true));
    DrawTextAt(painter, QPointF(rect.left() + margin, rect.top() + rowHeight * 0.75),
               Qt::AlignLeft | Qt::AlignVCenter, QString::fromUtf8(panel.title.c_str()));
    double y = rect.top() + rowHeight * 1.75;
    for (const auto& [label, value] : panel.lines) {
        painter.setFont(DrawingFont(textSize * 0.85));
        DrawTextAt(painter, QPointF(rect.left() + margin, y), Qt::AlignLeft | Qt::AlignVCenter,
                   QString::fromUtf8(label.c_str()));
        painter.setFont(DrawingFont(textSize, true));
        DrawTextAt(painter, QPointF(rect.right() - margin, y), Qt::AlignRight | Qt::AlignVCenter,
                   QString::fromUtf8(value.c_str()));
        y += rowHeight;
    }
    painter.restore();
}

}  // namespace kyvern::report
