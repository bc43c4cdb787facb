#include "ui/start_up.h"

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <ctime>

#include "base/config_store.h"
#include "base/settings_snapshot.h"
#include "shot/text_formats.h"

namespace kyvern::ui {
namespace {

constexpr const char* kNames[] = {"English", "Japanese", "German", "French", "Spanish", "Korean"};
constexpr const char* kLocalePrefixes[] = {"en", "ja", "de", "fr", "es", "ko"};

std::string Lower(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return char(std::tolower(c)); });
    return text;
}

}  // namespace

const char* LanguageName(UiLanguage language) { return kNames[int(language)]; }

std::optional<UiLanguage> LanguageOfLocale(const std::string& locale) {
    if (locale.empty() || locale == "C" || locale == "POSIX" || locale.rfind("C.", 0) == 0)
        return UiLanguage::kEnglish;
    const std::string lower = Lower(locale);
    for (int i = 0; i < 6; ++i) {
        const std::string prefix = kLocalePrefixes[i];
        if (lower.rfind(prefix, 0) == 0 &&
            (lower.size() == 2 || lower[2] == '_' || lower[2] == '.' || lower[2] == '@'))
            return UiLanguage(i);
    }
    return std::nullopt;
}

std::optional<UiLanguage> LanguageOfWord(const std::string& word) {
    const std::string_view trimmed = base::Trim(word);
    for (int i = 0; i < 6; ++i)
        if (base::EqualsNoCase(trimmed, kNames[i])) return UiLanguage(i);
    return std::nullopt;
}

std::optional<UiLanguage> UserLanguage() {
    // The first of these that is set and not empty decides, as for the C library's messages.
    for (const char* name : {"LC_ALL", "LC_MESSAGES", "LANG"}) {
        const char* value = std::getenv(name);
        if (value && *value) return LanguageOfLocale(value);
    }
    return UiLanguage::kEnglish;
}

bool WriteFirstRunDefaults(std::optional<UiLanguage> user, const base::Settings& settings) {
    if (base::SettingsSnapshot::Read(settings).Text(base::setting::kRunOnceDateTime).size() >= 4)
        return false;
    settings.Write(base::setting::kRunOnceDateTime, shot::FormatTimeStamp(std::time(nullptr)));
    if (user == UiLanguage::kJapanese) {
        settings.Write(base::setting::kWeatherUnits, "Metric");
        settings.Write(base::setting::kSpeedDisplay, "MPS");
        settings.Write(base::setting::kDistanceDisplay, "Yards");
        settings.Write(base::setting::kClubInfoFontColor, "65535");
        settings.Write(base::setting::kAdvSettingsPassword, "Morlat");
    }
    return true;
}

void SelectLanguage(std::optional<UiLanguage> user, StartDecision& decision,
                    const base::Settings& settings) {
    // Unnamed, the language stays the one the user's locale gave; a locale of none of the six
    // languages has no texts of its own and uses English.
    decision.language =
        LanguageOfWord(base::SettingsSnapshot::Read(settings).Text(base::setting::kLanguage))
            .value_or(user.value_or(UiLanguage::kEnglish));
    decision.texts = decision.language == UiLanguage::kJapanese ? base::Language::kJapanese
                                                                : base::Language::kEnglish;
}

void ReadStartFlags(const std::vector<std::string>& words, StartDecision& decision,
                    const base::Settings& settings) {
    const base::SettingsSnapshot snapshot = base::SettingsSnapshot::Read(settings);
    std::string line;
    for (const std::string& w : words)
        line += Lower(w) + ' ';
    // "minimizewindow" contains neither of the other words, so each is looked for.
    for (const char* word : {"minimized", "minimizewindow", "hide"})
        if (line.find(word) != std::string::npos) decision.minimize = true;
    if (snapshot.Yes(base::setting::kMinimized) || snapshot.Yes(base::setting::kMinimizeWindow))
        decision.minimize = true;
    if (snapshot.Yes(base::setting::kHideWindow)) {
        decision.minimize = true;
        decision.toolWindow = true;
    }
}

}  // namespace kyvern::ui
