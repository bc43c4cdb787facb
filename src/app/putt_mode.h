#pragma once

#include <string>

#include "base/settings_snapshot.h"

namespace kyvern::app {

// Putt mode while a putter is in hand. Naming a putter, by the item chosen or by the golf
// simulator's club, writes the Putt speed mode to the settings; naming another club writes back
// the speed mode there was before. A Putt mode the user chose himself stays for any club.
class PuttMode {
public:
    enum class Change { kNone, kToPutt, kRestored };

    // putter: the club now in hand is a putter. restored is the speed mode written back on
    // kRestored. A settings file that cannot be written changes nothing.
    Change Follow(bool putter, const base::SettingsSnapshot& snapshot, std::string& restored);

private:
    std::string speedBefore_;  // Camera/Speed as it was when the putter was named
};

}  // namespace kyvern::app
