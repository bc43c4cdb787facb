#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace kyvern::cli {

using Args = std::vector<std::string>;

// One subcommand: its name, a one-line usage and the function that runs it. The function
// returns the process exit status.
struct Command {
    const char* name;
    const char* usage;
    int (*run)(const Args& args);
};

// Each cmd_*.cpp registers its command with a static Registration.
class Registration {
public:
    explicit Registration(const Command& command);
};

const std::vector<Command>& Commands();

// Small helpers shared by the subcommands.
bool HasFlag(const Args& args, std::string_view flag);
// The value after "--name", or fallback when absent. ok turns false when the flag is last.
std::string FlagValue(const Args& args, std::string_view name, std::string_view fallback, bool& ok);
// Arguments that are neither flags nor flag values; valueFlags lists flags that take a value.
Args Positionals(const Args& args, const std::vector<std::string_view>& valueFlags);
// A JSON string literal.
std::string JsonString(std::string_view text);
// A double with full precision (the shortest text that reads back exactly); "null" for NaN
// or infinity.
std::string JsonNumber(double value);

}  // namespace kyvern::cli
