#pragma once

#include <map>
#include <string>
#include <sys/types.h>
#include <vector>

namespace velquist::service::testing {

// The real velquist-service executable as a child process. The child's first
// line on standard output names the address it listens on.
class ChildService {
  public:
    ChildService() = default;
    ~ChildService();
    ChildService(const ChildService&) = delete;
    ChildService& operator=(const ChildService&) = delete;

    // `env` entries are set in the child only. Standard error goes to
    // `stderr_path`. False when the child did not announce its address in time.
    bool Start(const std::vector<std::string>& args, const std::map<std::string, std::string>& env,
               const std::string& stderr_path);
    int port() const { return port_; }
    const std::string& first_lines() const { return announced_; }
    void Signal(int signal) const;
    // The exit status as waitpid reports it.
    int Wait();

  private:
    pid_t pid_ = -1;
    int port_ = 0;
    std::string announced_;
};

// Runs the executable to its end and gives its exit code (-1 on failure).
int RunToEnd(const std::vector<std::string>& args, const std::map<std::string, std::string>& env);

} // namespace velquist::service::testing
