// The main window driven as the user drives it, offscreen, with the shot cycle's timers fired by
// hand so that nothing happens between two steps of a test.
#include <gtest/gtest.h>
#include <unistd.h>

#include <QAbstractItemModel>
#include <QApplication>
#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPushButton>
#include <QSlider>
#include <QTableView>
#include <QTableWidget>
#include <QTest>
#include <algorithm>
#include <cmath>
#include <memory>

#include "app/app_fixtures.h"
#include "frame/camera_model.h"
#include "report/history_drawing.h"
#include "report/shot_drawing.h"
#include "shot/text_formats.h"
#include "shot/units.h"
#include "sim/frame_renderer.h"
#include "support/eventually.h"
#include "support/line_clicks.h"
#include "ui/about_box.h"
#include "ui/caps_lock_state.h"
#include "ui/drawing_views.h"
#include "ui/history_window.h"
#include "ui/image_view.h"
#include "ui/info_panel.h"
#include "ui/main_window.h"
#include "ui/shot_analysis_window.h"
#include "ui/shots_view.h"

namespace kyvern::ui {
namespace {

using testing::Eventually;

class Window : public ::testing::Test {
protected:
    Window() {
        env.Set("Setup", "ImageHistorySize", "3");
        sim::SimulatorOptions simulator;
        simulator.cameras = 1, simulator.shotPeriod = 0.0, simulator.seed = 11;
        driver = std::make_unique<sim::SimulatedCameraDriver>(simulator, env.Settings());
        cameras = std::make_unique<capture::CameraTable>(*driver, prompts, env.Settings());
        cameras->SetGrabPause(std::chrono::microseconds(0));
        cameras->InitCameras();
        Open();
    }
    // A new window over the same cameras and settings, started.
    void Open() {
        window.reset();
        WindowOptions options;
        options.timers = &timers, options.prompts = &prompts, options.cameras = cameras.get();
        options.monitor.wait = [](int) {};
        options.monitor.routerTiming = testing::QuickRouter();
        options.fade = false;
        options.askSavePath = [this](const QString&, const QString&, const QString&) {
            return QString::fromStdString(savePath);
        };
        window = std::make_unique<MainWindow>(options);
        // Larger than the frame: every frame pixel has a screen pixel of its own.
        window->resize(2200, 1500);
        window->show();
        window->Start();
    }
    ~Window() override {
        window.reset();
        cameras->Shutdown();
    }

    template <typename T>
    T* Find(const char* name) {
        T* found = window->findChild<T*>(name);
        EXPECT_NE(found, nullptr) << name;
        return found;
    }
    // One strobe of the simulated camera, taken by the camera timer's next tick.
    bool Shoot() {
        driver->RequestShot();
        return Eventually([&] { return cameras->HasNewFrame(sim::kFirstSimulatedSerial); }) &&
               timers.Fire(app::kCameraTimer);
    }
    std::string Key(const char* section, const char* key) { return env.Get(section, key); }

    testing::TempHome env;
    testing::RecordingPrompts prompts;
    testing::ManualTimerHost timers;
    std::unique_ptr<sim::SimulatedCameraDriver> driver;
    std::unique_ptr<capture::CameraTable> cameras;
    std::unique_ptr<MainWindow> window;
    std::string savePath;  // what the file dialog answers
};

// Each control writes its key at once, in the words the settings file keeps.
TEST_F(Window, ControlsWriteTheirKeys) {
    auto* speed = Find<QSlider>("speedSlider");
    auto* brightness = Find<QSlider>("brightnessSlider");
    struct Case {
        std::function<void()> act;
        const char* section;
        const char* key;
        const char* value;
    };
    const Case cases[] = {
        {[&] { speed->setValue(3); }, "Camera", "Speed", "SuperSlow"},
        {[&] { QTest::mouseClick(Find<QPushButton>("fastLabel"), Qt::LeftButton); }, "Camera",
         "Speed", "Fast"},
        {[&] { speed->setValue(2); }, "Camera", "Speed", "Slow"},
        {[&] { QTest::mouseClick(Find<QPushButton>("puttLabel"), Qt::LeftButton); }, "Camera",
         "Speed", "Putt"},
        {[&] { brightness->setValue(0); }, "Camera", "Brightness", "10"},
        {[&] { brightness->setValue(10); }, "Camera", "Brightness", "0"},
        {[&] { Find<QCheckBox>("marksBox")->click(); }, "ImageDisplay", "Marks", "On"},
        {[&] { Find<QCheckBox>("marksBox")->click(); }, "ImageDisplay", "Marks", "Off"},
        {[&] { Find<QCheckBox>("planeBox")->click(); }, "ImageDisplay", "Planes", "On"},
        {[&] { Find<QCheckBox>("gridBox")->click(); }, "ImageDisplay", "Grid", "On"},
        {[&] { Find<QPushButton>("shotsButton")->click(); }, "Setup", "ViewType", "Shots"},
        {[&] { Find<QPushButton>("imageButton")->click(); }, "Setup", "ViewType", "Image"},
    };
    for (const Case& c : cases) {
        c.act();
        EXPECT_EQ(Key(c.section, c.key), c.value) << c.section << "/" << c.key;
    }
    // The views are one radio group: the image is on, the shots off.
    EXPECT_TRUE(Find<QPushButton>("imageButton")->isChecked());
    EXPECT_FALSE(Find<QPushButton>("shotsButton")->isChecked());
    EXPECT_EQ(window->CurrentView(), MainWindow::kImage);
    // The grid overlay is drawn: the view's picture is in colour now.
    ASSERT_TRUE(Shoot());
    EXPECT_FALSE(window->Image().Picture().isGrayscale());
}

// Each drawing view's button shows its view, which draws the new shot; a ViewType of
// "Downrange" brings out the button that starts hidden.
TEST_F(Window, ViewButtonsShowTheirDrawingsOfTheShot) {
    auto* downRange = Find<QPushButton>("downRangeButton");
    EXPECT_FALSE(downRange->isVisibleTo(window.get()));
    std::vector<QImage> before;
    for (int v : {MainWindow::kImpact, MainWindow::kProfile, MainWindow::kDownRange})
        before.push_back(window->Drawing(v)->grab().toImage());
    ASSERT_TRUE(Shoot());
    const struct {
        const char* button;
        int view;
        const char* word;
    } cases[] = {{"impactButton", MainWindow::kImpact, "Impact"},
                 {"profileButton", MainWindow::kProfile, "Profile"},
                 {"downRangeButton", MainWindow::kDownRange, "Downrange"}};
    for (std::size_t i = 0; i < std::size(cases); ++i) {
        SCOPED_TRACE(cases[i].word);
        Find<QPushButton>(cases[i].button)->click();
        EXPECT_EQ(Key("Setup", "ViewType"), cases[i].word);
        EXPECT_EQ(window->CurrentView(), cases[i].view);
        DrawingView* view = window->Drawing(cases[i].view);
        EXPECT_TRUE(view->isVisibleTo(window.get()));
        EXPECT_FALSE(window->Image().isVisibleTo(window.get()));
        EXPECT_NE(view->grab().toImage(), before[i]);
    }
    Find<QPushButton>("imageButton")->click();
    env.Set("Setup", "ViewType", "Downrange");
    window->ApplySettings();
    EXPECT_TRUE(downRange->isVisibleTo(window.get()));
    EXPECT_TRUE(downRange->isChecked());
    EXPECT_TRUE(window->Drawing(MainWindow::kDownRange)->isVisibleTo(window.get()));
}

// "&Analysis" opens the analysis window with the current shot in its fields.
TEST_F(Window, AnalysisOpensWithTheCurrentShot) {
    ASSERT_TRUE(Shoot());
    Find<QPushButton>("analysisButton")->click();
    ShotAnalysisWindow* analysis = window->Analysis();
    ASSERT_NE(analysis, nullptr);
    EXPECT_TRUE(analysis->isVisible());
    const shot::LaunchConditions& launch = window->Monitor().CurrentShot().launch;
    char spin[32], angle[32];
    std::snprintf(spin, sizeof spin, "%.0f", launch.backSpin);
    std::snprintf(angle, sizeof angle, "%.1f", launch.launchAngle);
    EXPECT_EQ(analysis->SpinField()->text().toStdString(), spin);
    EXPECT_EQ(analysis->LaunchField()->text().toStdString(), angle);
    EXPECT_FALSE(analysis->CarryField()->text().isEmpty());  // analysed, not just filled
}

// "Export CSV" writes the file the dialog names, its two header rows and a row per shot, and
// says so.
TEST_F(Window, ExportCsvWritesTheNamedFile) {
    ASSERT_TRUE(Shoot());
    ASSERT_TRUE(Shoot());
    savePath = env.File("shots.csv");
    Find<QPushButton>("exportCsvButton")->click();
    const std::string text = testing::ReadFileText(savePath);
    EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 4) << text;
    ASSERT_FALSE(prompts.messages.empty());
    EXPECT_EQ(prompts.messages.back().rfind("2 shots exported to ", 0), 0u)
        << prompts.messages.back();
}

// A simulator link that cannot start says so in the status line; an unset one says nothing.
TEST_F(Window, SimulatorLinkStateReachesTheStatusLine) {
    auto* label = Find<QLabel>("simulatorLabel");
    EXPECT_FALSE(label->isVisibleTo(window.get()));
    env.Set("SimulatorLink", "Protocol", "Pigeon");
    Open();
    label = Find<QLabel>("simulatorLabel");
    EXPECT_TRUE(label->isVisibleTo(window.get()));
    EXPECT_EQ(label->text().toStdString(), "Simulator: off");
    EXPECT_NE(label->toolTip().toStdString().find("Pigeon"), std::string::npos);
}

// Tab goes through the controls in the order of the control table.
TEST_F(Window, TabOrderFollowsTheControlTable) {
    const QString expected =
        "imageButton impactButton profileButton shotsButton deleteLastShotButton analysisButton "
        "playerBox sessionBox itemBox fastLabel mediumLabel slowLabel superSlowLabel "
        "brightnessSlider advancedButton marksBox monoBox planeBox gridBox reportsButton "
        "openImageButton saveImageButton launcherButton helpButton fileNameField downRangeButton "
        "saveSessionButton newSessionButton loadSessionButton deleteRecordButton speedSlider "
        "exitButton";
    const QStringList names = expected.split(' ');
    QStringList seen;
    QWidget* w = Find<QWidget>("imageButton");
    for (int n = 0; n < 500 && seen.size() < names.size(); ++n, w = w->nextInFocusChain())
        if (names.contains(w->objectName())) seen.push_back(w->objectName());
    EXPECT_EQ(seen.join(' ').toStdString(), expected.toStdString());
}

// The History window reads the store the shots are recorded in: a shot shows there once the
// pass has stored it, and the charts are drawn where their layout says.
TEST_F(Window, TheHistoryWindowShowsEachShotOnceStored) {
    Find<QPushButton>("historyButton")->click();
    HistoryWindow* history = window->History();
    ASSERT_NE(history, nullptr);
    EXPECT_TRUE(history->isVisible());
    EXPECT_EQ(history->History().shots, 0);
    EXPECT_TRUE(history->Problem().empty()) << history->Problem();
    ASSERT_TRUE(Shoot());
    ASSERT_TRUE(Eventually([&] {
        QCoreApplication::processEvents();
        return history->History().shots == 1;
    }));
    const store::PlayerHistory& shown = history->History();
    EXPECT_EQ(shown.player, window->Monitor().User());
    EXPECT_EQ(history->Sessions()->rowCount(), 1);
    ASSERT_EQ(shown.gapping.size(), 1u);
    EXPECT_EQ(shown.gapping[0].item, window->Monitor().Item());
    EXPECT_EQ(shown.trendItem, shown.gapping[0].item);  // the longest club's trend
    EXPECT_NEAR(shown.gapping[0].carry.mean, window->Monitor().CurrentShot().flight.carry, 1e-6);
    ASSERT_EQ(shown.trend.size(), 1u);

    const QImage gapping = Find<QWidget>("gappingChart")->grab().toImage();
    const report::GappingFrame bars = report::GappingLayout(QRectF(gapping.rect()), shown);
    const double middle = (bars.X(0) + bars.X(shown.gapping[0].carry.mean)) / 2;
    EXPECT_EQ(gapping.pixelColor(int(middle), int(bars.RowY(0))), report::ItemColour(0));
    const QImage trend = Find<QWidget>("trendChart")->grab().toImage();
    const report::TrendFrame plot = report::TrendLayout(QRectF(trend.rect()), shown);
    const QPointF point = plot.Map(0, shown.trend[0].value.mean * plot.scale);
    EXPECT_EQ(trend.pixelColor(point.toPoint()), report::ItemColour(0));
}

// A shot of the simulated camera reaches the table, the three panels and the Image view, whose
// read-out gives the level of the frame's pixel under the mouse.
TEST_F(Window, SimulatedShotReachesTablePanelsAndImage) {
    ASSERT_TRUE(Shoot());
    ASSERT_EQ(window->Monitor().ShotsRecorded(), 1);
    const shot::ShotRecord& shot = window->Monitor().CurrentShot();
    EXPECT_EQ(window->Shots().TableView()->model()->rowCount(), 2);  // group and shot
    const int speedUnit = window->Monitor().Table().SpeedUnit();
    EXPECT_EQ(Find<InfoPanel>("ballPanel")->Figure(0).toStdString(),
              shot::FormatValue(shot::ToDisplaySpeed(shot.launch.ballSpeed, speedUnit)) + " " +
                  shot::SpeedLabel(speedUnit));
    EXPECT_FALSE(Find<InfoPanel>("clubPanel")->Figure(0).isEmpty());
    EXPECT_FALSE(Find<InfoPanel>("flightPanel")->Figure(0).isEmpty());
    EXPECT_TRUE(Find<QPushButton>("deleteLastShotButton")->isEnabled());

    const frame::CapturedImage& frame = window->Monitor().Frame(0);
    ASSERT_EQ(window->Image().Picture().size(), QSize(frame.width, frame.height));
    const int x = frame.width / 2 + 37, y = frame.height / 3;
    // Sent to the view itself: the offscreen platform places a moved cursor by the window's
    // frame, not by the view.
    const QPointF at = window->Image().FrameToWidget(x, y);
    QMouseEvent move(QEvent::MouseMove, at, window->Image().mapToGlobal(at), Qt::NoButton,
                     Qt::NoButton, Qt::NoModifier);
    QApplication::sendEvent(&window->Image(), &move);
    char expected[64];
    std::snprintf(expected, sizeof expected, "x %d  y %d  level %d", x, y, int(frame.At(y, x)));
    EXPECT_EQ(window->PixelText().toStdString(), expected);
}

// The "File:" field shows a name of 30 characters whole; one of 31 loses its first character
// to an ellipsis.
TEST_F(Window, FileFieldShowsTheLastThirtyCharacters) {
    ASSERT_TRUE(Shoot());
    const std::string folder = env.Path();
    char* was = ::getcwd(nullptr, 0);
    ASSERT_EQ(::chdir(folder.c_str()), 0);
    const std::string thirty = "abcdefghijklmnopqrstuvwxyz.bmp";
    const std::string thirtyOne = "_" + thirty;
    EXPECT_TRUE(window->SaveImageTo(thirty));
    EXPECT_EQ(Find<QLineEdit>("fileNameField")->text().toStdString(), thirty);
    EXPECT_TRUE(window->SaveImageTo(thirtyOne));
    EXPECT_EQ(Find<QLineEdit>("fileNameField")->text().toStdString(), "..." + thirty);
    EXPECT_EQ(::chdir(was), 0);
    std::free(was);
}

// Two clicks on the printed line where the renderer drew it bring a spoilt ball's spin back,
// in the recorded shot and in its row of the table.
TEST_F(Window, TwoClicksCorrectARenderedShotsLine) {
    sim::ShotSetup setup;
    setup.width = 640, setup.height = 480, setup.ballSpeed = 160.0, setup.launchAngle = 14.0;
    setup.sideAngle = 2.0, setup.backSpin = 4500.0, setup.sideSpin = -400.0;
    setup.t2 = setup.t1 + sim::StrobeIntervalFor(setup.ballSpeed);
    setup.lineNormal = sim::NormalAcrossSpin(setup.backSpin, setup.sideSpin, 0.0);
    setup.ball0 = sim::CentredStart(setup, 15.0);
    sim::FrameRenderer renderer;
    auto frame = std::make_unique<frame::CapturedImage>();
    ASSERT_TRUE(renderer.Render(setup, *frame));
    const sim::ShotTruth truth = renderer.Truth();
    capture::ImageFile file{kyvern::base::Settings()};
    file.SetImage(0, *frame);
    const std::string path = env.File("rendered.bmp");
    ASSERT_TRUE(file.Save(path));
    ASSERT_TRUE(window->OpenImageFrom(path));
    app::LaunchMonitor& monitor = window->Monitor();
    ASSERT_EQ(monitor.ShotsRecorded(), 1);
    auto backSpinShown = [&] {
        const data::ShotTable& table = monitor.Table();
        return std::atof(table.Cell(table.CurrentRow(), data::kBackSpinColumn).c_str());
    };
    ASSERT_NEAR(backSpinShown(), setup.backSpin, 0.05 * setup.backSpin);

    // Spoil ball 0's line (turned 40 degrees about the camera's axis) and record it so.
    constexpr double kTurn = 40 * 0.017453292519943278;
    frame::BallRecord& ball0 = monitor.Scene().Slot(0).result.balls[0];
    frame::Xyz& n = ball0.viewNormal;
    n.Set(std::cos(kTurn) * n.x - std::sin(kTurn) * n.y,
          std::sin(kTurn) * n.x + std::cos(kTurn) * n.y, n.z);
    ball0.planeNormal = n;
    monitor.Scene().AlignNormals(0);
    ASSERT_TRUE(monitor.Scene().SolveLaunch());
    monitor.RemeasureShot();
    ASSERT_GT(std::fabs(backSpinShown() - setup.backSpin), 0.1 * setup.backSpin);

    for (const testing::LinePixel& click : testing::LineClicks(
             truth.ball0, truth.normal0, setup.ballDiameter, setup.width, setup.height))
        QTest::mouseClick(&window->Image(), Qt::LeftButton, {},
                          window->Image().FrameToWidget(click.x, click.y));
    EXPECT_NEAR(monitor.CurrentShot().launch.backSpin, setup.backSpin, 0.05 * setup.backSpin);
    EXPECT_NEAR(backSpinShown(), setup.backSpin, 0.05 * setup.backSpin);
    EXPECT_EQ(monitor.Table().RowCount(), 3);  // re-measured over its own row
}

// Where the keyboard does not report Caps Lock, the window's check box suspends the watched
// capture file in its place.
TEST_F(Window, SuspendBoxHoldsRemoteCaptures) {
    if (CapsLockState().Known()) GTEST_SKIP() << "this keyboard reports Caps Lock itself";
    ASSERT_TRUE(Shoot());
    const std::string dropped = env.File("dropped.bmp");
    env.Set("Remote", "CaptureFile", dropped);
    ASSERT_TRUE(window->SaveImageTo(dropped));
    app::LaunchMonitor& monitor = window->Monitor();
    monitor.StartCycleTimers(true);  // as a pass ends: the watched path taken
    const long passes = monitor.PassCount();
    auto* suspend = Find<QCheckBox>("suspendBox");
    ASSERT_TRUE(suspend->isVisibleTo(window.get()));
    suspend->click();
    EXPECT_TRUE(timers.Fire(app::kCaptureFileTimer));
    EXPECT_EQ(monitor.PassCount(), passes);
    suspend->click();
    EXPECT_TRUE(timers.Fire(app::kCaptureFileTimer));
    EXPECT_EQ(monitor.PassCount(), passes + 1);
}

// The About box: each serial above 0 as seven digits, the version, then the build date.
TEST(AboutBox, SerialsVersionAndBuildDate) {
    const long serials[] = {1234567, 0, 42, -5};
    const std::string text = AboutBox::Text(serials).toStdString();
    EXPECT_EQ(text.rfind("1234567\n0000042\nVersion 3.0.1\n", 0), 0u) << text;
    EXPECT_EQ(text.size(), std::string("1234567\n0000042\nVersion 3.0.1\nMar  7 2005").size());
}

// "E&xit" saves the column widths and the name lists; the window's close and the Shutdown
// command close without saving them. Every way stops the shot cycle's timers.
TEST_F(Window, ExitSavesWidthsAndNamesCloseAndShutdownDoNot) {
    enum class How { kExit, kClose, kShutdown };
    for (How how : {How::kClose, How::kShutdown, How::kExit}) {
        SCOPED_TRACE(int(how));
        if (how != How::kClose) Open();
        ASSERT_TRUE(Shoot());
        switch (how) {
            case How::kExit:
                QTest::mouseClick(Find<QPushButton>("exitButton"), Qt::LeftButton);
                break;
            case How::kClose:
                window->close();
                break;
            case How::kShutdown:
                base::ConfigStore::WriteSetting(env.File("statusKyvern.ini"), "Command", "Shutdown",
                                                "YES");
                timers.Advance(2000);
                QApplication::processEvents();
                break;
        }
        EXPECT_FALSE(window->isVisible());
        EXPECT_FALSE(timers.IsRunning(app::kCameraTimer));
        const bool saved = how == How::kExit;
        EXPECT_EQ(Key("MRU", "User0") == "Player", saved);
        EXPECT_EQ(Key("GridSetup", "ItemWidth") != "<missing>", saved);
    }
}

}  // namespace
}  // namespace kyvern::ui
