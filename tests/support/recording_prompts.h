#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "base/user_prompts.h"

namespace kyvern::testing {

// Records every message shown and answers questions with a fixed choice.
class RecordingPrompts final : public base::UserPrompts {
public:
    explicit RecordingPrompts(bool answerOk = true) : answerOk_(answerOk) {}
    void Message(std::string_view text) override { messages.emplace_back(text); }
    bool OkCancel(std::string_view text) override {
        questions.emplace_back(text);
        return answerOk_;
    }
    void SetAnswer(bool ok) { answerOk_ = ok; }
    std::vector<std::string> messages;
    std::vector<std::string> questions;

private:
    bool answerOk_;
};

}  // namespace kyvern::testing
