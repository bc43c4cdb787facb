#include "ui/shot_analysis_window.h"

#include <QComboBox>
#include <QElapsedTimer>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPainter>
#include <QPushButton>
#include <QTableWidget>
#include <QVBoxLayout>
#include <algorithm>
#include <cstdio>

#include "base/string_table.h"
#include "report/analysis_drawing.h"
#include "shot/units.h"

namespace kyvern::ui {

namespace {

class MessageBoxPrompts final : public base::UserPrompts {
public:
    explicit MessageBoxPrompts(QWidget* parent) : parent_(parent) {}
    void Message(std::string_view text) override {
        QMessageBox::information(parent_, QStringLiteral("Kyvern"),
                                 QString::fromUtf8(text.data(), static_cast<int>(text.size())));
    }
    bool OkCancel(std::string_view text) override {
        return QMessageBox::question(parent_, QStringLiteral("Kyvern"),
                                     QString::fromUtf8(text.data(), static_cast<int>(text.size())),
                                     QMessageBox::Ok | QMessageBox::Cancel) == QMessageBox::Ok;
    }

private:
    QWidget* parent_;
};

using base::MessageId;

QString T(MessageId id) {
    const std::string_view text = base::Text(id);
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

QString Printf(const char* format, double value) {
    char text[64];
    std::snprintf(text, sizeof text, format, value);
    return QString::fromUtf8(text);
}

}  // namespace

// The 640 x 480 plot picture, painted by the same function as the report's.
class AnalysisPlotWidget : public QWidget {
public:
    explicit AnalysisPlotWidget(const app::ShotAnalysis& analysis, QWidget* parent)
        : QWidget(parent), analysis_(analysis) {
        setFixedSize(app::ShotAnalysis::kPlotWidth, app::ShotAnalysis::kPlotHeight);
    }

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter painter(this);
        report::DrawAnalysisPlot(painter, QRectF(rect()), report::PlotDataOf(analysis_));
    }

private:
    const app::ShotAnalysis& analysis_;
};

ShotAnalysisWindow::ShotAnalysisWindow(base::Settings settings, base::UserPrompts* prompts,
                                       QWidget* parent)
    : QDialog(parent),
      ownPrompts_(prompts ? nullptr : std::make_unique<MessageBoxPrompts>(this)),
      analysis_(std::move(settings), prompts ? *prompts : *ownPrompts_) {
    setWindowTitle(T(MessageId::kAnalysisTitle));
    analysis_.LoadOptions();
    analysis_.ReadSettings();

    auto* inputs = new QGroupBox(T(MessageId::kAnalysisShotGroup), this);
    auto* grid = new QGridLayout(inputs);
    auto addField = [&](int row, const QString& label, QLabel** unit, const QString& unitText,
                        bool readOnly) {
        auto* field = new QLineEdit(inputs);
        field->setReadOnly(readOnly);
        field->setFixedWidth(80);
        field->setAlignment(Qt::AlignRight);
        auto* name = new QLabel(label, inputs);
        name->setBuddy(field);
        auto* unitLabel = new QLabel(unitText, inputs);
        grid->addWidget(name, row, 0);
        grid->addWidget(field, row, 1);
        grid->addWidget(unitLabel, row, 2);
        if (unit) *unit = unitLabel;
        return field;
    };
    speed_ = addField(0, T(MessageId::kAnalysisSpeed), &speedUnit_, QString(), false);
    spin_ = addField(1, T(MessageId::kAnalysisSpin), nullptr, QStringLiteral("rpm"), false);
    launch_ =
        addField(2, T(MessageId::kAnalysisLaunch), nullptr, T(MessageId::kAnalysisDegrees), false);
    sideSpin_ = addField(3, T(MessageId::kAnalysisSideSpin), nullptr, QStringLiteral("rpm"), false);
    sideAngle_ = addField(4, T(MessageId::kAnalysisSideAngle), nullptr,
                          T(MessageId::kAnalysisDegrees), false);
    grid->setRowMinimumHeight(5, 10);
    carry_ = addField(6, T(MessageId::kColumnCarry) + ":", &carryUnit_, QString(), true);
    offline_ = addField(7, T(MessageId::kColumnOffline) + ":", &offlineUnit_, QString(), true);
    total_ = addField(8, T(MessageId::kColumnTotal) + ":", &totalUnit_, QString(), true);

    colour_ = new QComboBox(inputs);
    for (MessageId name : {MessageId::kColourBlue, MessageId::kColourRed, MessageId::kColourGreen,
                           MessageId::kColourYellow, MessageId::kColourBlack})
        colour_->addItem(T(name));
    colour_->setCurrentIndex(analysis_.PlotColour());
    distance_ = new QComboBox(inputs);
    for (MessageId name :
         {MessageId::kColumnCarry, MessageId::kColumnTotal, MessageId::kDistanceRoll})
        distance_->addItem(T(name));
    distance_->setCurrentIndex(static_cast<int>(analysis_.DistanceChoice()));
    auto* colourLabel = new QLabel(T(MessageId::kAnalysisPlotColour), inputs);
    colourLabel->setBuddy(colour_);
    auto* distanceLabel = new QLabel(T(MessageId::kAnalysisTableShows), inputs);
    distanceLabel->setBuddy(distance_);
    grid->setRowMinimumHeight(9, 10);
    grid->addWidget(colourLabel, 10, 0);
    grid->addWidget(colour_, 10, 1, 1, 2);
    grid->addWidget(distanceLabel, 11, 0);
    grid->addWidget(distance_, 11, 1, 1, 2);
    connect(colour_, &QComboBox::currentIndexChanged, this,
            [this](int index) { analysis_.SetPlotColour(index); });
    connect(distance_, &QComboBox::currentIndexChanged, this, [this](int index) {
        analysis_.SetDistanceChoice(static_cast<app::AnalysisDistance>(index));
    });

    analyzeButton_ = new QPushButton(T(MessageId::kAnalysisAnalyze), this);
    analyzeButton_->setDefault(true);
    analyzeButton_->setAutoDefault(true);
    plotButton_ = new QPushButton(T(MessageId::kAnalysisPlot), this);
    clearButton_ = new QPushButton(T(MessageId::kAnalysisClearPlot), this);
    reportsButton_ = new QPushButton(T(MessageId::kAnalysisReports), this);
    exitButton_ = new QPushButton(T(MessageId::kAnalysisExit), this);
    for (QPushButton* button : {plotButton_, clearButton_, reportsButton_, exitButton_})
        button->setAutoDefault(false);
    connect(analyzeButton_, &QPushButton::clicked, this, [this] { Analyze(); });
    connect(plotButton_, &QPushButton::clicked, this, [this] { Plot(); });
    connect(clearButton_, &QPushButton::clicked, this, [this] { ClearPlot(); });
    connect(reportsButton_, &QPushButton::clicked, this, &ShotAnalysisWindow::reportsRequested);
    connect(exitButton_, &QPushButton::clicked, this, [this] { Exit(); });

    auto* buttons = new QVBoxLayout;
    for (QPushButton* button :
         {analyzeButton_, plotButton_, clearButton_, reportsButton_, exitButton_})
        buttons->addWidget(button);
    buttons->addStretch();

    auto* left = new QVBoxLayout;
    left->addWidget(inputs);
    left->addLayout(buttons);

    plot_ = new AnalysisPlotWidget(analysis_, this);

    tableWidget_ = new QTableWidget(kTableRows + 1, kTableColumns + 1, this);
    tableWidget_->horizontalHeader()->hide();
    tableWidget_->verticalHeader()->hide();
    tableWidget_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    tableWidget_->setSelectionMode(QAbstractItemView::NoSelection);
    tableWidget_->setFocusPolicy(Qt::NoFocus);
    tableWidget_->horizontalHeader()->setDefaultSectionSize(52);
    // Rows as tall as the font needs: Japanese text is taller than the 20 pixels of Latin.
    const int rowHeight = std::max(20, tableWidget_->fontMetrics().height() + 4);
    tableWidget_->verticalHeader()->setMinimumSectionSize(rowHeight);
    tableWidget_->verticalHeader()->setDefaultSectionSize(rowHeight);
    // The whole table in view: no scrolling to find the marked cell.
    tableWidget_->setMinimumSize(52 * (kTableColumns + 1) + 4, rowHeight * (kTableRows + 1) + 4);
    tableWidget_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    tableWidget_->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    for (int i = 0; i <= kTableRows; ++i)
        for (int j = 0; j <= kTableColumns; ++j) {
            auto* item = new QTableWidgetItem;
            item->setTextAlignment(Qt::AlignCenter);
            if (i == 0 || j == 0) item->setBackground(QColor(224, 224, 224));
            tableWidget_->setItem(i, j, item);
        }
    tableWidget_->item(0, 0)->setText(QStringLiteral("rpm \\ \u00B0"));

    // The plot picture sits at (25, 10) of the window, the fields and buttons beside it.
    auto* top = new QHBoxLayout;
    top->addWidget(plot_, 0, Qt::AlignTop);
    top->addSpacing(12);
    top->addLayout(left);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(25, 10, 25, 10);
    layout->addLayout(top);
    layout->addWidget(tableWidget_, 1);

    setTabOrder(speed_, spin_);
    setTabOrder(spin_, launch_);
    setTabOrder(launch_, sideSpin_);
    setTabOrder(sideSpin_, sideAngle_);
    ShowUnits();
}

ShotAnalysisWindow::~ShotAnalysisWindow() = default;

QWidget* ShotAnalysisWindow::PlotWidget() const { return plot_; }

void ShotAnalysisWindow::ShowUnits() {
    speedUnit_->setText(QString::fromUtf8(shot::SpeedLabel(analysis_.SpeedUnit())));
    const QString distance = QString::fromUtf8(shot::DistanceLabel(analysis_.DistanceUnit()));
    for (QLabel* label : {carryUnit_, offlineUnit_, totalUnit_})
        label->setText(distance);
}

void ShotAnalysisWindow::SettingsChanged() {
    std::string text = speed_->text().toStdString();
    if (analysis_.ReadSettings(&text)) speed_->setText(QString::fromStdString(text));
    ShowUnits();
    plot_->update();
}

app::AnalysisFields ShotAnalysisWindow::ReadFieldTexts() const {
    return {speed_->text().toStdString(), spin_->text().toStdString(),
            launch_->text().toStdString(), sideSpin_->text().toStdString(),
            sideAngle_->text().toStdString()};
}

bool ShotAnalysisWindow::Analyze() {
    app::AnalysisFields fields = ReadFieldTexts();
    const auto shot = analysis_.ReadFields(fields);
    speed_->setText(QString::fromStdString(fields.ballSpeed));
    ShowUnits();
    if (!shot) return false;
    const app::AnalysisDistances distances = analysis_.Distances(*shot);
    carry_->setText(QString::fromStdString(distances.carryText));
    offline_->setText(QString::fromStdString(distances.offlineText));
    total_->setText(QString::fromStdString(distances.totalText));

    // 15 x 15 flights take a few milliseconds, well within a frame of the event loop, so the
    // table is filled here rather than on a thread of its own.
    QElapsedTimer clock;
    clock.start();
    table_ = analysis_.Analyze(*shot, kTableRows, kTableColumns);
    FillTable();
    lastFillMs_ = static_cast<double>(clock.nsecsElapsed()) / 1e6;
    return true;
}

void ShotAnalysisWindow::FillTable() {
    tableWidget_->setUpdatesEnabled(false);
    for (int i = 1; i <= table_.rows; ++i)
        tableWidget_->item(i, 0)->setText(QString::fromStdString(table_.rowHeaders[i]));
    for (int j = 1; j <= table_.columns; ++j)
        tableWidget_->item(0, j)->setText(QString::fromStdString(table_.columnHeaders[j]));
    for (int i = 1; i <= table_.rows; ++i)
        for (int j = 1; j <= table_.columns; ++j) {
            const app::AnalysisCell& cell = table_.At(i, j);
            QTableWidgetItem* item = tableWidget_->item(i, j);
            item->setText(QString::fromStdString(cell.text));
            item->setBackground(report::ToQColor(cell.background));
            item->setForeground(report::ToQColor(cell.foreground));
        }
    tableWidget_->setUpdatesEnabled(true);
}

bool ShotAnalysisWindow::Plot() {
    // With twenty shots plotted Plot does nothing, not even check the fields.
    if (static_cast<int>(analysis_.Plots().size()) >= app::ShotAnalysis::kMaxPlots) return false;
    app::AnalysisFields fields = ReadFieldTexts();
    const auto shot = analysis_.ReadFields(fields);
    speed_->setText(QString::fromStdString(fields.ballSpeed));
    ShowUnits();
    if (!shot || !analysis_.AddPlot(*shot)) return false;
    plot_->update();
    return true;
}

void ShotAnalysisWindow::ClearPlot() {
    analysis_.ClearPlots();
    plot_->update();
}

void ShotAnalysisWindow::ShowShot(const shot::LaunchConditions& launch) {
    analysis_.ReadSettings();
    speed_->setText(Printf("%.1f", shot::ToDisplaySpeed(launch.ballSpeed, analysis_.SpeedUnit())));
    spin_->setText(Printf("%.0f", launch.backSpin));
    launch_->setText(Printf("%.1f", launch.launchAngle));
    sideSpin_->setText(Printf("%.0f", launch.sideSpin));
    sideAngle_->setText(Printf("%.1f", launch.sideAngle));
    analysis_.SetQuiet(true);
    Analyze();
    analysis_.SetQuiet(false);
}

void ShotAnalysisWindow::Exit() {
    analysis_.SaveOptions();
    close();
}

}  // namespace kyvern::ui
