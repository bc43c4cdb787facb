#pragma once

#include <string_view>

#include "base/user_prompts.h"

class QWidget;

namespace kyvern::ui {

// The window's message boxes: a message with OK, a question with OK and Cancel, over the main
// window and titled with the program's name.
class QtPrompts final : public base::UserPrompts {
public:
    explicit QtPrompts(QWidget* parent = nullptr) : parent_(parent) {}
    void SetParent(QWidget* parent) { parent_ = parent; }
    void Message(std::string_view text) override;
    bool OkCancel(std::string_view text) override;

private:
    QWidget* parent_;
};

}  // namespace kyvern::ui
