// velquist-thumbnailer: answers thumbnail requests on stdin/stdout (see
// thumbnail_protocol.h) until stdin ends. Runs as a child of the window so that a file
// that crashes or exhausts the decoder takes down only this process.
#include "tasks/worker_fence.h"
#include "thumbnail_extract.h"
#include "thumbnail_freedesktop.h"
#include "thumbnail_protocol.h"

#include <cstdio>
#include <string>
#include <unistd.h>

int main(int argc, char** argv) {
    // File managers run it once per file with "-s SIZE INPUT OUTPUT".
    if (const std::vector<std::string> args(argv + (argc > 0 ? 1 : 0), argv + argc);
        velquist::IsFreedesktopCommand(args)) {
        // The file manager's sandbox is the outer fence; ours goes on inside it where the
        // sandbox lets a second filter in, and the picture is made either way.
        if (std::string ignored; !velquist::FenceWorker(&ignored)) {
            std::fprintf(stderr, "velquist-thumbnailer: running without its own filter: %s\n",
                         ignored.c_str());
        }
        return velquist::RunFreedesktopThumbnailer(args);
    }
    // Anything a library prints must not end up inside the answers.
    const int answers = ::dup(STDOUT_FILENO);
    if (answers < 0 || ::dup2(STDERR_FILENO, STDOUT_FILENO) < 0) {
        return 1;
    }
    if (std::string error; !velquist::FenceWorker(&error)) {
        std::fprintf(stderr, "%s\n", error.c_str());
        return 1;
    }
    return velquist::ServeThumbnailRequests(
        STDIN_FILENO, answers, [](const velquist::ThumbnailRequest& request) {
            if (request.path.find('\0') != std::string::npos) {
                return velquist::ThumbnailResult::Failure("invalid file name");
            }
            velquist::ThumbnailLimits limits;
            limits.maxSide = request.maxSide;
            return velquist::ExtractThumbnail(request.path, limits);
        });
}
