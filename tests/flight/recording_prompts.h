#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "base/user_prompts.h"

namespace kyvern::testing {

// Keeps every message it is asked to show; questions get a fixed answer.
class RecordingPrompts final : public base::UserPrompts {
public:
    void Message(std::string_view text) override { messages.emplace_back(text); }
    bool OkCancel(std::string_view text) override {
        messages.emplace_back(text);
        return answer;
    }
    std::vector<std::string> messages;
    bool answer = true;
};

}  // namespace kyvern::testing
