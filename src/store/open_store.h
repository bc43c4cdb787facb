#pragma once

#include <memory>
#include <string>

#include "base/status.h"
#include "store/queued_store.h"
#include "store/shot_store.h"

namespace kyvern::store {

// The store the Store/Url setting names: empty for kyvern.db in the home folder, sqlite:PATH
// or a plain path for another SQLite file, postgresql://... or postgres://... for a server.
[[nodiscard]] base::Status OpenStore(const std::string& url, const std::string& homeFolder,
                                     std::unique_ptr<ShotStore>& store);

// What the program records its shots through: the store of the URL, opened on its first use,
// behind a queue in homeFolder/store-queue that keeps the shots it cannot take yet.
std::unique_ptr<QueuedStore> OpenQueuedStore(const std::string& url, const std::string& homeFolder);

}  // namespace kyvern::store
