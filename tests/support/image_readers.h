#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace velquist::test {

// An output file read back for checks. Samples are row-major, `channels` per pixel, in
// the file's own depth (8 or 16 bits).
struct DecodedImage {
    int width = 0;
    int height = 0;
    int channels = 0;
    int bitDepth = 8;
    std::vector<uint16_t> samples;

    // JPEG: payloads of the APP1 and APP2 markers, in file order.
    std::vector<std::vector<uint8_t>> app1;
    std::vector<std::vector<uint8_t>> app2;

    // PNG
    int colorType = -1;
    std::string iccName;
    std::vector<uint8_t> icc;
    std::vector<uint8_t> exif;
    int significantBits = 0; // from sBIT, 0 when absent

    int At(int x, int y, int c) const {
        return samples[(static_cast<size_t>(y) * width + x) * channels + c];
    }
};

// Each returns an empty string on success, else what went wrong.
std::string ReadJpeg(const std::string& path, DecodedImage* out); // decoded to RGB
std::string ReadPng(const std::string& path, DecodedImage* out);
std::string ReadBmp(const std::string& path,
                    DecodedImage* out); // B, G, R, A as stored, top row first

std::vector<uint8_t> ReadFileBytes(const std::string& path);

} // namespace velquist::test
