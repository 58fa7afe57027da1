#include "flatten_alpha.h"

#include <algorithm>
#include <cstring>

namespace velquist {
namespace {

struct Blend {
    uint64_t max = 255; // the largest sample value
    uint64_t whole = 0; // max * max: the numerator's scale
    bool premultiplied = false;

    // One colour sample: the composite's numerator is on the scale of max * max, so the
    // only rounding is the final one to 8 bits.
    uint8_t Sample(uint64_t colour, uint64_t alpha) const {
        colour = std::min(colour, max);
        alpha = std::min(alpha, max);
        const uint64_t cover = premultiplied ? colour * max : colour * alpha;
        const uint64_t numerator = std::min(cover + (max - alpha) * max, whole);
        return static_cast<uint8_t>((numerator * 255 + whole / 2) / whole);
    }
};

Blend BlendFor(const RgbaRows& rows) {
    Blend blend;
    blend.max = (uint64_t{1} << rows.bits) - 1;
    blend.whole = blend.max * blend.max;
    blend.premultiplied = rows.premultiplied;
    return blend;
}

uint64_t Wide(const uint8_t* p) {
    uint16_t value = 0;
    std::memcpy(&value, p, 2);
    return value;
}

} // namespace

bool GetRgbaRows(const heif_image_handle* handle, const heif_image* image, RgbaRows* rows) {
    const heif_chroma chroma = heif_image_get_chroma_format(image);
    if (chroma != heif_chroma_interleaved_RGBA && chroma != heif_chroma_interleaved_RRGGBBAA_LE) {
        return false;
    }
    rows->data = heif_image_get_plane_readonly(image, heif_channel_interleaved, &rows->stride);
    rows->width = heif_image_get_width(image, heif_channel_interleaved);
    rows->height = heif_image_get_height(image, heif_channel_interleaved);
    rows->bits = heif_image_get_bits_per_pixel_range(image, heif_channel_interleaved);
    rows->premultiplied = handle != nullptr && heif_image_handle_is_premultiplied_alpha(handle);
    const bool wide = chroma == heif_chroma_interleaved_RRGGBBAA_LE;
    return rows->data != nullptr && rows->width > 0 && rows->height > 0 &&
           (wide ? rows->bits > 8 && rows->bits <= 16 : rows->bits == 8);
}

void FlattenRowOverWhite(const RgbaRows& rows, int y, uint8_t* out, int outChannels) {
    const Blend blend = BlendFor(rows);
    const uint8_t* row = rows.data + static_cast<size_t>(y) * rows.stride;
    if (rows.bits == 8) {
        for (int x = 0; x < rows.width; ++x, row += 4, out += outChannels) {
            for (int c = 0; c < 3; ++c) {
                out[c] = blend.Sample(row[c], row[3]);
            }
            if (outChannels == 4) {
                out[3] = 255;
            }
        }
        return;
    }
    for (int x = 0; x < rows.width; ++x, row += 8, out += outChannels) {
        const uint64_t alpha = Wide(row + 6);
        for (int c = 0; c < 3; ++c) {
            out[c] = blend.Sample(Wide(row + 2 * c), alpha);
        }
        if (outChannels == 4) {
            out[3] = 255;
        }
    }
}

} // namespace velquist
