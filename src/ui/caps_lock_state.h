#pragma once

#include <string>
#include <vector>

namespace kyvern::ui {

// Caps Lock as the keyboard reports it: the kernel shows each keyboard's lock light as an LED
// ("input3::capslock") whose brightness anyone may read. No such LED (a virtual display, a
// remote session) means the state is not known and the window offers a toggle instead.
class CapsLockState {
public:
    explicit CapsLockState(const std::string& ledFolder = "/sys/class/leds");
    bool Known() const { return !leds_.empty(); }
    // On when any keyboard's light is on.
    bool On() const;

private:
    std::vector<std::string> leds_;  // brightness files
};

}  // namespace kyvern::ui
