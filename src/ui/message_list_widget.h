#pragma once

#include <QListWidget>
#include <string_view>

#include "base/message_list.h"

namespace kyvern::ui {

// The message list beside the image: the analysis and the shot cycle print their lines here,
// newest last. It keeps the last kMaxLines lines so that a long run cannot grow it without end.
class MessageListWidget final : public QListWidget, public base::MessageList {
    Q_OBJECT
public:
    static constexpr int kMaxLines = 500;

    explicit MessageListWidget(QWidget* parent = nullptr);
    void Add(std::string_view line) override;
};

}  // namespace kyvern::ui
