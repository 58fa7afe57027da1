#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace velquist {

struct PixelSize {
    int width = 0;
    int height = 0;
};

// The size that fits in maxSide x maxSide with the same aspect ratio; never larger than
// the source and never below 1 pixel per side.
PixelSize FitWithin(int width, int height, int maxSide);

// Area-average downscale of 8-bit interleaved pixels (3 = RGB, 4 = RGBA) to RGBA of
// the target size. Colour is weighted by alpha so transparent pixels do not darken edges.
std::vector<uint8_t> DownscaleToRgba(const uint8_t* pixels, size_t stride, int channels,
                                     PixelSize source, PixelSize target);

} // namespace velquist
