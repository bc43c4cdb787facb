// kyvern: the windowed launch monitor.
//   kyvern [--simulate] [minimized|minimizewindow|hide]
// Diagnostics for scripts and tests: --report-start prints one line when the window is ready
// for shots; --quit-when-ready ends there; --shots N fires the simulated camera until N shots
// are recorded; --screenshot PREFIX then saves PREFIX-VIEW.png of every view (image, impact,
// profile, downrange, shots), PREFIX-analysis.png of the analysis window and
// PREFIX-history.png of the history window, and ends.
#include <QApplication>
#include <QLibraryInfo>
#include <QLocale>
#include <QMessageBox>
#include <QTimer>
#include <QTranslator>
#include <chrono>
#include <clocale>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "app/headless_runner.h"
#include "app/instance_lock.h"
#include "base/program_folder.h"
#include "base/settings_snapshot.h"
#include "sim/simulated_driver.h"
#include "ui/history_window.h"
#include "ui/main_window.h"
#include "ui/qt_prompts.h"
#include "ui/qt_timer_host.h"
#include "ui/shot_analysis_window.h"
#include "ui/start_up.h"
#include "ui/user_guide.h"

using namespace kyvern;

namespace {

struct ProgramOptions {
    bool simulate = false;
    bool reportStart = false;
    bool quitWhenReady = false;
    long shots = 0;
    std::string screenshot;
    std::vector<std::string> words;  // everything else, for the start flags
};

bool ParseOptions(int argc, char** argv, ProgramOptions& options) {
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        if (a == "--simulate") {
            options.simulate = true;
        } else if (a == "--report-start") {
            options.reportStart = true;
        } else if (a == "--quit-when-ready") {
            options.quitWhenReady = true;
        } else if ((a == "--shots" || a == "--screenshot") && i + 1 < argc) {
            const std::string value = argv[++i];
            if (a == "--screenshot") {
                options.screenshot = value;
                continue;
            }
            char* end = nullptr;
            options.shots = std::strtol(value.c_str(), &end, 10);
            if (*end != '\0' || options.shots < 0) return false;
        } else if (a.rfind("--", 0) == 0) {
            return false;
        } else {
            options.words.push_back(a);
        }
    }
    return true;
}

// Qt's own dialog texts (buttons, file dialogs) in the language selected.
void InstallQtTranslation(QApplication& application, ui::UiLanguage language) {
    if (language != ui::UiLanguage::kJapanese) return;
    auto* translator = new QTranslator(&application);
    if (translator->load(QStringLiteral("qtbase_ja"),
                         QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
        QApplication::installTranslator(translator);
    QLocale::setDefault(QLocale(QLocale::Japanese, QLocale::Japan));
}

}  // namespace

int main(int argc, char** argv) {
    const auto began = std::chrono::steady_clock::now();
    ProgramOptions options;
    QApplication application(argc, argv);
    // Qt took the C library's locale from the environment: numbers and times written to files
    // keep the program's own formats whatever the user's locale.
    std::setlocale(LC_ALL, "C");
    if (!ParseOptions(argc, argv, options)) {
        std::fprintf(stderr,
                     "usage: kyvern [--simulate] [minimized|minimizewindow|hide] "
                     "[--report-start] [--quit-when-ready] [--shots N] [--screenshot PREFIX]\n");
        return 2;
    }
    if (std::string why; !base::OpenProgramFolder(why)) {
        QMessageBox::critical(nullptr, QStringLiteral("Kyvern"), QString::fromStdString(why));
        return 1;
    }

    const std::optional<ui::UiLanguage> user = ui::UserLanguage();
    ui::WriteFirstRunDefaults(user);
    ui::StartDecision decision;
    ui::SelectLanguage(user, decision);
    base::SetLanguage(decision.texts);
    InstallQtTranslation(application, decision.language);
    // Character handling follows the language where the system has its locale.
    if (decision.language == ui::UiLanguage::kJapanese) {
        if (!std::setlocale(LC_CTYPE, "ja_JP.UTF-8")) std::setlocale(LC_CTYPE, "C.UTF-8");
    } else {
        std::setlocale(LC_CTYPE, "C.UTF-8");
    }

    const app::InstanceLock lock(1000);
    const bool second = lock.Status() == app::InstanceLock::State::kTaken;
    if (second && !base::SettingsSnapshot::Read().Yes(base::setting::kAllowMultipleInstances))
        return 0;
    ui::ReadStartFlags(options.words, decision);

    ui::QtPrompts prompts;
    app::RunCameras cameras =
        app::OpenCameras(options.simulate, options.shots > 0, prompts, base::Settings());
    int status = 0;
    {
        ui::QtTimerHost timers;
        ui::WindowOptions windowOptions;
        windowOptions.timers = &timers;
        windowOptions.cameras = cameras.table.get();
        windowOptions.monitor.secondInstance = second;
        ui::MainWindow window(windowOptions);
        prompts.SetParent(&window);
        if (decision.toolWindow) window.setWindowFlag(Qt::Tool);
        window.resize(1440, 900);
        if (decision.minimize) {
            window.showMinimized();
        } else {
            window.show();
        }
        window.Start();
        // The guides are written after the window is up: a missing one takes a moment.
        if (!second) QTimer::singleShot(0, [] { ui::EnsureUserGuides(); });
        if (options.reportStart) {
            const double ms =
                std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - began)
                    .count();
            std::printf("ready %.0f ms language=%s minimized=%d tool=%d second=%d\n", ms,
                        ui::LanguageName(decision.language), int(decision.minimize),
                        int(decision.toolWindow), int(second));
            std::fflush(stdout);
        }
        if (!options.quitWhenReady) {
            long recorded = 0;
            sim::SimulatedCameraDriver* simulated = cameras.simulated;
            if (options.shots > 0 && simulated) {
                QObject::connect(&window, &ui::MainWindow::PassEnded, &window, [&](bool shot) {
                    if (shot) ++recorded;
                    if (recorded < options.shots) {
                        simulated->RequestShot();
                        return;
                    }
                    if (!options.screenshot.empty()) {
                        const QString prefix = QString::fromStdString(options.screenshot);
                        for (int view : {ui::MainWindow::kImage, ui::MainWindow::kImpact,
                                         ui::MainWindow::kProfile, ui::MainWindow::kDownRange,
                                         ui::MainWindow::kShots}) {
                            window.SwitchView(view);
                            const QString word =
                                QString::fromLatin1(ui::MainWindow::kViewWords[view]).toLower();
                            window.grab().save(prefix + '-' + word + ".png");
                        }
                        window.OpenAnalysis();
                        window.Analysis()->Plot();  // the current shot's flight in the plot
                        window.Analysis()->grab().save(prefix + "-analysis.png");
                        window.OpenHistory();
                        if (auto* history = window.History()) {
                            history->Settle();
                            history->grab().save(prefix + "-history.png");
                        }
                        window.close();
                    }
                });
                simulated->RequestShot();
            }
            status = application.exec();
        }
        prompts.SetParent(nullptr);  // the cameras may still speak while they shut down
    }
    if (cameras.table) cameras.table->Shutdown();
    return status;
}
