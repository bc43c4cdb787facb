#include "data/text_format.h"

#include <cerrno>
#include <charconv>
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

std::string Fixed(double value, int decimals) {
    // to_chars is defined as printf's conversion in the C locale; a buffer short of a huge
    // value's digits falls back to printf itself.
    char text[128];
    const std::to_chars_result r =
        std::to_chars(text, text + sizeof text, value, std::chars_format::fixed, decimals);
    if (r.ec != std::errc()) return Printf("%.*f", decimals, value);
    return std::string(text, r.ptr);
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
    // A plain decimal (what the program writes) goes through from_chars, which rounds as
    // strtod does at a fraction of its cost; anything else is strtod's to read.
    std::size_t start = 0;
    while (start < text.size() &&
           (text[start] == ' ' || (text[start] >= '\t' && text[start] <= '\r')))
        ++start;
    const std::string_view number = text.substr(start);
    const std::size_t digit = !number.empty() && number[0] == '-' ? 1 : 0;
    const bool plain = digit < number.size() &&
                       ((number[digit] >= '0' && number[digit] <= '9') || number[digit] == '.') &&
                       !(number.size() > digit + 1 && number[digit] == '0' &&
                         (number[digit + 1] == 'x' || number[digit + 1] == 'X'));
    if (plain) {
        double value = 0.0;
        const std::from_chars_result r =
            std::from_chars(number.data(), number.data() + number.size(), value);
        if (r.ec == std::errc()) return value;
    }
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
