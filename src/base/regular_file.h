#pragma once

#include <cstdint>
#include <string>

namespace kyvern::base {

// Why a file was not read.
enum class ReadRefusal { kNone, kMissing, kNotRegular, kTooLarge, kFailed };

// Opens path for reading only when it is a regular file of at most maxBytes. The open itself
// never blocks, so a FIFO or a device named where a file belongs cannot stall the caller, and a
// file's own size cannot make it read without end (/dev/zero) or fill the memory. Returns the
// descriptor, or -1 with refusal set.
int OpenRegularFile(const std::string& path, std::uint64_t maxBytes, ReadRefusal& refusal);

// The whole of such a file in text; kNone when read.
ReadRefusal ReadRegularFile(const std::string& path, std::uint64_t maxBytes, std::string& text);

// A short reason for a message: "not a regular file", "larger than 1048576 bytes", ...
std::string RefusalText(ReadRefusal refusal, std::uint64_t maxBytes);

}  // namespace kyvern::base
