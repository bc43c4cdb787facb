#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "base/settings_schema.h"

namespace kyvern::base {

// The settings file as it stood at one moment, read once: a shot pass, a command or a window
// action takes one and every value of that pass comes from it, so the file is opened once per
// pass and a pass never sees half of another program's edit. The rules of each read are those
// of the file reads (key default, length cut, number parse).
class SettingsSnapshot {
public:
    // No file: every key has its default.
    SettingsSnapshot() = default;
    // The text of a settings file.
    explicit SettingsSnapshot(std::string text) : text_(std::move(text)) {}
    // One read of the file; a missing, foreign or oversized file reads as empty.
    static SettingsSnapshot Read(const Settings& file = {});

    std::string Text(SettingId id) const;
    std::string Text(SettingId family, long n) const;
    std::optional<std::string> Stored(SettingId id) const;
    std::optional<std::string> Stored(SettingId family, long n) const;
    double Number(SettingId id) const;
    long Integer(SettingId id) const;
    bool Yes(SettingId id) const;
    bool On(SettingId id) const;
    int Choice(SettingId id) const;

    // The typed value of a choice key, or nothing when the value is none of its words.
    template <SettingId id>
    std::optional<ChoiceOf<id>> Find() const {
        return FindWord<id>(Text(id));
    }
    // The typed choice a word names (case ignored), or nothing.
    template <SettingId id>
    static std::optional<ChoiceOf<id>> FindWord(std::string_view word) {
        const int index = WordIndex(id, word);
        if (index < 0) return std::nullopt;
        return static_cast<ChoiceOf<id>>(index);
    }
    // The same with the key's default for a value that is none of its words.
    template <SettingId id>
    ChoiceOf<id> Get() const {
        if (auto value = Find<id>()) return *value;
        return DefaultChoice<id>();
    }
    template <SettingId id>
    static ChoiceOf<id> DefaultChoice() {
        const int index = WordIndex(id, Spec(id).defaultText);
        return static_cast<ChoiceOf<id>>(index < 0 ? 0 : index);
    }

    // Index of word among the key's words (case ignored), or -1.
    static int WordIndex(SettingId id, std::string_view word);

private:
    std::optional<std::string> Find(const SettingSpec& spec, const std::string& key) const;

    std::string text_;
};

// A value a pass could not take as it stood, and what it took instead.
struct SettingProblem {
    SettingId id;
    long member = 0;
    std::string value;
    std::string usedInstead;
    bool operator==(const SettingProblem&) const = default;
};

// "Setup/ClubMass is "900", out of 100 to 700: 200.0 is used instead."
std::string DescribeProblem(const SettingProblem& problem);

}  // namespace kyvern::base

namespace kyvern::base {

// Reads the typed options of a pass from its snapshot and notes each value it could not take
// as it stood, once per key, so the pass reports them in one place.
class OptionsReader {
public:
    explicit OptionsReader(const SettingsSnapshot& snapshot) : snapshot_(snapshot) {}
    OptionsReader(const OptionsReader&) = delete;
    OptionsReader& operator=(const OptionsReader&) = delete;

    const SettingsSnapshot& Snapshot() const { return snapshot_; }

    // A number inside its key's range; anything else is noted and the default taken.
    double Bounded(SettingId id);
    long BoundedInteger(SettingId id);
    // A number moved to the nearer end of its key's range, noted when it had to move.
    double Clamped(SettingId id);
    // A yes/no or on/off key; a word that is neither is noted and read as No or Off.
    bool Yes(SettingId id);
    bool On(SettingId id);

    template <SettingId id>
    std::optional<ChoiceOf<id>> Find() {
        std::optional<ChoiceOf<id>> value = snapshot_.Find<id>();
        if (!value) NoteWord(id, "none");
        return value;
    }
    template <SettingId id>
    ChoiceOf<id> Get() {
        if (auto value = snapshot_.Find<id>()) return *value;
        const ChoiceOf<id> fallback = SettingsSnapshot::DefaultChoice<id>();
        NoteWord(id, Spec(id).choices[static_cast<std::size_t>(fallback)]);
        return fallback;
    }

    void Note(SettingProblem problem);
    const std::vector<SettingProblem>& Problems() const { return problems_; }

private:
    // A stored value that is no word of its key, unless it is the key's own default.
    void NoteWord(SettingId id, std::string_view usedInstead);

    const SettingsSnapshot& snapshot_;
    std::vector<SettingProblem> problems_;
};

}  // namespace kyvern::base
