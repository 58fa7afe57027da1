#include "memory_estimate.h"

#include <cstdio>

namespace velquist {

std::uint64_t EstimateConversionMemory(const HeifHeader& header, OutputFormat format) {
    if (!header.parsed)
        return kConversionBaseBytes;
    const std::uint64_t pixels = std::uint64_t{header.width} * header.height;
    const std::uint64_t sampleBytes = header.bitDepth > 8 ? 2 : 1;
    // Sixths of a sample per pixel: 4:2:0 is 9/6, an alpha plane adds 6/6.
    const std::uint64_t decodedSixths = header.hasAlpha ? 15 : 9;
    // BMP is always written from 8-bit RGBA; the others from RGB(A) at the source depth.
    const std::uint64_t outputBytes = format == OutputFormat::kBmp
                                          ? 4
                                          : (header.hasAlpha ? 4 : 3) * sampleBytes;
    return kConversionBaseBytes + pixels * sampleBytes * decodedSixths / 6 + pixels * outputBytes;
}

std::string TooLargeText(const HeifHeader& header, std::uint64_t bytes) {
    char text[128];
    if (header.width == 0 || header.height == 0) {
        std::snprintf(text, sizeof text, "image too large: needs about %.1f GB",
                      static_cast<double>(bytes) / (1u << 30));
        return text;
    }
    std::snprintf(text, sizeof text, "image too large: %ux%u needs about %.1f GB", header.width,
                  header.height, static_cast<double>(bytes) / (1u << 30));
    return text;
}

} // namespace velquist
