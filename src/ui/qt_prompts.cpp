#include "ui/qt_prompts.h"

#include <QMessageBox>

namespace kyvern::ui {
namespace {

QString ToQt(std::string_view text) {
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

}  // namespace

void QtPrompts::Message(std::string_view text) {
    QMessageBox::information(parent_, QStringLiteral("Kyvern"), ToQt(text));
}

bool QtPrompts::OkCancel(std::string_view text) {
    return QMessageBox::question(parent_, QStringLiteral("Kyvern"), ToQt(text),
                                 QMessageBox::Ok | QMessageBox::Cancel,
                                 QMessageBox::Cancel) == QMessageBox::Ok;
}

}  // namespace kyvern::ui
