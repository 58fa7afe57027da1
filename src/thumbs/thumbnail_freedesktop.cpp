#include "thumbnail_freedesktop.h"

#include "decode/hevc_decoder.h"
#include "decode/thread_budget.h"
#include "thumbnail_extract.h"
#include "thumbnail_png.h"
#include "thumbnail_uri.h"

#include <charconv>
#include <cstdio>

namespace velquist {
namespace {

std::optional<int> ParseSize(const std::string& text) {
    int value = 0;
    const char* end = text.data() + text.size();
    const auto [stop, error] = std::from_chars(text.data(), end, value);
    if (error != std::errc() || stop != end || value < 1 || value > kMaxFreedesktopSize) {
        return std::nullopt;
    }
    return value;
}

int Fail(const std::string& input, const std::string& why) {
    std::fprintf(stderr, "velquist-thumbnailer: %s: %s\n", input.c_str(), why.c_str());
    return 1;
}

} // namespace

bool IsFreedesktopCommand(const std::vector<std::string>& args) {
    return !args.empty() && args[0] == "-s";
}

std::optional<FreedesktopRequest> ParseFreedesktopCommand(const std::vector<std::string>& args) {
    if (args.size() != 4 || args[0] != "-s" || args[2].empty() || args[3].empty()) {
        return std::nullopt;
    }
    const std::optional<int> size = ParseSize(args[1]);
    if (!size) {
        return std::nullopt;
    }
    return FreedesktopRequest{*size, args[2], args[3]};
}

int RunFreedesktopThumbnailer(const std::vector<std::string>& args) {
    const std::optional<FreedesktopRequest> request = ParseFreedesktopCommand(args);
    if (!request) {
        std::fprintf(stderr,
                     "usage: velquist-thumbnailer -s SIZE INPUT OUTPUT\n"
                     "  SIZE 1-%d pixels, INPUT a path or file:// URI, OUTPUT a PNG\n",
                     kMaxFreedesktopSize);
        return 2;
    }
    const std::optional<std::string> path = LocalPathOf(request->input);
    if (!path) {
        return Fail(request->input, "not a local file");
    }
    RegisterHevcDecoder();
    ThumbnailLimits limits;
    limits.maxSide = request->size;
    limits.storedMustFill = true;
    // One file at a time per process: its tiles may use every core this process has.
    limits.decodeThreads = AvailableCores();
    const ThumbnailResult result = ExtractThumbnail(*path, limits);
    if (!result.ok) {
        return Fail(request->input, result.error);
    }
    std::string error;
    if (!WriteThumbnailPng(result.thumbnail, request->output, &error)) {
        return Fail(request->input, error);
    }
    return 0;
}

} // namespace velquist
