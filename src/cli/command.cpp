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

namespace {

// Length of the well-formed UTF-8 sequence at the start of text; 0 when its first byte starts
// none (a stray continuation, an overlong form, a surrogate, past U+10FFFF or cut short).
std::size_t Utf8Length(std::string_view text) {
    const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(text[i]); };
    const unsigned char lead = byte(0);
    if (lead < 0x80) return 1;
    std::size_t length = 0;
    unsigned char low = 0x80, high = 0xBF;  // range of the second byte
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        if (lead == 0xE0) low = 0xA0;
        if (lead == 0xED) high = 0x9F;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        if (lead == 0xF0) low = 0x90;
        if (lead == 0xF4) high = 0x8F;
    } else {
        return 0;
    }
    if (text.size() < length || byte(1) < low || byte(1) > high) return 0;
    for (std::size_t i = 2; i < length; ++i) {
        if (byte(i) < 0x80 || byte(i) > 0xBF) return 0;
    }
    return length;
}

}  // namespace

// JSON text must be UTF-8: a byte that starts no well-formed sequence becomes U+FFFD.
std::string JsonString(std::string_view text) {
    std::string out = "\"";
    while (!text.empty()) {
        const char c = text.front();
        const unsigned char u = static_cast<unsigned char>(c);
        const std::size_t length = Utf8Length(text);
        if (length == 0) {
            out += "\xEF\xBF\xBD";
            text.remove_prefix(1);
            continue;
        }
        if (c == '"' || c == '\\') {
            out += '\\';
            out += c;
        } else if (u < 0x20) {
            char buf[8];
            std::snprintf(buf, sizeof buf, "\\u%04x", u);
            out += buf;
        } else {
            out.append(text.substr(0, length));
        }
        text.remove_prefix(length);
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
