#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace kyvern::base {

// The diagnostic list beside the image: the analysis and the shot cycle print their lines here.
class MessageList {
public:
    virtual ~MessageList() = default;
    virtual void Add(std::string_view line) = 0;
};

// A message list that keeps its lines in memory (the headless runner and the tools).
class TextMessageList final : public MessageList {
public:
    void Add(std::string_view line) override { lines_.emplace_back(line); }
    void Clear() { lines_.clear(); }
    const std::vector<std::string>& Lines() const { return lines_; }

private:
    std::vector<std::string> lines_;
};

// Prints each line to standard output as it is added.
class StdoutMessageList final : public MessageList {
public:
    void Add(std::string_view line) override;
};

}  // namespace kyvern::base
