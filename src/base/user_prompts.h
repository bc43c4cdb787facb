#pragma once

#include <string_view>

namespace kyvern::base {

// Where any layer shows a message to the user: a message box in the window, standard error
// when headless, a recorder in the tests.
class UserPrompts {
public:
    virtual ~UserPrompts() = default;
    // A message with an OK button.
    virtual void Message(std::string_view text) = 0;
    // A question with OK and Cancel; true for OK.
    virtual bool OkCancel(std::string_view text) = 0;
};

// Headless prompts: messages to standard error, questions answered with a fixed choice.
class StderrPrompts final : public UserPrompts {
public:
    explicit StderrPrompts(bool answerOk = false) : answerOk_(answerOk) {}
    void Message(std::string_view text) override;
    bool OkCancel(std::string_view text) override;

private:
    bool answerOk_;
};

}  // namespace kyvern::base
