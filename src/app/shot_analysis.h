#pragma once

// The shot analysis window's logic without the window: reading and checking its five fields,
// the distances of the entered shot, the table of a distance over launch angles and spin rates
// around it, and the profile plot's points. The Qt window only shows what this computes.

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "base/settings_schema.h"
#include "base/user_prompts.h"
#include "flight/flight_model.h"

namespace kyvern::app {

// The five fields as typed: speed in the display unit, spins in rpm, angles in degrees.
struct AnalysisFields {
    std::string ballSpeed;
    std::string backSpin;
    std::string launchAngle;
    std::string sideSpin;
    std::string sideAngle;
};

// A checked shot: speed in ft/s, angles in degrees, spins in rpm.
struct AnalysisShot {
    double ballSpeed = 0.0;
    double launchAngle = 0.0;
    double backSpin = 0.0;
    double sideSpin = 0.0;
    double sideAngle = 0.0;
};

struct Rgb {
    std::uint8_t red = 0;
    std::uint8_t green = 0;
    std::uint8_t blue = 0;
    friend bool operator==(const Rgb&, const Rgb&) = default;
};

// The plot colours in the order of the colour list.
inline constexpr std::array<const char*, 5> kAnalysisColourNames{"Blue", "Red", "Green", "Yellow",
                                                                 "Black"};
inline constexpr std::array<Rgb, 5> kAnalysisColours{Rgb{0, 0, 255}, Rgb{255, 0, 0}, Rgb{0, 128, 0},
                                                     Rgb{255, 255, 0}, Rgb{0, 0, 0}};
// The distance the table shows, in the order of its list.
enum class AnalysisDistance : int { kCarry = 0, kTotal = 1, kRoll = 2 };
inline constexpr std::array<const char*, 3> kAnalysisDistanceNames{"Carry", "Total", "Roll"};

inline constexpr Rgb kCellLonger{0, 204, 0};
inline constexpr Rgb kCellSimilar{32, 32, 32};
inline constexpr Rgb kCellShorter{255, 0, 0};
inline constexpr Rgb kCellText{255, 255, 255};
inline constexpr Rgb kMarkedCell{255, 255, 0};
inline constexpr Rgb kMarkedText{1, 1, 1};

struct AnalysisCell {
    double value = 0.0;  // in the distance unit
    std::string text;
    Rgb background;
    Rgb foreground;
};

// The Analyze table: rows by spin, columns by launch angle. Row 0 and column 0 are the
// headers, so data cell (i, j) is At(i, j) with i from 1 to rows and j from 1 to columns.
struct AnalysisTable {
    int rows = 0;
    int columns = 0;
    double firstSpin = 0.0;                  // the value before row 1
    double firstLaunch = 0.0;                // the value before column 1
    double reference = 0.0;                  // the entered shot's distance, in the distance unit
    std::vector<std::string> rowHeaders;     // rows + 1 entries; [0] is empty
    std::vector<std::string> columnHeaders;  // columns + 1 entries; [0] is empty
    std::vector<AnalysisCell> cells;         // rows × columns, row by row
    int markedRow = 0;                       // 0 when the entered shot lies outside the table
    int markedColumn = 0;

    const AnalysisCell& At(int row, int column) const {
        return cells[static_cast<std::size_t>((row - 1) * columns + (column - 1))];
    }
};

// Carry, offline and total of the entered shot, in the distance unit, as the fields show them.
struct AnalysisDistances {
    double carry = 0.0;
    double offline = 0.0;
    double total = 0.0;
    std::string carryText;
    std::string offlineText;
    std::string totalText;
};

struct PlottedShot {
    AnalysisShot shot;
    int colour = 0;  // index into kAnalysisColours
};

// One dot of the profile plot, in the plot picture's pixels.
struct PlotDot {
    double x = 0.0;
    double y = 0.0;
};

class ShotAnalysis {
public:
    static constexpr int kMaxPlots = 20;
    static constexpr int kPlotWidth = 640;
    static constexpr int kPlotHeight = 480;

    ShotAnalysis(base::Settings settings, base::UserPrompts& prompts);

    // The options kept in the settings: read when the window opens (a value out of its list
    // becomes 0), written by Exit.
    void LoadOptions();
    void SaveOptions() const;
    int PlotColour() const { return plotColour_; }
    void SetPlotColour(int index);
    AnalysisDistance DistanceChoice() const { return distanceChoice_; }
    void SetDistanceChoice(AnalysisDistance choice);

    // Set while another part of the program drives the window: no message boxes then.
    bool Quiet() const { return quiet_; }
    void SetQuiet(bool quiet) { quiet_ = quiet; }

    // The units and the ball as last read from the settings.
    int SpeedUnit() const { return speedUnit_; }
    int DistanceUnit() const { return distanceUnit_; }
    int Sport() const { return sport_; }
    int BallTypeId() const { return ballTypeId_; }

    // Reads the units and the ball. When the speed unit has changed since the last read, the
    // speed text is rewritten in the new unit ("%.1f") and true is returned.
    bool ReadSettings(std::string* speedText = nullptr);

    // The checks of Analyze and Plot, in order: nothing for a speed below 0.1 ft/s (silently)
    // or for the first value out of its range (with its message unless quiet).
    std::optional<AnalysisShot> ReadFields(AnalysisFields& fields);

    // The speed text of one unit rewritten in another.
    static std::string ConvertSpeedText(const std::string& text, int fromUnit, int toUnit);

    // A cell's background against the entered shot's distance: longer by more than 1 %,
    // within 1 % either way, or shorter.
    static Rgb CellBackground(double value, double reference);

    AnalysisDistances Distances(const AnalysisShot& shot) const;
    // The table of rows × columns around the shot, computed on one flight model.
    AnalysisTable Analyze(const AnalysisShot& shot, int rows, int columns) const;

    // Adds a shot in the chosen colour; false, with nothing changed, when twenty are plotted.
    bool AddPlot(const AnalysisShot& shot);
    void ClearPlots() { plots_.clear(); }
    const std::vector<PlottedShot>& Plots() const { return plots_; }

    // The dots of a computed flight: every point but the first and the last, scaled by k
    // (2 for golf, 6 for baseball and softball); points under the ground or off the plot are
    // left out.
    static std::vector<PlotDot> PlotDots(const flight::FlightResult& flight, int sport);
    static double PlotScale(int sport) { return sport == 0 ? 2.0 : 6.0; }
    // The flights of the plotted shots with the ball and weather of the settings now.
    std::vector<flight::FlightResult> PlotFlights() const;

    // The yard-based model's value in the distance unit.
    double ToDistanceUnit(double yards) const;

private:
    base::Settings settings_;
    // The ball and air of the last read of the settings: every flight of the window uses them.
    flight::FlightOptions flight_;
    base::UserPrompts& prompts_;
    int plotColour_ = 0;
    AnalysisDistance distanceChoice_ = AnalysisDistance::kCarry;
    bool quiet_ = false;
    int speedUnit_ = 0;
    int distanceUnit_ = 0;
    int sport_ = 0;
    int ballTypeId_ = 0;
    bool unitsRead_ = false;
    std::vector<PlottedShot> plots_;
};

}  // namespace kyvern::app
