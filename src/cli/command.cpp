#include "cli/command.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>

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

std::string JsonString(std::string_view text) {
    std::string out = "\"";
    for (char c : text) {
        unsigned char u = static_cast<unsigned char>(c);
        if (c == '"' || c == '\\') {
            out += '\\';
            out += c;
        } else if (u < 0x20) {
            char buf[8];
            std::snprintf(buf, sizeof buf, "\\u%04x", u);
            out += buf;
        } else {
            out += c;
        }
    }
    out += '"';
    return out;
}

std::string JsonNumber(double value) {
    if (!std::isfinite(value)) return "null";
    // The shortest text that reads back as the same double.
    char buf[40];
    for (int precision = 15; precision <= 17; ++precision) {
        std::snprintf(buf, sizeof buf, "%.*g", precision, value);
        if (std::strtod(buf, nullptr) == value) break;
    }
    return buf;
}

}  // namespace kyvern::cli
