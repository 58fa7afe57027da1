#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace velquist {

struct NalUnit {
    const uint8_t* data = nullptr;
    size_t size = 0;
};

// libheif hands a decoder the parameter sets and the image data as NAL units, each behind
// a 4-byte big-endian length. False when a length runs past the end or no unit is found:
// such data is not handed to a decoder at all.
bool SplitLengthPrefixed(const std::vector<uint8_t>& data, std::vector<NalUnit>* units);

// The same units as an Annex B byte stream (start code before each), as libavcodec's HEVC
// decoder takes it without extradata.
std::vector<uint8_t> ToAnnexB(const std::vector<NalUnit>& units);

} // namespace velquist
