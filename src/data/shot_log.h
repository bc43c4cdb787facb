#pragma once

#include <string>
#include <string_view>

#include "base/user_prompts.h"

namespace kyvern::data {

// The shot log "logKyvern.txt" of the program folder: opened for appending at each write and
// created when missing. Its "\n" are written as "\r\n". When it cannot be opened the user is
// told "Couldn't open the logKyvern.txt file" and false comes back.
bool AppendShotLog(std::string_view text, base::UserPrompts& prompts);
bool AppendShotLog(const std::string& path, std::string_view text, base::UserPrompts& prompts);

// The shot cycle's note of a failed analysis: "%s image failed" with the item name and no
// line break, so the next log text continues on the same line.
bool AppendImageFailed(std::string_view item, base::UserPrompts& prompts);

}  // namespace kyvern::data
