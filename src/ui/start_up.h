#pragma once

#include <optional>
#include <string>
#include <vector>

#include "base/settings_schema.h"
#include "base/string_table.h"

namespace kyvern::ui {

// The user-interface languages a user's locale or Setup/Language may name, in the order in
// which start-up tries them: a later one named overrides an earlier one.
enum class UiLanguage { kEnglish, kJapanese, kGerman, kFrench, kSpanish, kKorean };

// The user's default locale as the environment gives it: LC_ALL, else LC_MESSAGES, else LANG
// ("ja_JP.UTF-8"); English for the C and POSIX locales and when none is set.
std::optional<UiLanguage> UserLanguage();
// The language a locale name ("de_DE.UTF-8") or a Setup/Language word ("german", any case)
// names; nothing when it names none of the six.
std::optional<UiLanguage> LanguageOfLocale(const std::string& locale);
std::optional<UiLanguage> LanguageOfWord(const std::string& word);

// What start-up decides before the window opens.
struct StartDecision {
    UiLanguage language = UiLanguage::kEnglish;       // the language selected
    base::Language texts = base::Language::kEnglish;  // the string table it uses
    bool minimize = false;
    bool toolWindow = false;  // hidden from the taskbar
};

// First run: when RunOnce/DateTime has fewer than 4 characters, the current time goes there
// and, for a user whose locale is Japanese, the metric and Japanese display defaults. False
// when it was not the first run.
bool WriteFirstRunDefaults(std::optional<UiLanguage> user, const base::Settings& settings = {});

// The language: the one Setup/Language names, else the user's. German, French, Spanish and
// Korean have no texts of their own and use the English ones.
void SelectLanguage(std::optional<UiLanguage> user, StartDecision& decision,
                    const base::Settings& settings = {});

// Start flags from the command-line words (any case, anywhere in the line: "minimized",
// "minimizewindow", "hide") and the settings (Setup/Minimized, Setup/MinimizeWindow; Setup/
// HideWindow also hides the window from the taskbar).
void ReadStartFlags(const std::vector<std::string>& words, StartDecision& decision,
                    const base::Settings& settings = {});

const char* LanguageName(UiLanguage language);

}  // namespace kyvern::ui
