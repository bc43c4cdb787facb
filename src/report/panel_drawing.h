#pragma once

#include <QColor>
#include <QRectF>
#include <array>
#include <string>
#include <utility>
#include <vector>

#include "base/settings_snapshot.h"
#include "shot/shot_record.h"

class QPainter;

namespace kyvern::report {

// One of the three information panels beside every view: its title, its lines (label and value
// text in the display units, labels in the language in force) and its text colour from the
// settings. The window's panels and the printed ones both show these.
struct PanelText {
    std::string title;
    std::vector<std::pair<std::string, std::string>> lines;
    QColor colour;
};

enum PanelIndex { kBallPanel = 0, kClubPanel = 1, kFlightPanel = 2 };

// The ball, club and flight panels of a shot (null: every value "--.-") as the settings ask at
// this moment: display units, Setup/TotalSpinDisplay, Setup/TerminalDisplay (the descent angle
// and landing speed in the flight panel) and the three panel colours. scoreLabel is the shot
// score's label ("LE", "PTI"); empty shows no score line.
std::array<PanelText, 3> InfoPanels(const shot::ShotRecord* shot, const std::string& scoreLabel,
                                    const base::SettingsSnapshot& settings);

// A putt's panels in place of a full shot's: speed, launch and start line; no club values; the
// roll on the green, its rest point's offline and its break from the start line (feet, or
// metres when distances show in metres) and its time.
void PuttPanels(const shot::ShotRecord& shot, int distanceUnit, std::array<PanelText, 3>& panels);
// An offline figure (display unit) with its unit: "12.3 yds R", "center".
std::string OfflineWithUnit(double offline, const char* label);
// The rest point's distance from a putt's start line, yards, positive right.
double PuttBreak(const shot::ShotRecord& shot);

// The ball's descent angle (degrees below the horizon) and its speed (ft/s) as it reaches the
// ground, from the last two trajectory points in flight; false when the flight has none.
bool LandingFigures(const flight::FlightResult& flight, double& descentAngle, double& speed);

// The background behind a panel's text colour: dark behind light text, light behind dark.
QColor PanelBackground(const QColor& text);

// A panel drawn in the rectangle: a background that contrasts with its text colour, the title,
// and the lines with labels left and values right.
void DrawInfoPanel(QPainter& painter, const QRectF& rect, const PanelText& panel);

}  // namespace kyvern::report
