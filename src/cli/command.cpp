#include "cli/command.h"

#include <cmath>
#include <cstdint>
#include <cstdio>

namespace kyvern::cli {

namespace {
std::vector<Command>& Registry() {
    static std::vector<Command> commands;
    return commands;
}
}  // namespace

Registration::Registration(const Command& command) { Registry().push_back(command); }

const std::vector<Command>& Commands() { return Registry(); }

bool HasFlag(const Args& args, std::string_view flag) {
    for (const std::string& a : args) {
        if (a == flag) return true;
    }
    return false;
}

std::string FlagValue(const Args& args, std::string_view name, std::string_view fallback,
                      bool& ok) {
    for (std::size_t i = 0; i < args.size(); ++i) {
        if (args[i] == name) {
            if (i + 1 >= args.size()) {
                ok = false;
                return std::string(fallback);
            }
            return args[i + 1];
        }
    }
    return std::string(fallback);
}

Args Positionals(const Args& args, const std::vector<std::string_view>& valueFlags) {
    Args out;
    for (std::size_t i = 0; i < args.size(); ++i) {
        bool takesValue = false;
        for (std::string_view f : valueFlags)
            takesValue = takesValue || args[i] == f;
        if (takesValue) {
            ++i;
            continue;
        }
        if (args[i].size() > 2 && args[i].compare(0, 2, "--") == 0) continue;
        out.push_back(args[i]);
    }
    return out;
}

Json JsonNumber(double value) {
    if (!std::isfinite(value)) return nullptr;
    // Held as an integer, a whole value prints as one; a double would gain ".0". Negative
    // zero keeps its sign as a double.
    if (value == std::trunc(value) && std::fabs(value) < 1e15 &&
        !(value == 0 && std::signbit(value)))
        return static_cast<std::int64_t>(value);
    return value;
}

Json JsonNumbers(std::initializer_list<double> values) {
    Json array = Json::array();
    for (double v : values)
        array.push_back(JsonNumber(v));
    return array;
}

std::string JsonText(const Json& document) {
    // The library writes no blanks on one line; they go after each ',' and ':' outside strings.
    const std::string compact = document.dump(-1, ' ', false, Json::error_handler_t::replace);
    std::string out;
    out.reserve(compact.size() + compact.size() / 8);
    bool inString = false;
    bool escaped = false;
    for (const char c : compact) {
        out += c;
        if (inString) {
            if (escaped) {
                escaped = false;
            } else if (c == '\\') {
                escaped = true;
            } else if (c == '"') {
                inString = false;
            }
        } else if (c == '"') {
            inString = true;
        } else if (c == ',' || c == ':') {
            out += ' ';
        }
    }
    return out;
}

void PrintJson(const Json& document) { std::printf("%s\n", JsonText(document).c_str()); }

}  // namespace kyvern::cli
