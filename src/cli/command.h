#pragma once

#include <initializer_list>
#include <string>
#include <string_view>
#include <vector>

#include <nlohmann/json.hpp>

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
// The --json documents: keys in the order they are added.
using Json = nlohmann::ordered_json;
// A double with full precision (a text that reads back as the same double), a whole value
// without a fraction ("250", as scripts have always read it); null for NaN or infinity.
Json JsonNumber(double value);
Json JsonNumbers(std::initializer_list<double> values);
// The document on one line with ": " after each key and ", " between members, the layout the
// output has always had. Each broken UTF-8 sequence in a string (a stray byte, a sequence cut
// short, an overlong form, a surrogate) becomes one U+FFFD.
std::string JsonText(const Json& document);
// JsonText and a line break on standard output.
void PrintJson(const Json& document);

}  // namespace kyvern::cli
