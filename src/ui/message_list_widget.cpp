#include "ui/message_list_widget.h"

namespace kyvern::ui {

MessageListWidget::MessageListWidget(QWidget* parent) : QListWidget(parent) {
    setUniformItemSizes(true);  // a full list lays out in constant time
    setSelectionMode(QAbstractItemView::ExtendedSelection);
}

void MessageListWidget::Add(std::string_view line) {
    const bool atEnd = count() == 0 || currentRow() < 0 || currentRow() == count() - 1;
    while (count() >= kMaxLines)
        delete takeItem(0);
    addItem(QString::fromUtf8(line.data(), static_cast<qsizetype>(line.size())));
    if (atEnd) scrollToBottom();
}

}  // namespace kyvern::ui
