#pragma once

#include <string_view>

#include "base/settings_schema.h"
#include "base/string_table.h"

namespace kyvern::base {

// The settings dialog's label of a key in a language: the schema's English label, or its
// Japanese translation (the English one where a key has none).
std::string_view SettingLabel(SettingId id, Language language);
// In the language in force.
std::string_view SettingLabel(SettingId id);

}  // namespace kyvern::base
