#pragma once

#include "database.h"

#include <condition_variable>
#include <libpq-fe.h>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace velquist::service {

struct PgConnCloser {
    void operator()(PGconn* conn) const { PQfinish(conn); }
};
using PgConnPtr = std::unique_ptr<PGconn, PgConnCloser>;

// A small pool of libpq connections. Transactions run at READ COMMITTED;
// what must not interleave takes a transaction-scoped advisory lock
// (Session::LockKey), which every instance on the database honours.
class PostgresDatabase : public Database {
  public:
    static std::unique_ptr<PostgresDatabase> Open(const std::string& url, std::string* error,
                                                  unsigned connections = 8);

    bool Transact(const std::function<bool(Session&)>& work) override;
    const char* Kind() const override { return "postgresql"; }

  private:
    explicit PostgresDatabase(std::string url) : url_(std::move(url)) {}
    PgConnPtr Take();
    void Give(PgConnPtr conn);

    std::string url_;
    std::mutex mutex_;
    std::condition_variable freed_;
    std::vector<PgConnPtr> idle_;
};

} // namespace velquist::service
