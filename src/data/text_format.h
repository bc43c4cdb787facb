#pragma once

#include <string>
#include <string_view>

namespace kyvern::data {

// printf into a string of whatever length the value needs ("%.1f" of a huge number included).
std::string Printf(const char* format, ...) __attribute__((format(printf, 1, 2)));
// The text of printf's "%.*f" in the C locale, byte for byte, made several times faster: a
// session load writes a million cells.
std::string Fixed(double value, int decimals);

// The text with every "\n" written as "\r\n", as a text-mode write does.
std::string WithCrLf(std::string_view text);

// The number "%lf" reads from the start of a text (leading blanks skipped); 0 when none.
double ReadDouble(std::string_view text);
// The number "%ld" reads; 0 when none; clamped to the range of long.
long ReadLong(std::string_view text);

}  // namespace kyvern::data
