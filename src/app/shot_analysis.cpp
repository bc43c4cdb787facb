#include "app/shot_analysis.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "base/string_table.h"
#include "flight/ball_type.h"
#include "shot/units.h"

namespace kyvern::app {

namespace {

std::string Format(const char* format, double value) {
    char text[64];
    std::snprintf(text, sizeof text, format, value);
    return text;
}

// "%lf" of a field; a text that holds no number reads as 0.
double ParseField(const std::string& text) {
    double value = 0.0;
    if (std::sscanf(text.c_str(), "%lf", &value) != 1) return 0.0;
    return value;
}

struct Bound {
    double AnalysisShot::*value;
    double low;
    double high;
    base::MessageId message;
};

// In the order they are checked; each bound is inclusive.
constexpr std::array<Bound, 5> kBounds{{
    {&AnalysisShot::ballSpeed, 10.0, 400.0, base::MessageId::kInvalidBallSpeed},
    {&AnalysisShot::launchAngle, 1.0, 60.0, base::MessageId::kInvalidLaunchAngle},
    {&AnalysisShot::sideAngle, -20.0, 20.0, base::MessageId::kInvalidSideAngle},
    {&AnalysisShot::backSpin, -1000.0, 15000.0, base::MessageId::kInvalidBackSpin},
    {&AnalysisShot::sideSpin, -8000.0, 8000.0, base::MessageId::kInvalidSideSpin},
}};

// Grid steps by sport: golf and the bat-and-ball sports.
struct GridSteps {
    double spinStep;
    double lowestSpin;
    double lowestLaunch;
};
constexpr double kLaunchStep = 0.5;

GridSteps StepsFor(int sport) {
    if (sport == 0) return {250.0, 1000.0, 3.0};
    return {500.0, -2000.0, -10.0};
}

double Chosen(const flight::FlightModel& model, AnalysisDistance choice) {
    switch (choice) {
        case AnalysisDistance::kTotal:
            return model.Total();
        case AnalysisDistance::kRoll:
            return model.Roll();
        case AnalysisDistance::kCarry:
            break;
    }
    return model.Carry();
}

}  // namespace

ShotAnalysis::ShotAnalysis(base::Settings settings, base::UserPrompts& prompts)
    : settings_(std::move(settings)), prompts_(prompts) {
    const base::SettingsSnapshot snapshot = base::SettingsSnapshot::Read(settings_);
    base::OptionsReader reader(snapshot);
    flight_ = flight::ReadFlightOptions(reader);
}

void ShotAnalysis::LoadOptions() {
    const base::SettingsSnapshot snapshot = base::SettingsSnapshot::Read(settings_);
    const long colour = snapshot.Integer(base::setting::kPlotColor);
    const long distance = snapshot.Integer(base::setting::kDistanceType);
    plotColour_ = colour >= 0 && colour < static_cast<long>(kAnalysisColours.size())
                      ? static_cast<int>(colour)
                      : 0;
    distanceChoice_ = distance >= 0 && distance < static_cast<long>(kAnalysisDistanceNames.size())
                          ? static_cast<AnalysisDistance>(distance)
                          : AnalysisDistance::kCarry;
}

void ShotAnalysis::SaveOptions() const {
    char text[16];
    std::snprintf(text, sizeof text, "%d", plotColour_);
    settings_.Write(base::setting::kPlotColor, text);
    std::snprintf(text, sizeof text, "%d", static_cast<int>(distanceChoice_));
    settings_.Write(base::setting::kDistanceType, text);
}

void ShotAnalysis::SetPlotColour(int index) {
    plotColour_ = index >= 0 && index < static_cast<int>(kAnalysisColours.size()) ? index : 0;
}

void ShotAnalysis::SetDistanceChoice(AnalysisDistance choice) {
    const int index = static_cast<int>(choice);
    distanceChoice_ = index >= 0 && index < static_cast<int>(kAnalysisDistanceNames.size())
                          ? choice
                          : AnalysisDistance::kCarry;
}

bool ShotAnalysis::ReadSettings(std::string* speedText) {
    const int previous = speedUnit_;
    const base::SettingsSnapshot snapshot = base::SettingsSnapshot::Read(settings_);
    base::OptionsReader reader(snapshot);
    speedUnit_ = shot::ReadSpeedUnit(snapshot, speedUnit_);
    distanceUnit_ = shot::ReadDistanceUnit(snapshot, distanceUnit_);
    flight_ = flight::ReadFlightOptions(reader);
    const flight::BallType ball(flight_.ball);
    sport_ = ball.SportId();
    ballTypeId_ = ball.TypeId();
    const bool changed = unitsRead_ && previous != speedUnit_;
    unitsRead_ = true;
    if (changed && speedText) *speedText = ConvertSpeedText(*speedText, previous, speedUnit_);
    return changed;
}

std::string ShotAnalysis::ConvertSpeedText(const std::string& text, int fromUnit, int toUnit) {
    const double feetPerSecond = shot::FromDisplaySpeed(ParseField(text), fromUnit);
    return Format("%.1f", shot::ToDisplaySpeed(feetPerSecond, toUnit));
}

std::optional<AnalysisShot> ShotAnalysis::ReadFields(AnalysisFields& fields) {
    // A unit changed behind the window's back is applied to the field before it is read, so
    // the typed number is never taken in a unit it was not typed in.
    ReadSettings(&fields.ballSpeed);
    AnalysisShot shot;
    shot.ballSpeed = shot::FromDisplaySpeed(ParseField(fields.ballSpeed), speedUnit_);
    shot.backSpin = ParseField(fields.backSpin);
    shot.launchAngle = ParseField(fields.launchAngle);
    shot.sideSpin = ParseField(fields.sideSpin);
    shot.sideAngle = ParseField(fields.sideAngle);
    if (shot.ballSpeed < 0.1) return std::nullopt;
    for (const Bound& bound : kBounds) {
        const double value = shot.*bound.value;
        if (value < bound.low || value > bound.high) {
            if (!quiet_) prompts_.Message(base::Text(bound.message));
            return std::nullopt;
        }
    }
    return shot;
}

double ShotAnalysis::ToDistanceUnit(double yards) const {
    return shot::ToDisplayDistance(yards, distanceUnit_);
}

AnalysisDistances ShotAnalysis::Distances(const AnalysisShot& shot) const {
    flight::FlightModel model(flight_);
    model.Compute(shot.ballSpeed, shot.launchAngle, shot.backSpin, shot.sideSpin, shot.sideAngle);
    AnalysisDistances out;
    out.carry = ToDistanceUnit(model.Carry());
    out.offline = ToDistanceUnit(model.CarryOffline());
    out.total = ToDistanceUnit(model.Total());
    out.carryText = Format("%.1f", out.carry);
    out.offlineText = Format("%.1f", out.offline);
    out.totalText = Format("%.1f", out.total);
    return out;
}

AnalysisTable ShotAnalysis::Analyze(const AnalysisShot& shot, int rows, int columns) const {
    AnalysisTable table;
    table.rows = std::max(rows, 0);
    table.columns = std::max(columns, 0);
    const GridSteps steps = StepsFor(sport_);
    flight::FlightModel model(flight_);
    model.Compute(shot.ballSpeed, shot.launchAngle, shot.backSpin, shot.sideSpin, shot.sideAngle);
    table.reference = ToDistanceUnit(Chosen(model, distanceChoice_));

    table.firstSpin =
        (std::floor(shot.backSpin / steps.spinStep) - table.rows / 2) * steps.spinStep;
    table.firstSpin = std::max(table.firstSpin, steps.lowestSpin);
    table.firstLaunch =
        (std::floor(shot.launchAngle / kLaunchStep) - table.columns / 2) * kLaunchStep;
    table.firstLaunch = std::max(table.firstLaunch, steps.lowestLaunch);

    table.rowHeaders.assign(static_cast<std::size_t>(table.rows) + 1, std::string());
    table.columnHeaders.assign(static_cast<std::size_t>(table.columns) + 1, std::string());
    for (int i = 1; i <= table.rows; ++i)
        table.rowHeaders[i] = Format("%.0f", i * steps.spinStep + table.firstSpin);
    for (int j = 1; j <= table.columns; ++j)
        table.columnHeaders[j] = Format("%.1f", j * kLaunchStep + table.firstLaunch);

    table.cells.resize(static_cast<std::size_t>(table.rows) * table.columns);
    for (int i = 1; i <= table.rows; ++i) {
        const double spin = i * steps.spinStep + table.firstSpin;
        for (int j = 1; j <= table.columns; ++j) {
            const double launch = j * kLaunchStep + table.firstLaunch;
            model.Compute(shot.ballSpeed, launch, spin, shot.sideSpin, shot.sideAngle);
            AnalysisCell& cell =
                table.cells[static_cast<std::size_t>((i - 1) * table.columns + j - 1)];
            cell.value = ToDistanceUnit(Chosen(model, distanceChoice_));
            cell.text = Format("%.1f", cell.value);
            cell.foreground = kCellText;
            cell.background = CellBackground(cell.value, table.reference);
        }
    }

    // The entered shot's cell: spin rounded to the nearest step; launch moved up a quarter
    // degree and cut to 0.05 degrees, so that the column, which floors it to half degrees, is
    // the nearest half degree.
    const double spinStep = steps.spinStep;
    const double roundedSpin = std::floor((shot.backSpin + spinStep / 2) / spinStep) * spinStep;
    const double roundedLaunch =
        std::floor((shot.launchAngle + 0.25) / kLaunchStep * 10) * kLaunchStep / 10;
    const long row = static_cast<long>(std::floor(roundedSpin / spinStep) -
                                       std::floor(table.firstSpin / spinStep));
    const long column = static_cast<long>(std::floor(roundedLaunch / kLaunchStep) -
                                          std::floor(table.firstLaunch / kLaunchStep));
    if (row >= 1 && row <= table.rows && column >= 1 && column <= table.columns) {
        table.markedRow = static_cast<int>(row);
        table.markedColumn = static_cast<int>(column);
        AnalysisCell& cell =
            table.cells[static_cast<std::size_t>((row - 1) * table.columns + column - 1)];
        cell.background = kMarkedCell;
        cell.foreground = kMarkedText;
    }
    return table;
}

Rgb ShotAnalysis::CellBackground(double value, double reference) {
    // The band of "about the same" lies between the two bounds whatever the reference's sign,
    // so that beside a negative roll (a ball spinning back) a value equal to it is not longer.
    const double low = std::min(0.99 * reference, 1.01 * reference);
    const double high = std::max(0.99 * reference, 1.01 * reference);
    return value > high ? kCellLonger : value >= low ? kCellSimilar : kCellShorter;
}

bool ShotAnalysis::AddPlot(const AnalysisShot& shot) {
    if (static_cast<int>(plots_.size()) >= kMaxPlots) return false;
    plots_.push_back({shot, plotColour_});
    return true;
}

std::vector<PlotDot> ShotAnalysis::PlotDots(const flight::FlightResult& flight, int sport) {
    const double k = PlotScale(sport);
    std::vector<PlotDot> dots;
    for (int i = 1; i + 1 < flight.pointCount; ++i) {
        const double height = flight.pointHeight[i] / 3.0;
        const double x = 10.0 + flight.pointX[i] / 3.0 * k;
        const double y = 215.0 - height * k;
        if (height < 0.0 || !(y > 0.0 && y < 225.0) || !(x >= 11.0 && x < 630.0)) continue;
        dots.push_back({x, y});
    }
    return dots;
}

std::vector<flight::FlightResult> ShotAnalysis::PlotFlights() const {
    std::vector<flight::FlightResult> flights;
    flights.reserve(plots_.size());
    flight::FlightModel model(flight_);
    for (const PlottedShot& plot : plots_) {
        const AnalysisShot& s = plot.shot;
        model.Compute(s.ballSpeed, s.launchAngle, s.backSpin, s.sideSpin, s.sideAngle);
        flights.push_back(model.Result());
    }
    return flights;
}

}  // namespace kyvern::app
