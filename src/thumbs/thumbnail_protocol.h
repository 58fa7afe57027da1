#pragma once

#include "thumbnail.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace velquist {

// The thumbnail worker's pipe protocol, little-endian throughout.
//   request:  u32 maxSide, u32 path length, path bytes (a file name is bytes, any bytes)
//   response: "VQT1", u32 status (0 picture, 1 failure), u32 image count, u32 width,
//             u32 height, u32 payload length, payload (RGBA rows, or the failure text)
constexpr size_t kRequestHeaderSize = 8;
constexpr size_t kResponseHeaderSize = 24;
constexpr uint32_t kMaxRequestPath = 64 * 1024;
constexpr uint32_t kMaxThumbnailSide = 1024;
constexpr uint32_t kMaxFailureText = 4096;

struct ThumbnailRequest {
    int maxSide = 96;
    std::string path;
};

std::vector<uint8_t> EncodeRequest(const ThumbnailRequest& request);
std::vector<uint8_t> EncodeResponse(const ThumbnailResult& result);

struct ResponseHeader {
    bool ok = false;
    int imageCount = 0;
    int width = 0;
    int height = 0;
    uint32_t payloadLength = 0;
};

// Checks a response header against what was asked for, so that a confused or hostile
// worker can never make the caller allocate more than one thumbnail's worth.
bool ParseResponseHeader(const uint8_t* bytes, int maxSide, ResponseHeader* header);

// The result a checked header and its payload describe.
ThumbnailResult MakeResult(const ResponseHeader& header, std::vector<uint8_t> payload);

// The worker's loop: answers requests read from `in` on `out` until `in` ends (exit
// code 0) or breaks the protocol (2) or `out` fails (1).
int ServeThumbnailRequests(int in, int out,
                           const std::function<ThumbnailResult(const ThumbnailRequest&)>& answer);

} // namespace velquist
