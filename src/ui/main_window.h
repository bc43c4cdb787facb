#pragma once

#include <QMainWindow>
#include <QString>
#include <array>
#include <functional>
#include <memory>
#include <string>

#include "app/launch_monitor.h"
#include "app/monitor_view.h"
#include "data/shot_table.h"
#include "ui/caps_lock_state.h"
#include "ui/practice_range.h"
#include "ui/qt_prompts.h"

class QAbstractButton;
class QButtonGroup;
class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QSlider;
class QStackedWidget;
class QTimer;

namespace kyvern::ui {

class DrawingView;
class ImageView;
class InfoPanel;
class MessageListWidget;
class HistoryWindow;
class ShotAnalysisWindow;
class ShotsView;

// How the window is put together; the program passes its own, the tests doubles.
struct WindowOptions {
    app::TimerHost* timers = nullptr;      // required: the shot cycle's timers
    base::UserPrompts* prompts = nullptr;  // null: message boxes over the window
    capture::CameraTable* cameras = nullptr;
    app::MonitorOptions monitor;
    // Closing fades the window out where the platform can make a window translucent.
    bool fade = true;
    // Asks for the name of a file to write (title, filter, suggested name); empty when the
    // user cancels. Null: the platform's file dialog.
    std::function<QString(const QString&, const QString&, const QString&)> askSavePath;
};

// The main window: the views of the last shot, the shot table, the camera's speed and
// brightness, the overlay switches and a button for every command, each handed to the
// LaunchMonitor it owns. Everything runs on the window's thread, driven by the shot cycle's
// timers and the user's commands.
class MainWindow final : public QMainWindow,
                         public app::MonitorView,
                         public data::ShotTableListener {
    Q_OBJECT
public:
    // The views in the order of their indexes, and the words Setup/ViewType keeps.
    enum View { kImage = 0, kImpact = 1, kProfile = 2, kDownRange = 3, kShots = 4 };
    static constexpr std::array<const char*, 5> kViewWords{"Image", "Impact", "Profile",
                                                           "Downrange", "Shots"};
    // The alpha of each step of the fade-out: 100 % to 4 % of 255 in steps of 16 %.
    static constexpr std::array<int, 7> kFadeAlphas{255, 214, 173, 132, 91, 51, 10};

    explicit MainWindow(WindowOptions options, QWidget* parent = nullptr);
    ~MainWindow() override;

    app::LaunchMonitor& Monitor() { return *monitor_; }

    // Window start, once the window is shown: the settings into the controls, the colour-depth
    // check, then the monitor's links, timers and name lists.
    void Start();

    // --- Commands (the buttons call these after their dialogs) ---
    void SwitchView(int view);
    int CurrentView() const { return view_; }
    bool OpenImageFrom(const std::string& path);
    bool SaveImageTo(const std::string& path);
    bool SaveSessionTo(const std::string& path);
    bool LoadSessionFrom(const std::string& path);
    void NewSession();
    void DeleteLastShot();
    void DeleteRecords();
    // "Export CSV": the shots in the display units, to a file the user names.
    void ExportCsv();
    // "&Analysis": the shot analysis window, filled with the current shot.
    void OpenAnalysis();
    // "Histor&y": the player's stored sessions, gapping and trend.
    void OpenHistory();
    void ReportsCommand();
    // "E&xit": the column widths and the name lists are saved, then the window closes.
    void Exit();
    // The settings dialog's OK and the UpdateSettings command: what the window shows from the
    // settings, read again.
    void ApplySettings();

    ImageView& Image() { return *imageView_; }
    ShotsView& Shots() { return *shotsView_; }
    // The drawing view of Impact, Profile or Down Range; null for the others.
    DrawingView* Drawing(int view) const;
    // The analysis window once opened; null before.
    ShotAnalysisWindow* Analysis() const { return analysisWindow_; }
    // The history window once opened; null before.
    HistoryWindow* History() const { return historyWindow_; }
    const QString& PixelText() const { return pixelText_; }

    // --- MonitorView ---
    void ShowClubAndIndex(const shot::ShotRecord& shot, const std::string& label) override;
    void ShowPracticeRange(const shot::ShotRecord& shot) override;
    void ShotRecorded(const shot::ShotRecord& shot, bool newShot) override;
    void ShotFailed(std::int32_t errorCode) override;
    void ShowCaptureLabel(const std::string& text) override;
    void ShowFileLabel(const std::string& text) override;
    void ShowFrame(int slot) override;
    void ShowFocusFrame(const frame::CapturedImage& frame, const std::string& text) override;
    void SetTitle(const std::string& title) override;
    void SettingsReloaded() override;
    void CloseRequested() override;
    void RefreshAnalysisWindow() override;
    void ShowSimulatorLink(const links::SimLinkState& state) override;
    void SimulatorLinkNote(const std::string& line) override;
    void ShowShotStore(const store::StoreState& state) override;

    // --- ShotTableListener ---
    void DeleteLastShotEnabledChanged(bool enabled) override;

signals:
    // A pass of the shot cycle ended, with a shot or without.
    void PassEnded(bool recorded);

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void BuildControls();
    void SetTabOrder();
    void ReadControls();
    // The view's button, page and drawing, without writing the settings.
    void ShowView(int view);
    void ShowPanels(const shot::ShotRecord* shot);
    // The views take the table's current row again (a session loaded, cleared or cut).
    void CurrentShotChanged();
    QString AskSavePath(const QString& title, const QString& filter, const QString& name);
    void RefreshNameLists();
    void NamesEdited();
    void SpeedMoved(int position);
    void BrightnessMoved(int position);
    void OverlayToggled(int which, bool on);
    void OpenImageCommand();
    void SaveImageCommand();
    void SaveSessionCommand();
    void LoadSessionCommand();
    void AdvancedCommand();
    void PointMarked(bool line, bool solved);
    void FadeStep();
    QPushButton* AddButton(base::MessageId label, const char* name);
    // The store the History window reads; null when it cannot be opened (the user is told).
    store::ShotStore* ShotHistory();
    void RefreshHistoryWindow();

    WindowOptions options_;
    QtPrompts ownPrompts_;
    base::UserPrompts* prompts_;
    MessageListWidget* messages_ = nullptr;
    std::unique_ptr<app::LaunchMonitor> monitor_;
    CapsLockState capsLock_;

    // Controls, in tab order.
    std::array<QPushButton*, 5> viewButtons_{};
    QButtonGroup* viewGroup_ = nullptr;
    QPushButton* deleteLastShot_ = nullptr;
    QPushButton* analysis_ = nullptr;
    QPushButton* history_ = nullptr;
    QComboBox* player_ = nullptr;
    QComboBox* session_ = nullptr;
    QComboBox* item_ = nullptr;
    std::array<QPushButton*, 5> speedLabels_{};
    QSlider* brightness_ = nullptr;
    QPushButton* advanced_ = nullptr;
    std::array<QCheckBox*, 4> overlays_{};  // marks, mono, plane, grid
    QPushButton* reports_ = nullptr;
    QPushButton* openImage_ = nullptr;
    QPushButton* saveImage_ = nullptr;
    QPushButton* launcher_ = nullptr;
    QPushButton* help_ = nullptr;
    QLineEdit* fileName_ = nullptr;
    QPushButton* saveSession_ = nullptr;
    QPushButton* newSession_ = nullptr;
    QPushButton* loadSession_ = nullptr;
    QPushButton* deleteRecord_ = nullptr;
    QPushButton* exportCsv_ = nullptr;
    ShotsView* shotsView_ = nullptr;
    QSlider* speed_ = nullptr;
    QPushButton* exit_ = nullptr;
    QCheckBox* suspend_ = nullptr;

    QStackedWidget* pages_ = nullptr;
    QWidget* sessionButtons_ = nullptr;
    QStackedWidget* drawings_ = nullptr;  // the four drawing views by their index
    ImageView* imageView_ = nullptr;
    std::array<DrawingView*, 3> drawingViews_{};  // Impact, Profile, Down Range
    ShotAnalysisWindow* analysisWindow_ = nullptr;
    HistoryWindow* historyWindow_ = nullptr;
    // The history this window reads when the monitor records none (a second instance).
    std::unique_ptr<store::ShotStore> ownHistory_;
    PracticeRange practiceRange_;
    InfoPanel* ballPanel_ = nullptr;
    InfoPanel* clubPanel_ = nullptr;
    InfoPanel* flightPanel_ = nullptr;
    QLabel* captureLabel_ = nullptr;
    QLabel* pixelLabel_ = nullptr;
    QLabel* speedUnitLabel_ = nullptr;
    QLabel* unitsLabel_ = nullptr;
    QLabel* simulatorLabel_ = nullptr;
    QLabel* storeLabel_ = nullptr;
    QString pixelText_;
    QString scoreLabel_;
    QTimer* capsTimer_ = nullptr;
    QTimer* fadeTimer_ = nullptr;

    int view_ = kImage;
    bool started_ = false;
    bool closing_ = false;
    int fadeStep_ = 0;
};

}  // namespace kyvern::ui
