#pragma once

#include <string>

namespace kyvern::links {

// Where the program's sockets and locks live: $KYVERN_RUNTIME_DIR, else $XDG_RUNTIME_DIR/kyvern,
// else a kyvern-UID folder in the temporary folder. Read at every call, so a test may point
// the program elsewhere at any time.
std::string RuntimeFolder();
// Creates the folder with mode 0700 when missing; empty when it is a folder of this user's that
// others cannot enter, else why it is refused.
std::string RuntimeFolderRefusal();
// RuntimeFolderRefusal as a yes or no; the first refusal of a process is logged (links).
bool EnsureRuntimeFolder();
// The socket of a slot name ("Kyvern", "msROUTER", "ms3") inside the runtime folder.
std::string SlotPath(const std::string& name);

}  // namespace kyvern::links
