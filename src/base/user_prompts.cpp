#include "base/user_prompts.h"

#include <cstdio>

#include "base/message_list.h"

namespace kyvern::base {

void StderrPrompts::Message(std::string_view text) {
    std::fprintf(stderr, "%.*s\n", static_cast<int>(text.size()), text.data());
}

bool StderrPrompts::OkCancel(std::string_view text) {
    std::fprintf(stderr, "%.*s [%s]\n", static_cast<int>(text.size()), text.data(),
                 answerOk_ ? "OK" : "Cancel");
    return answerOk_;
}

void StdoutMessageList::Add(std::string_view line) {
    std::printf("%.*s\n", static_cast<int>(line.size()), line.data());
}

}  // namespace kyvern::base
