#include "pg_cluster.h"

#include <atomic>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <libpq-fe.h>
#include <memory>
#include <mutex>
#include <pwd.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace velquist::service::testing {
namespace {

struct PgConnCloser {
    void operator()(PGconn* conn) const { PQfinish(conn); }
};

bool IsRoot() {
    return ::geteuid() == 0;
}

// Runs a server tool, as "postgres" through runuser when we are root, with
// its output in `log`. Arguments go to exec as they are: no shell.
int RunTool(const std::vector<std::string>& args, const std::string& log) {
    std::vector<std::string> full;
    if (IsRoot()) {
        full = {"/usr/sbin/runuser", "-u", "postgres", "--"};
    }
    full.insert(full.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (auto& arg : full) {
        argv.push_back(arg.data());
    }
    argv.push_back(nullptr);
    const pid_t pid = ::fork();
    if (pid == 0) {
        const int out = ::open(log.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0644);
        if (out >= 0) {
            ::dup2(out, STDOUT_FILENO);
            ::dup2(out, STDERR_FILENO);
        }
        const int null = ::open("/dev/null", O_RDONLY);
        ::dup2(null, STDIN_FILENO);
        ::execv(argv[0], argv.data());
        ::_exit(127);
    }
    int status = 0;
    if (pid < 0 || ::waitpid(pid, &status, 0) != pid || !WIFEXITED(status)) {
        return -1;
    }
    return WEXITSTATUS(status);
}

bool GiveToPostgres(const std::string& path) {
    if (!IsRoot()) {
        return true;
    }
    const passwd* user = ::getpwnam("postgres");
    return user != nullptr && ::chown(path.c_str(), user->pw_uid, user->pw_gid) == 0;
}

} // namespace

std::string PgCluster::BinDir() {
    if (const char* forced = std::getenv("VELQUIST_PG_BIN")) {
        return forced;
    }
    std::error_code ignored;
    std::string best;
    for (const auto& entry : std::filesystem::directory_iterator("/usr/lib/postgresql", ignored)) {
        const std::string bin = entry.path().string() + "/bin";
        if (::access((bin + "/initdb").c_str(), X_OK) == 0 &&
            ::access((bin + "/pg_ctl").c_str(), X_OK) == 0 && bin > best) {
            best = bin;
        }
    }
    if (!best.empty() && IsRoot() && ::getpwnam("postgres") == nullptr) {
        return {};
    }
    return best;
}

bool PgCluster::Start(std::string* error) {
    const std::string bin = BinDir();
    if (bin.empty()) {
        *error = "PostgreSQL server binaries (initdb, pg_ctl) not found";
        return false;
    }
    ::mkdir(dir_.c_str(), 0700);
    // The server's user must reach its folder.
    ::chmod(dir_.c_str(), 0711);
    const std::string data = dir_ + "/data";
    const std::string log = dir_ + "/tools.log";
    if (!GiveToPostgres(dir_)) {
        *error = "cannot hand " + dir_ + " to the postgres user";
        return false;
    }
    if (RunTool({bin + "/initdb", "-D", data, "-U", "postgres", "--auth=trust", "-E", "UTF8",
                 "--locale=C", "--no-sync"},
                log) != 0) {
        *error = "initdb failed, see " + log;
        return false;
    }
    // Unix socket only, and no fsync: the tests kill services, not this server.
    const std::string server_options = "-k " + dir_ + " -h '' -c fsync=off -c max_connections=200";
    if (RunTool({bin + "/pg_ctl", "-D", data, "-l", dir_ + "/server.log", "-w", "-t", "60", "-o",
                 server_options, "start"},
                log) != 0) {
        *error = "pg_ctl start failed, see " + dir_ + "/server.log";
        return false;
    }
    return true;
}

bool PgCluster::Running() const {
    std::unique_ptr<PGconn, PgConnCloser> conn(PQconnectdb(UrlFor("postgres").c_str()));
    return conn && PQstatus(conn.get()) == CONNECTION_OK;
}

void PgCluster::Stop() {
    const std::string bin = BinDir();
    if (!bin.empty()) {
        RunTool({bin + "/pg_ctl", "-D", dir_ + "/data", "-m", "immediate", "-w", "stop"},
                dir_ + "/tools.log");
    }
}

void PgCluster::Remove() {
    std::error_code ignored;
    std::filesystem::remove_all(dir_, ignored);
}

std::string PgCluster::UrlFor(const std::string& database) const {
    return "postgresql://postgres@/" + database + "?host=" + dir_;
}

std::string PgCluster::NewDatabase(std::string* error) {
    static std::atomic<int> counter{0};
    const std::string name =
        "t" + std::to_string(::getpid()) + "_" + std::to_string(counter.fetch_add(1));
    std::unique_ptr<PGconn, PgConnCloser> conn(PQconnectdb(UrlFor("postgres").c_str()));
    if (!conn || PQstatus(conn.get()) != CONNECTION_OK) {
        *error = conn ? PQerrorMessage(conn.get()) : "no connection";
        return {};
    }
    PGresult* result = PQexec(conn.get(), ("CREATE DATABASE " + name).c_str());
    const bool ok = PQresultStatus(result) == PGRES_COMMAND_OK;
    PQclear(result);
    if (!ok) {
        *error = PQerrorMessage(conn.get());
        return {};
    }
    return UrlFor(name);
}

namespace {

// The cluster of this test process: the one ctest started for all of them
// (VELQUIST_TEST_PG_DIR), else one of our own, stopped when the process ends.
class SharedCluster {
  public:
    static SharedCluster& Get() {
        static SharedCluster shared;
        return shared;
    }
    std::string NewDatabase(std::string* skip) {
        std::lock_guard<std::mutex> lock(mutex_);
        if (!ready_ && !tried_) {
            tried_ = true;
            Prepare();
        }
        if (!ready_) {
            *skip = why_;
            return {};
        }
        std::string error;
        std::string url = cluster_->NewDatabase(&error);
        if (url.empty()) {
            *skip = "cannot create a test database: " + error;
        }
        return url;
    }
    ~SharedCluster() {
        if (owned_ && cluster_) {
            cluster_->Stop();
            cluster_->Remove();
        }
    }

  private:
    void Prepare() {
        if (const char* dir = std::getenv("VELQUIST_TEST_PG_DIR"); dir != nullptr && *dir) {
            cluster_ = std::make_unique<PgCluster>(dir);
            if (cluster_->Running()) {
                ready_ = true;
                return;
            }
        }
        char pattern[] = "/tmp/velquist-pg-XXXXXX";
        if (::mkdtemp(pattern) == nullptr) {
            why_ = "cannot make a folder for PostgreSQL";
            return;
        }
        cluster_ = std::make_unique<PgCluster>(pattern);
        owned_ = true;
        ready_ = cluster_->Start(&why_);
        if (!ready_) {
            why_ += "; the PostgreSQL run is skipped";
        }
    }

    std::mutex mutex_;
    std::unique_ptr<PgCluster> cluster_;
    bool tried_ = false;
    bool ready_ = false;
    bool owned_ = false;
    std::string why_;
};

} // namespace

bool TestingPostgres() {
    const char* backend = std::getenv("VELQUIST_TEST_BACKEND");
    const char* shared = std::getenv("VELQUIST_TEST_PG_DIR");
    return (backend != nullptr && std::string(backend) == "postgresql") ||
           (shared != nullptr && *shared != '\0');
}

std::string TestDatabaseUrl(std::string* skip) {
    if (!TestingPostgres()) {
        return {};
    }
    return SharedCluster::Get().NewDatabase(skip);
}

} // namespace velquist::service::testing
