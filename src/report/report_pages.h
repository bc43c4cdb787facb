#pragma once

// The printed reports: which there are, their bits and print order, and the printing of the
// chosen ones on any paged device (a printer, a PDF file). Every page carries the date, its
// number and the product title.

#include <QImage>
#include <array>
#include <ctime>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "base/settings_snapshot.h"
#include "base/string_table.h"
#include "base/user_prompts.h"
#include "data/shot_table.h"
#include "shot/shot_record.h"
#include "store/player_history.h"

class QPagedPaintDevice;
class QPainter;
class QRectF;

namespace kyvern::report {

// One bit per report, as the chooser returns them.
enum ReportBit : unsigned {
    kPracticeRangeReport = 2,
    kShotAnalysisReport = 4,
    kShotsReport = 8,
    kShotsSummaryReport = 16,
    kShotsProfileReport = 32,
    kImpactReport = 64,
    kBallImageReport = 128,
    kBagTagReport = 256,
    kHistoryReport = 1024,  // the player's stored history: sessions, gapping and a trend
    kPrinterReport = 4096,
};

// The order the chosen reports are printed in.
inline constexpr std::array<ReportBit, 10> kPrintOrder{
    kBagTagReport,       kPracticeRangeReport, kShotAnalysisReport, kShotsReport,
    kShotsSummaryReport, kShotsProfileReport,  kImpactReport,       kBallImageReport,
    kHistoryReport,      kPrinterReport};

inline constexpr const char* kProductTitle = "Tessaline Kyvern Launch System";
inline constexpr const char* kPaperTooSmall =
    "The selected printer paper is too small for this report\n\nPlease select a different "
    "printer or paper size.";

// The chosen reports in print order.
std::vector<ReportBit> ReportsInOrder(unsigned bits);
// The chooser's label ("Shots Report") and the command line's name ("shots") of a report.
const char* ReportLabel(ReportBit report);
// The chooser's label in the language in force; the pages keep the English one.
base::MessageId ReportText(ReportBit report);
const char* ReportName(ReportBit report);
// The report a command-line name selects; 0 when none.
unsigned ReportOfName(std::string_view name);

// A picture another part of the program paints into a page's rectangle.
using PageDrawing = std::function<void(QPainter&, const QRectF&)>;

// What the reports are printed from.
struct ReportSource {
    const data::ShotTable* table = nullptr;
    // The settings as they stood when the printing was asked for.
    base::SettingsSnapshot settings = base::SettingsSnapshot::Read();
    // The current shot as the shot computation made it; without it, the table's current row.
    std::optional<shot::ShotRecord> currentShot;
    std::string scoreLabel;
    // The displayed frame with its overlays, and a line that says which it is.
    QImage ballImage;
    std::string ballImageCaption;
    // The practice range and the shot analysis window paint their own pictures.
    PageDrawing practiceRange;
    PageDrawing shotAnalysis;
    // The player's history as the store holds it; without it there is no History report.
    std::optional<store::PlayerHistory> history;
    // The moment printed on every page; 0 takes the time of printing.
    std::time_t printedAt = 0;
};

// The reports this source can print: Ball Image needs a frame, Practice Range and Shot Analysis
// their picture, History the store's history; every other report prints from the table, an
// empty one included.
unsigned AvailableReports(const ReportSource& source);

struct PrintOutcome {
    int pages = 0;
    unsigned printed = 0;      // bits of the reports printed
    unsigned tooSmall = 0;     // left out: the paper is too small for them
    unsigned unavailable = 0;  // left out: the source has nothing for them
};

// Prints the reports of bits in print order on the device, numbering the pages through the
// whole job. A report the paper is too small for is left out, and the user is told once; when
// nothing is left to print the device is not touched.
PrintOutcome PrintReports(QPagedPaintDevice& device, unsigned bits, const ReportSource& source,
                          base::UserPrompts& prompts);

}  // namespace kyvern::report
