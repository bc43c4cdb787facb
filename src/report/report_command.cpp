#include "report/report_command.h"
#include "app/pass_options.h"

#include <QGuiApplication>
#include <QImage>
#include <QPageLayout>
#include <QPageSize>
#include <QPainter>
#include <QPdfWriter>
#include <clocale>
#include <cstdio>
#include <memory>
#include <optional>

#include "analysis/analysis_pipeline.h"
#include "app/overlay_drawing.h"
#include "base/config_store.h"
#include "base/message_list.h"
#include "base/program_folder.h"
#include "base/settings_schema.h"
#include "base/user_prompts.h"
#include "capture/image_file.h"
#include "data/session_file.h"
#include "data/shot_table.h"
#include "flight/ball_type.h"
#include "report/downrange_drawing.h"
#include "report/frame_drawing.h"
#include "report/green_drawing.h"
#include "report/history_drawing.h"
#include "report/impact_drawing.h"
#include "report/profile_drawing.h"
#include "report/report_pages.h"
#include "shot/units.h"
#include "store/open_store.h"
#include "store/player_history.h"

namespace kyvern::report {
namespace {

struct Options {
    std::string out;
    std::string view;
    std::string image;
    std::string paper = "a4";
    int width = 1024;
    int height = 768;
    unsigned kinds = 0;
    std::vector<std::string> sessions;
    // The stored history of a player, for the History report and its two pictures.
    std::string player;
    std::string trend = "carry";
    std::optional<std::string> item;  // the trend's club; unset: the longest one
    std::optional<std::string> store;
};

// "WxH" with both numbers positive.
bool ReadSize(const std::string& text, double& width, double& height) {
    char tail = 0;
    return std::sscanf(text.c_str(), "%lfx%lf%c", &width, &height, &tail) == 2 && width > 0 &&
           height > 0;
}

bool Parse(const std::vector<std::string>& args, Options& o) {
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        const bool takesValue = a == "--out" || a == "--kind" || a == "--paper" || a == "--image" ||
                                a == "--view" || a == "--size" || a == "--player" ||
                                a == "--trend" || a == "--store" || a == "--item";
        if (!takesValue) {
            if (a.rfind("--", 0) == 0) return false;
            o.sessions.push_back(a);
            continue;
        }
        if (i + 1 >= args.size()) return false;
        const std::string& value = args[++i];
        if (a == "--out") o.out = value;
        if (a == "--paper") o.paper = value;
        if (a == "--image") o.image = value;
        if (a == "--view") o.view = value;
        if (a == "--player") o.player = value;
        if (a == "--trend") o.trend = value;
        if (a == "--store") o.store = value;
        if (a == "--item") o.item = value;
        if (a == "--size") {
            double w = 0;
            double h = 0;
            if (!ReadSize(value, w, h) || w > 8000 || h > 8000) return false;
            o.width = static_cast<int>(w);
            o.height = static_cast<int>(h);
        }
        if (a == "--kind") {
            const unsigned bit = ReportOfName(value);
            if (bit == 0) return false;
            o.kinds |= bit;
        }
    }
    if (o.out.empty() || (o.sessions.empty() && o.player.empty())) return false;
    if (!o.view.empty())
        return o.view == "impact" || o.view == "profile" || o.view == "downrange" ||
               o.view == "gapping" || o.view == "trend";
    return true;
}

// The first frame of a saved-image file, analysed, with the overlays the settings switch on.
QImage BallImage(const std::string& path, base::UserPrompts& prompts) {
    auto file = std::make_unique<capture::ImageFile>(base::Settings());
    if (!base::Show(file->Load(path), prompts)) return {};
    auto frame = std::make_unique<frame::CapturedImage>();
    if (!file->GetImage(0, *frame)) return {};
    const app::PassOptions pass = app::ReadPassOptions();
    const flight::BallType ball(pass.flight.ball);
    analysis::AnalysisPipeline pipeline(ball.Diameter(), pass.analysis);
    frame->analyzed = bool(pipeline.RunAnalysis(*frame));
    app::DrawOverlays(*frame, app::ReadOverlaySwitches(pass.snapshot));
    return FrameImage(*frame);
}

// The player of the sessions' first shot.
std::string FirstPlayer(const data::ShotTable& table) {
    for (int row = 1; row < table.RowCount(); ++row)
        if (!table.IsGroupRow(row)) return table.Cell(row, data::kUserColumn);
    return {};
}

// The player's history from the store the settings (or --store) name.
bool ReadHistory(const Options& o, const data::ShotTable& table,
                 const base::SettingsSnapshot& settings, base::UserPrompts& prompts,
                 store::PlayerHistory& history) {
    const std::string player = o.player.empty() ? FirstPlayer(table) : o.player;
    if (player.empty()) {
        prompts.Message("The History report needs a player (--player NAME)");
        return false;
    }
    if (!store::FindTrendValue(o.trend)) {
        prompts.Message(store::UnknownTrendValueReason(o.trend));
        return false;
    }
    std::unique_ptr<store::ShotStore> shots;
    const std::string url(base::Trim(o.store ? *o.store : settings.Text(base::setting::kStoreUrl)));
    if (!base::Show(store::OpenStore(url, base::ProgramFolder(), shots), prompts)) return false;
    history.distanceUnit = shot::ReadDistanceUnit(settings, 0);
    history.speedUnit = shot::ReadSpeedUnit(settings, 0);
    return base::Show(store::ReadPlayerHistory(*shots, player, o.trend, o.item, history), prompts);
}

bool SetPaper(QPdfWriter& writer, const std::string& paper) {
    double w = 0;
    double h = 0;
    if (paper == "a4" || paper == "A4") {
        writer.setPageSize(QPageSize(QPageSize::A4));
    } else if (paper == "letter" || paper == "Letter") {
        writer.setPageSize(QPageSize(QPageSize::Letter));
    } else if (ReadSize(paper, w, h) && w <= 2000 && h <= 2000) {
        writer.setPageSize(QPageSize(QSizeF(w, h), QPageSize::Millimeter));
    } else {
        return false;
    }
    const double margin = std::min(10.0, std::min(w > 0 ? w : 210, h > 0 ? h : 297) * 0.05);
    writer.setPageMargins(QMarginsF(margin, margin, margin, margin), QPageLayout::Millimeter);
    return true;
}

}  // namespace

int RunReportCommand(const std::vector<std::string>& args) {
    Options o;
    if (!Parse(args, o)) {
        std::fprintf(stderr, "%s", kReportUsage);
        return 2;
    }
    // Painting needs an application object; the offscreen platform needs no display.
    std::unique_ptr<QGuiApplication> application;
    if (!QGuiApplication::instance()) {
        if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
        static int argc = 1;
        static char name[] = "kyvern-cli";
        static char* argv[] = {name, nullptr};
        application = std::make_unique<QGuiApplication>(argc, argv);
        // Qt takes the user's locale; numbers and dates keep the program's own forms.
        std::setlocale(LC_ALL, "C");
    }

    base::StderrPrompts prompts;
    const app::PassOptions pass = app::ReadPassOptions();
    data::ShotTable table(pass.flight, base::Settings());
    table.SetupTable();
    table.ReadDisplayUnits(pass.snapshot);
    for (const std::string& file : o.sessions) {
        data::LoadReport report;
        if (!base::Show(data::LoadSession(table, file, report), prompts)) return 1;
    }

    ReportSource source;
    source.table = &table;
    if (!o.player.empty() || (o.kinds & kHistoryReport) || o.view == "gapping" ||
        o.view == "trend") {
        store::PlayerHistory history;
        if (!ReadHistory(o, table, source.settings, prompts, history)) return 1;
        source.history = std::move(history);
    }
    if (!o.view.empty()) {
        QImage image(o.width, o.height, QImage::Format_RGB32);
        image.fill(Qt::white);
        QPainter painter(&image);
        const QRectF rect(0, 0, o.width, o.height);
        if (o.view == "impact") {
            const shot::ShotRecord shot = ShotOfRow(table, table.CurrentRow(), source.settings);
            DrawImpact(painter, rect, table.CurrentRow() >= 1 ? &shot : nullptr,
                       ReadImpactOptions(source.settings));
        } else if (o.view == "gapping") {
            DrawGapping(painter, rect, *source.history);
        } else if (o.view == "trend") {
            DrawTrend(painter, rect, *source.history);
        } else if (o.view == "profile") {
            DrawSideView(painter, rect, CollectSession(table, source.settings));
        } else {
            DrawTopView(painter, rect, CollectSession(table, source.settings));
        }
        painter.end();
        if (!image.save(QString::fromStdString(o.out), "PNG")) {
            std::fprintf(stderr, "kyvern-cli: cannot write %s\n", o.out.c_str());
            return 1;
        }
        return 0;
    }

    if (!o.image.empty()) {
        source.ballImage = BallImage(o.image, prompts);
        if (source.ballImage.isNull()) return 1;
        source.ballImageCaption = o.image;
    }
    const unsigned available = AvailableReports(source);
    unsigned bits = o.kinds;
    if (bits == 0) bits = available & ~static_cast<unsigned>(kPrinterReport);
    if (const unsigned missing = bits & ~available) {
        for (ReportBit bit : ReportsInOrder(missing)) {
            std::fprintf(stderr, "kyvern-cli: the %s needs %s\n", ReportLabel(bit),
                         bit == kBallImageReport ? "a frame (--image FRAMES.bmp)"
                                                 : "the window; it is not printed from a session");
        }
        return 2;
    }
    QPdfWriter writer(QString::fromStdString(o.out));
    if (!SetPaper(writer, o.paper)) {
        std::fprintf(stderr, "%s", kReportUsage);
        return 2;
    }
    writer.setResolution(300);
    writer.setTitle(QString::fromUtf8(kProductTitle));
    writer.setCreator(QStringLiteral("kyvern-cli"));
    const PrintOutcome outcome = PrintReports(writer, bits, source, prompts);
    if (outcome.pages == 0) {
        std::fprintf(stderr, "kyvern-cli: nothing printed\n");
        return 1;
    }
    std::printf("Printed %d pages to %s\n", outcome.pages, o.out.c_str());
    return outcome.tooSmall ? 1 : 0;
}

}  // namespace kyvern::report
