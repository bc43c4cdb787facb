#include "report/shot_drawing.h"

#include <QFontMetricsF>
#include <QPainter>
#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <cstdlib>

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

// The distance and speed unit a Units cell names ("Yards MPH"); the fallbacks when it names none.
void UnitsOfCell(std::string_view text, int& distance, int& speed) {
    const std::size_t blank = text.find(' ');
    if (blank == std::string_view::npos) return;
    for (int i = 0; i < 3; ++i) {
        if (base::EqualsNoCase(text.substr(0, blank), data::ShotTable::DistanceWord(i)))
            distance = i;
    }
    const std::string_view word = base::Trim(text.substr(blank + 1));
    for (int i = shot::kMph; i <= shot::kMps; ++i) {
        if (base::EqualsNoCase(word, shot::SpeedLabel(i))) speed = i;
    }
    if (base::EqualsNoCase(word, "KPH")) speed = shot::kKph;
}

double CellNumber(const data::ShotTable& table, int row, int column) {
    return data::ReadDouble(table.Cell(row, column));
}

// A shot row's launch in the internal units; distance and speed become the units its values are
// in (its Units cell, else the table's).
shot::LaunchConditions LaunchOfRow(const data::ShotTable& table, int row, int& distance,
                                   int& speed) {
    distance = table.DistanceUnit();
    speed = table.SpeedUnit();
    UnitsOfCell(table.Cell(row, data::kUnitsColumn), distance, speed);
    auto number = [&](int column) { return CellNumber(table, row, column); };
    shot::LaunchConditions launch;
    launch.Set(shot::ConvertSpeed(number(data::kBallSpeedColumn), speed, shot::kFps),
               number(data::kLaunchAngleColumn), number(data::kSideAngleColumn),
               number(data::kTotalSpinColumn), number(data::kBackSpinColumn),
               number(data::kSideSpinColumn));
    return launch;
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
    int distance = 0;
    int speed = 0;
    record.launch = LaunchOfRow(table, row, distance, speed);
    auto number = [&](int column) { return CellNumber(table, row, column); };
    shot::ClubData& club = record.club;
    club.clubSpeed.Set(shot::ConvertSpeed(number(data::kClubSpeedColumn), speed, shot::kFps));
    club.angleOfAttack.Set(number(data::kAttackColumn));
    club.pathAngle.Set(number(data::kPathAngleColumn));
    club.faceAngle.Set(number(data::kFaceAngleColumn));
    club.effectiveLoft.Set(number(data::kEffectiveLoftColumn));
    club.clubMass.Set(number(data::kClubMassColumn));
    club.clubLoft.Set(number(data::kClubLoftColumn));
    record.shotScore = number(data::kShotScoreColumn);
    base::OptionsReader reader(settings);
    flight::FlightModel model(flight::ReadFlightOptions(reader));
    const shot::LaunchConditions& l = record.launch;
    model.Compute(l.ballSpeed, l.launchAngle, l.backSpin, l.sideSpin, l.sideAngle);
    record.flight = model.Result();
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
                              bool everyTrajectory, FlightCache* cache) {
    SessionPicture picture;
    picture.distanceUnit = shot::ReadDistanceUnit(settings, 0);
    picture.speedUnit = shot::ReadSpeedUnit(settings, 0);
    // One model for the whole table.
    base::OptionsReader reader(settings);
    flight::FlightModel model(flight::ReadFlightOptions(reader));
    int groupColour = 0;
    std::string key;
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
        int distance = 0;
        int speed = 0;
        s.launch = LaunchOfRow(table, row, distance, speed);
        auto number = [&](int column) { return CellNumber(table, row, column); };
        const bool trajectory = everyTrajectory || s.current || s.plotColour != 0;
        key.clear();
        for (int column : {data::kBallSpeedColumn, data::kLaunchAngleColumn, data::kBackSpinColumn,
                           data::kSideSpinColumn, data::kSideAngleColumn, data::kUnitsColumn}) {
            key += table.Cell(row, column);
            key += '|';
        }
        // The table's own distances, worked out from the unrounded launch, are what it and the
        // panel show; a prediction from the rounded cells only draws the flight and places the
        // total's offline, which the table does not keep.
        s.carry = shot::FromDisplayDistance(number(data::kCarryColumn), distance);
        s.carryOffline = shot::FromDisplayDistance(number(data::kOfflineColumn), distance);
        s.total = shot::FromDisplayDistance(number(data::kTotalColumn), distance);
        s.maxHeight = shot::FromDisplayDistance(number(data::kMaxHeightColumn), distance);
        const double* known = nullptr;
        if (cache && !trajectory) {
            const auto found = cache->distances_.find(key);
            if (found != cache->distances_.end()) known = &found->second;
        }
        if (known) {
            s.totalOffline = *known;
        } else {
            model.Compute(s.launch.ballSpeed, s.launch.launchAngle, s.launch.backSpin,
                          s.launch.sideSpin, s.launch.sideAngle);
            s.totalOffline = model.Result().totalOffline;
            if (trajectory) s.flight = model.Result();
            if (cache) cache->distances_[key] = s.totalOffline;
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

}  // namespace kyvern::report
