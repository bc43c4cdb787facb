#pragma once

#include <memory>
#include <string>

#include "store/sql_shot_store.h"

namespace kyvern::store {

// The file name of the history in the program folder.
inline constexpr const char* kSqliteFileName = "kyvern.db";

// The shot history in one SQLite file: write-ahead log, every commit synced, so that a shot
// Write reported is on disk and a killed program leaves the file whole.
class SqliteStore final : public SqlShotStore {
public:
    // Opens the file, or creates it when missing. A file that is not a SQLite database, is a
    // damaged or truncated one, or is another program's, is refused and left untouched; so is
    // one whose schema is newer than this program.
    [[nodiscard]] static base::Status Open(const std::string& path,
                                           std::unique_ptr<SqliteStore>& store);

private:
    SqliteStore(std::unique_ptr<SqlLink> link, std::string where);
};

}  // namespace kyvern::store
