#pragma once

#include "thumbnail.h"

#include <cstdint>
#include <string>

namespace velquist {

struct ThumbnailLimits {
    int maxSide = 96;
    // A picture is decoded whole before it is scaled down, so a file that claims more
    // pixels than this is refused rather than allowed to take the memory (400 MB as RGBA).
    uint64_t maxDecodePixels = 100'000'000;
    // A file manager asks for a sharp picture of a given size: a stored thumbnail smaller
    // than maxSide is then passed over for a decode of the photo itself.
    bool storedMustFill = false;
    // libheif's tile decoding threads; -1 leaves libheif's own choice.
    int decodeThreads = -1;
};

// The HEIF file's stored thumbnail when it has one, else a decode of the primary image,
// scaled down to fit maxSide. Runs in the thumbnail worker: a hostile file may crash the
// decoder, so the window never calls this itself.
ThumbnailResult ExtractThumbnail(const std::string& path, const ThumbnailLimits& limits);

} // namespace velquist
