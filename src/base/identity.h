#pragma once

#include <span>
#include <string>

#include "base/version.h"

namespace kyvern::base {

// The camera module's device text: "Kyvern: " and the serial numbers of the present cameras
// in slot order, separated by ", " ("Kyvern: " alone when there is none).
std::string CameraDeviceText(std::span<const long> serials);

}  // namespace kyvern::base
