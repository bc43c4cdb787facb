#include "ui/about_box.h"

#include <QMessageBox>
#include <cstdio>

#include "base/string_table.h"
#include "base/version.h"

namespace kyvern::ui {

QString AboutBox::Text(std::span<const long> serials) {
    QString text;
    char line[64];
    for (long serial : serials.first(std::min<std::size_t>(serials.size(), 4))) {
        if (serial <= 0) continue;
        std::snprintf(line, sizeof line, "%07ld\n", serial);
        text += QString::fromLatin1(line);
    }
    int major = 0, minor = 0, patch = 0;
    std::sscanf(base::kVersionText, "%d.%d.%d", &major, &minor, &patch);
    std::snprintf(line, sizeof line, "Version %d.%d.%d\n%s", major, minor, patch, __DATE__);
    return text + QString::fromLatin1(line);
}

void AboutBox::Show(QWidget* parent, std::span<const long> serials) {
    const std::string_view title = base::Text(base::MessageId::kAboutTitle);
    QMessageBox::about(parent, QString::fromUtf8(title.data(), qsizetype(title.size())),
                       Text(serials));
}

}  // namespace kyvern::ui
