#include <gtest/gtest.h>

#include <QCheckBox>
#include <QFont>
#include <QGroupBox>
#include <QPdfWriter>
#include <QRegularExpression>
#include <algorithm>
#include <cstdio>
#include <filesystem>

#include "cli/cli_runner.h"
#include "report/panel_drawing.h"
#include "report/report_pages.h"
#include "report/shot_drawing.h"
#include "session_rig.h"
#include "ui/reports_dialog.h"
#include "ui/shot_analysis_window.h"
#include "ui/shot_table_model.h"

namespace kyvern::ui {
namespace {

using testing::Contains;

// The text of a PDF, one entry per page, as pdftotext reads it back.
std::vector<std::string> PdfPages(const std::string& path) {
    std::string text;
    if (FILE* pipe = ::popen(("pdftotext -layout '" + path + "' - 2>/dev/null").c_str(), "r")) {
        char buffer[4096];
        for (std::size_t n; (n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0;)
            text.append(buffer, n);
        ::pclose(pipe);
    }
    std::vector<std::string> pages;
    for (std::size_t start = 0, end; (end = text.find('\f', start)) != std::string::npos;
         start = end + 1)
        pages.push_back(text.substr(start, end - start));
    return pages;
}

// The chooser's reports in print order after the bag tag: bit, label, group, hidden.
const struct ReportRow {
    report::ReportBit bit;
    const char* label;
    const char* group;
    bool hidden;
} kReports[] = {
    {report::kPracticeRangeReport, "Practice Range Report", "Standard size", false},
    {report::kShotAnalysisReport, "Shot Analysis Report", "Standard size", false},
    {report::kShotsReport, "Shots Report", "Standard size", false},
    {report::kShotsSummaryReport, "Shots Summary Report", "Standard size", false},
    {report::kShotsProfileReport, "Shots Profile Report", "Standard size", false},
    {report::kImpactReport, "Club/Ball Impact Report", "Standard size", true},
    {report::kBallImageReport, "Ball Image Report", "Standard size", false},
    {report::kBagTagReport, "Bag Tag Report", "Label size", false},
    {report::kHistoryReport, "History Report", "Standard size", false},
    {report::kPrinterReport, "Printer Report", "Standard size", true},
};

// The chooser's boxes: labels and groups, the two hidden ones, one bit per ticked report, and
// the print order of any choice.
TEST(ReportChooser, BitsGroupsHiddenBoxesAndPrintOrder) {
    ReportChooser chooser;
    unsigned all = 0;
    for (const ReportRow& r : kReports) {
        QCheckBox* box = chooser.Box(r.bit);
        EXPECT_EQ(box->text().toStdString(), r.label);
        EXPECT_EQ(qobject_cast<QGroupBox*>(box->parent())->title().toStdString(), r.group);
        EXPECT_EQ(box->isHidden(), r.hidden) << r.label;
        box->setChecked(true);
        all |= r.bit;
    }
    EXPECT_EQ(chooser.Bits(), all);
    chooser.SetShown(report::kPrinterReport, false);
    chooser.Box(report::kShotsReport)->setChecked(false);
    EXPECT_EQ(chooser.Bits(), all & ~(8u | 4096u));

    std::vector<std::string> order;
    for (report::ReportBit bit : report::ReportsInOrder(all | 1u | 512u))
        order.push_back(report::ReportName(bit));
    EXPECT_EQ(order, (std::vector<std::string>{"bag-tag", "practice-range", "shot-analysis",
                                               "shots", "shots-summary", "shots-profile", "impact",
                                               "ball-image", "history", "printer"}));
}

// kyvern-cli prints the session on a small paper: the bag tag first, the whole table over
// several pages with its header on each, every page dated, numbered and titled; the profile
// does not fit and the user is told.
TEST(Reports, PrintedPagesReadBackFromThePdf) {
    testing::TempHome home;
    const std::string pdf = home.File("report.pdf");
    const testing::CliResult r =
        testing::RunCli({"report", "--out", pdf, "--paper", "210x100", "--kind", "shots", "--kind",
                         "shots-profile", "--kind", "bag-tag", testing::kThreeItemsSession},
                        home.Path());
    EXPECT_EQ(r.exitCode, 1) << r.err;
    EXPECT_TRUE(Contains(r.err, report::kPaperTooSmall)) << r.err;
    const std::vector<std::string> pages = PdfPages(pdf);
    ASSERT_GE(pages.size(), 3u);
    const QRegularExpression date(
        QStringLiteral("\\d\\d/[A-Z][a-z]{2}/\\d{4} \\d\\d:\\d\\d:\\d\\d"));
    int shotRows = 0;
    for (std::size_t i = 0; i < pages.size(); ++i) {
        const std::string& page = pages[i];
        EXPECT_TRUE(Contains(page, report::kProductTitle)) << i;
        EXPECT_TRUE(date.match(QString::fromStdString(page)).hasMatch()) << i;
        char number[48];
        std::snprintf(number, sizeof number, "Page %zu of %zu", i + 1, pages.size());
        EXPECT_TRUE(Contains(page, number)) << page;
        EXPECT_FALSE(Contains(page, "Profile")) << i;
        if (i == 0) {
            EXPECT_TRUE(Contains(page, "Driver")) << page;
            EXPECT_TRUE(Contains(page, "Carry (yd)")) << page;
            continue;
        }
        EXPECT_TRUE(Contains(page, "Shots Report")) << i;
        EXPECT_TRUE(Contains(page, "Launch")) << i;  // the header row, repeated
        EXPECT_TRUE(Contains(page, "Player: Ann Driscoll")) << i;
        // Shot rows end with their effective loft; count the wedge's 10 last ones.
        const QRegularExpression row(QStringLiteral("\\n\\s+\\d+\\s+\\d+\\.\\d\\s+\\d+\\.\\d"));
        for (auto it = row.globalMatch(QString::fromStdString(page)); it.hasNext(); it.next())
            ++shotRows;
    }
    EXPECT_EQ(shotRows, 30);
}

// The History report from the store that kyvern-cli imported the session into: the player's
// gapping, the trend of the longest club and the sessions, in the display units.
TEST(Reports, HistoryReportReadsTheStore) {
    testing::TempHome home;
    ASSERT_EQ(
        testing::RunCli({"history", "import", testing::kThreeItemsSession}, home.Path()).exitCode,
        0);
    const std::string pdf = home.File("history.pdf");
    const testing::CliResult r = testing::RunCli(
        {"report", "--out", pdf, "--kind", "history", testing::kThreeItemsSession}, home.Path());
    ASSERT_EQ(r.exitCode, 0) << r.err;
    const std::vector<std::string> pages = PdfPages(pdf);
    ASSERT_EQ(pages.size(), 1u);
    for (const char* text :
         {"History Report", "Player: Ann Driscoll", "Sessions: 1", "Shots: 30", "Units: yd",
          "Gapping: carry and total (yd)", "Driver", "7 Iron", "Wedge", "10 shots",
          "Carry (yd) per session, Driver", "Fitting, 7 December"})
        EXPECT_TRUE(Contains(pages[0], text)) << text << "\n" << pages[0];
    // Longest carry first.
    EXPECT_LT(pages[0].find("Driver"), pages[0].find("7 Iron"));
    EXPECT_LT(pages[0].find("7 Iron"), pages[0].find("Wedge"));

    const testing::CliResult unknown = testing::RunCli(
        {"report", "--out", pdf, "--player", "Ann Driscoll", "--trend", "swing"}, home.Path());
    EXPECT_EQ(unknown.exitCode, 1);
    EXPECT_TRUE(Contains(unknown.err, "Unknown trend value \"swing\"")) << unknown.err;
}

// A spin too doubtful to pass on keeps its figure, marked, in the table, the panels and the
// Shots report, which explains the mark; the other shots are as before.
TEST(Reports, ADoubtfulSpinIsMarkedWhereverItShows) {
    testing::SavedSession s;
    data::ShotEntry entry;
    entry.ballSpeed = 200.0, entry.launchAngle = 14.0, entry.totalSpin = 2950.0;
    entry.backSpin = 2900.0, entry.sideSpin = -540.0;
    entry.user = "Ann Driscoll", entry.session = "Fitting", entry.item = "Driver";
    entry.spinDoubtful = true;
    const std::string groupSpin = s.table.Cell(s.GroupRow("Driver"), data::kBackSpinColumn);
    const std::string groupSpeed = s.table.Cell(s.GroupRow("Driver"), data::kBallSpeedColumn);
    ASSERT_TRUE(s.table.AddShot(entry, true, true));
    const int doubtful = s.table.CurrentRow();
    ASSERT_TRUE(s.table.SpinDoubtful(doubtful));
    EXPECT_FALSE(s.table.SpinDoubtful(doubtful - 1));
    // The group's spin is of the measured ones; its other figures take the shot in.
    EXPECT_EQ(s.table.Cell(s.GroupRow("Driver"), data::kBackSpinColumn), groupSpin);
    EXPECT_NE(s.table.Cell(s.GroupRow("Driver"), data::kBallSpeedColumn), groupSpeed);

    ShotTableModel model(s.table);
    const QModelIndex spin = model.index(doubtful - 1, data::kBackSpinColumn);
    EXPECT_EQ(model.data(spin).toString(), QStringLiteral("2900"));
    EXPECT_TRUE(model.data(spin, Qt::FontRole).value<QFont>().italic());
    EXPECT_TRUE(model.data(spin, Qt::ToolTipRole).toString().startsWith("spin doubtful"));
    EXPECT_FALSE(
        model.data(model.index(doubtful - 1, data::kBallSpeedColumn), Qt::FontRole).isValid());
    EXPECT_FALSE(
        model.data(model.index(doubtful - 2, data::kBackSpinColumn), Qt::FontRole).isValid());

    const base::SettingsSnapshot settings = base::SettingsSnapshot::Read();
    const shot::ShotRecord shot = report::ShotOfRow(s.table, doubtful, settings);
    const auto panels = report::InfoPanels(&shot, "", settings);
    const auto& ball = panels[report::kBallPanel].lines;
    EXPECT_NE(std::find(ball.begin(), ball.end(),
                        std::pair<std::string, std::string>{"Back Spin", "2900 rpm?"}),
              ball.end());
    EXPECT_EQ(ball.back(), (std::pair<std::string, std::string>{"Spin", "doubtful"}));

    const std::string pdf = s.home.File("shots.pdf");
    {
        QPdfWriter writer(QString::fromStdString(pdf));
        report::ReportSource source;
        source.table = &s.table;
        ASSERT_EQ(report::PrintReports(writer, report::kShotsReport, source, s.prompts).printed,
                  unsigned{report::kShotsReport});
    }
    std::string text;
    for (const std::string& page : PdfPages(pdf))
        text += page;
    EXPECT_TRUE(Contains(text, "2900?")) << text;
    EXPECT_TRUE(Contains(text, "? spin doubtful")) << text;
    EXPECT_EQ(std::count(text.begin(), text.end(), '?'), 4);  // three spins and the note
}

// Every report of the window in one job, in the print order, with the practice range and the
// shot analysis window painting their own pictures.
TEST(Reports, EveryReportInPrintOrder) {
    testing::SavedSession s;
    ShotAnalysisWindow analysis({}, &s.prompts);
    shot::LaunchConditions launch;
    launch.Set(220.0, 12.0, 1.0, 2800.0, 2800.0, -300.0);
    analysis.ShowShot(launch);
    analysis.Plot();
    report::ReportSource source;
    source.table = &s.table;
    source.practiceRange = PracticeRangePicture(s.table, base::SettingsSnapshot::Read());
    source.shotAnalysis = ShotAnalysisPicture(analysis);
    source.ballImage = QImage(64, 48, QImage::Format_Grayscale8);
    source.ballImage.fill(40);
    source.history = store::PlayerHistory{};
    source.history->player = "Ann Driscoll";
    const std::string path = s.home.File("all.pdf");
    {
        QPdfWriter writer(QString::fromStdString(path));
        EXPECT_EQ(report::PrintReports(writer, 0xFFFFFFFFu, source, s.prompts).printed,
                  2u + 4 + 8 + 16 + 32 + 64 + 128 + 256 + 1024 + 4096);
    }
    const std::vector<std::string> pages = PdfPages(path);
    // The bag tag's page first, then the others as the chooser lists them.
    std::vector<std::string> titles{"My yardages"};
    for (const ReportRow& r : kReports)
        if (r.bit != report::kBagTagReport) titles.push_back(r.label);
    ASSERT_EQ(pages.size(), titles.size());
    for (std::size_t i = 0; i < pages.size(); ++i)
        EXPECT_TRUE(Contains(pages[i], titles[i])) << pages[i];
}

// A job in which nothing fits writes no file at all.
TEST(Reports, NothingFitsLeavesNoFile) {
    testing::SavedSession s;
    const std::string path = s.home.File("small.pdf");
    {
        QPdfWriter writer(QString::fromStdString(path));
        writer.setPageSize(QPageSize(QSizeF(50, 40), QPageSize::Millimeter));
        report::ReportSource source;
        source.table = &s.table;
        const report::PrintOutcome outcome = report::PrintReports(
            writer, report::kShotsReport | report::kShotsProfileReport, source, s.prompts);
        EXPECT_EQ(outcome.pages, 0);
        EXPECT_EQ(outcome.tooSmall, unsigned{report::kShotsReport | report::kShotsProfileReport});
    }
    EXPECT_EQ(s.prompts.messages, std::vector<std::string>{report::kPaperTooSmall});
    EXPECT_FALSE(std::filesystem::exists(path));
}

}  // namespace
}  // namespace kyvern::ui
