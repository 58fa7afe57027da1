#include "postgres_database.h"

#include <cstdio>
#include <cstring>

namespace velquist::service {
namespace {

struct ResultClear {
    void operator()(PGresult* result) const { PQclear(result); }
};
using ResultPtr = std::unique_ptr<PGresult, ResultClear>;

// Type OIDs of the parameters we send: bigint, text, bytea.
constexpr Oid kInt8 = 20;
constexpr Oid kText = 25;
constexpr Oid kBytea = 17;

// "?1" in the shared SQL becomes PostgreSQL's "$1". Our statements carry no
// question marks inside string literals.
std::string Dialect(std::string_view sql) {
    std::string out(sql);
    for (char& c : out) {
        if (c == '?') {
            c = '$';
        }
    }
    return out;
}

std::string Unescaped(const char* value, Oid type) {
    if (type != kBytea) {
        return value;
    }
    std::size_t size = 0;
    unsigned char* bytes = PQunescapeBytea(reinterpret_cast<const unsigned char*>(value), &size);
    if (bytes == nullptr) {
        return {};
    }
    std::string out(reinterpret_cast<const char*>(bytes), size);
    PQfreemem(bytes);
    return out;
}

void CollectRows(PGresult* result, SqlRows* rows) {
    const int count = PQntuples(result);
    const int columns = PQnfields(result);
    for (int r = 0; r < count; ++r) {
        std::vector<std::optional<std::string>> cells;
        for (int c = 0; c < columns; ++c) {
            if (PQgetisnull(result, r, c)) {
                cells.emplace_back();
            } else {
                cells.emplace_back(Unescaped(PQgetvalue(result, r, c), PQftype(result, c)));
            }
        }
        rows->emplace_back(std::move(cells));
    }
}

bool IsUniqueViolation(PGresult* result) {
    const char* state = PQresultErrorField(result, PG_DIAG_SQLSTATE);
    return state != nullptr && std::strcmp(state, "23505") == 0;
}

class PostgresSession : public Session {
  public:
    explicit PostgresSession(PGconn* conn) : conn_(conn) {}

    SqlResult Run(std::string_view sql, const SqlParams& params, SqlRows* rows) override {
        std::vector<std::string> numbers(params.size());
        std::vector<Oid> types(params.size());
        std::vector<const char*> values(params.size());
        std::vector<int> lengths(params.size());
        std::vector<int> formats(params.size());
        for (std::size_t i = 0; i < params.size(); ++i) {
            if (const auto* number = std::get_if<std::int64_t>(&params[i])) {
                numbers[i] = std::to_string(*number);
                types[i] = kInt8;
                values[i] = numbers[i].c_str();
            } else if (const auto* text = std::get_if<std::string>(&params[i])) {
                types[i] = kText;
                values[i] = text->c_str();
            } else {
                const std::string& bytes = std::get<Blob>(params[i]).bytes;
                types[i] = kBytea;
                values[i] = bytes.data();
                lengths[i] = static_cast<int>(bytes.size());
                formats[i] = 1;
            }
        }
        const std::string text = Dialect(sql);
        ResultPtr result(PQexecParams(conn_, text.c_str(), static_cast<int>(params.size()),
                                      types.data(), values.data(), lengths.data(), formats.data(),
                                      0));
        const ExecStatusType status = PQresultStatus(result.get());
        if (status == PGRES_TUPLES_OK || status == PGRES_COMMAND_OK) {
            if (rows != nullptr) {
                CollectRows(result.get(), rows);
            }
            return SqlResult::kOk;
        }
        if (IsUniqueViolation(result.get())) {
            return SqlResult::kConflict;
        }
        std::fprintf(stderr, "postgresql: %s", PQerrorMessage(conn_));
        return SqlResult::kFailed;
    }

    bool Script(std::string_view sql) override {
        const std::string text(sql);
        ResultPtr result(PQexec(conn_, text.c_str()));
        if (PQresultStatus(result.get()) == PGRES_COMMAND_OK ||
            PQresultStatus(result.get()) == PGRES_TUPLES_OK) {
            return true;
        }
        std::fprintf(stderr, "postgresql: %s", PQerrorMessage(conn_));
        return false;
    }

    bool LockKey(std::int64_t key) override {
        return Run("SELECT pg_advisory_xact_lock(?1)", {key}, nullptr) == SqlResult::kOk;
    }

  private:
    PGconn* conn_;
};

// Notices such as "already exists, skipping" are not for the service's log.
void DropNotice(void*, const char*) {}

PgConnPtr Connect(const std::string& url, std::string* error) {
    PgConnPtr conn(PQconnectdb(url.c_str()));
    if (conn) {
        PQsetNoticeProcessor(conn.get(), DropNotice, nullptr);
    }
    if (!conn || PQstatus(conn.get()) != CONNECTION_OK) {
        if (error != nullptr) {
            *error = conn ? PQerrorMessage(conn.get()) : "out of memory";
            while (!error->empty() && error->back() == '\n') {
                error->pop_back();
            }
        }
        return nullptr;
    }
    return conn;
}

} // namespace

std::unique_ptr<PostgresDatabase> PostgresDatabase::Open(const std::string& url, std::string* error,
                                                         unsigned connections) {
    std::unique_ptr<PostgresDatabase> db(new PostgresDatabase(url));
    for (unsigned i = 0; i < connections; ++i) {
        PgConnPtr conn = Connect(url, error);
        if (!conn) {
            return nullptr;
        }
        db->idle_.push_back(std::move(conn));
    }
    return db;
}

PgConnPtr PostgresDatabase::Take() {
    std::unique_lock<std::mutex> lock(mutex_);
    freed_.wait(lock, [this] { return !idle_.empty(); });
    PgConnPtr conn = std::move(idle_.back());
    idle_.pop_back();
    return conn;
}

void PostgresDatabase::Give(PgConnPtr conn) {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        idle_.push_back(std::move(conn));
    }
    freed_.notify_one();
}

bool PostgresDatabase::Transact(const std::function<bool(Session&)>& work) {
    PgConnPtr conn = Take();
    // A server restart breaks the connection; the next transaction reconnects.
    if (PQstatus(conn.get()) != CONNECTION_OK) {
        PQreset(conn.get());
    }
    PostgresSession session(conn.get());
    bool committed = false;
    if (session.Script("BEGIN")) {
        // A failed statement spoils the transaction; COMMIT would then only
        // roll it back.
        if (work(session) && PQtransactionStatus(conn.get()) == PQTRANS_INTRANS) {
            committed = session.Script("COMMIT");
            if (!committed) {
                // A deferred constraint, a lost connection: nothing was stored.
                std::fprintf(stderr, "postgresql: commit failed\n");
            }
        } else {
            session.Script("ROLLBACK");
        }
    }
    if (!committed && PQtransactionStatus(conn.get()) != PQTRANS_IDLE) {
        session.Script("ROLLBACK");
    }
    Give(std::move(conn));
    return committed;
}

} // namespace velquist::service
