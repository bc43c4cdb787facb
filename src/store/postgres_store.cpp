#include "store/postgres_store.h"

#include <libpq-fe.h>

#include <cstdio>

namespace kyvern::store {

namespace {

// The advisory lock key of the schema migrations: "KyvnSchm".
constexpr const char* kSchemaLockKey = "5438595411040086381";
constexpr const char* kConnectTimeoutSeconds = "10";

std::string Trimmed(const char* text) {
    std::string s = text ? text : "";
    while (!s.empty() && (s.back() == '\n' || s.back() == ' '))
        s.pop_back();
    return s;
}

void IgnoreNotice(void*, const char*) {}

class PostgresLink final : public SqlLink {
public:
    explicit PostgresLink(PGconn* conn) : conn_(conn) {
        PQsetNoticeProcessor(conn_, IgnoreNotice, nullptr);
    }
    ~PostgresLink() override { PQfinish(conn_); }
    PostgresLink(const PostgresLink&) = delete;
    PostgresLink& operator=(const PostgresLink&) = delete;

    SqlDialect Dialect() const override { return SqlDialect::kPostgres; }

    base::Status Run(std::string_view sql, const std::vector<SqlValue>& params,
                     SqlRows* rows) override {
        if (rows) rows->Clear();
        std::vector<std::string> texts(params.size());
        std::vector<const char*> values(params.size(), nullptr);
        for (std::size_t i = 0; i < params.size(); ++i) {
            const SqlValue& v = params[i];
            char number[40];
            if (const auto* n = std::get_if<std::int64_t>(&v)) {
                std::snprintf(number, sizeof number, "%lld", static_cast<long long>(*n));
                texts[i] = number;
            } else if (const auto* d = std::get_if<double>(&v)) {
                // Seventeen digits bring every double back bit for bit.
                std::snprintf(number, sizeof number, "%.17g", *d);
                texts[i] = number;
            } else if (const auto* t = std::get_if<std::string>(&v)) {
                texts[i] = *t;
            } else {
                continue;
            }
            values[i] = texts[i].c_str();
        }
        const std::string text(sql);
        PGresult* result = PQexecParams(conn_, text.c_str(), static_cast<int>(params.size()),
                                        nullptr, values.data(), nullptr, nullptr, 0);
        return Finish(result, rows);
    }

    base::Status RunScript(std::string_view sql) override {
        const std::string text(sql);
        return Finish(PQexec(conn_, text.c_str()), nullptr);
    }

    base::Status Begin() override {
        // A server restarted since the last shot: one new connection before giving up.
        if (PQstatus(conn_) != CONNECTION_OK) {
            PQreset(conn_);
            if (PQstatus(conn_) != CONNECTION_OK) {
                return base::Status::Failure("the connection is lost: " +
                                             Trimmed(PQerrorMessage(conn_)));
            }
            PQsetNoticeProcessor(conn_, IgnoreNotice, nullptr);
        }
        return RunScript("BEGIN");
    }
    base::Status Commit() override { return RunScript("COMMIT"); }
    void Rollback() override {
        if (PQstatus(conn_) == CONNECTION_OK && PQtransactionStatus(conn_) != PQTRANS_IDLE) {
            (void)RunScript("ROLLBACK");
        }
    }

    base::Status TableExists(std::string_view name, bool& exists) override {
        SqlRows rows;
        if (auto s = Run("SELECT to_regclass($1) IS NOT NULL", {std::string(name)}, &rows); !s) {
            return s;
        }
        exists = rows.Size() == 1 && rows.Text(0, 0) == "t";
        return {};
    }

    base::Status LockSchema() override {
        return Run("SELECT pg_advisory_lock($1)", {std::string(kSchemaLockKey)}, nullptr);
    }
    void UnlockSchema() override {
        (void)Run("SELECT pg_advisory_unlock($1)", {std::string(kSchemaLockKey)}, nullptr);
    }

private:
    base::Status Finish(PGresult* result, SqlRows* rows) {
        const ExecStatusType status = result ? PQresultStatus(result) : PGRES_FATAL_ERROR;
        if (status != PGRES_COMMAND_OK && status != PGRES_TUPLES_OK) {
            std::string why = result ? Trimmed(PQresultErrorMessage(result)) : "";
            if (why.empty()) why = Trimmed(PQerrorMessage(conn_));
            PQclear(result);
            return base::Status::Failure(why);
        }
        if (rows) {
            const int count = PQntuples(result);
            const int columns = PQnfields(result);
            for (int r = 0; r < count; ++r) {
                std::vector<SqlValue>& row = rows->AddRow();
                for (int c = 0; c < columns; ++c) {
                    if (PQgetisnull(result, r, c)) {
                        row.emplace_back(std::monostate{});
                    } else {
                        row.emplace_back(
                            std::string(PQgetvalue(result, r, c),
                                        static_cast<std::size_t>(PQgetlength(result, r, c))));
                    }
                }
            }
        }
        PQclear(result);
        return {};
    }

    PGconn* conn_;
};

}  // namespace

bool IsPostgresUrl(std::string_view url) {
    return url.starts_with("postgresql://") || url.starts_with("postgres://");
}

std::string RedactedUrl(std::string_view url) {
    std::string text(url);
    const std::size_t scheme = text.find("://");
    if (scheme == std::string::npos) return text;
    const std::size_t start = scheme + 3;
    const std::size_t end = text.find_first_of("/?", start);
    const std::size_t at = text.rfind('@', end == std::string::npos ? text.size() : end);
    if (at == std::string::npos || at < start) return text;
    const std::size_t colon = text.find(':', start);
    if (colon == std::string::npos || colon > at) return text;
    return text.replace(colon + 1, at - colon - 1, "***");
}

PostgresStore::PostgresStore(std::unique_ptr<SqlLink> link, std::string where)
    : SqlShotStore(std::move(link), std::move(where)) {}

base::Status PostgresStore::Open(const std::string& url, std::unique_ptr<PostgresStore>& store) {
    store.reset();
    const std::string shown = RedactedUrl(url);
    if (!IsPostgresUrl(url)) {
        return base::Status::Failure("The shot store URL " + shown +
                                     " is not a PostgreSQL URL (postgresql://...)");
    }
    char* error = nullptr;
    PQconninfoOption* options = PQconninfoParse(url.c_str(), &error);
    if (!options) {
        std::string why = error ? Trimmed(error) : "out of memory";
        PQfreemem(error);
        return base::Status::Failure("The shot store URL " + shown + " does not parse: " + why);
    }
    PQconninfoFree(options);

    // The URL's own settings come last and win over these defaults.
    const char* keys[] = {"connect_timeout", "application_name", "dbname", nullptr};
    const char* values[] = {kConnectTimeoutSeconds, "kyvern", url.c_str(), nullptr};
    PGconn* conn = PQconnectdbParams(keys, values, 1);
    if (!conn || PQstatus(conn) != CONNECTION_OK) {
        std::string why = conn ? Trimmed(PQerrorMessage(conn)) : "out of memory";
        PQfinish(conn);
        return base::Status::Failure("Could not connect to the shot store " + shown + ": " + why);
    }
    std::string where = "PostgreSQL ";
    where += PQdb(conn);
    where += " on ";
    const char* host = PQhost(conn);
    where += host && *host ? host : "localhost";
    auto link = std::make_unique<PostgresLink>(conn);
    if (auto s = link->RunScript("SET client_min_messages = warning"); !s) {
        return base::Status::Failure("Could not use the shot store " + shown + ": " + s.Reason());
    }
    std::unique_ptr<PostgresStore> opened(new PostgresStore(std::move(link), where));
    if (auto m = opened->Migrate(); !m) return m;
    store = std::move(opened);
    return {};
}

}  // namespace kyvern::store
