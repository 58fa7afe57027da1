// A stand-in for a decoder that was taken over: it fences itself the way the workers do,
// then tries what argv[1] names. Exit 0: the attempt was refused as it should be; 1: it
// was allowed; 3: the fence could not be installed. A forbidden program start ends it by
// SIGSYS instead.
#include "tasks/worker_fence.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <netinet/in.h>
#include <string>
#include <sys/socket.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace {

int TrySocket() {
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    if (fd >= 0) {
        return 1;
    }
    return errno == EPERM ? 0 : 1;
}

int TryExec() {
    char* const argv[] = {const_cast<char*>("/bin/true"), nullptr};
    ::execve(argv[0], argv, argv + 1);
    return 1;
}

int TryFork() {
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::_exit(0);
    }
    return 1;
}

// Decoding threads and files are what the fence must leave working.
int TryWork(const char* path) {
    int written = -1;
    std::thread writer([&] {
        std::FILE* file = std::fopen(path, "w");
        if (file != nullptr) {
            written = std::fputs("decoded\n", file);
            std::fclose(file);
        }
    });
    writer.join();
    return written >= 0 ? 0 : 1;
}

} // namespace

int main(int argc, char** argv) {
    const std::string what = argc > 1 ? argv[1] : "";
    std::string error;
    if (!velquist::FenceWorker(&error)) {
        std::fprintf(stderr, "%s\n", error.c_str());
        return 3;
    }
    if (what == "socket") {
        return TrySocket();
    }
    if (what == "exec") {
        return TryExec();
    }
    if (what == "fork") {
        return TryFork();
    }
    if (what == "work" && argc > 2) {
        return TryWork(argv[2]);
    }
    return 2;
}
