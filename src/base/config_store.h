#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace kyvern::base {

// INI access with the matching rules of the classic profile functions: sections and keys
// compared without regard to case, blanks around names and values trimmed, one pair of
// matching quotes around a value removed, the first match wins. Nothing is cached: every
// read goes to the file, so another program's change applies at once.
// A settings or status file is a few kilobytes; anything over this is not one, and reading
// it (once per key, many keys a shot) would stall every shot.
inline constexpr std::uint64_t kMaxSettingsFileBytes = 1u << 20;

class ConfigStore {
public:
    // The value of section/key, or defaultValue when the file, the section or the key is
    // missing; either is cut to bufferLength - 1 characters (an empty text when bufferLength
    // is 0).
    static std::string ReadSetting(const std::string& path, std::string_view section,
                                   std::string_view key, std::string_view defaultValue,
                                   std::size_t bufferLength);
    // The value of section/key cut the same way, or nothing when the file, the section or
    // the key is missing.
    static std::optional<std::string> FindSetting(const std::string& path, std::string_view section,
                                                  std::string_view key, std::size_t bufferLength);

    // Sets section/key to value, creating the file, its folder and the section when missing.
    // Every other line is kept as it was. The file is replaced atomically under an advisory
    // lock, so a reader never sees half a file and concurrent writers lose no key.
    static bool WriteSetting(const std::string& path, std::string_view section,
                             std::string_view key, std::string_view value);

    // Several keys in one replacement of the file: a reader sees all of them or none.
    struct Write {
        std::string section;
        std::string key;
        std::string value;
    };
    // On failure, why it failed into failure when given.
    static bool WriteSettings(const std::string& path, const std::vector<Write>& writes,
                              std::string* failure = nullptr);

    // The keys of a section in the order of the file, each once (the first spelling), as the
    // profile functions list them when no key is named; none when the file or section is
    // missing.
    static std::vector<std::string> SectionKeys(const std::string& path, std::string_view section);

    // The in-memory rule behind ReadSetting, for callers that already hold the text.
    static bool FindValue(std::string_view text, std::string_view section, std::string_view key,
                          std::string& value);
    // The in-memory rule behind WriteSetting: text with section/key set to value.
    static std::string SetValue(std::string_view text, std::string_view section,
                                std::string_view key, std::string_view value);
};

// Case-insensitive ASCII comparison, the one the settings words are compared with.
bool EqualsNoCase(std::string_view a, std::string_view b);
std::string_view Trim(std::string_view text);
// The text on one line: line breaks and tabs become spaces, as one value of the file holds it.
std::string OneLine(std::string text);

}  // namespace kyvern::base
