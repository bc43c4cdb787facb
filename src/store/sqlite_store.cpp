#include "store/sqlite_store.h"

#include <sqlite3.h>
#include <sys/stat.h>

#include <cstdio>
#include <cstring>
#include <fstream>
#include <unordered_map>

namespace kyvern::store {

namespace {

constexpr int kBusyTimeoutMs = 10000;

std::string ErrorOf(sqlite3* db) { return db ? sqlite3_errmsg(db) : "out of memory"; }

class SqliteLink final : public SqlLink {
public:
    explicit SqliteLink(sqlite3* db) : db_(db) {}
    ~SqliteLink() override {
        for (auto& [sql, statement] : statements_)
            sqlite3_finalize(statement);
        sqlite3_close(db_);
    }
    SqliteLink(const SqliteLink&) = delete;
    SqliteLink& operator=(const SqliteLink&) = delete;

    SqlDialect Dialect() const override { return SqlDialect::kSqlite; }

    base::Status Run(std::string_view sql, const std::vector<SqlValue>& params,
                     SqlRows* rows) override {
        if (rows) rows->Clear();
        sqlite3_stmt* statement = nullptr;
        if (auto s = Prepare(sql, statement); !s) return s;
        sqlite3_reset(statement);
        sqlite3_clear_bindings(statement);
        for (std::size_t i = 0; i < params.size(); ++i) {
            char name[32];
            std::snprintf(name, sizeof name, "$%zu", i + 1);
            const int at = sqlite3_bind_parameter_index(statement, name);
            if (at == 0) continue;
            const SqlValue& v = params[i];
            int rc = SQLITE_OK;
            if (const auto* n = std::get_if<std::int64_t>(&v)) {
                rc = sqlite3_bind_int64(statement, at, *n);
            } else if (const auto* d = std::get_if<double>(&v)) {
                rc = sqlite3_bind_double(statement, at, *d);
            } else if (const auto* t = std::get_if<std::string>(&v)) {
                rc = sqlite3_bind_text(statement, at, t->data(), static_cast<int>(t->size()),
                                       SQLITE_TRANSIENT);
            } else {
                rc = sqlite3_bind_null(statement, at);
            }
            if (rc != SQLITE_OK) return base::Status::Failure(ErrorOf(db_));
        }
        for (;;) {
            const int rc = sqlite3_step(statement);
            if (rc == SQLITE_DONE) break;
            if (rc != SQLITE_ROW) {
                base::Status failure = base::Status::Failure(ErrorOf(db_));
                sqlite3_reset(statement);
                return failure;
            }
            if (!rows) continue;
            std::vector<SqlValue>& row = rows->AddRow();
            const int columns = sqlite3_column_count(statement);
            for (int c = 0; c < columns; ++c) {
                switch (sqlite3_column_type(statement, c)) {
                    case SQLITE_INTEGER:
                        row.emplace_back(
                            static_cast<std::int64_t>(sqlite3_column_int64(statement, c)));
                        break;
                    case SQLITE_FLOAT:
                        row.emplace_back(sqlite3_column_double(statement, c));
                        break;
                    case SQLITE_NULL:
                        row.emplace_back(std::monostate{});
                        break;
                    default: {
                        const auto* text =
                            reinterpret_cast<const char*>(sqlite3_column_text(statement, c));
                        row.emplace_back(std::string(
                            text ? text : "",
                            static_cast<std::size_t>(sqlite3_column_bytes(statement, c))));
                    }
                }
            }
        }
        sqlite3_reset(statement);
        return {};
    }

    base::Status RunScript(std::string_view sql) override {
        char* error = nullptr;
        const std::string text(sql);
        if (sqlite3_exec(db_, text.c_str(), nullptr, nullptr, &error) != SQLITE_OK) {
            std::string why = error ? error : ErrorOf(db_);
            sqlite3_free(error);
            return base::Status::Failure(why);
        }
        return {};
    }

    base::Status Begin() override { return RunScript("BEGIN IMMEDIATE"); }
    base::Status Commit() override { return RunScript("COMMIT"); }
    void Rollback() override {
        if (!sqlite3_get_autocommit(db_)) (void)RunScript("ROLLBACK");
    }

    base::Status TableExists(std::string_view name, bool& exists) override {
        SqlRows rows;
        if (auto s = Run("SELECT 1 FROM sqlite_master WHERE type = 'table' AND name = $1",
                         {std::string(name)}, &rows);
            !s) {
            return s;
        }
        exists = rows.Size() > 0;
        return {};
    }

private:
    base::Status Prepare(std::string_view sql, sqlite3_stmt*& statement) {
        std::string key(sql);
        if (auto it = statements_.find(key); it != statements_.end()) {
            statement = it->second;
            return {};
        }
        if (sqlite3_prepare_v3(db_, key.data(), static_cast<int>(key.size()),
                               SQLITE_PREPARE_PERSISTENT, &statement, nullptr) != SQLITE_OK) {
            return base::Status::Failure(ErrorOf(db_));
        }
        statements_.emplace(std::move(key), statement);
        return {};
    }

    sqlite3* db_;
    std::unordered_map<std::string, sqlite3_stmt*> statements_;
};

std::uint32_t BigEndian(const unsigned char* p, int bytes) {
    std::uint32_t v = 0;
    for (int i = 0; i < bytes; ++i)
        v = (v << 8) | p[i];
    return v;
}

// Why the file's header shows it is no whole SQLite database; empty when it may be one.
std::string HeaderProblem(const std::string& path, std::uint64_t size) {
    if (size < 100) return "it is too short to be a SQLite database";
    unsigned char header[100] = {};
    std::ifstream in(path, std::ios::binary);
    if (!in.read(reinterpret_cast<char*>(header), sizeof header)) {
        return std::string("it cannot be read: ") + std::strerror(errno);
    }
    if (std::memcmp(header, "SQLite format 3", 16) != 0) return "it is not a SQLite database";
    std::uint32_t pageSize = BigEndian(header + 16, 2);
    if (pageSize == 1) pageSize = 65536;
    if (pageSize < 512 || (pageSize & (pageSize - 1)) != 0) {
        return "its header is damaged (page size)";
    }
    // The page count in the header holds when its change counter matches (bytes 24 and 92).
    const std::uint32_t pages = BigEndian(header + 28, 4);
    if (BigEndian(header + 24, 4) == BigEndian(header + 92, 4) && pages > 0 &&
        static_cast<std::uint64_t>(pages) * pageSize > size) {
        char text[160];
        std::snprintf(text, sizeof text, "it is truncated: %llu bytes where its header counts %llu",
                      static_cast<unsigned long long>(size),
                      static_cast<unsigned long long>(pages) * pageSize);
        return text;
    }
    return {};
}

// Looks at an existing file through a read-only connection, so that nothing is written
// before it is known to be ours; version: the schema version of a store of ours.
std::string ExamineExisting(const std::string& path, int& version) {
    version = 0;
    sqlite3* db = nullptr;
    if (sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READONLY, nullptr) != SQLITE_OK) {
        std::string why = ErrorOf(db);
        sqlite3_close(db);
        return "it cannot be opened: " + why;
    }
    SqliteLink link(db);
    sqlite3_busy_timeout(db, kBusyTimeoutMs);
    SqlRows rows;
    if (auto s = link.Run("PRAGMA application_id", {}, &rows); !s || rows.Size() != 1) {
        return "it is damaged: " + (s ? std::string("no application id") : s.Reason());
    }
    const std::int64_t applicationId = rows.Int(0, 0);
    if (auto s = link.Run("SELECT name FROM sqlite_master WHERE type = 'table' ORDER BY name", {},
                          &rows);
        !s) {
        return "it is damaged: " + s.Reason();
    }
    if (applicationId == kSqliteApplicationId) {
        if (auto s = link.Run("SELECT version FROM schema_version", {}, &rows);
            !s || rows.Size() != 1) {
            return "it is damaged: " + (s ? std::string("no schema version") : s.Reason());
        }
        version = static_cast<int>(rows.Int(0, 0));
        return {};
    }
    if (applicationId == 0 && rows.Size() == 0) return {};  // empty: no program has used it
    std::string tables;
    for (std::size_t r = 0; r < rows.Size() && r < 5; ++r)
        tables += (r ? ", " : "") + rows.Text(r, 0);
    char id[32];
    std::snprintf(id, sizeof id, "%lld", static_cast<long long>(applicationId));
    return "it is another program's SQLite database (application id " + std::string(id) +
           (tables.empty() ? "" : ", tables " + tables) + ")";
}

}  // namespace

SqliteStore::SqliteStore(std::unique_ptr<SqlLink> link, std::string where)
    : SqlShotStore(std::move(link), std::move(where)) {}

base::Status SqliteStore::Open(const std::string& path, std::unique_ptr<SqliteStore>& store) {
    store.reset();
    const std::string where = "SQLite " + path;
    auto refuse = [&](const std::string& why) {
        return base::Status::Failure("The shot store " + path + " cannot be used: " + why +
                                     "; it is left as it is");
    };
    struct stat st {};
    if (::stat(path.c_str(), &st) == 0) {
        if (!S_ISREG(st.st_mode)) return refuse("it is not a regular file");
        if (st.st_size > 0) {
            if (std::string why = HeaderProblem(path, static_cast<std::uint64_t>(st.st_size));
                !why.empty()) {
                return refuse(why);
            }
            int version = 0;
            if (std::string why = ExamineExisting(path, version); !why.empty()) {
                return refuse(why);
            }
            if (version > kLatestSchemaVersion) {
                return base::Status::Failure(NewerSchemaReason(version, where));
            }
        }
    }

    sqlite3* db = nullptr;
    if (sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr) !=
        SQLITE_OK) {
        std::string why = ErrorOf(db);
        sqlite3_close(db);
        return base::Status::Failure("Could not open the shot store " + path + ": " + why);
    }
    auto link = std::make_unique<SqliteLink>(db);
    sqlite3_busy_timeout(db, kBusyTimeoutMs);
    SqlRows rows;
    base::Status s = link->Run("PRAGMA journal_mode = WAL", {}, &rows);
    if (s && (rows.Size() != 1 || rows.Text(0, 0) != "wal")) {
        s = base::Status::Failure("the file system does not allow a write-ahead log");
    }
    if (s) s = link->RunScript("PRAGMA synchronous = FULL; PRAGMA foreign_keys = ON");
    if (!s)
        return base::Status::Failure("Could not open the shot store " + path + ": " + s.Reason());
    std::unique_ptr<SqliteStore> opened(new SqliteStore(std::move(link), where));
    if (auto m = opened->Migrate(); !m) return m;
    store = std::move(opened);
    return {};
}

}  // namespace kyvern::store
