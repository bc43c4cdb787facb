#include "report/shot_drawing.h"

#include <QFontMetricsF>
#include <QPainter>
#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <utility>

#include "base/config_store.h"
#include "data/text_format.h"
#include "flight/flight_model.h"
#include "shot/units.h"

namespace kyvern::report {
namespace {

// The drop-down list's order of the colour names (its numbers in brackets).
constexpr std::array<const char*, 6> kDropDownOrder{"None",  "Blue",   "Red",
                                                    "Green", "Yellow", "Black"};

int NameIndex(std::string_view name) {
    for (std::size_t i = 0; i < shot::kPlotColourNames.size(); ++i) {
        if (base::EqualsNoCase(name, shot::kPlotColourNames[i])) return static_cast<int>(i);
    }
    return -1;
}

shot::LaunchConditions LaunchOf(const data::ShotEntry& e) {
    shot::LaunchConditions launch;
    launch.Set(e.ballSpeed, e.launchAngle, e.sideAngle, e.totalSpin, e.backSpin, e.sideSpin);
    launch.putt = e.rolled.has_value();
    launch.spinDoubtful = e.spinDoubtful;
    return launch;
}

// A putt's path as the table keeps it: out along the start line, bending to the rest point
// (a quadratic curve), on the ground, in feet.
flight::FlightResult RollOf(const data::ShotEntry& e) {
    flight::FlightResult path;
    static_cast<flight::FlightSummary&>(path) = *e.rolled;
    const double rest = path.total * 3.0;
    const double offline = path.totalOffline * 3.0;
    const double downrange = std::sqrt(std::max(0.0, rest * rest - offline * offline));
    const double line = e.sideAngle * M_PI / 180.0;
    // The control point: halfway out along the start line.
    const double cx = rest / 2.0 * std::cos(line);
    const double cz = rest / 2.0 * std::sin(line);
    path.pointCount = 21;
    for (int i = 0; i < path.pointCount; ++i) {
        const double t = i / 20.0;
        const auto k = static_cast<std::size_t>(i);
        path.pointX[k] = 2 * t * (1 - t) * cx + t * t * downrange;
        path.pointZ[k] = 2 * t * (1 - t) * cz + t * t * offline;
    }
    return path;
}

// The recorded shot flown again in its own air: the same operations give the same trajectory.
flight::FlightResult FlightOf(const data::ShotValues& v) {
    const data::ShotEntry& e = v.entry;
    if (e.rolled) return RollOf(e);
    flight::FlightModel model(v.flown);
    const shot::TrustedSpins spins = data::FlownSpins(e);
    model.Compute(e.ballSpeed, e.launchAngle, spins.back, spins.side, e.sideAngle);
    return model.Result();
}

}  // namespace

int PlotColourOfCell(std::string_view cell) {
    cell = base::Trim(cell);
    const std::size_t end = cell.find_first_of(" (");
    const int byName = NameIndex(base::Trim(cell.substr(0, end)));
    if (byName >= 0) return byName;
    const std::size_t open = cell.find('(');
    if (open != std::string_view::npos && open + 1 < cell.size()) {
        const int n = cell[open + 1] - '0';
        if (n >= 0 && n < static_cast<int>(kDropDownOrder.size()))
            return std::max(0, NameIndex(kDropDownOrder[n]));
    }
    return 0;
}

QColor PlotColour(int plotColour) {
    switch (plotColour) {
        case 1:
            return QColor(20, 20, 20);
        case 2:
            return QColor(30, 90, 220);
        case 3:
            return QColor(215, 30, 30);
        case 4:
            return QColor(20, 150, 50);
        case 5:
            return QColor(215, 170, 0);
        default:
            return QColor(120, 120, 120);
    }
}

QColor ItemColour(int itemIndex) {
    static const std::array<QColor, 8> kColours{
        QColor(30, 90, 220),  QColor(215, 30, 30), QColor(20, 150, 50), QColor(215, 140, 0),
        QColor(130, 50, 170), QColor(0, 150, 160), QColor(150, 90, 40), QColor(90, 90, 90)};
    return kColours[static_cast<std::size_t>(std::abs(itemIndex)) % kColours.size()];
}

QColor ColourOfNumber(long number) {
    const unsigned long n = static_cast<unsigned long>(number) & 0xFFFFFFul;
    return QColor(static_cast<int>(n & 0xFF), static_cast<int>((n >> 8) & 0xFF),
                  static_cast<int>((n >> 16) & 0xFF));
}

shot::ShotRecord ShotOfRow(const data::ShotTable& table, int row,
                           const base::SettingsSnapshot& settings) {
    shot::ShotRecord record;
    if (row < 1 || row >= table.RowCount() || table.IsGroupRow(row)) return record;
    data::ShotValues spare;
    const data::ShotValues& v =
        table.ValuesOrCells(row, flight::ReadFlightOptions(settings), spare);
    const data::ShotEntry& e = v.entry;
    record.launch = LaunchOf(e);
    shot::ClubData& club = record.club;
    club.clubSpeed.Set(e.clubSpeed);
    club.angleOfAttack.Set(e.attackAngle);
    club.pathAngle.Set(e.pathAngle);
    club.faceAngle.Set(e.faceAngle);
    club.effectiveLoft.Set(e.effectiveLoft);
    club.clubMass.Set(e.clubMass);
    club.clubLoft.Set(e.clubLoft);
    record.shotScore = e.score;
    record.flight = FlightOf(v);
    record.user = table.Cell(row, data::kUserColumn);
    record.session = table.Cell(row, data::kSessionColumn);
    record.item = table.ItemOf(row);
    record.shotNumber = data::ReadLong(table.Cell(row, data::kShotColumn));
    record.when = table.Cell(row, data::kWhenColumn);
    record.units = table.Cell(row, data::kUnitsColumn);
    record.plotColour = PlotColourOfCell(table.Cell(row, data::kPlotColumn));
    return record;
}

SessionPicture CollectSession(const data::ShotTable& table, const base::SettingsSnapshot& settings,
                              bool everyTrajectory) {
    SessionPicture picture;
    picture.distanceUnit = shot::ReadDistanceUnit(settings, 0);
    picture.speedUnit = shot::ReadSpeedUnit(settings, 0);
    picture.shots.reserve(static_cast<std::size_t>(table.RowCount()));
    const flight::FlightOptions air = flight::ReadFlightOptions(settings);
    base::OptionsReader reader(settings);
    picture.green = flight::ReadGreen(reader);
    int groupColour = 0;
    data::ShotValues spare;
    for (int row = 1; row < table.RowCount(); ++row) {
        if (table.IsGroupRow(row)) {
            picture.items.push_back(table.Cell(row, data::kItemColumn));
            groupColour = PlotColourOfCell(table.Cell(row, data::kPlotColumn));
            continue;
        }
        SessionShot s;
        s.row = row;
        s.itemIndex = std::max(0, static_cast<int>(picture.items.size()) - 1);
        s.number = data::ReadLong(table.Cell(row, data::kShotColumn));
        const int own = PlotColourOfCell(table.Cell(row, data::kPlotColumn));
        s.plotColour = own != 0 ? own : groupColour;
        s.current = row == table.CurrentRow();
        // The distances the table and the panel show, unrounded; only a drawn trajectory is
        // flown again, in the shot's own air.
        const data::ShotValues& v = table.ValuesOrCells(row, air, spare);
        s.launch = LaunchOf(v.entry);
        s.carry = v.flight.carry;
        s.carryOffline = v.flight.carryOffline;
        s.total = v.flight.total;
        s.totalOffline = v.flight.totalOffline;
        s.maxHeight = v.flight.maxHeight;
        // A putt's path is short and cheap, and the green shows every one.
        if (everyTrajectory || s.current || s.plotColour != 0 || v.entry.rolled) {
            s.flight = std::make_shared<const flight::FlightResult>(FlightOf(v));
        }
        if (s.current) picture.current = static_cast<int>(picture.shots.size());
        picture.shots.push_back(std::move(s));
    }
    return picture;
}

std::string Format1(double value, const char* suffix) {
    char text[64];
    std::snprintf(text, sizeof text, "%.1f%s", value, suffix);
    return text;
}

double NiceStep(double span, int targetTicks) {
    if (!(span > 0.0) || targetTicks < 1) return 1.0;
    const double raw = span / targetTicks;
    const double power = std::pow(10.0, std::floor(std::log10(raw)));
    const double f = raw / power;
    const double nice = f <= 1.0 ? 1.0 : f <= 2.0 ? 2.0 : f <= 5.0 ? 5.0 : 10.0;
    return nice * power;
}

QString TextOf(base::MessageId id) {
    const std::string_view text = base::Text(id);
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

QFont DrawingFont(double pixelHeight, bool bold) {
    QFont font(QStringLiteral("DejaVu Sans"));
    font.setStyleHint(QFont::SansSerif);
    // Without shaping no ligature joins letters, so a PDF's text reads back as written.
    font.setStyleStrategy(QFont::PreferNoShaping);
    font.setPixelSize(std::max(1, static_cast<int>(std::lround(pixelHeight))));
    font.setBold(bold);
    return font;
}

void DrawTextAt(QPainter& painter, const QPointF& at, int alignment, const QString& text) {
    const QFontMetricsF metrics(painter.font(), painter.device());
    const double width = metrics.horizontalAdvance(text);
    double x = at.x() - width / 2;
    if (alignment & Qt::AlignLeft) x = at.x();
    if (alignment & Qt::AlignRight) x = at.x() - width;
    double y = at.y() + (metrics.ascent() - metrics.descent()) / 2;
    if (alignment & Qt::AlignTop) y = at.y() + metrics.ascent();
    if (alignment & Qt::AlignBottom) y = at.y() - metrics.descent();
    painter.drawText(QPointF(x, y), text);
}

double FeetToDisplay(double feet, int distanceUnit) {
    return shot::ToDisplayDistance(feet / 3.0, distanceUnit);
}

ViewScale ScaleOf(const QRectF& rect, double textShare) {
    const double size = std::min(rect.width(), rect.height() * 1.4);
    return {std::clamp(size * textShare, 7.0, 200.0), std::max(1.0, size * 0.0025)};
}

void DrawViewTitle(QPainter& painter, const QRectF& rect, double textSize, const QString& text) {
    painter.setFont(DrawingFont(textSize * 1.3, true));
    painter.setPen(QColor(30, 30, 30));
    DrawTextAt(painter, QPointF(rect.left() + textSize, rect.top() + textSize * 0.6),
               Qt::AlignLeft | Qt::AlignTop, text);
}

void DrawViewTitle(QPainter& painter, const QRectF& rect, double textSize, base::MessageId title,
                   const SessionPicture& session) {
    QString text = TextOf(title);
    if (const SessionShot* c = session.Current()) {
        text += TextOf(base::MessageId::kDrawItemShot)
                    .arg(QString::fromStdString(session.items[c->itemIndex]))
                    .arg(c->number);
    }
    DrawViewTitle(painter, rect, textSize, text);
}

void DrawOfflineTicks(QPainter& painter, double halfWidth, double step,
                      const std::function<double(double)>& xOf, double y) {
    for (double o = -halfWidth; o <= halfWidth + 1e-9; o += step) {
        const QString side = std::fabs(o) < 1e-9
                                 ? QStringLiteral("0")
                                 : QStringLiteral("%1 %2")
                                       .arg(std::fabs(o), 0, 'g', 6)
                                       .arg(TextOf(o < 0 ? base::MessageId::kRangeLeft
                                                         : base::MessageId::kRangeRight));
        // The outermost labels stay inside the picture.
        const int across = o < -halfWidth + 1e-9  ? Qt::AlignLeft
                           : o > halfWidth - 1e-9 ? Qt::AlignRight
                                                  : Qt::AlignHCenter;
        DrawTextAt(painter, QPointF(xOf(o), y), across | Qt::AlignTop, side);
    }
}

}  // namespace kyvern::report
