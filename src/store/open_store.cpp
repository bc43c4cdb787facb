#include "store/open_store.h"

#include "store/postgres_store.h"
#include "store/sqlite_store.h"

namespace kyvern::store {

base::Status OpenStore(const std::string& url, const std::string& homeFolder,
                       std::unique_ptr<ShotStore>& store) {
    store.reset();
    std::string path;
    if (url.empty()) {
        if (homeFolder.empty()) {
            return base::Status::Failure(
                "The shot store has no folder: the home folder is unknown");
        }
        path = homeFolder + "/" + kSqliteFileName;
    } else if (IsPostgresUrl(url)) {
        std::unique_ptr<PostgresStore> opened;
        if (auto s = PostgresStore::Open(url, opened); !s) return s;
        store = std::move(opened);
        return {};
    } else if (url.starts_with("sqlite:")) {
        path = url.substr(7);
        if (path.starts_with("//")) path = path.substr(2);  // sqlite:///abs/path
    } else if (url.find("://") != std::string::npos) {
        return base::Status::Failure("The shot store URL " + RedactedUrl(url) +
                                     " names no store this program knows: use a file path, "
                                     "sqlite:PATH or postgresql://...");
    } else {
        path = url;
    }
    if (path.empty()) return base::Status::Failure("The shot store URL " + url + " has no path");
    std::unique_ptr<SqliteStore> opened;
    if (auto s = SqliteStore::Open(path, opened); !s) return s;
    store = std::move(opened);
    return {};
}

std::unique_ptr<QueuedStore> OpenQueuedStore(const std::string& url,
                                             const std::string& homeFolder) {
    return std::make_unique<QueuedStore>(
        [url, homeFolder](std::unique_ptr<ShotStore>& store) {
            return OpenStore(url, homeFolder, store);
        },
        homeFolder + "/" + kQueueFolderName);
}

}  // namespace kyvern::store
