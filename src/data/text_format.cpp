#include "data/text_format.h"

#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>

namespace kyvern::data {

std::string Printf(const char* format, ...) {
    char small[128];
    std::va_list args;
    va_start(args, format);
    int length = std::vsnprintf(small, sizeof small, format, args);
    va_end(args);
    if (length < 0) return {};
    if (static_cast<std::size_t>(length) < sizeof small) return std::string(small, length);
    std::string text(static_cast<std::size_t>(length) + 1, '\0');
    va_start(args, format);
    std::vsnprintf(text.data(), text.size(), format, args);
    va_end(args);
    text.resize(static_cast<std::size_t>(length));
    return text;
}

std::string WithCrLf(std::string_view text) {
    std::string out;
    out.reserve(text.size() + text.size() / 16);
    for (char c : text) {
        if (c == '\n') out += '\r';
        out += c;
    }
    return out;
}

double ReadDouble(std::string_view text) {
    // strtod needs a terminated text; cells and fields are short, a copy is cheap.
    std::string copy(text);
    char* end = nullptr;
    double value = std::strtod(copy.c_str(), &end);
    return end == copy.c_str() ? 0.0 : value;
}

long ReadLong(std::string_view text) {
    std::string copy(text);
    char* end = nullptr;
    errno = 0;
    long value = std::strtol(copy.c_str(), &end, 10);
    return end == copy.c_str() ? 0 : value;
}

}  // namespace kyvern::data
