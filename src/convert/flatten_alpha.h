#pragma once

#include <cstdint>
#include <libheif/heif.h>

namespace velquist {

// Interleaved RGBA as libheif decodes it: one byte per sample at 8 bits, two bytes
// (little-endian) per sample above.
struct RgbaRows {
    const uint8_t* data = nullptr;
    int stride = 0; // bytes
    int width = 0;
    int height = 0;
    int bits = 8;
    bool premultiplied = false;
};

// The decoded image's RGBA rows when its chroma is interleaved RGBA at 8 bits or
// RRGGBBAA_LE above; false for every other layout.
bool GetRgbaRows(const heif_image_handle* handle, const heif_image* image, RgbaRows* rows);

// Row y composited over white and reduced to 8 bits, as a page or a viewer shows the
// photo: out = a*c + (1-a)*white, rounded once at the end. Writes width pixels of
// outChannels (3 gives RGB; 4 gives RGBA with an opaque alpha).
void FlattenRowOverWhite(const RgbaRows& rows, int y, uint8_t* out, int outChannels);

} // namespace velquist
