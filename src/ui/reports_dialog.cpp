#include "ui/reports_dialog.h"

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QGroupBox>
#include <QLocale>
#include <QPageLayout>
#include <QPageSize>
#include <QPdfWriter>
#include <QPrintDialog>
#include <QPrinter>
#include <QPushButton>
#include <QVBoxLayout>

namespace kyvern::ui {

ReportChooser::ReportChooser(QWidget* parent) : QDialog(parent) {
    setWindowTitle(QStringLiteral("Reports"));
    auto* layout = new QVBoxLayout(this);
    auto group = [&](const QString& title, std::initializer_list<ReportBit> reports) {
        auto* box = new QGroupBox(title, this);
        auto* column = new QVBoxLayout(box);
        for (ReportBit report : reports) {
            auto* check = new QCheckBox(QString::fromUtf8(ReportLabel(report)), box);
            column->addWidget(check);
            boxes_[report] = check;
        }
        layout->addWidget(box);
    };
    group(QStringLiteral("Standard size"),
          {kPracticeRangeReport, kShotAnalysisReport, kShotsReport, kShotsSummaryReport,
           kShotsProfileReport, kImpactReport, kBallImageReport, kPrinterReport});
    group(QStringLiteral("Label size"), {kBagTagReport});
    SetShown(kImpactReport, false);
    SetShown(kPrinterReport, false);

    auto* buttons = new QDialogButtonBox(this);
    QPushButton* print = buttons->addButton(QStringLiteral("Print"), QDialogButtonBox::AcceptRole);
    QPushButton* pdf =
        buttons->addButton(QStringLiteral("Save as PDF..."), QDialogButtonBox::ActionRole);
    QPushButton* cancel = buttons->addButton(QDialogButtonBox::Cancel);
    print->setDefault(true);
    connect(print, &QPushButton::clicked, this, [this] { Finish(Action::kPrint); });
    connect(pdf, &QPushButton::clicked, this, [this] { Finish(Action::kSavePdf); });
    connect(cancel, &QPushButton::clicked, this, [this] { Finish(Action::kCancel); });
    layout->addWidget(buttons);
}

void ReportChooser::SetShown(ReportBit report, bool shown) {
    QCheckBox* box = boxes_.at(report);
    box->setVisible(shown);
    if (!shown) box->setChecked(false);
}

void ReportChooser::SetAvailable(unsigned bits) {
    for (auto& [report, box] : boxes_) {
        box->setEnabled((bits & report) != 0);
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

void RunReports(QWidget* parent, const ReportSource& source, base::UserPrompts& prompts) {
    ReportChooser chooser(parent);
    chooser.SetShown(kImpactReport, source.settings.Yes(base::setting::kShowImpactData));
    chooser.SetAvailable(AvailableReports(source));
    if (chooser.exec() != QDialog::Accepted || chooser.Bits() == 0) return;
    const unsigned bits = chooser.Bits();
    if (chooser.Chosen() == ReportChooser::Action::kPrint) {
        QPrinter printer(QPrinter::HighResolution);
        QPrintDialog dialog(&printer, parent);
        if (dialog.exec() != QDialog::Accepted) return;
        PrintReports(printer, bits, source, prompts);
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
    writer.setTitle(QString::fromUtf8(kProductTitle));
    PrintReports(writer, bits, source, prompts);
}

}  // namespace kyvern::ui
