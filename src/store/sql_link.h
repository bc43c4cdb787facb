#pragma once

// The little the shot queries need of a database connection, so that SQLite and PostgreSQL
// run the very same statements and give the very same figures. Statements name their
// parameters $1, $2, ... and values are always bound, never written into the text.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "base/status.h"

namespace kyvern::store {

enum class SqlDialect { kSqlite, kPostgres };

using SqlValue = std::variant<std::monostate, std::int64_t, double, std::string>;

// A result: each cell as the database gave it (PostgreSQL gives text), read by the type the
// query asked for.
class SqlRows {
public:
    std::size_t Size() const { return rows_.size(); }
    bool IsNull(std::size_t row, std::size_t column) const;
    std::int64_t Int(std::size_t row, std::size_t column) const;
    double Real(std::size_t row, std::size_t column) const;
    std::optional<double> OptionalReal(std::size_t row, std::size_t column) const;
    std::string Text(std::size_t row, std::size_t column) const;

    void Clear() { rows_.clear(); }
    std::vector<SqlValue>& AddRow() { return rows_.emplace_back(); }

private:
    const SqlValue& Cell(std::size_t row, std::size_t column) const;
    std::vector<std::vector<SqlValue>> rows_;
};

// Parameters as a statement is built: Add gives the placeholder of the value.
class SqlParams {
public:
    std::string Add(SqlValue value);
    const std::vector<SqlValue>& Values() const { return values_; }

private:
    std::vector<SqlValue> values_;
};

class SqlLink {
public:
    virtual ~SqlLink() = default;
    virtual SqlDialect Dialect() const = 0;
    // One statement with its parameters; rows (when given) receives what it returns.
    [[nodiscard]] virtual base::Status Run(std::string_view sql,
                                           const std::vector<SqlValue>& params, SqlRows* rows) = 0;
    // Statements without parameters, separated by semicolons (the schema).
    [[nodiscard]] virtual base::Status RunScript(std::string_view sql) = 0;
    // A write transaction: SQLite takes its write lock at once, so two writers queue instead
    // of failing when the reader upgrades.
    [[nodiscard]] virtual base::Status Begin() = 0;
    [[nodiscard]] virtual base::Status Commit() = 0;
    virtual void Rollback() = 0;
    [[nodiscard]] virtual base::Status TableExists(std::string_view name, bool& exists) = 0;
    // Held while the schema is brought up to date, so that two programs starting at once
    // do not both migrate. SQLite's write transaction already serialises them.
    [[nodiscard]] virtual base::Status LockSchema() { return {}; }
    virtual void UnlockSchema() {}
};

}  // namespace kyvern::store
