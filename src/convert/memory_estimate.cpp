#include "memory_estimate.h"

#include <algorithm>
#include <cstdio>

namespace velquist {
namespace {

constexpr std::uint64_t kMaxEstimatedPixels = std::uint64_t{1} << 40;

} // namespace

std::uint64_t EstimateConversionMemory(const HeifHeader& header, OutputFormat format) {
    if (!header.parsed) {
        return kConversionBaseBytes;
    }
    return EstimateImageMemory(std::uint64_t{header.width} * header.height, header.bitDepth,
                               header.hasAlpha, format);
}

std::uint64_t EstimateImageMemory(std::uint64_t pixels, int bitDepth, bool hasAlpha,
                                  OutputFormat format) {
    // No side exceeds 2^32, but the product of two claimed ones would overflow the sums
    // below into a harmless-looking figure; far beyond any budget is enough.
    pixels = std::min(pixels, kMaxEstimatedPixels);
    const std::uint64_t sampleBytes = bitDepth > 8 ? 2 : 1;
    // Sixths of a sample per pixel: 4:2:0 is 9/6, an alpha plane adds 6/6.
    const std::uint64_t decodedSixths = hasAlpha ? 15 : 9;
    // BMP is always written from 8-bit RGBA; the others from RGB(A) at the source depth.
    const std::uint64_t outputBytes =
        format == OutputFormat::kBmp ? 4 : (hasAlpha ? 4 : 3) * sampleBytes;
    return kConversionBaseBytes + pixels * sampleBytes * decodedSixths / 6 + pixels * outputBytes;
}

namespace {

// Shrinking interleaved RGB(A) works on a copy of the channels beside the decoded image;
// the smaller result is at most as large again. 4:2:0 planes are shrunk in place of that.
std::uint64_t ResizeBytes(std::uint64_t pixels, int bitDepth, bool hasAlpha,
                          const ConversionSettings& settings) {
    if (settings.maxSize <= 0 || (settings.format == OutputFormat::kJpg && !hasAlpha)) {
        return 0;
    }
    pixels = std::min(pixels, kMaxEstimatedPixels);
    const std::uint64_t sampleBytes = bitDepth > 8 ? 2 : 1;
    return pixels * (hasAlpha ? 4 : 3) * sampleBytes;
}

} // namespace

std::uint64_t EstimateJobMemory(const HeifHeader& header, const ConversionSettings& settings) {
    const std::uint64_t primary =
        EstimateConversionMemory(header, settings.format) +
        (header.parsed ? ResizeBytes(std::uint64_t{header.width} * header.height,
                                     header.bitDepth, header.hasAlpha, settings)
                       : 0);
    if (!settings.allImages || !header.parsed) {
        return primary;
    }
    // The largest claims may come from different images; together they still bound each.
    return std::max(primary, EstimateImageMemory(header.largestPixels, header.largestBitDepth,
                                                 header.anyAlpha, settings.format) +
                                 ResizeBytes(header.largestPixels, header.largestBitDepth,
                                             header.anyAlpha, settings));
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
