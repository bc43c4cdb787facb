#include "ui/reports_dialog.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QPageLayout>
#include <QPageSize>
#include <QPdfWriter>
#include <QPrintDialog>
#include <QPrinter>
#include <QPushButton>
#include <QVBoxLayout>
#include <memory>

#include "report/analysis_drawing.h"
#include "report/shot_drawing.h"
#include "ui/practice_range.h"
#include "ui/shot_analysis_window.h"

namespace kyvern::ui {

ReportChooser::ReportChooser(QWidget* parent) : QDialog(parent) {
    setWindowTitle(report::TextOf(base::MessageId::kReportsTitle));
    auto* layout = new QVBoxLayout(this);
    auto group = [&](const QString& title, std::initializer_list<report::ReportBit> reports) {
        auto* box = new QGroupBox(title, this);
        auto* column = new QVBoxLayout(box);
        for (report::ReportBit bit : reports) {
            auto* check = new QCheckBox(report::TextOf(report::ReportText(bit)), box);
            column->addWidget(check);
            boxes_[bit] = check;
        }
        layout->addWidget(box);
    };
    group(report::TextOf(base::MessageId::kReportsStandardSize),
          {report::kPracticeRangeReport, report::kShotAnalysisReport, report::kShotsReport,
           report::kShotsSummaryReport, report::kShotsProfileReport, report::kImpactReport,
           report::kBallImageReport, report::kHistoryReport, report::kPrinterReport});
    group(report::TextOf(base::MessageId::kReportsLabelSize), {report::kBagTagReport});
    SetShown(report::kImpactReport, false);
    SetShown(report::kPrinterReport, false);

    auto* buttons = new QDialogButtonBox(this);
    QPushButton* print = buttons->addButton(report::TextOf(base::MessageId::kReportsPrint),
                                            QDialogButtonBox::AcceptRole);
    QPushButton* pdf = buttons->addButton(report::TextOf(base::MessageId::kReportsSavePdf),
                                          QDialogButtonBox::ActionRole);
    QPushButton* cancel = buttons->addButton(QDialogButtonBox::Cancel);
    print->setDefault(true);
    connect(print, &QPushButton::clicked, this, [this] { Finish(Action::kPrint); });
    connect(pdf, &QPushButton::clicked, this, [this] { Finish(Action::kSavePdf); });
    connect(cancel, &QPushButton::clicked, this, [this] { Finish(Action::kCancel); });
    layout->addWidget(buttons);
}

void ReportChooser::SetShown(report::ReportBit bit, bool shown) {
    QCheckBox* box = boxes_.at(bit);
    box->setVisible(shown);
    if (!shown) box->setChecked(false);
}

void ReportChooser::SetAvailable(unsigned bits) {
    for (auto& [bit, box] : boxes_) {
        box->setEnabled((bits & bit) != 0);
        if (!box->isEnabled()) box->setChecked(false);
    }
}

unsigned ReportChooser::Bits() const {
    unsigned bits = 0;
    for (const auto& [report, box] : boxes_) {
        if (box->isChecked()) bits |= report;
    }
    return bits;
}

void ReportChooser::Finish(Action action) {
    action_ = action;
    if (action == Action::kCancel) {
        reject();
    } else {
        accept();
    }
}

report::PageDrawing PracticeRangePicture(const data::ShotTable& table,
                                         const base::SettingsSnapshot& settings) {
    auto session =
        std::make_shared<report::SessionPicture>(report::CollectSession(table, settings, true));
    return [session](QPainter& painter, const QRectF& rect) {
        std::vector<flight::FlightResult> earlier;
        for (const report::SessionShot& s : session->shots) {
            if (!s.current && s.flight) earlier.push_back(*s.flight);
        }
        const report::SessionShot* current = session->Current();
        DrawPracticeRange(painter, rect, current ? &*current->flight : nullptr, 1.0,
                          session->distanceUnit, earlier);
    };
}

report::PageDrawing ShotAnalysisPicture(const ShotAnalysisWindow& window) {
    struct Copy {
        QString inputs;
        QString distances;
        app::AnalysisTable table;
        report::AnalysisPlotData plot;
    };
    auto copy = std::make_shared<Copy>();
    copy->inputs = QStringLiteral(
                       "Ball speed %1 %2     Back spin %3 rpm     Launch angle %4\u00b0     "
                       "Side spin %5 rpm     Side angle %6\u00b0")
                       .arg(window.SpeedField()->text(), window.SpeedUnitLabel()->text(),
                            window.SpinField()->text(), window.LaunchField()->text(),
                            window.SideSpinField()->text(), window.SideAngleField()->text());
    copy->distances = QStringLiteral("Carry %1     Offline %2     Total %3")
                          .arg(window.CarryField()->text(), window.OfflineField()->text(),
                               window.TotalField()->text());
    copy->table = window.Table();
    copy->plot = report::PlotDataOf(window.Analysis());
    return [copy](QPainter& painter, const QRectF& rect) {
        const double size = rect.width() * 0.018;
        painter.setFont(report::DrawingFont(size));
        painter.setPen(QColor(30, 30, 30));
        report::DrawTextAt(painter, rect.topLeft(), Qt::AlignLeft | Qt::AlignTop, copy->inputs);
        report::DrawTextAt(painter, rect.topLeft() + QPointF(0, size * 1.5),
                           Qt::AlignLeft | Qt::AlignTop, copy->distances);
        const double top = rect.top() + size * 3.6;
        const double tableHeight = (rect.bottom() - top) * 0.45;
        if (copy->table.rows > 0)
            report::DrawAnalysisTable(painter, QRectF(rect.left(), top, rect.width(), tableHeight),
                                      copy->table);
        report::DrawAnalysisPlot(painter,
                                 QRectF(rect.left(), top + tableHeight + size, rect.width(),
                                        rect.bottom() - top - tableHeight - size),
                                 copy->plot);
    };
}

void RunReports(QWidget* parent, const report::ReportSource& given, base::UserPrompts& prompts) {
    report::ReportSource source = given;
    if (!source.practiceRange && source.table)
        source.practiceRange = PracticeRangePicture(*source.table, source.settings);
    ReportChooser chooser(parent);
    chooser.SetShown(report::kImpactReport, source.settings.Yes(base::setting::kShowImpactData));
    chooser.SetAvailable(report::AvailableReports(source));
    if (chooser.exec() != QDialog::Accepted || chooser.Bits() == 0) return;
    const unsigned bits = chooser.Bits();
    if (chooser.Chosen() == ReportChooser::Action::kPrint) {
        QPrinter printer(QPrinter::HighResolution);
        QPrintDialog dialog(&printer, parent);
        if (dialog.exec() != QDialog::Accepted) return;
        report::PrintReports(printer, bits, source, prompts);
        return;
    }
    const QString path = QFileDialog::getSaveFileName(parent, QStringLiteral("Save as PDF"),
                                                      QStringLiteral("Kyvern Reports.pdf"),
                                                      QStringLiteral("PDF files (*.pdf)"));
    if (path.isEmpty()) return;
    QPdfWriter writer(path);
    writer.setPageSize(QPageSize(QLocale().measurementSystem() == QLocale::ImperialUSSystem
                                     ? QPageSize::Letter
                                     : QPageSize::A4));
    writer.setPageMargins(QMarginsF(10, 10, 10, 10), QPageLayout::Millimeter);
    writer.setResolution(300);
    writer.setTitle(QString::fromUtf8(report::kProductTitle));
    report::PrintReports(writer, bits, source, prompts);
}

}  // namespace kyvern::ui
