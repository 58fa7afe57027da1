#include "output_capture.h"

#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <unistd.h>

namespace velquist::test {
namespace {

struct Capture {
    int savedFd = -1;
    int fileFd = -1;
};

Capture stdoutCapture;
Capture stderrCapture;

void Start(Capture& capture, int streamFd) {
    if (capture.savedFd >= 0) {
        std::fprintf(stderr, "output capture already running on fd %d\n", streamFd);
        std::abort();
    }
    std::fflush(nullptr);
    std::cout.flush();
    std::cerr.flush();
    char name[] = "/tmp/velquist-capture-XXXXXX";
    capture.fileFd = mkstemp(name);
    if (capture.fileFd < 0) {
        std::perror("mkstemp");
        std::abort();
    }
    unlink(name);
    capture.savedFd = dup(streamFd);
    dup2(capture.fileFd, streamFd);
}

std::string Finish(Capture& capture, int streamFd) {
    if (capture.savedFd < 0) {
        return {};
    }
    std::fflush(nullptr);
    std::cout.flush();
    std::cerr.flush();
    dup2(capture.savedFd, streamFd);
    close(capture.savedFd);
    capture.savedFd = -1;

    std::string text;
    char buffer[4096];
    off_t offset = 0;
    for (;;) {
        const ssize_t n = pread(capture.fileFd, buffer, sizeof buffer, offset);
        if (n <= 0) {
            break;
        }
        text.append(buffer, static_cast<std::size_t>(n));
        offset += n;
    }
    close(capture.fileFd);
    capture.fileFd = -1;
    return text;
}

} // namespace

void CaptureStdout() {
    Start(stdoutCapture, STDOUT_FILENO);
}
void CaptureStderr() {
    Start(stderrCapture, STDERR_FILENO);
}
std::string TakeCapturedStdout() {
    return Finish(stdoutCapture, STDOUT_FILENO);
}
std::string TakeCapturedStderr() {
    return Finish(stderrCapture, STDERR_FILENO);
}

} // namespace velquist::test
