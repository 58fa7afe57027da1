#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace velquist {

// A small picture of a photo for the list: 8-bit RGBA, rows tightly packed, top row first,
// upright (the file's rotation and mirroring applied).
struct Thumbnail {
    int width = 0;
    int height = 0;
    std::vector<uint8_t> rgba;
    int imageCount = 0; // top-level images the file holds
};

// Either a picture or the reason there is none (a broken file gets a broken-image mark).
struct ThumbnailResult {
    bool ok = false;
    Thumbnail thumbnail;
    std::string error;

    static ThumbnailResult Failure(std::string why) {
        ThumbnailResult result;
        result.error = std::move(why);
        return result;
    }
};

} // namespace velquist
