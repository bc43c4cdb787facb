#pragma once

#include <string>
#include <string_view>

#include "base/status.h"

namespace kyvern::data {

// The shot log "logKyvern.txt" of the program folder: opened for appending at each write and
// created when missing. Its "\n" are written as "\r\n". When it cannot be opened the failure
// reads "Couldn't open the logKyvern.txt file"; when the text cannot be written whole, the same
// with the path and the reason.
[[nodiscard]] base::Status AppendShotLog(std::string_view text);
[[nodiscard]] base::Status AppendShotLog(const std::string& path, std::string_view text);

// The shot cycle's note of a failed analysis: "%s image failed" with the item name and no
// line break, so the next log text continues on the same line.
[[nodiscard]] base::Status AppendImageFailed(std::string_view item);
// "<item> doubtful shot: <reasons>": a solved shot refused for its low confidence.
[[nodiscard]] base::Status AppendDoubtfulShot(std::string_view item, std::string_view reasons);

}  // namespace kyvern::data
