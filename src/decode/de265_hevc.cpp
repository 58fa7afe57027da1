#include "de265_hevc.h"

#include "decoded_planes.h"

#include <libde265/de265.h>
#include <libheif/heif_plugin.h>
#include <memory>

namespace velquist {
namespace {

struct De265Deleter {
    void operator()(de265_decoder_context* ctx) const { de265_free_decoder(ctx); }
};
using De265Ptr = std::unique_ptr<de265_decoder_context, De265Deleter>;

heif_error Failure(const char* message) {
    return {heif_error_Decoder_plugin_error, heif_suberror_Unspecified, message};
}

bool Describe(const de265_image* image, DecodedPicture* picture) {
    const de265_chroma chroma = de265_get_chroma_format(image);
    picture->planeCount = chroma == de265_chroma_mono ? 1 : 3;
    const int shiftX = chroma == de265_chroma_444 ? 0 : 1;
    const int shiftY = chroma == de265_chroma_420 ? 1 : 0;
    picture->chroma = ChromaOf(picture->planeCount, shiftX, shiftY);
    for (int i = 0; i < picture->planeCount; ++i) {
        DecodedPlane& plane = picture->planes[i];
        plane.data = de265_get_image_plane(image, i, &plane.stride);
        plane.width = de265_get_image_width(image, i);
        plane.height = de265_get_image_height(image, i);
        plane.bitDepth = de265_get_bits_per_pixel(image, i);
        if (plane.data == nullptr || plane.width <= 0 || plane.height <= 0 || plane.bitDepth < 1 ||
            plane.bitDepth > 16) {
            return false;
        }
    }
    picture->colour.primaries = de265_get_image_colour_primaries(image);
    picture->colour.transfer = de265_get_image_transfer_characteristics(image);
    picture->colour.matrix = de265_get_image_matrix_coefficients(image);
    picture->colour.fullRange = de265_get_image_full_range_flag(image) != 0;
    return picture->chroma != heif_chroma_undefined;
}

bool Push(de265_decoder_context* ctx, const std::vector<NalUnit>& units) {
    for (const NalUnit& unit : units) {
        if (unit.size > static_cast<size_t>(INT32_MAX)) {
            return false;
        }
        if (!de265_isOK(de265_push_NAL(ctx, unit.data, static_cast<int>(unit.size), 0, nullptr))) {
            return false;
        }
    }
    return de265_isOK(de265_flush_data(ctx));
}

const de265_image* Decode(de265_decoder_context* ctx) {
    int more = 1;
    while (more) {
        const de265_error error = de265_decode(ctx, &more);
        if (!de265_isOK(error) && error != DE265_ERROR_WAITING_FOR_INPUT_DATA) {
            return nullptr;
        }
        if (const de265_image* image = de265_get_next_picture(ctx)) {
            return image;
        }
    }
    return de265_get_next_picture(ctx);
}

} // namespace

heif_error DecodeWithDe265(const std::vector<NalUnit>& units, heif_image** out) {
    *out = nullptr;
    De265Ptr ctx(de265_new_decoder());
    if (!ctx) {
        return Failure("cannot create a libde265 decoder");
    }
    if (!Push(ctx.get(), units)) {
        return Failure("libde265 does not take the HEVC data");
    }
    const de265_image* image = Decode(ctx.get());
    DecodedPicture picture;
    if (image == nullptr || !Describe(image, &picture)) {
        return Failure("libde265 cannot decode the HEVC data");
    }
    return ToHeifImage(picture, out);
}

} // namespace velquist
