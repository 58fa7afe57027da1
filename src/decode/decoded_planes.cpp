#include "decoded_planes.h"

#include <cstring>
#include <libheif/heif_plugin.h>
#include <memory>

namespace velquist {
namespace {

struct ImageDeleter {
    void operator()(heif_image* image) const { heif_image_release(image); }
};
struct NclxDeleter {
    void operator()(heif_color_profile_nclx* nclx) const { heif_nclx_color_profile_free(nclx); }
};

heif_error Failure(const char* message) {
    return {heif_error_Decoder_plugin_error, heif_suberror_Unspecified, message};
}

heif_error CopyPlane(heif_image* image, heif_channel channel, const DecodedPlane& plane) {
    const heif_error error =
        heif_image_add_plane(image, channel, plane.width, plane.height, plane.bitDepth);
    if (error.code != heif_error_Ok) {
        return error;
    }
    int stride = 0;
    uint8_t* to = heif_image_get_plane(image, channel, &stride);
    if (to == nullptr) {
        return Failure("cannot get an image plane");
    }
    const size_t rowBytes = static_cast<size_t>(plane.width) * (plane.bitDepth > 8 ? 2 : 1);
    for (int y = 0; y < plane.height; ++y) {
        std::memcpy(to + static_cast<size_t>(y) * stride,
                    plane.data + static_cast<size_t>(y) * plane.stride, rowBytes);
    }
    return HeifOk();
}

heif_error AttachColour(heif_image* image, const ColourDescription& colour) {
    std::unique_ptr<heif_color_profile_nclx, NclxDeleter> nclx(heif_nclx_color_profile_alloc());
    if (!nclx) {
        return Failure("cannot allocate a colour profile");
    }
    // Values the setters do not know stay "unspecified", as libheif itself treats them.
    heif_nclx_color_profile_set_color_primaries(nclx.get(),
                                                static_cast<uint16_t>(colour.primaries));
    heif_nclx_color_profile_set_transfer_characteristics(nclx.get(),
                                                         static_cast<uint16_t>(colour.transfer));
    heif_nclx_color_profile_set_matrix_coefficients(nclx.get(),
                                                    static_cast<uint16_t>(colour.matrix));
    nclx->full_range_flag = colour.fullRange ? 1 : 0;
    return heif_image_set_nclx_color_profile(image, nclx.get());
}

} // namespace

heif_chroma ChromaOf(int planeCount, int chromaShiftX, int chromaShiftY) {
    if (planeCount == 1) {
        return heif_chroma_monochrome;
    }
    if (planeCount != 3) {
        return heif_chroma_undefined;
    }
    if (chromaShiftX == 1 && chromaShiftY == 1) {
        return heif_chroma_420;
    }
    if (chromaShiftX == 1 && chromaShiftY == 0) {
        return heif_chroma_422;
    }
    if (chromaShiftX == 0 && chromaShiftY == 0) {
        return heif_chroma_444;
    }
    return heif_chroma_undefined;
}

heif_error ToHeifImage(const DecodedPicture& picture, heif_image** out) {
    *out = nullptr;
    if (picture.chroma == heif_chroma_undefined ||
        (picture.planeCount != 1 && picture.planeCount != 3)) {
        return Failure("unsupported chroma format");
    }
    const heif_colorspace space =
        picture.planeCount == 1 ? heif_colorspace_monochrome : heif_colorspace_YCbCr;
    heif_image* raw = nullptr;
    heif_error error = heif_image_create(picture.planes[0].width, picture.planes[0].height, space,
                                         picture.chroma, &raw);
    std::unique_ptr<heif_image, ImageDeleter> image(raw);
    if (error.code != heif_error_Ok) {
        return error;
    }
    const heif_channel channels[] = {heif_channel_Y, heif_channel_Cb, heif_channel_Cr};
    for (int i = 0; i < picture.planeCount; ++i) {
        error = CopyPlane(image.get(), channels[i], picture.planes[i]);
        if (error.code != heif_error_Ok) {
            return error;
        }
    }
    error = AttachColour(image.get(), picture.colour);
    if (error.code != heif_error_Ok) {
        return error;
    }
    *out = image.release();
    return HeifOk();
}

} // namespace velquist
