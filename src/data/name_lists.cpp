#include "data/name_lists.h"

#include <algorithm>
#include <cstdio>

#include "base/config_store.h"
#include "base/settings_schema.h"
#include "base/settings_snapshot.h"

namespace kyvern::data {

namespace {

constexpr base::SettingId kFamilies[] = {base::setting::kRecentUser, base::setting::kRecentSession,
                                         base::setting::kRecentItem};

void Update(std::vector<std::string>& list, std::string_view typed) {
    const std::string_view name = base::Trim(typed);
    if (!name.empty() && std::none_of(list.begin(), list.end(), [&](const std::string& entry) {
            return base::EqualsNoCase(entry, name);
        })) {
        list.insert(list.begin(), std::string(name));
    }
    while (list.size() >= NameLists::kMaxNames + 1)
        list.pop_back();
}

}  // namespace

NameLists::NameLists(base::Settings settings) : settings_(std::move(settings)) {}

void NameLists::LoadNameLists() {
    players_.clear();
    sessions_.clear();
    items_.clear();
    std::vector<std::string>* lists[] = {&players_, &sessions_, &items_};
    const base::SettingsSnapshot settings = base::SettingsSnapshot::Read(settings_);
    for (int n = 0; n < kMaxNames; ++n) {
        for (int l = 0; l < 3; ++l) {
            std::string value = settings.Text(kFamilies[l], n);
            if (value.empty()) continue;
            // Position n, or the end when an earlier entry was empty.
            std::vector<std::string>& list = *lists[l];
            const std::size_t at = std::min<std::size_t>(static_cast<std::size_t>(n), list.size());
            list.insert(list.begin() + static_cast<std::ptrdiff_t>(at), std::move(value));
        }
    }
}

void NameLists::SaveNameLists() const {
    const std::vector<std::string>* lists[] = {&players_, &sessions_, &items_};
    for (int n = 0; n < kMaxNames; ++n) {
        for (int l = 0; l < 3; ++l) {
            const std::vector<std::string>& list = *lists[l];
            const auto at = static_cast<std::size_t>(n);
            settings_.Write(kFamilies[l], n, at < list.size() ? list[at] : std::string());
        }
    }
}

void NameLists::UpdateNameLists(std::string_view player, std::string_view session,
                                std::string_view item) {
    Update(players_, player);
    Update(sessions_, session);
    Update(items_, item);
}

}  // namespace kyvern::data
