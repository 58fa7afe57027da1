#pragma once

#include <libheif/heif.h>
#include <string>

namespace velquist::test {

struct YcbcrSpec {
    int width = 64;
    int height = 48;
    heif_chroma chroma = heif_chroma_420; // or 422, 444, monochrome
    int bitDepth = 8;
    bool alpha = false;
};

// Encodes a textured picture given straight as Y'CbCr planes (no colour conversion on the
// way in), at a quality low enough that the stream carries real residuals. Empty string on
// success, else libheif's message.
std::string WriteYcbcrHeic(const std::string& path, const YcbcrSpec& spec);

} // namespace velquist::test
