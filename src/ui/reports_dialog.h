#pragma once

#include <QDialog>
#include <map>

#include "base/user_prompts.h"
#include "report/report_pages.h"

class QCheckBox;

namespace kyvern::ui {

class ShotAnalysisWindow;

// The report chooser: a check box per report in a standard-size and a label-size group; "Club/
// Ball Impact Report" and "Printer Report" start hidden. "Print" and "Save as PDF..." close it
// with the bits of the ticked reports.
class ReportChooser final : public QDialog {
    Q_OBJECT
public:
    enum class Action { kCancel, kPrint, kSavePdf };

    explicit ReportChooser(QWidget* parent = nullptr);

    QCheckBox* Box(report::ReportBit bit) const { return boxes_.at(bit); }
    // Shows or hides a report's check box; a hidden box is never ticked.
    void SetShown(report::ReportBit bit, bool shown);
    // Reports the source cannot give are offered disabled.
    void SetAvailable(unsigned bits);
    // One bit per ticked report.
    unsigned Bits() const;
    Action Chosen() const { return action_; }

private:
    void Finish(Action action);

    std::map<report::ReportBit, QCheckBox*> boxes_;
    Action action_ = Action::kCancel;
};

// The practice range page's picture: the range with the table's current shot at rest and the
// session's other shots where they came to rest.
report::PageDrawing PracticeRangePicture(const data::ShotTable& table,
                                         const base::SettingsSnapshot& settings);
// The shot analysis page's picture, as the window shows it now: its fields and distances, its
// Analyze table and its plot.
report::PageDrawing ShotAnalysisPicture(const ShotAnalysisWindow& window);

// The "&Reports" command: the chooser, then the platform's print dialog (or a file dialog for
// "Save as PDF"), then the chosen reports printed in their order. Club/Ball Impact is offered
// when Setup/ShowImpactData is "Yes". Without a practice range picture of its own the source
// gets the table's.
void RunReports(QWidget* parent, const report::ReportSource& given, base::UserPrompts& prompts);

}  // namespace kyvern::ui
