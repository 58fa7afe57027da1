#include "util/fd_io.h"
#include "util/handles.h"

#include <gtest/gtest.h>
#include <string>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>

namespace velquist {
namespace {

std::string ReadToEnd(int fd) {
    std::string text;
    char buffer[65536];
    ssize_t n;
    while ((n = ::read(fd, buffer, sizeof buffer)) > 0) {
        text.append(buffer, static_cast<std::size_t>(n));
    }
    return text;
}

// More than a pipe holds at once, so the writer has to go round several times.
TEST(FdIo, EveryByteArrivesThroughPipesAndSockets) {
    const std::string data(1 << 20, 'x');
    int pipeFds[2];
    ASSERT_EQ(::pipe(pipeFds), 0);
    int pairFds[2];
    ASSERT_EQ(::socketpair(AF_UNIX, SOCK_STREAM, 0, pairFds), 0);
    const UniqueFd pipeIn(pipeFds[0]), pairIn(pairFds[0]);
    UniqueFd pipeOut(pipeFds[1]), pairOut(pairFds[1]);

    std::string fromPipe, fromSocket;
    std::thread readers([&] {
        fromPipe = ReadToEnd(pipeIn.Get());
        fromSocket = ReadToEnd(pairIn.Get());
    });
    EXPECT_TRUE(WriteAll(pipeOut.Get(), data.data(), data.size()));
    pipeOut.Reset();
    EXPECT_TRUE(SendAll(pairOut.Get(), data.data(), data.size()));
    pairOut.Reset();
    readers.join();
    EXPECT_EQ(fromPipe, data);
    EXPECT_EQ(fromSocket, data);
}

// A peer that went away is a false return; without MSG_NOSIGNAL this test would die of
// SIGPIPE. SendAll also writes to descriptors that are not sockets.
TEST(FdIo, AGonePeerIsAFailureNotASignal) {
    int pairFds[2];
    ASSERT_EQ(::socketpair(AF_UNIX, SOCK_STREAM, 0, pairFds), 0);
    const UniqueFd out(pairFds[1]);
    ::close(pairFds[0]);
    const std::string data(4096, 'y');
    EXPECT_FALSE(SendAll(out.Get(), data.data(), data.size()));

    int pipeFds[2];
    ASSERT_EQ(::pipe(pipeFds), 0);
    const UniqueFd pipeIn(pipeFds[0]), pipeOut(pipeFds[1]);
    EXPECT_TRUE(SendAll(pipeOut.Get(), "abc", 3));
    char got[3] = {};
    ASSERT_EQ(::read(pipeIn.Get(), got, 3), 3);
    EXPECT_EQ(std::string(got, 3), "abc");
}

} // namespace
} // namespace velquist
