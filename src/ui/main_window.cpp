#include "ui/main_window.h"

#include <QApplication>
#include <QBuffer>
#include <QButtonGroup>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QFileDialog>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QPainter>
#include <QPushButton>
#include <QScreen>
#include <QSlider>
#include <QStackedWidget>
#include <QTableView>
#include <QTimer>
#include <QVBoxLayout>
#include <cstdio>

#include "app/overlay_drawing.h"
#include "base/program_folder.h"
#include "base/settings_schema.h"
#include "base/string_table.h"
#include "data/csv_export.h"
#include "data/session_file.h"
#include "data/text_format.h"
#include "report/green_drawing.h"
#include "report/panel_drawing.h"
#include "shot/text_formats.h"
#include "shot/units.h"
#include "store/open_store.h"
#include "ui/about_box.h"
#include "ui/drawing_views.h"
#include "ui/history_window.h"
#include "ui/image_view.h"
#include "ui/info_panel.h"
#include "ui/message_list_widget.h"
#include "ui/reports_dialog.h"
#include "ui/settings_dialog.h"
#include "ui/shot_analysis_window.h"
#include "ui/shots_view.h"
#include "ui/user_guide.h"

namespace kyvern::ui {
namespace {

using base::MessageId;

QString T(MessageId id) {
    const std::string_view text = base::Text(id);
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

QString Q(const std::string& text) { return QString::fromStdString(text); }

std::string S(const QString& text) { return text.toStdString(); }

constexpr std::array kSpeedWords{"Fast", "Medium", "Slow", "SuperSlow", "Putt"};
constexpr std::array kSpeedLabels{MessageId::kLabelFast, MessageId::kLabelMedium,
                                  MessageId::kLabelSlow, MessageId::kLabelSuperSlow,
                                  MessageId::kLabelPutt};
// The overlay check boxes in tab order and the keys they write.
constexpr std::array kOverlayLabels{MessageId::kLabelMarks, MessageId::kLabelMono,
                                    MessageId::kLabelPlane, MessageId::kLabelGrid};
constexpr std::array kOverlayKeys{base::setting::kOverlayMarks, base::setting::kOverlayMono,
                                  base::setting::kOverlayPlanes, base::setting::kOverlayGrid};
constexpr std::array kViewLabels{MessageId::kLabelImage, MessageId::kLabelImpact,
                                 MessageId::kLabelProfile, MessageId::kLabelDownRange,
                                 MessageId::kLabelShots};

}  // namespace

MainWindow::MainWindow(WindowOptions options, QWidget* parent)
    : QMainWindow(parent),
      options_(std::move(options)),
      ownPrompts_(this),
      prompts_(options_.prompts ? options_.prompts : &ownPrompts_) {
    messages_ = new MessageListWidget;
    messages_->setObjectName("messageList");
    monitor_ = std::make_unique<app::LaunchMonitor>(*options_.timers, *prompts_, *messages_,
                                                    options_.cameras, options_.monitor);
    monitor_->SetView(this);
    // The live page's picture is the window's own Down Range view, drawn afresh for each shot.
    monitor_->SetLivePicture([this] {
        QImage image(960, 640, QImage::Format_RGB32);
        image.fill(Qt::white);
        {
            QPainter painter(&image);
            report::DrawTopView(
                painter, QRectF(image.rect()),
                report::CollectSession(monitor_->Table(), base::SettingsSnapshot::Read()));
        }
        QByteArray png;
        QBuffer buffer(&png);
        buffer.open(QIODevice::WriteOnly);
        image.save(&buffer, "PNG");
        return std::string(png.constData(), static_cast<std::size_t>(png.size()));
    });
    monitor_->Table().AddListener(this);
    setWindowTitle(QStringLiteral("Kyvern"));
    setWindowOpacity(1.0);
    BuildControls();
    SetTabOrder();

    // The About box lives in the window's own menu: there is no system menu to put it in.
    QMenu* menu = menuBar()->addMenu(T(MessageId::kLabelHelpMenu));
    QAction* about = menu->addAction(T(MessageId::kLabelAbout));
    about->setObjectName("aboutAction");
    connect(about, &QAction::triggered, this, [this] {
        std::array<long, 4> serials{};
        if (options_.cameras) {
            for (int i = 0; i < 4; ++i) {
                const std::uint32_t s = options_.cameras->SerialOfSlot(i);
                serials[std::size_t(i)] = s == capture::kNoSerial ? 0 : long(s);
            }
        }
        AboutBox::Show(this, serials);
    });

    fadeTimer_ = new QTimer(this);
    connect(fadeTimer_, &QTimer::timeout, this, &MainWindow::FadeStep);
    if (capsLock_.Known()) {
        capsTimer_ = new QTimer(this);
        connect(capsTimer_, &QTimer::timeout, this,
                [this] { monitor_->SetSuspended(capsLock_.On()); });
        capsTimer_->start(250);
    }
}

MainWindow::~MainWindow() {
    // Its reading may be under way in the store, which goes with the monitor.
    delete historyWindow_;
    historyWindow_ = nullptr;
    monitor_->Table().RemoveListener(this);
    for (DrawingView* view : drawingViews_)
        view->SetTable(nullptr);
    monitor_->Stop();
    monitor_->SetView(nullptr);
    // The grid listens to the monitor's table and the monitor writes to the message list: the
    // grid goes before the monitor, the monitor before the child widgets.
    delete shotsView_;
    monitor_.reset();
}

QPushButton* MainWindow::AddButton(MessageId label, const char* name) {
    auto* button = new QPushButton(T(label));
    button->setObjectName(name);
    return button;
}

void MainWindow::BuildControls() {
    auto* central = new QWidget;
    setCentralWidget(central);
    auto* columns = new QHBoxLayout(central);
    auto* left = new QVBoxLayout;
    columns->addLayout(left, 1);

    // Views, the shot commands and the three name boxes.
    auto* top = new QHBoxLayout;
    left->addLayout(top);
    viewGroup_ = new QButtonGroup(this);
    viewGroup_->setExclusive(true);
    const char* viewNames[] = {"imageButton", "impactButton", "profileButton", "downRangeButton",
                               "shotsButton"};
    for (int v = 0; v < 5; ++v) {
        QPushButton* b = AddButton(kViewLabels[std::size_t(v)], viewNames[v]);
        b->setCheckable(true);
        viewGroup_->addButton(b, v);
        viewButtons_[std::size_t(v)] = b;
    }
    for (int v : {kImage, kImpact, kProfile, kShots})
        top->addWidget(viewButtons_[std::size_t(v)]);
    connect(viewGroup_, &QButtonGroup::idClicked, this, &MainWindow::SwitchView);
    deleteLastShot_ = AddButton(MessageId::kLabelDeleteLastShot, "deleteLastShotButton");
    deleteLastShot_->setEnabled(false);
    connect(deleteLastShot_, &QPushButton::clicked, this, &MainWindow::DeleteLastShot);
    analysis_ = AddButton(MessageId::kLabelAnalysis, "analysisButton");
    connect(analysis_, &QPushButton::clicked, this, &MainWindow::OpenAnalysis);
    history_ = AddButton(MessageId::kLabelHistory, "historyButton");
    connect(history_, &QPushButton::clicked, this, &MainWindow::OpenHistory);
    top->addSpacing(12);
    top->addWidget(deleteLastShot_);
    top->addWidget(analysis_);
    top->addWidget(history_);
    top->addStretch(1);
    auto nameBox = [&](MessageId label, const char* name) {
        auto* box = new QComboBox;
        box->setObjectName(name);
        box->setEditable(true);
        box->setInsertPolicy(QComboBox::NoInsert);
        box->setMinimumContentsLength(10);
        auto* caption = new QLabel(T(label));
        caption->setBuddy(box);
        top->addWidget(caption);
        top->addWidget(box);
        connect(box, &QComboBox::editTextChanged, this, [this] { NamesEdited(); });
        return box;
    };
    player_ = nameBox(MessageId::kLabelPlayer, "playerBox");
    session_ = nameBox(MessageId::kLabelSession, "sessionBox");
    item_ = nameBox(MessageId::kLabelItem, "itemBox");

    // The drawing area (a view of the last shot with the message list) and the shot table page.
    pages_ = new QStackedWidget;
    left->addWidget(pages_, 1);
    auto* drawing = new QWidget;
    auto* drawingLayout = new QHBoxLayout(drawing);
    drawingLayout->setContentsMargins(0, 0, 0, 0);
    drawings_ = new QStackedWidget;
    imageView_ = new ImageView(*monitor_);
    imageView_->setObjectName("imageView");
    drawings_->addWidget(imageView_);
    drawingViews_ = {new ImpactView, new ProfileView, new DownRangeView};
    const char* drawingNames[] = {"impactView", "profileView", "downRangeView"};
    for (std::size_t i = 0; i < drawingViews_.size(); ++i) {
        drawingViews_[i]->setObjectName(drawingNames[i]);
        drawingViews_[i]->SetTable(&monitor_->Table());
        drawings_->addWidget(drawingViews_[i]);
    }
    drawingLayout->addWidget(drawings_, 3);
    messages_->setMinimumWidth(220);
    drawingLayout->addWidget(messages_, 1);
    pages_->addWidget(drawing);
    connect(imageView_, &ImageView::PixelReadout, this, [this](const QString& text) {
        pixelText_ = text;
        pixelLabel_->setText(text);
    });
    connect(imageView_, &ImageView::PointMarked, this, &MainWindow::PointMarked);

    auto* shotsPage = new QWidget;
    auto* shotsLayout = new QVBoxLayout(shotsPage);
    shotsLayout->setContentsMargins(0, 0, 0, 0);
    shotsView_ = new ShotsView(monitor_->Table());
    shotsView_->setObjectName("shotsView");
    shotsLayout->addWidget(shotsView_, 1);
    sessionButtons_ = new QWidget;
    auto* sessionRow = new QHBoxLayout(sessionButtons_);
    sessionRow->setContentsMargins(0, 0, 0, 0);
    saveSession_ = AddButton(MessageId::kLabelSaveSession, "saveSessionButton");
    newSession_ = AddButton(MessageId::kLabelNewSession, "newSessionButton");
    loadSession_ = AddButton(MessageId::kLabelLoadSession, "loadSessionButton");
    deleteRecord_ = AddButton(MessageId::kLabelDeleteRecord, "deleteRecordButton");
    exportCsv_ = AddButton(MessageId::kLabelExportCsv, "exportCsvButton");
    for (QPushButton* b : {saveSession_, newSession_, loadSession_, deleteRecord_, exportCsv_})
        sessionRow->addWidget(b);
    sessionRow->addStretch(1);
    shotsLayout->addWidget(sessionButtons_);
    pages_->addWidget(shotsPage);
    connect(saveSession_, &QPushButton::clicked, this, &MainWindow::SaveSessionCommand);
    connect(newSession_, &QPushButton::clicked, this, &MainWindow::NewSession);
    connect(loadSession_, &QPushButton::clicked, this, &MainWindow::LoadSessionCommand);
    connect(deleteRecord_, &QPushButton::clicked, this, &MainWindow::DeleteRecords);
    connect(exportCsv_, &QPushButton::clicked, this, &MainWindow::ExportCsv);

    // The information panels and the status line.
    auto* panels = new QHBoxLayout;
    left->addLayout(panels);
    ballPanel_ = new InfoPanel(T(MessageId::kPanelBall));
    clubPanel_ = new InfoPanel(T(MessageId::kPanelClub));
    flightPanel_ = new InfoPanel(T(MessageId::kPanelFlight));
    ballPanel_->setObjectName("ballPanel");
    clubPanel_->setObjectName("clubPanel");
    flightPanel_->setObjectName("flightPanel");
    for (InfoPanel* p : {ballPanel_, clubPanel_, flightPanel_})
        panels->addWidget(p, 1);
    auto* status = new QHBoxLayout;
    left->addLayout(status);
    captureLabel_ = new QLabel;
    captureLabel_->setObjectName("captureLabel");
    pixelLabel_ = new QLabel;
    pixelLabel_->setObjectName("pixelLabel");
    pixelLabel_->setMinimumWidth(200);
    speedUnitLabel_ = new QLabel(QStringLiteral("MPH"));
    speedUnitLabel_->setObjectName("speedUnitLabel");
    auto* rpm = new QLabel(QStringLiteral("RPM"));
    unitsLabel_ = new QLabel;
    unitsLabel_->setObjectName("unitsLabel");
    simulatorLabel_ = new QLabel;
    simulatorLabel_->setObjectName("simulatorLabel");
    simulatorLabel_->hide();  // until the golf simulator link has something to say
    storeLabel_ = new QLabel;
    storeLabel_->setObjectName("storeLabel");
    storeLabel_->hide();  // while every shot reaches the history
    suspend_ = new QCheckBox(T(MessageId::kLabelSuspendRemote));
    suspend_->setObjectName("suspendBox");
    suspend_->setVisible(!capsLock_.Known());
    connect(suspend_, &QCheckBox::toggled, this, [this](bool on) { monitor_->SetSuspended(on); });
    status->addWidget(captureLabel_);
    status->addSpacing(16);
    status->addWidget(pixelLabel_);
    status->addSpacing(16);
    status->addWidget(simulatorLabel_);
    status->addWidget(storeLabel_);
    status->addStretch(1);
    status->addWidget(suspend_);
    status->addSpacing(16);
    status->addWidget(speedUnitLabel_);
    status->addWidget(rpm);
    status->addWidget(unitsLabel_);

    // The right column: the camera and display settings and the commands.
    auto* right = new QVBoxLayout;
    columns->addLayout(right);
    auto* settingsBox = new QGroupBox(T(MessageId::kLabelSettings));
    settingsBox->setObjectName("settingsGroup");
    right->addWidget(settingsBox);
    auto* box = new QVBoxLayout(settingsBox);
    speed_ = new QSlider(Qt::Horizontal);
    speed_->setObjectName("speedSlider");
    speed_->setRange(0, int(kSpeedWords.size()) - 1);
    speed_->setPageStep(1);
    speed_->setTickPosition(QSlider::TicksBelow);
    box->addWidget(speed_);
    auto* speedRow = new QHBoxLayout;
    box->addLayout(speedRow);
    const char* speedNames[] = {"fastLabel", "mediumLabel", "slowLabel", "superSlowLabel",
                                "puttLabel"};
    for (int i = 0; i < int(kSpeedWords.size()); ++i) {
        QPushButton* b = AddButton(kSpeedLabels[std::size_t(i)], speedNames[i]);
        b->setFlat(true);
        speedRow->addWidget(b);
        speedLabels_[std::size_t(i)] = b;
        connect(b, &QPushButton::clicked, this, [this, i] { speed_->setValue(i); });
    }
    connect(speed_, &QSlider::valueChanged, this, &MainWindow::SpeedMoved);
    auto* brightnessRow = new QHBoxLayout;
    box->addLayout(brightnessRow);
    brightnessRow->addWidget(new QLabel(T(MessageId::kLabelBrightness)));
    brightness_ = new QSlider(Qt::Horizontal);
    brightness_->setObjectName("brightnessSlider");
    brightness_->setRange(0, 10);
    brightness_->setPageStep(1);
    brightness_->setTickPosition(QSlider::TicksBelow);
    brightnessRow->addWidget(brightness_, 1);
    brightnessRow->addWidget(new QLabel(T(MessageId::kLabelNormal)));
    connect(brightness_, &QSlider::valueChanged, this, &MainWindow::BrightnessMoved);
    advanced_ = AddButton(MessageId::kLabelAdvanced, "advancedButton");
    connect(advanced_, &QPushButton::clicked, this, &MainWindow::AdvancedCommand);
    box->addWidget(advanced_);
    auto* overlayGrid = new QGridLayout;
    box->addLayout(overlayGrid);
    const char* overlayNames[] = {"marksBox", "monoBox", "planeBox", "gridBox"};
    for (int i = 0; i < 4; ++i) {
        auto* check = new QCheckBox(T(kOverlayLabels[std::size_t(i)]));
        check->setObjectName(overlayNames[i]);
        overlayGrid->addWidget(check, i / 2, i % 2);
        overlays_[std::size_t(i)] = check;
        connect(check, &QCheckBox::toggled, this, [this, i](bool on) { OverlayToggled(i, on); });
    }
    reports_ = AddButton(MessageId::kLabelReports, "reportsButton");
    openImage_ = AddButton(MessageId::kLabelOpenImage, "openImageButton");
    saveImage_ = AddButton(MessageId::kLabelSaveImage, "saveImageButton");
    launcher_ = AddButton(MessageId::kLabelProgramLauncher, "launcherButton");
    help_ = AddButton(MessageId::kLabelHelp, "helpButton");
    for (QPushButton* b : {reports_, openImage_, saveImage_, launcher_, help_})
        box->addWidget(b);
    connect(reports_, &QPushButton::clicked, this, &MainWindow::ReportsCommand);
    connect(help_, &QPushButton::clicked, this, [this] {
        if (!OpenUserGuide("")) prompts_->Message(base::Text(MessageId::kGuideNotOpened));
    });
    connect(openImage_, &QPushButton::clicked, this, &MainWindow::OpenImageCommand);
    connect(saveImage_, &QPushButton::clicked, this, &MainWindow::SaveImageCommand);
    connect(launcher_, &QPushButton::clicked, this, [this] { monitor_->LaunchProgram(); });
    auto* fileRow = new QHBoxLayout;
    box->addLayout(fileRow);
    fileName_ = new QLineEdit;
    fileName_->setObjectName("fileNameField");
    fileName_->setReadOnly(true);
    fileName_->setMinimumWidth(fontMetrics().horizontalAdvance(QString(34, QChar('M'))) / 2);
    auto* fileCaption = new QLabel(T(MessageId::kLabelFile));
    fileCaption->setBuddy(fileName_);
    fileRow->addWidget(fileCaption);
    fileRow->addWidget(fileName_, 1);
    box->addWidget(viewButtons_[kDownRange]);
    viewButtons_[kDownRange]->hide();  // see ReadControls
    box->addStretch(1);
    right->addStretch(1);
    exit_ = AddButton(MessageId::kLabelExit, "exitButton");
    connect(exit_, &QPushButton::clicked, this, &MainWindow::Exit);
    right->addWidget(exit_);
    settingsBox->setFixedWidth(std::max(300, settingsBox->sizeHint().width()));
}

void MainWindow::SetTabOrder() {
    std::vector<QWidget*> order{viewButtons_[kImage],
                                viewButtons_[kImpact],
                                viewButtons_[kProfile],
                                viewButtons_[kShots],
                                deleteLastShot_,
                                analysis_,
                                history_,
                                player_,
                                session_,
                                item_};
    for (QPushButton* b : speedLabels_)
        order.push_back(b);
    order.insert(order.end(), {brightness_, advanced_});
    for (QCheckBox* c : overlays_)
        order.push_back(c);
    order.insert(order.end(), {reports_, openImage_, saveImage_, launcher_, help_, fileName_,
                               viewButtons_[kDownRange], saveSession_, newSession_, loadSession_,
                               deleteRecord_, exportCsv_, shotsView_->TableView(), speed_, exit_});
    for (std::size_t i = 1; i < order.size(); ++i)
        setTabOrder(order[i - 1], order[i]);
}

void MainWindow::Start() {
    if (started_) return;
    started_ = true;
    ReadControls();
    // Fewer colours than true colour would show the frames banded; said once, then on.
    const QScreen* shown = screen();
    const int depth = shown ? shown->depth() : 32;
    if (depth != 24 && depth != 32) prompts_->Message(base::Text(MessageId::kColourDepthWarning));
    monitor_->Start();
    shotsView_->LoadWidths();
    const std::pair<QComboBox*, std::string> names[] = {
        {player_, monitor_->User()}, {session_, monitor_->Session()}, {item_, monitor_->Item()}};
    for (const auto& [box, text] : names) {
        const QSignalBlocker block(box);
        box->setEditText(Q(text));
    }
    RefreshNameLists();
}

void MainWindow::ReadControls() {
    // One read for the whole of the window's controls.
    const base::SettingsSnapshot settings = base::SettingsSnapshot::Read();
    {
        const QSignalBlocker block(speed_);
        const int choice = settings.Choice(base::setting::kCameraSpeed);
        speed_->setValue(choice < 0 ? 1 : choice);
    }
    {
        const QSignalBlocker block(brightness_);
        brightness_->setValue(
            10 - std::clamp<long>(settings.Integer(base::setting::kCameraBrightness), 0, 10));
    }
    const app::OverlaySwitches on = app::ReadOverlaySwitches(settings);
    const bool states[] = {on.marks, on.mono, on.planes, on.grid};
    for (std::size_t i = 0; i < overlays_.size(); ++i) {
        const QSignalBlocker block(overlays_[i]);
        overlays_[i]->setChecked(states[i]);
    }
    int view = kImage;
    const std::string word(base::Trim(settings.Text(base::setting::kViewType)));
    for (std::size_t v = 0; v < kViewWords.size(); ++v)
        if (base::EqualsNoCase(word, kViewWords[v])) view = int(v);
    ShowView(view);
    // Down Range is offered to those who look down the range: with a practice range set up,
    // or when it was the view last shown.
    const bool rangeSetUp =
        PracticeRangeScreen(settings.Text(base::setting::kPracticeRange), 1).has_value();
    viewButtons_[kDownRange]->setVisible(rangeSetUp || view == kDownRange);

    const std::string label(base::Trim(settings.Text(base::setting::kLauncherButtonLabel)));
    launcher_->setText(Q(label));
    launcher_->setVisible(label.size() >= 2);

    monitor_->Table().ReadDisplayUnits(monitor_->Pass().snapshot);
    ShowPanels(monitor_->Table().CurrentRow() > 0 ? &monitor_->CurrentShot() : nullptr);
    imageView_->Redraw();
    for (DrawingView* drawingView : drawingViews_)
        drawingView->Refresh();
    practiceRange_.Apply();
    if (analysisWindow_) analysisWindow_->SettingsChanged();
    if (historyWindow_)
        historyWindow_->SetUnits(monitor_->Table().DistanceUnit(), monitor_->Table().SpeedUnit());
}

void MainWindow::ApplySettings() {
    monitor_->ReloadSettings();
    ReadControls();
}

void MainWindow::SettingsReloaded() { ReadControls(); }

void MainWindow::ShowView(int view) {
    view_ = view;
    viewButtons_[std::size_t(view)]->setChecked(true);
    pages_->setCurrentIndex(view == kShots ? 1 : 0);
    if (view != kShots) drawings_->setCurrentIndex(view);
}

DrawingView* MainWindow::Drawing(int view) const {
    return view >= kImpact && view <= kDownRange ? drawingViews_[std::size_t(view - kImpact)]
                                                 : nullptr;
}

void MainWindow::SwitchView(int view) {
    if (view < 0 || view >= int(kViewWords.size())) return;
    ShowView(view);
    if (!base::Settings().Write(base::setting::kViewType, kViewWords[std::size_t(view)]))
        prompts_->Message(base::Text(MessageId::kCouldNotWriteSettings));
    update();
}

void MainWindow::SpeedMoved(int position) {
    if (position < 0 || position >= int(kSpeedWords.size())) return;
    if (!base::Settings().Write(base::setting::kCameraSpeed, kSpeedWords[std::size_t(position)]))
        prompts_->Message(base::Text(MessageId::kCouldNotWriteSettings));
    if (options_.cameras) options_.cameras->ApplySpeedAndBrightness();
}

void MainWindow::BrightnessMoved(int position) {
    char value[24];
    std::snprintf(value, sizeof value, "%ld", 10L - position);
    if (!base::Settings().Write(base::setting::kCameraBrightness, value))
        prompts_->Message(base::Text(MessageId::kCouldNotWriteSettings));
    if (options_.cameras) options_.cameras->ApplySpeedAndBrightness();
}

void MainWindow::OverlayToggled(int which, bool on) {
    if (!base::Settings().Write(kOverlayKeys[std::size_t(which)], on ? "On" : "Off"))
        prompts_->Message(base::Text(MessageId::kCouldNotWriteSettings));
    imageView_->Redraw();
}

void MainWindow::NamesEdited() {
    monitor_->SetNames(S(player_->currentText()), S(session_->currentText()),
                       S(item_->currentText()));
}

void MainWindow::RefreshNameLists() {
    const data::NameLists& names = monitor_->Names();
    auto fill = [](QComboBox* box, const std::vector<std::string>& list) {
        const QSignalBlocker block(box);
        const QString text = box->currentText();
        box->clear();
        for (const std::string& name : list)
            box->addItem(Q(name));
        box->setEditText(text);
    };
    fill(player_, names.Players());
    fill(session_, names.Sessions());
    fill(item_, names.Items());
}

bool MainWindow::OpenImageFrom(const std::string& path) { return monitor_->OpenImage(path); }

bool MainWindow::SaveImageTo(const std::string& path) { return monitor_->SaveImage(path); }

void MainWindow::OpenImageCommand() {
    const QString path = QFileDialog::getOpenFileName(
        this, T(MessageId::kLabelOpenImage).remove('&'), QString(),
        T(MessageId::kImageFilesFilter) + ";;" + T(MessageId::kAllFilesFilter));
    if (!path.isEmpty()) OpenImageFrom(S(path));
}

void MainWindow::SaveImageCommand() {
    QFileDialog dialog(this, T(MessageId::kLabelSaveImage).remove('&'), QString(),
                       T(MessageId::kImageFilesFilter) + ";;" + T(MessageId::kAllFilesFilter));
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setDefaultSuffix(QStringLiteral("bmp"));
    if (dialog.exec() == QDialog::Accepted && !dialog.selectedFiles().isEmpty())
        SaveImageTo(S(dialog.selectedFiles().front()));
}

bool MainWindow::SaveSessionTo(const std::string& path) { return monitor_->SaveSession(path); }

bool MainWindow::LoadSessionFrom(const std::string& path) {
    data::LoadReport report;
    const bool loaded = monitor_->LoadSession(path, report);
    CurrentShotChanged();
    if (loaded) {
        char text[160];
        std::snprintf(text, sizeof text, std::string(base::Text(MessageId::kSessionLoaded)).c_str(),
                      report.loaded, report.skipped);
        messages_->Add(text);
    }
    return loaded;
}

void MainWindow::SaveSessionCommand() {
    QFileDialog dialog(this, T(MessageId::kLabelSaveSession), QString(),
                       T(MessageId::kTextFilesFilter) + ";;" + T(MessageId::kAllFilesFilter));
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setDefaultSuffix(QStringLiteral("txt"));
    if (dialog.exec() == QDialog::Accepted && !dialog.selectedFiles().isEmpty())
        SaveSessionTo(S(dialog.selectedFiles().front()));
}

void MainWindow::LoadSessionCommand() {
    const QString path = QFileDialog::getOpenFileName(
        this, T(MessageId::kLabelLoadSession), QString(),
        T(MessageId::kTextFilesFilter) + ";;" + T(MessageId::kAllFilesFilter));
    if (!path.isEmpty()) LoadSessionFrom(S(path));
}

void MainWindow::NewSession() {
    monitor_->NewSession();
    CurrentShotChanged();
}

void MainWindow::DeleteLastShot() {
    monitor_->Table().DeleteLastShot();
    CurrentShotChanged();
}

void MainWindow::DeleteRecords() {
    monitor_->DeleteSelectedShots();
    CurrentShotChanged();
}

void MainWindow::CurrentShotChanged() {
    for (DrawingView* view : drawingViews_)
        view->ClearCurrentShot();
}

QString MainWindow::AskSavePath(const QString& title, const QString& filter, const QString& name) {
    if (options_.askSavePath) return options_.askSavePath(title, filter, name);
    return QFileDialog::getSaveFileName(this, title, name, filter);
}

void MainWindow::ExportCsv() {
    const QString path =
        AskSavePath(T(MessageId::kLabelExportCsv),
                    QStringLiteral("CSV (*.csv);;") + T(MessageId::kAllFilesFilter),
                    QStringLiteral("Kyvern Shots.csv"));
    if (path.isEmpty()) return;
    const data::CsvExportResult result =
        data::ExportShotsCsv(monitor_->Table(), base::SettingsSnapshot::Read(), S(path));
    messages_->Add(result.message);
    prompts_->Message(result.message);
}

void MainWindow::OpenAnalysis() {
    if (!analysisWindow_) {
        analysisWindow_ = new ShotAnalysisWindow({}, prompts_, this);
        analysisWindow_->setObjectName("analysisWindow");
        connect(analysisWindow_, &ShotAnalysisWindow::reportsRequested, this,
                &MainWindow::ReportsCommand);
    }
    if (monitor_->ShotsRecorded() > 0) analysisWindow_->ShowShot(monitor_->CurrentShot().launch);
    analysisWindow_->show();
    analysisWindow_->raise();
}

store::ShotStore* MainWindow::ShotHistory() {
    if (store::ShotStore* recorded = monitor_->ShotHistory()) return recorded;
    if (!ownHistory_) {
        const std::string url(base::Trim(monitor_->Pass().snapshot.Text(base::setting::kStoreUrl)));
        if (!base::Show(store::OpenStore(url, base::ProgramFolder(), ownHistory_), *prompts_))
            return nullptr;
    }
    return ownHistory_.get();
}

void MainWindow::OpenHistory() {
    if (!historyWindow_) {
        store::ShotStore* history = ShotHistory();
        if (!history) return;
        historyWindow_ = new HistoryWindow(*history, this);
        historyWindow_->setObjectName("historyWindow");
    }
    const data::ShotTable& table = monitor_->Table();
    historyWindow_->SetUnits(table.DistanceUnit(), table.SpeedUnit());
    historyWindow_->SetPlayer(S(player_->currentText()));
    historyWindow_->Refresh();
    historyWindow_->show();
    historyWindow_->raise();
}

void MainWindow::RefreshHistoryWindow() {
    // After the pass: the history takes the shot last, once the window has shown it.
    if (historyWindow_ && historyWindow_->isVisible()) historyWindow_->RefreshSoon();
}

void MainWindow::RefreshAnalysisWindow() {
    if (analysisWindow_ && analysisWindow_->isVisible())
        analysisWindow_->ShowShot(monitor_->CurrentShot().launch);
}

void MainWindow::ReportsCommand() {
    report::ReportSource source;
    source.table = &monitor_->Table();
    if (monitor_->ShotsRecorded() > 0) source.currentShot = monitor_->CurrentShot();
    source.scoreLabel = S(scoreLabel_);
    source.ballImage = imageView_->Picture();
    source.ballImageCaption = S(fileName_->text());
    if (analysisWindow_) source.shotAnalysis = ShotAnalysisPicture(*analysisWindow_);
    // The history as the History window shows it, else the player's of the player box.
    if (historyWindow_) historyWindow_->Settle();
    if (historyWindow_ && historyWindow_->Problem().empty() &&
        !historyWindow_->History().player.empty()) {
        source.history = historyWindow_->History();
    } else if (store::ShotStore* history = ShotHistory()) {
        store::PlayerHistory read;
        read.distanceUnit = monitor_->Table().DistanceUnit();
        read.speedUnit = monitor_->Table().SpeedUnit();
        const std::string player = S(player_->currentText());
        if (!player.empty() &&
            store::ReadPlayerHistory(*history, player, read.trendValue, std::nullopt, read))
            source.history = std::move(read);
    }
    RunReports(this, source, *prompts_);
}

void MainWindow::DeleteLastShotEnabledChanged(bool enabled) {
    deleteLastShot_->setEnabled(enabled);
}

void MainWindow::AdvancedCommand() {
    const base::Settings settings;
    if (!SettingsDialog::Unlock(settings, this)) return;
    SettingsDialog dialog(settings, this);
    dialog.SetPrompts(prompts_);
    if (dialog.exec() == QDialog::Accepted) ApplySettings();
}

void MainWindow::Exit() {
    shotsView_->SaveWidths();
    monitor_->Names().SaveNameLists();
    close();
}

void MainWindow::closeEvent(QCloseEvent* event) {
    if (!closing_) {
        closing_ = true;
        monitor_->Stop();
        if (capsTimer_) capsTimer_->stop();
        // Only a window system that composes windows can make one translucent.
        const bool canFade = options_.fade && isVisible() && !isMinimized() &&
                             QGuiApplication::platformName() == QLatin1String("xcb");
        if (canFade) {
            event->ignore();
            fadeStep_ = 0;
            FadeStep();
            fadeTimer_->start(30);
            return;
        }
    } else if (fadeTimer_->isActive()) {
        event->ignore();  // the fade ends the window
        return;
    }
    event->accept();
}

void MainWindow::FadeStep() {
    if (fadeStep_ < int(kFadeAlphas.size())) {
        setWindowOpacity(kFadeAlphas[std::size_t(fadeStep_++)] / 255.0);
        return;
    }
    fadeTimer_->stop();
    close();
}

void MainWindow::CloseRequested() {
    // Closed from the event loop, not from inside the command check that asked for it.
    QMetaObject::invokeMethod(this, &QWidget::close, Qt::QueuedConnection);
}

void MainWindow::ShowClubAndIndex(const shot::ShotRecord& shot, const std::string& label) {
    scoreLabel_ = Q(label);
    ShowPanels(&shot);
}

void MainWindow::ShowPracticeRange(const shot::ShotRecord& shot) { practiceRange_.ShowShot(shot); }

void MainWindow::ShotRecorded(const shot::ShotRecord& shot, bool newShot) {
    ShowPanels(&shot);
    imageView_->Redraw();
    // The table numbers the shot as it records it; the drawings title it with that number.
    shot::ShotRecord shown = shot;
    const data::ShotTable& table = monitor_->Table();
    if (shown.shotNumber == 0 && table.CurrentRow() > 0)
        shown.shotNumber = data::ReadLong(table.Cell(table.CurrentRow(), data::kShotColumn));
    for (DrawingView* view : drawingViews_)
        view->SetCurrentShot(shown);
    RefreshNameLists();
    RefreshHistoryWindow();
    if (newShot) emit PassEnded(true);
}

void MainWindow::ShotFailed(std::int32_t) {
    imageView_->Redraw();
    RefreshNameLists();
    emit PassEnded(false);
}

void MainWindow::ShowCaptureLabel(const std::string& text) { captureLabel_->setText(Q(text)); }

void MainWindow::ShowFileLabel(const std::string& text) { fileName_->setText(Q(text)); }

void MainWindow::ShowFrame(int slot) { imageView_->ShowSlot(slot); }

void MainWindow::ShowFocusFrame(const frame::CapturedImage& frame, const std::string&) {
    imageView_->ShowFocus(frame, T(MessageId::kFocusMode));
}

void MainWindow::SetTitle(const std::string& title) { setWindowTitle(Q(title)); }

void MainWindow::ShowSimulatorLink(const links::SimLinkState& state) {
    char line[80];
    std::snprintf(line, sizeof line,
                  std::string(base::Text(MessageId::kSimulatorLinkState)).c_str(),
                  links::SimLinkPhaseName(state.phase));
    simulatorLabel_->setText(QString::fromUtf8(line));
    // The reason is long: the label keeps the line short and tells it under the mouse.
    simulatorLabel_->setToolTip(Q(state.reason));
    simulatorLabel_->setVisible(state.phase != links::SimLinkPhase::kOff || !state.reason.empty());
}

void MainWindow::ShowShotStore(const store::StoreState& state) {
    char line[120];
    std::snprintf(line, sizeof line, std::string(base::Text(MessageId::kShotStoreState)).c_str(),
                  state.lastError.empty() ? "connected" : "error", state.queued);
    storeLabel_->setText(QString::fromUtf8(line));
    storeLabel_->setToolTip(Q(state.lastError.empty() ? state.where : state.lastError));
    // Nothing to say while every shot goes straight in.
    storeLabel_->setVisible(!state.lastError.empty() || state.queued > 0);
    RefreshHistoryWindow();  // the queued shots may have gone in
}

void MainWindow::SimulatorLinkNote(const std::string& line) {
    // The line is in the message list already; the status line keeps the latest under the
    // mouse.
    simulatorLabel_->setToolTip(Q(line));
}

void MainWindow::PointMarked(bool, bool solved) {
    imageView_->Redraw();
    if (!solved) return;
    monitor_->RemeasureShot();
}

void MainWindow::ShowPanels(const shot::ShotRecord* shot) {
    // Units and colours edited into the settings file by hand show from the next shot on.
    const auto panels = report::InfoPanels(shot, S(scoreLabel_), monitor_->Pass().snapshot);
    InfoPanel* shown[] = {ballPanel_, clubPanel_, flightPanel_};
    for (std::size_t i = 0; i < panels.size(); ++i) {
        std::vector<std::pair<QString, QString>> rows;
        for (const auto& [label, value] : panels[i].lines)
            rows.emplace_back(QString::fromUtf8(label.c_str()), QString::fromUtf8(value.c_str()));
        shown[i]->SetTitle(QString::fromUtf8(panels[i].title.c_str()));
        shown[i]->SetRows(rows);
        shown[i]->SetColour(panels[i].colour);
    }
    const data::ShotTable& table = monitor_->Table();
    speedUnitLabel_->setText(QString::fromLatin1(shot::SpeedLabel(table.SpeedUnit())));
    unitsLabel_->setText(Q(table.UnitsLabel()));
}

}  // namespace kyvern::ui
