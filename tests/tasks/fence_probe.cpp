// Stands in for a decoder that was taken over: fences itself like a worker, then tries what
// argv[1] names. Exit 0: refused, or for "work" (a thread writing argv[2]) done; 1: the
// opposite; 3: no fence. A program start or fork should end it by SIGSYS instead.
#include "tasks/worker_fence.h"

#include <cerrno>
#include <cstdio>
#include <string>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>

int main(int argc, char** argv) {
    const std::string what = argc > 1 ? argv[1] : "";
    if (std::string error; !velquist::FenceWorker(&error)) {
        return 3;
    }
    if (what == "socket") {
        return ::socket(AF_INET, SOCK_STREAM, 0) < 0 && errno == EPERM ? 0 : 1;
    }
    if (what == "exec") {
        char* const args[] = {const_cast<char*>("/bin/true"), nullptr};
        ::execve(args[0], args, args + 1);
    } else if (what == "fork") {
        ::fork();
    } else if (what == "work" && argc > 2) {
        bool written = false;
        std::thread([&] {
            std::FILE* file = std::fopen(argv[2], "w");
            written = file != nullptr && std::fputs("decoded\n", file) >= 0;
            written = file != nullptr && std::fclose(file) == 0 && written;
        }).join();
        return written ? 0 : 1;
    }
    return 1;
}
