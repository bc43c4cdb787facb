#pragma once

#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "capture/camera_driver.h"

namespace kyvern::capture {

// The hardware back-ends built into this program, in the order "Auto" tries them.
std::vector<std::string> HardwareBackends();

// A driver of the named hardware back-end ("GenICam", "IIDC", case ignored), or for "Auto" the
// first built back-end that finds a camera (else the first one built); nullptr when the name
// is unknown or its back-end is not built. "Simulated" is not made here: the simulated camera
// renders with the layer above this one, so the program that picks the back-end makes it.
std::unique_ptr<CameraDriver> MakeHardwareDriver(std::string_view name);

}  // namespace kyvern::capture
