#pragma once

#include <cstdint>
#include <string>

namespace velquist {

// What the boxes of a HEIF file say about its primary image, read without decoding
// anything. The sizes are claims of the file: a forged file can claim anything, which is
// why they are checked before a decoder is trusted with them.
struct HeifHeader {
    bool parsed = false;     // the meta box and a primary item were found
    std::uint32_t width = 0; // of the primary image as stored (its ispe, or a grid's size)
    std::uint32_t height = 0;
    int bitDepth = 8;
    bool hasAlpha = false;

    bool isGrid = false;
    int gridRows = 0;
    int gridColumns = 0;
    int tileCount = 0; // tiles the grid refers to
    std::uint32_t tileWidth = 0;
    std::uint32_t tileHeight = 0;

    // The file's top-level images (not hidden, no thumbnail or auxiliary image), primary
    // included, and the largest claims among them: the largest pixel count, the deepest
    // samples, whether any has alpha. Enough to bound what writing every image needs.
    int imageCount = 0;
    std::uint64_t largestPixels = 0;
    int largestBitDepth = 8;
    bool anyAlpha = false;
};

// Reads the header of the file at path; parsed is false when it is no HEIF file this reader
// understands (libheif then decides).
HeifHeader ReadHeifHeader(const std::string& path);

// The primary image's Exif item exactly as stored (HEIF's 4-byte offset prefix first), read
// without libheif, so that the engine's own process never hands a file to a decoder; empty
// when there is none or the file does not say where it is. Only the item's first extent is
// read, and only up to kMaxExifItemBytes.
constexpr std::uint64_t kMaxExifItemBytes = 4u << 20;
std::string ReadHeifExifItem(const std::string& path);

// Why a grid image is malformed (its tiles cannot fill the size it claims), or empty.
std::string GridProblem(const HeifHeader& header);

} // namespace velquist
