#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

namespace velquist::service {

struct Blob {
    std::string bytes;
};
using SqlValue = std::variant<std::int64_t, std::string, Blob>;
using SqlParams = std::vector<SqlValue>;

// One result row; every cell as its bytes (numbers in decimal).
class SqlRow {
  public:
    explicit SqlRow(std::vector<std::optional<std::string>> cells) : cells_(std::move(cells)) {}
    std::int64_t Int(std::size_t column) const;
    std::string Text(std::size_t column) const;
    bool IsNull(std::size_t column) const;

  private:
    std::vector<std::optional<std::string>> cells_;
};
using SqlRows = std::vector<SqlRow>;

enum class SqlResult {
    kOk,
    // A unique or primary key refused the write; the transaction is spoilt.
    kConflict,
    kFailed,
};

// One connection inside one transaction. SQL uses ?1, ?2... for parameters,
// which are always bound, never spliced in.
class Session {
  public:
    virtual ~Session() = default;
    virtual SqlResult Run(std::string_view sql, const SqlParams& params = {},
                          SqlRows* rows = nullptr) = 0;
    // Statements without parameters, separated by semicolons (schema changes).
    virtual bool Script(std::string_view sql) = 0;
    // Serialises the rest of the transaction against every other transaction,
    // in any instance, that locks the same key.
    virtual bool LockKey(std::int64_t key) = 0;
};

// The service's storage: SQLite in a file for one instance, or PostgreSQL for
// several instances that must behave as one.
class Database {
  public:
    // `where` is a file path, or a "postgresql://" (or "postgres://") URL.
    // Creates or migrates the schema.
    static std::unique_ptr<Database> Open(const std::string& where, std::string* error);
    virtual ~Database() = default;

    // Runs `work` in one transaction: committed when it returns true, rolled
    // back otherwise. True only when the commit succeeded; a failed commit is
    // logged, and whatever `work` decided must then not be answered as done.
    virtual bool Transact(const std::function<bool(Session&)>& work) = 0;
    virtual const char* Kind() const = 0;

    // One statement in a transaction of its own; kOk only when it was committed.
    SqlResult Query(std::string_view sql, const SqlParams& params = {}, SqlRows* rows = nullptr);
};

bool IsPostgresUrl(std::string_view where);

// A stable lock key for `text` within `space`, the same in every instance.
std::int64_t LockKeyOf(std::string_view space, std::string_view text);

} // namespace velquist::service
