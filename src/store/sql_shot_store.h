#pragma once

#include <memory>
#include <string>

#include "store/shot_store.h"
#include "store/sql_link.h"

namespace kyvern::store {

// The schema version this program writes; a store at a later version is refused.
inline constexpr int kLatestSchemaVersion = 3;
// SQLite's application_id of our files: "Kyvn".
inline constexpr std::int32_t kSqliteApplicationId = 0x4b79766e;

// "The shot store has schema version 7; this program knows versions up to 2 ...".
std::string NewerSchemaReason(int found, const std::string& where);

// The shot store over any SQL database the link speaks to: the schema, its migrations and
// every query, written once for both dialects.
class SqlShotStore : public ShotStore {
public:
    using ShotStore::Write;
    [[nodiscard]] base::Status Write(const StoredShot& shot, bool* added) override;
    [[nodiscard]] base::Status WriteMany(std::span<const StoredShot> shots, int& added) override;
    [[nodiscard]] base::Status Players(std::vector<std::string>& players) override;
    [[nodiscard]] base::Status Sessions(const ShotFilter& filter,
                                        std::vector<SessionSummary>& sessions) override;
    [[nodiscard]] base::Status Shots(const ShotFilter& filter,
                                     std::vector<StoredShot>& shots) override;
    [[nodiscard]] base::Status Gapping(const ShotFilter& filter,
                                       std::vector<GappingRow>& rows) override;
    [[nodiscard]] base::Status Trend(std::string_view value, const ShotFilter& filter,
                                     std::vector<TrendPoint>& points) override;
    int SchemaVersion() const override { return version_; }
    std::string Describe() const override { return where_; }

protected:
    // where: the store as messages name it.
    SqlShotStore(std::unique_ptr<SqlLink> link, std::string where);
    // Brings the schema up to date, each migration in a transaction of its own; refuses a
    // database that is not a shot store or is newer than this program.
    [[nodiscard]] base::Status Migrate();
    SqlLink& Link() { return *link_; }

private:
    [[nodiscard]] base::Status ReadVersion(int& version);
    [[nodiscard]] base::Status WriteRows(const StoredShot& shot, bool& added);
    base::Status Failed(const std::string& what, const base::Status& why) const;

    std::unique_ptr<SqlLink> link_;
    std::string where_;
    int version_ = 0;
};

}  // namespace kyvern::store
