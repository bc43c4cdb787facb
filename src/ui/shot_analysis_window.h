#pragma once

#include <QDialog>
#include <memory>

#include "app/shot_analysis.h"
#include "base/settings_schema.h"
#include "base/user_prompts.h"
#include "shot/shot_record.h"

class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QTableWidget;

namespace kyvern::ui {

class AnalysisPlotWidget;

// The what-if window over the flight model: five launch values in, carry, offline and total
// out, a table of a distance over launch angles and spins around the shot, and a side view of
// up to twenty plotted shots. The logic is app::ShotAnalysis; this class only shows it.
class ShotAnalysisWindow : public QDialog {
    Q_OBJECT

public:
    // The table's size, fixed by the layout.
    static constexpr int kTableRows = 15;
    static constexpr int kTableColumns = 15;

    // Messages go to prompts, or to message boxes when none is given.
    explicit ShotAnalysisWindow(base::Settings settings = {}, base::UserPrompts* prompts = nullptr,
                                QWidget* parent = nullptr);
    ~ShotAnalysisWindow() override;

    // A new shot from the shot cycle: its values go into the fields and Analyze runs without
    // message boxes (for Remote/UpdateAnalysisDialog).
    void ShowShot(const shot::LaunchConditions& launch);
    // The settings may have changed (units, ball): the speed field follows a new speed unit.
    void SettingsChanged();

    // Validate, show the distances, fill the table; false when a check failed.
    bool Analyze();
    // Validate and plot; false when a check failed or twenty shots are plotted.
    bool Plot();
    void ClearPlot();

    const app::ShotAnalysis& Analysis() const { return analysis_; }
    // The last table filled by Analyze (empty before the first).
    const app::AnalysisTable& Table() const { return table_; }
    // Milliseconds the last Analyze took to compute and fill the table.
    double LastFillMilliseconds() const { return lastFillMs_; }

    // The controls, for the tests and for the main window's tab order.
    QLineEdit* SpeedField() const { return speed_; }
    QLineEdit* SpinField() const { return spin_; }
    QLineEdit* LaunchField() const { return launch_; }
    QLineEdit* SideSpinField() const { return sideSpin_; }
    QLineEdit* SideAngleField() const { return sideAngle_; }
    QLineEdit* CarryField() const { return carry_; }
    QLineEdit* OfflineField() const { return offline_; }
    QLineEdit* TotalField() const { return total_; }
    QLabel* SpeedUnitLabel() const { return speedUnit_; }
    QComboBox* ColourChoice() const { return colour_; }
    QComboBox* DistanceChoice() const { return distance_; }
    QPushButton* AnalyzeButton() const { return analyzeButton_; }
    QPushButton* PlotButton() const { return plotButton_; }
    QPushButton* ClearPlotButton() const { return clearButton_; }
    QPushButton* ReportsButton() const { return reportsButton_; }
    QPushButton* ExitButton() const { return exitButton_; }
    QTableWidget* TableWidget() const { return tableWidget_; }
    QWidget* PlotWidget() const;

signals:
    // "&Reports": the main window runs its own Reports command.
    void reportsRequested();

private:
    void Exit();
    app::AnalysisFields ReadFieldTexts() const;
    void ShowUnits();
    void FillTable();

    std::unique_ptr<base::UserPrompts> ownPrompts_;
    app::ShotAnalysis analysis_;
    app::AnalysisTable table_;
    double lastFillMs_ = 0.0;

    QLineEdit* speed_ = nullptr;
    QLineEdit* spin_ = nullptr;
    QLineEdit* launch_ = nullptr;
    QLineEdit* sideSpin_ = nullptr;
    QLineEdit* sideAngle_ = nullptr;
    QLineEdit* carry_ = nullptr;
    QLineEdit* offline_ = nullptr;
    QLineEdit* total_ = nullptr;
    QLabel* speedUnit_ = nullptr;
    QLabel* carryUnit_ = nullptr;
    QLabel* offlineUnit_ = nullptr;
    QLabel* totalUnit_ = nullptr;
    QComboBox* colour_ = nullptr;
    QComboBox* distance_ = nullptr;
    QPushButton* analyzeButton_ = nullptr;
    QPushButton* plotButton_ = nullptr;
    QPushButton* clearButton_ = nullptr;
    QPushButton* reportsButton_ = nullptr;
    QPushButton* exitButton_ = nullptr;
    QTableWidget* tableWidget_ = nullptr;
    AnalysisPlotWidget* plot_ = nullptr;
};

}  // namespace kyvern::ui
