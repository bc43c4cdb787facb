#pragma once

#include <string>

#include "store/stored_shot.h"

namespace kyvern::store {

// A shot as the queue keeps it on disk, and back. Numbers keep every bit.
std::string ShotToJson(const StoredShot& shot);
// False, with the reason, for a text that is not a whole shot.
bool ShotFromJson(const std::string& text, StoredShot& shot, std::string& why);

}  // namespace kyvern::store
