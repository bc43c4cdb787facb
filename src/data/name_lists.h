#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "base/settings_schema.h"

namespace kyvern::data {

// The three most-recently-used name lists of the "Player:", "Session:" and "Item:" boxes, kept
// in section MRU of the settings (User%d, Session%d, Item%d for n = 0 to 9).
class NameLists {
public:
    static constexpr int kMaxNames = 10;

    explicit NameLists(base::Settings settings);

    // Window start: the lists as the settings hold them.
    void LoadNameLists();
    // "E&xit": entry n of each list, or "" where the list is shorter.
    void SaveNameLists() const;
    // Start of every pass of the shot cycle: the texts typed in the three boxes.
    void UpdateNameLists(std::string_view player, std::string_view session, std::string_view item);

    const std::vector<std::string>& Players() const { return players_; }
    const std::vector<std::string>& Sessions() const { return sessions_; }
    const std::vector<std::string>& Items() const { return items_; }

private:
    base::Settings settings_;
    std::vector<std::string> players_;
    std::vector<std::string> sessions_;
    std::vector<std::string> items_;
};

}  // namespace kyvern::data
