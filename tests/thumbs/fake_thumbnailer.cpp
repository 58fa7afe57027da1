// A thumbnail worker that misbehaves on request, for the client's tests: a path holding
// "crash", "hang", "exit", "garbage" or "oversize" gets that treatment, any other path a
// real answer.
#include "thumbs/thumbnail_extract.h"
#include "thumbs/thumbnail_protocol.h"

#include <csignal>
#include <cstring>
#include <unistd.h>

namespace {

bool Has(const std::string& path, const char* word) {
    return path.find(word) != std::string::npos;
}

void WriteRaw(const void* data, size_t size) {
    [[maybe_unused]] const auto ignored = ::write(STDOUT_FILENO, data, size);
}

} // namespace

int main() {
    return velquist::ServeThumbnailRequests(
        STDIN_FILENO, STDOUT_FILENO, [](const velquist::ThumbnailRequest& request) {
            const std::string& path = request.path;
            if (Has(path, "crash")) {
                // The default action, as a decoder crash has it outside sanitizer builds.
                std::signal(SIGSEGV, SIG_DFL);
                std::raise(SIGSEGV);
            }
            if (Has(path, "hang")) {
                ::sleep(60);
            }
            if (Has(path, "exit")) {
                ::_exit(3);
            }
            if (Has(path, "garbage")) {
                WriteRaw("garbage garbage garbage garbage", 31);
            }
            if (Has(path, "oversize")) {
                // A valid-looking header that claims a 40000 x 40000 picture.
                const uint8_t head[24] = {'V',  'Q',  'T', '1', 0,    0,    0, 0, 1, 0, 0,    0,
                                          0x40, 0x9C, 0,   0,   0x40, 0x9C, 0, 0, 0, 0, 0x40, 0x9C};
                WriteRaw(head, sizeof head);
                ::sleep(60);
            }
            velquist::ThumbnailLimits limits;
            limits.maxSide = request.maxSide;
            return velquist::ExtractThumbnail(path, limits);
        });
}
