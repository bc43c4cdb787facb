#include "base/settings_schema.h"

#include <cmath>
#include <cstdio>
#include <cstring>
#include <vector>

#include "base/config_store.h"
#include "base/program_folder.h"
#include "base/settings_snapshot.h"

namespace kyvern::base {

std::string SettingKey(SettingId id, long n) {
    char key[64];
    std::snprintf(key, sizeof key, Spec(id).key, n);
    return key;
}

double DefaultNumber(SettingId id) {
    double value = 0.0;
    std::sscanf(Spec(id).defaultText, "%lf", &value);
    return value;
}

long DefaultInteger(SettingId id) {
    long value = 0;
    std::sscanf(Spec(id).defaultText, "%ld", &value);
    return value;
}

std::string Settings::Path() const { return path_.empty() ? SettingsPath() : path_; }

// The path without a copy when one was given: a read allocates no more than the store does.
const std::string& Settings::File(std::string& found) const {
    if (!path_.empty()) return path_;
    found = SettingsPath();
    return found;
}

// Each read is a snapshot of its own, so a file read and a pass's read follow one rule.
bool Settings::Write(SettingId id, std::string_view value) const {
    std::string found;
    const SettingSpec& spec = Spec(id);
    return ConfigStore::WriteSetting(File(found), spec.section, spec.key, value);
}

bool Settings::Write(SettingId family, long n, std::string_view value) const {
    std::string found;
    return ConfigStore::WriteSetting(File(found), Spec(family).section, SettingKey(family, n),
                                     value);
}

bool Settings::WriteAll(std::span<const Change> changes) const {
    std::vector<ConfigStore::Write> writes;
    writes.reserve(changes.size());
    for (const Change& c : changes) {
        const SettingSpec& spec = Spec(c.id);
        const bool family = std::strchr(spec.key, '%') != nullptr;
        writes.push_back({spec.section, family ? SettingKey(c.id, c.member) : spec.key, c.value});
    }
    std::string found;
    return ConfigStore::WriteSettings(File(found), writes);
}

}  // namespace kyvern::base
