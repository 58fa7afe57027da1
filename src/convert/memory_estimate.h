#pragma once

#include "conversion_settings.h"
#include "heif_header.h"

#include <cstdint>
#include <string>

namespace velquist {

// What a conversion process needs beside the pixels: code, libraries, decoder state.
constexpr std::uint64_t kConversionBaseBytes = std::uint64_t{64} << 20;

// Memory a conversion of the file needs, from its header's claims: the decoded image
// (4:2:0 planes plus alpha) and the interleaved copy the encoders work from, at 8 or 16
// bits per sample, plus the base. Without a parsed header only the base is known.
std::uint64_t EstimateConversionMemory(const HeifHeader& header, OutputFormat format);

// What a job with these settings needs: with allImages the largest of the file's images
// decides, since they are written one after the other.
std::uint64_t EstimateJobMemory(const HeifHeader& header, const ConversionSettings& settings);

// The same for one image of the given size, sample depth and alpha.
std::uint64_t EstimateImageMemory(std::uint64_t pixels, int bitDepth, bool hasAlpha,
                                  OutputFormat format);

// "image too large: 30000x30000 needs about 3.8 GB"
std::string TooLargeText(const HeifHeader& header, std::uint64_t bytes);

} // namespace velquist
