#include "clock.h"
#include "installer_signing.h"
#include "options.h"
#include "service_app.h"

#include <cstdio>
#include <signal.h>
#include <sodium.h>
#include <string>
#include <sys/resource.h>
#include <thread>
#include <vector>

namespace {

using velquist::service::ServiceApp;

// Stops the server on SIGINT or SIGTERM. The signals are blocked in every
// thread and collected here, so no handler runs inside a server thread.
void WatchSignals(ServiceApp& app, sigset_t set) {
    int signal = 0;
    sigwait(&set, &signal);
    std::fprintf(stderr, "velquist-service: signal %d, stopping\n", signal);
    app.Stop();
}

// Every open connection holds a descriptor; the usual soft limit of 1024
// would cap the service far below what its event threads can hold.
void RaiseDescriptorLimit() {
    rlimit limit{};
    if (::getrlimit(RLIMIT_NOFILE, &limit) == 0 && limit.rlim_cur < limit.rlim_max) {
        limit.rlim_cur = limit.rlim_max;
        ::setrlimit(RLIMIT_NOFILE, &limit);
    }
}

} // namespace

int main(int argc, char** argv) {
    velquist::service::ServiceOptions options;
    std::string error;
    const std::vector<std::string> args(argv + 1, argv + argc);
    if (const auto exit_code = velquist::service::RunSigningCommand(args)) {
        return *exit_code;
    }
    if (!velquist::service::LoadOptions(args, &options, &error)) {
        std::fprintf(stderr, "velquist-service: %s\n%s", error.c_str(),
                     velquist::service::UsageText());
        return 2;
    }
    if (options.show_help) {
        std::fputs(velquist::service::UsageText(), stdout);
        return 0;
    }
    if (sodium_init() < 0) {
        std::fprintf(stderr, "velquist-service: libsodium failed to start\n");
        return 1;
    }
    sigset_t set;
    sigemptyset(&set);
    sigaddset(&set, SIGINT);
    sigaddset(&set, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &set, nullptr);
    signal(SIGPIPE, SIG_IGN);
    RaiseDescriptorLimit();

    ServiceApp app;
    if (!app.Open(options, velquist::service::SystemClock(), &error)) {
        std::fprintf(stderr, "velquist-service: %s\n", error.c_str());
        return 1;
    }
    std::printf("velquist-service listening on %s\n", app.BaseUrl().c_str());
    std::printf("sms outbox: %s\n", options.outbox.c_str());
    std::fflush(stdout);
    std::thread watcher(WatchSignals, std::ref(app), set);
    watcher.detach();
    return app.Serve() ? 0 : 1;
}
