#pragma once

#include <cstdint>
#include <libheif/heif.h>

namespace velquist {

// One decoded picture as a decoder leaves it, before it is copied into a heif_image.
struct DecodedPlane {
    const uint8_t* data = nullptr;
    int stride = 0; // bytes
    int width = 0;
    int height = 0;
    int bitDepth = 8; // samples above 8 bits take two bytes, little-endian
};

// The colour description of the bitstream's VUI (ITU-T H.273 code points).
struct ColourDescription {
    int primaries = 2;
    int transfer = 2;
    int matrix = 2;
    bool fullRange = false;
};

struct DecodedPicture {
    int planeCount = 0; // 1 (monochrome) or 3 (Y, Cb, Cr)
    DecodedPlane planes[3];
    heif_chroma chroma = heif_chroma_undefined;
    ColourDescription colour;
};

// libheif does not export its own heif_error_ok to programs.
inline heif_error HeifOk() {
    return {heif_error_Ok, heif_suberror_Unspecified, "Success"};
}

// Chroma layout from the plane sizes; heif_chroma_undefined for anything else.
heif_chroma ChromaOf(int planeCount, int chromaShiftX, int chromaShiftY);

// Copies the planes into a new heif_image and attaches the colour description. libheif
// needs the description: without it, it reads the samples with other defaults and its
// colour conversion shifts them.
heif_error ToHeifImage(const DecodedPicture& picture, heif_image** out);

} // namespace velquist
