#pragma once

#include <string>

#include "base/settings_snapshot.h"
#include "frame/captured_image.h"

namespace kyvern::app {

// The overlay switches of the image view, section ImageDisplay of the settings.
struct OverlaySwitches {
    bool grid = false;
    bool planes = false;
    bool marks = false;
    bool mono = false;
};
// "On" (case ignored) switches an overlay on; anything else, or a missing key, leaves it off.
OverlaySwitches ReadOverlaySwitches(base::OptionsReader& reader);
OverlaySwitches ReadOverlaySwitches(const base::SettingsSnapshot& settings);

inline constexpr int kGridSpacing = 64;  // pixels between grid lines

// Colours of the overlays, blue, green, red as a bitmap stores them.
struct Bgr {
    unsigned char blue, green, red;
};
inline constexpr Bgr kGridColour{0, 160, 0};
inline constexpr Bgr kPlaneColour{255, 128, 0};
inline constexpr Bgr kMarkColour{0, 0, 255};
inline constexpr Bgr kOutlineColour{0, 255, 255};

// Turns a gray frame (1 byte per pixel) into a colour one (3 bytes per pixel, blue, green,
// red) in its own buffer and draws the overlays that are on: mono shows the frame in two
// levels split at its mean level; the grid every kGridSpacing pixels; planes as each located
// ball's outline and the trace of its line's plane across it; marks as the pixels of the
// printed line. Returns false, leaving the frame as it was, when it is not a gray frame.
bool DrawOverlays(frame::CapturedImage& frame, const OverlaySwitches& switches);

}  // namespace kyvern::app
