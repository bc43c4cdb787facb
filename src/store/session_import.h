#pragma once

#include <string>
#include <vector>

#include "base/status.h"
#include "store/shot_store.h"

namespace kyvern::store {

// What the import made of one session file.
struct ImportReport {
    std::string path;
    base::Status status;  // why the file could not be imported; its shots are then not stored
    int loaded = 0;       // shots read from the file
    int added = 0;        // of them, new to the store
    int skipped = 0;      // lines that could not be read, and shots the store already had
};

// Stores the shots of session files. Each shot's id comes from its content and its place
// among equal lines, so importing a file again (or a longer copy of it) adds only what the
// store lacks. A file that cannot be read does not stop the others.
std::vector<ImportReport> ImportSessions(ShotStore& store, const std::vector<std::string>& paths,
                                         const std::string& bay);

}  // namespace kyvern::store
