#include "database.h"

#include "migrations.h"
#include "postgres_database.h"
#include "sqlite_database.h"

#include <cstdlib>

namespace velquist::service {

std::int64_t SqlRow::Int(std::size_t column) const {
    if (column >= cells_.size() || !cells_[column]) {
        return 0;
    }
    return std::strtoll(cells_[column]->c_str(), nullptr, 10);
}

std::string SqlRow::Text(std::size_t column) const {
    if (column >= cells_.size() || !cells_[column]) {
        return {};
    }
    return *cells_[column];
}

bool SqlRow::IsNull(std::size_t column) const {
    return column >= cells_.size() || !cells_[column];
}

SqlResult Database::Query(std::string_view sql, const SqlParams& params, SqlRows* rows) {
    SqlResult result = SqlResult::kFailed;
    const bool committed = Transact([&](Session& session) {
        result = session.Run(sql, params, rows);
        return result == SqlResult::kOk;
    });
    // The statement may have run and the commit still failed (a full disk, a
    // deferred constraint, a lost connection): then nothing was stored.
    if (result == SqlResult::kOk && !committed) {
        return SqlResult::kFailed;
    }
    return result;
}

bool IsPostgresUrl(std::string_view where) {
    return where.substr(0, 13) == "postgresql://" || where.substr(0, 11) == "postgres://";
}

std::int64_t LockKeyOf(std::string_view space, std::string_view text) {
    // FNV-1a: the same key in every instance and every build.
    std::uint64_t hash = 1469598103934665603ull;
    const auto mix = [&hash](std::string_view part) {
        for (const char c : part) {
            hash ^= static_cast<unsigned char>(c);
            hash *= 1099511628211ull;
        }
    };
    mix(space);
    mix(std::string_view("\0", 1));
    mix(text);
    return static_cast<std::int64_t>(hash);
}

std::unique_ptr<Database> Database::Open(const std::string& where, std::string* error) {
    std::unique_ptr<Database> db;
    if (IsPostgresUrl(where)) {
        db = PostgresDatabase::Open(where, error);
    } else {
        db = SqliteDatabase::Open(where, error);
    }
    if (!db || !Migrate(*db, error)) {
        return nullptr;
    }
    return db;
}

} // namespace velquist::service
