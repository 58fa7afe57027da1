#pragma once

#include <string>

namespace velquist::service::testing {

// A throwaway PostgreSQL server for the tests: initdb and pg_ctl from
// Debian's postgresql package, in a folder of its own, listening on a Unix
// socket only. Run as the unprivileged "postgres" user when we are root
// (initdb refuses root).
class PgCluster {
  public:
    // The folder with initdb and pg_ctl, or "" when the server is not installed.
    static std::string BinDir();

    explicit PgCluster(std::string dir) : dir_(std::move(dir)) {}
    // Creates the folder (when needed), the cluster and starts the server.
    bool Start(std::string* error);
    // True when a server of an earlier Start in this folder answers.
    bool Running() const;
    void Stop();
    // Removes the folder and everything in it.
    void Remove();
    // A new, empty database and its URL.
    std::string NewDatabase(std::string* error);
    std::string UrlFor(const std::string& database) const;

  private:
    std::string dir_;
};

// The database setting for a test: "" for SQLite (the default), or a fresh
// PostgreSQL database when VELQUIST_TEST_BACKEND=postgresql or ctest's shared
// server (VELQUIST_TEST_PG_DIR) is named. Then `*skip` explains why there is
// none (the server is not installed).
std::string TestDatabaseUrl(std::string* skip);
bool TestingPostgres();

} // namespace velquist::service::testing
