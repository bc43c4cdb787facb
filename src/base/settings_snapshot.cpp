#include "base/settings_snapshot.h"

#include <cmath>
#include <cstdio>
#include <cstring>

#include "base/config_store.h"
#include "base/regular_file.h"

namespace kyvern::base {

namespace {

std::string Cut(std::string value, std::size_t length) {
    if (length == 0) return {};
    if (value.size() > length - 1) value.resize(length - 1);
    return value;
}

std::string DefaultText(const SettingSpec& spec) { return Cut(spec.defaultText, spec.length); }

}  // namespace

SettingsSnapshot SettingsSnapshot::Read(const Settings& file) {
    std::string text;
    if (ReadRegularFile(file.Path(), kMaxSettingsFileBytes, text) != ReadRefusal::kNone) {
        text.clear();
    }
    return SettingsSnapshot(std::move(text));
}

std::optional<std::string> SettingsSnapshot::Find(const SettingSpec& spec,
                                                  const std::string& key) const {
    std::string value;
    if (!ConfigStore::FindValue(text_, spec.section, key, value)) return std::nullopt;
    return Cut(std::move(value), spec.length);
}

std::optional<std::string> SettingsSnapshot::Stored(SettingId id) const {
    const SettingSpec& spec = Spec(id);
    return Find(spec, spec.key);
}

std::optional<std::string> SettingsSnapshot::Stored(SettingId family, long n) const {
    return Find(Spec(family), SettingKey(family, n));
}

std::string SettingsSnapshot::Text(SettingId id) const {
    return Stored(id).value_or(DefaultText(Spec(id)));
}

std::string SettingsSnapshot::Text(SettingId family, long n) const {
    return Stored(family, n).value_or(DefaultText(Spec(family)));
}

double SettingsSnapshot::Number(SettingId id) const {
    double value = 0.0;
    if (std::sscanf(Text(id).c_str(), "%lf", &value) != 1 || !std::isfinite(value)) {
        value = DefaultNumber(id);
    }
    return value;
}

long SettingsSnapshot::Integer(SettingId id) const {
    long value = 0;
    if (std::sscanf(Text(id).c_str(), "%ld", &value) != 1) value = DefaultInteger(id);
    return value;
}

bool SettingsSnapshot::Yes(SettingId id) const { return EqualsNoCase(Trim(Text(id)), "yes"); }

bool SettingsSnapshot::On(SettingId id) const { return EqualsNoCase(Trim(Text(id)), "on"); }

int SettingsSnapshot::Choice(SettingId id) const { return WordIndex(id, Text(id)); }

int SettingsSnapshot::WordIndex(SettingId id, std::string_view word) {
    const std::span<const char* const> words = Spec(id).choices;
    for (std::size_t i = 0; i < words.size(); ++i) {
        if (EqualsNoCase(word, words[i])) return static_cast<int>(i);
    }
    return -1;
}

std::string DescribeProblem(const SettingProblem& problem) {
    const SettingSpec& spec = Spec(problem.id);
    const bool family = std::strchr(spec.key, '%') != nullptr;
    const std::string key = family ? SettingKey(problem.id, problem.member) : spec.key;
    std::string why;
    if (spec.kind == SettingKind::kNumber || spec.kind == SettingKind::kInteger) {
        char range[96];
        std::snprintf(range, sizeof range, ", out of %g to %g", spec.range.low, spec.range.high);
        why = spec.range.Bounded() ? range : ", not a number";
    } else if (!spec.choices.empty()) {
        why = ", not one of";
        for (std::size_t i = 0; i < spec.choices.size(); ++i) {
            why += i == 0 ? " " : ", ";
            why += spec.choices[i];
        }
    }
    return std::string(spec.section) + "/" + key + " is \"" + problem.value + "\"" + why + ": " +
           problem.usedInstead + " is used instead.";
}

}  // namespace kyvern::base

namespace kyvern::base {

namespace {

bool ParsesAsNumber(const std::string& text, double& value) {
    return std::sscanf(text.c_str(), "%lf", &value) == 1 && std::isfinite(value);
}

std::string NumberText(double value) {
    char text[64];
    std::snprintf(text, sizeof text, "%g", value);
    return text;
}

}  // namespace

void OptionsReader::Note(SettingProblem problem) {
    for (const SettingProblem& p : problems_) {
        if (p.id == problem.id && p.member == problem.member) return;
    }
    problems_.push_back(std::move(problem));
}

void OptionsReader::NoteWord(SettingId id, std::string_view usedInstead) {
    const std::optional<std::string> stored = snapshot_.Stored(id);
    if (!stored || EqualsNoCase(*stored, Spec(id).defaultText)) return;
    Note({id, 0, *stored, std::string(usedInstead)});
}

double OptionsReader::Bounded(SettingId id) {
    const SettingSpec& spec = Spec(id);
    const std::optional<std::string> stored = snapshot_.Stored(id);
    double value = 0.0;
    if (!stored) return DefaultNumber(id);
    if (ParsesAsNumber(*stored, value) &&
        (!spec.range.Bounded() || (value >= spec.range.low && value <= spec.range.high))) {
        return value;
    }
    Note({id, 0, *stored, spec.defaultText});
    return DefaultNumber(id);
}

long OptionsReader::BoundedInteger(SettingId id) {
    const SettingSpec& spec = Spec(id);
    const std::optional<std::string> stored = snapshot_.Stored(id);
    long value = 0;
    if (!stored) return DefaultInteger(id);
    if (std::sscanf(stored->c_str(), "%ld", &value) == 1 &&
        (!spec.range.Bounded() || (value >= spec.range.low && value <= spec.range.high))) {
        return value;
    }
    Note({id, 0, *stored, spec.defaultText});
    return DefaultInteger(id);
}

double OptionsReader::Clamped(SettingId id) {
    const SettingRange range = Spec(id).range;
    const std::optional<std::string> stored = snapshot_.Stored(id);
    const double value = snapshot_.Number(id);
    double moved = value;
    if (value < range.low) moved = range.low;
    if (value > range.high) moved = range.high;
    double parsed = 0.0;
    if (stored && (moved != value || !ParsesAsNumber(*stored, parsed))) {
        Note({id, 0, *stored, NumberText(moved)});
    }
    return moved;
}

bool OptionsReader::Yes(SettingId id) {
    const std::optional<std::string> stored = snapshot_.Stored(id);
    const std::string_view word = stored ? Trim(*stored) : std::string_view();
    if (stored && !EqualsNoCase(word, "yes") && !EqualsNoCase(word, "no") &&
        !EqualsNoCase(*stored, Spec(id).defaultText)) {
        Note({id, 0, *stored, "No"});
    }
    return snapshot_.Yes(id);
}

bool OptionsReader::On(SettingId id) {
    const std::optional<std::string> stored = snapshot_.Stored(id);
    const std::string_view word = stored ? Trim(*stored) : std::string_view();
    if (stored && !EqualsNoCase(word, "on") && !EqualsNoCase(word, "off") &&
        !EqualsNoCase(*stored, Spec(id).defaultText)) {
        Note({id, 0, *stored, "Off"});
    }
    return snapshot_.On(id);
}

}  // namespace kyvern::base
