#include "thumbnail_protocol.h"

#include "util/fd_io.h"

#include <cerrno>
#include <cstring>
#include <unistd.h>

namespace velquist {
namespace {

constexpr char kMagic[4] = {'V', 'Q', 'T', '1'};

void Put32(std::vector<uint8_t>& out, uint32_t v) {
    for (int shift = 0; shift < 32; shift += 8) {
        out.push_back(static_cast<uint8_t>(v >> shift));
    }
}

uint32_t Get32(const uint8_t* p) {
    return uint32_t{p[0]} | uint32_t{p[1]} << 8 | uint32_t{p[2]} << 16 | uint32_t{p[3]} << 24;
}

enum class ReadOutcome { kComplete, kEndOfStream, kBroken };

ReadOutcome ReadFully(int fd, uint8_t* data, size_t size) {
    size_t done = 0;
    while (done < size) {
        const ssize_t n = ::read(fd, data + done, size - done);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            return done == 0 && n == 0 ? ReadOutcome::kEndOfStream : ReadOutcome::kBroken;
        }
        done += static_cast<size_t>(n);
    }
    return ReadOutcome::kComplete;
}

} // namespace

std::vector<uint8_t> EncodeRequest(const ThumbnailRequest& request) {
    std::vector<uint8_t> out;
    Put32(out, static_cast<uint32_t>(request.maxSide));
    Put32(out, static_cast<uint32_t>(request.path.size()));
    out.insert(out.end(), request.path.begin(), request.path.end());
    return out;
}

std::vector<uint8_t> EncodeResponse(const ThumbnailResult& result) {
    std::vector<uint8_t> out(kMagic, kMagic + 4);
    const Thumbnail& t = result.thumbnail;
    const std::string error = result.error.substr(0, kMaxFailureText);
    Put32(out, result.ok ? 0 : 1);
    Put32(out, static_cast<uint32_t>(t.imageCount));
    Put32(out, result.ok ? static_cast<uint32_t>(t.width) : 0);
    Put32(out, result.ok ? static_cast<uint32_t>(t.height) : 0);
    Put32(out, static_cast<uint32_t>(result.ok ? t.rgba.size() : error.size()));
    if (result.ok) {
        out.insert(out.end(), t.rgba.begin(), t.rgba.end());
    } else {
        out.insert(out.end(), error.begin(), error.end());
    }
    return out;
}

bool ParseResponseHeader(const uint8_t* bytes, int maxSide, ResponseHeader* header) {
    if (std::memcmp(bytes, kMagic, 4) != 0) {
        return false;
    }
    const uint32_t status = Get32(bytes + 4);
    const uint32_t count = Get32(bytes + 8);
    const uint32_t width = Get32(bytes + 12);
    const uint32_t height = Get32(bytes + 16);
    const uint32_t length = Get32(bytes + 20);
    if (status > 1 || count > 0x7FFFFFFF) {
        return false;
    }
    const auto side = static_cast<uint32_t>(maxSide);
    if (status == 0 && (width == 0 || height == 0 || width > side || height > side ||
                        uint64_t{length} != uint64_t{width} * height * 4)) {
        return false;
    }
    if (status == 1 && (width != 0 || height != 0 || length > kMaxFailureText)) {
        return false;
    }
    header->ok = status == 0;
    header->imageCount = static_cast<int>(count);
    header->width = static_cast<int>(width);
    header->height = static_cast<int>(height);
    header->payloadLength = length;
    return true;
}

ThumbnailResult MakeResult(const ResponseHeader& header, std::vector<uint8_t> payload) {
    ThumbnailResult result;
    result.ok = header.ok;
    result.thumbnail.imageCount = header.imageCount;
    if (!header.ok) {
        result.error.assign(payload.begin(), payload.end());
        return result;
    }
    result.thumbnail.width = header.width;
    result.thumbnail.height = header.height;
    result.thumbnail.rgba = std::move(payload);
    return result;
}

int ServeThumbnailRequests(int in, int out,
                           const std::function<ThumbnailResult(const ThumbnailRequest&)>& answer) {
    for (;;) {
        uint8_t head[kRequestHeaderSize];
        const ReadOutcome outcome = ReadFully(in, head, sizeof head);
        if (outcome == ReadOutcome::kEndOfStream) {
            return 0;
        }
        const uint32_t maxSide = Get32(head);
        const uint32_t length = Get32(head + 4);
        if (outcome != ReadOutcome::kComplete || maxSide == 0 || maxSide > kMaxThumbnailSide ||
            length > kMaxRequestPath) {
            return 2;
        }
        ThumbnailRequest request;
        request.maxSide = static_cast<int>(maxSide);
        request.path.resize(length);
        if (ReadFully(in, reinterpret_cast<uint8_t*>(request.path.data()), length) !=
            ReadOutcome::kComplete) {
            return 2;
        }
        const std::vector<uint8_t> response = EncodeResponse(answer(request));
        if (!WriteAll(out, response.data(), response.size())) {
            return 1;
        }
    }
}

} // namespace velquist
