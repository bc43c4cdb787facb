#include "ui/caps_lock_state.h"

#include <filesystem>
#include <fstream>

namespace kyvern::ui {

CapsLockState::CapsLockState(const std::string& ledFolder) {
    std::error_code ec;
    for (const auto& entry : std::filesystem::directory_iterator(ledFolder, ec)) {
        const std::string name = entry.path().filename().string();
        if (name.size() >= 10 && name.compare(name.size() - 10, 10, "::capslock") == 0)
            leds_.push_back(entry.path().string() + "/brightness");
    }
}

bool CapsLockState::On() const {
    for (const std::string& led : leds_) {
        std::ifstream in(led);
        int brightness = 0;
        if (in >> brightness && brightness > 0) return true;
    }
    return false;
}

}  // namespace kyvern::ui
