#pragma once

// What every drawing of shots shares: the session's shots read back from the shot table, the
// plot colours, and the small painting helpers of axes and labels. Free of widgets, so that the
// same code paints the screen, a PDF page, a printer and a PNG.

#include <QColor>
#include <QFont>
#include <QRectF>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "base/settings_snapshot.h"
#include "base/string_table.h"
#include "data/shot_table.h"
#include "flight/flight_result.h"
#include "flight/putt_roll.h"
#include "shot/shot_record.h"

class QPainter;

namespace kyvern::report {

// The plot colour a Plot cell names, as an index into shot::kPlotColourNames (0 is "None").
// The cell holds an entry of the drop-down list ("Blue (1)") or a bare colour name; an entry
// without a name is taken by its number in the drop-down list.
int PlotColourOfCell(std::string_view cell);
// The colour a plot colour index is painted in; yellow is darkened to show on white.
QColor PlotColour(int plotColour);
// Colours of the items of a session, in the order their groups stand in the table.
QColor ItemColour(int itemIndex);
// The highlight of the current shot.
inline const QColor kCurrentShotColour{224, 48, 30};
// A panel text colour of the settings file: a number whose low byte is red, then green, then
// blue.
QColor ColourOfNumber(long number);

// One shot of the session as the drawings use it: launch in ft/s, degrees and rpm, distances in
// yards, as the table recorded them.
struct SessionShot {
    int row = -1;
    int itemIndex = 0;
    long number = 0;
    int plotColour = 0;  // shot::kPlotColourNames; its group's colour when the row has none
    bool current = false;
    shot::LaunchConditions launch;
    double carry = 0.0;
    double carryOffline = 0.0;
    double total = 0.0;
    double totalOffline = 0.0;
    double maxHeight = 0.0;
    // Kept for the shots a trajectory is drawn of: the plotted ones, the current one and every
    // putt. Held apart, so that the picture of a long session stays small.
    std::shared_ptr<const flight::FlightResult> flight;
};

struct SessionPicture {
    std::vector<SessionShot> shots;
    std::vector<std::string> items;  // in table order
    int distanceUnit = 0;
    int speedUnit = 0;
    int current = -1;     // index into shots of the current shot; -1 when none
    flight::Green green;  // the green of the settings, that the putts rolled on

    const SessionShot* Current() const { return current >= 0 ? &shots[current] : nullptr; }
};

// Every shot row of the table with the values the table recorded; the picture's units are the
// display units of the settings. With everyTrajectory, every shot keeps its trajectory, not only
// the plotted and current ones.
SessionPicture CollectSession(const data::ShotTable& table, const base::SettingsSnapshot& settings,
                              bool everyTrajectory = false);

// One row of the table as a shot record: ball and club values in the internal units, its flight
// in the air it was recorded in, the identification texts. The club values are marked present.
shot::ShotRecord ShotOfRow(const data::ShotTable& table, int row,
                           const base::SettingsSnapshot& settings);

// "%.1f" of a value with a suffix, through snprintf.
std::string Format1(double value, const char* suffix = "");
// A tick step of about target ticks over the span: 1, 2 or 5 times a power of ten.
double NiceStep(double span, int targetTicks);

// The drawings' font at a height in device pixels, so that a PDF page, a printer and the screen
// keep the proportions of the rectangle they are given.
QFont DrawingFont(double pixelHeight, bool bold = false);

// A text of the string table in the language in force.
QString TextOf(base::MessageId id);
// Text drawn with its anchor point: alignment as Qt::Alignment flags relative to the point.
void DrawTextAt(QPainter& painter, const QPointF& at, int alignment, const QString& text);
// The text height and line width of a view, in proportion to its rectangle, so that a page, a
// printer and the screen look alike; textShare is the text's part of the rectangle's size.
struct ViewScale {
    double textSize = 7.0;
    double line = 1.0;
};
ViewScale ScaleOf(const QRectF& rect, double textShare);
// A trajectory's feet in a display distance unit.
double FeetToDisplay(double feet, int distanceUnit);
// A view's title at its top left; with a session, the current shot's item and number after it.
void DrawViewTitle(QPainter& painter, const QRectF& rect, double textSize, const QString& text);
void DrawViewTitle(QPainter& painter, const QRectF& rect, double textSize, base::MessageId title,
                   const SessionPicture& session);
// The sideways ticks of a view from above, "10 L" to "10 R", their tops at y; xOf maps an
// offline in the display unit to the device.
void DrawOfflineTicks(QPainter& painter, double halfWidth, double step,
                      const std::function<double(double)>& xOf, double y);

}  // namespace kyvern::report
