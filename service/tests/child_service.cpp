#include "child_service.h"

#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <string>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

namespace velquist::service::testing {
namespace {

// Everything execve needs, built before fork: the child of a threaded
// process may only make async-signal-safe calls.
class ExecPlan {
  public:
    ExecPlan(const std::vector<std::string>& args, const std::map<std::string, std::string>& env)
        : exe_(VELQUIST_SERVICE_EXE) {
        strings_.push_back(exe_);
        strings_.insert(strings_.end(), args.begin(), args.end());
        const std::size_t argc = strings_.size();
        for (char** e = environ; *e != nullptr; ++e) {
            const std::string entry = *e;
            if (env.count(entry.substr(0, entry.find('='))) == 0) {
                strings_.push_back(entry);
            }
        }
        for (const auto& [key, value] : env) {
            strings_.push_back(key + "=" + value);
        }
        for (std::size_t i = 0; i < strings_.size(); ++i) {
            (i < argc ? argv_ : envp_).push_back(strings_[i].data());
        }
        argv_.push_back(nullptr);
        envp_.push_back(nullptr);
    }

    [[noreturn]] void Exec() {
        // A test process that crashes or is killed takes its service with it.
        ::prctl(PR_SET_PDEATHSIG, SIGKILL);
        ::execve(exe_.c_str(), argv_.data(), envp_.data());
        ::_exit(127);
    }

  private:
    std::string exe_;
    std::vector<std::string> strings_;
    std::vector<char*> argv_;
    std::vector<char*> envp_;
};

// Reads until the "listening on" line has arrived, for at most ten seconds.
std::string ReadAnnouncement(int fd) {
    std::string text;
    while (text.find("sms outbox:") == std::string::npos) {
        pollfd pfd{fd, POLLIN, 0};
        if (::poll(&pfd, 1, 10000) <= 0) {
            break;
        }
        char buffer[256];
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n <= 0) {
            break;
        }
        text.append(buffer, static_cast<std::size_t>(n));
    }
    return text;
}

int PortOf(const std::string& text) {
    const std::string marker = "listening on http://127.0.0.1:";
    const auto pos = text.find(marker);
    if (pos == std::string::npos) {
        return 0;
    }
    return std::atoi(text.c_str() + pos + marker.size());
}

} // namespace

ChildService::~ChildService() {
    if (pid_ > 0) {
        ::kill(pid_, SIGKILL);
        Wait();
    }
}

bool ChildService::Start(const std::vector<std::string>& args,
                         const std::map<std::string, std::string>& env,
                         const std::string& stderr_path) {
    ExecPlan plan(args, env);
    int fds[2];
    if (::pipe2(fds, O_CLOEXEC) != 0) {
        return false;
    }
    pid_ = ::fork();
    if (pid_ == 0) {
        ::dup2(fds[1], STDOUT_FILENO);
        const int err = ::open(stderr_path.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0600);
        if (err >= 0) {
            ::dup2(err, STDERR_FILENO);
        }
        plan.Exec();
    }
    ::close(fds[1]);
    if (pid_ < 0) {
        ::close(fds[0]);
        return false;
    }
    announced_ = ReadAnnouncement(fds[0]);
    ::close(fds[0]);
    port_ = PortOf(announced_);
    return port_ > 0;
}

void ChildService::Signal(int signal) const {
    if (pid_ > 0) {
        ::kill(pid_, signal);
    }
}

int ChildService::Wait() {
    if (pid_ <= 0) {
        return -1;
    }
    int status = 0;
    ::waitpid(pid_, &status, 0);
    pid_ = -1;
    return status;
}

int RunToEnd(const std::vector<std::string>& args, const std::map<std::string, std::string>& env) {
    ExecPlan plan(args, env);
    const pid_t pid = ::fork();
    if (pid == 0) {
        const int null = ::open("/dev/null", O_WRONLY);
        ::dup2(null, STDOUT_FILENO);
        ::dup2(null, STDERR_FILENO);
        plan.Exec();
    }
    int status = 0;
    if (pid < 0 || ::waitpid(pid, &status, 0) != pid || !WIFEXITED(status)) {
        return -1;
    }
    return WEXITSTATUS(status);
}

} // namespace velquist::service::testing
