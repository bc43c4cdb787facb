#include "store/sql_link.h"

#include <charconv>
#include <cstdio>
#include <stdexcept>

namespace kyvern::store {

const SqlValue& SqlRows::Cell(std::size_t row, std::size_t column) const {
    // A query reading a column it did not select is a bug in the query code.
    if (row >= rows_.size() || column >= rows_[row].size()) {
        throw std::out_of_range("SqlRows: no such cell");
    }
    return rows_[row][column];
}

bool SqlRows::IsNull(std::size_t row, std::size_t column) const {
    return std::holds_alternative<std::monostate>(Cell(row, column));
}

std::int64_t SqlRows::Int(std::size_t row, std::size_t column) const {
    const SqlValue& v = Cell(row, column);
    if (const auto* i = std::get_if<std::int64_t>(&v)) return *i;
    if (const auto* d = std::get_if<double>(&v)) return static_cast<std::int64_t>(*d);
    if (const auto* s = std::get_if<std::string>(&v)) {
        std::int64_t out = 0;
        std::from_chars(s->data(), s->data() + s->size(), out);
        return out;
    }
    return 0;
}

double SqlRows::Real(std::size_t row, std::size_t column) const {
    const SqlValue& v = Cell(row, column);
    if (const auto* d = std::get_if<double>(&v)) return *d;
    if (const auto* i = std::get_if<std::int64_t>(&v)) return static_cast<double>(*i);
    if (const auto* s = std::get_if<std::string>(&v)) {
        double out = 0.0;
        std::from_chars(s->data(), s->data() + s->size(), out);
        return out;
    }
    return 0.0;
}

std::optional<double> SqlRows::OptionalReal(std::size_t row, std::size_t column) const {
    if (IsNull(row, column)) return std::nullopt;
    return Real(row, column);
}

std::string SqlRows::Text(std::size_t row, std::size_t column) const {
    const SqlValue& v = Cell(row, column);
    if (const auto* s = std::get_if<std::string>(&v)) return *s;
    char text[40] = "";
    if (const auto* i = std::get_if<std::int64_t>(&v)) {
        std::snprintf(text, sizeof text, "%lld", static_cast<long long>(*i));
    } else if (const auto* d = std::get_if<double>(&v)) {
        std::snprintf(text, sizeof text, "%.17g", *d);
    }
    return text;
}

std::string SqlParams::Add(SqlValue value) {
    values_.push_back(std::move(value));
    char text[32];
    std::snprintf(text, sizeof text, "$%zu", values_.size());
    return text;
}

}  // namespace kyvern::store
