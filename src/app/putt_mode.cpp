#include "app/putt_mode.h"

#include <utility>

#include "base/config_store.h"
#include "base/settings_snapshot.h"

namespace kyvern::app {

PuttMode::Change PuttMode::Follow(bool putter, const base::SettingsSnapshot& snapshot,
                                  std::string& restored) {
    const base::SettingId speed = base::setting::kCameraSpeed;
    const std::string current(base::Trim(snapshot.Text(speed)));
    using base::choice::CameraSpeed;
    const bool inPutt = base::SettingsSnapshot::FindWord<base::setting::kCameraSpeed>(current) ==
                        CameraSpeed::kPutt;
    const base::Settings settings;
    if (putter) {
        if (inPutt) return Change::kNone;
        const std::string before = current.empty() ? base::Spec(speed).defaultText : current;
        if (!settings.Write(speed, base::WordOf(CameraSpeed::kPutt))) return Change::kNone;
        speedBefore_ = before;
        return Change::kToPutt;
    }
    if (!inPutt || speedBefore_.empty()) return Change::kNone;
    if (!settings.Write(speed, speedBefore_)) return Change::kNone;
    restored = std::exchange(speedBefore_, std::string());
    return Change::kRestored;
}

}  // namespace kyvern::app
