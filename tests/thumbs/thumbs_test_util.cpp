#include "thumbs_test_util.h"

#include "convert/heif_handles.h"

#include <algorithm>
#include <cstdlib>
#include <memory>

namespace velquist::test {
namespace {

struct EncoderDeleter {
    void operator()(heif_encoder* e) const { heif_encoder_release(e); }
};
using EncoderPtr = std::unique_ptr<heif_encoder, EncoderDeleter>;
using ContextPtr = HeifContextPtr;
using ImagePtr = HeifImagePtr;
using HandlePtr = HeifHandlePtr;

ImagePtr Picture(int width, int height, bool quadrants, Rgb flat) {
    heif_image* raw = nullptr;
    if (heif_image_create(width, height, heif_colorspace_RGB, heif_chroma_interleaved_RGB, &raw)
            .code != heif_error_Ok) {
        return nullptr;
    }
    ImagePtr image(raw);
    heif_image_add_plane(raw, heif_channel_interleaved, width, height, 8);
    int stride = 0;
    uint8_t* plane = heif_image_get_plane(raw, heif_channel_interleaved, &stride);
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            const Rgb c = quadrants ? QuadrantColor(QuadrantAt(x, y, width, height)) : flat;
            uint8_t* p = plane + static_cast<size_t>(y) * stride + static_cast<size_t>(x) * 3;
            p[0] = static_cast<uint8_t>(c.r);
            p[1] = static_cast<uint8_t>(c.g);
            p[2] = static_cast<uint8_t>(c.b);
        }
    }
    return image;
}

} // namespace

std::string WriteHeicWithThumbnail(const std::string& path, int width, int height, int thumbWidth,
                                   int thumbHeight, Rgb thumbColor, heif_orientation orientation) {
    ContextPtr ctx(heif_context_alloc());
    heif_encoder* rawEncoder = nullptr;
    heif_error error =
        heif_context_get_encoder_for_format(ctx.get(), heif_compression_HEVC, &rawEncoder);
    if (error.code != heif_error_Ok) {
        return error.message;
    }
    EncoderPtr encoder(rawEncoder);
    heif_encoder_set_lossy_quality(encoder.get(), 95);
    ImagePtr primary = Picture(width, height, true, {});
    ImagePtr thumb = Picture(thumbWidth, thumbHeight, false, thumbColor);
    heif_image_handle* rawPrimary = nullptr;
    HeifEncodingOptionsPtr options(heif_encoding_options_alloc());
    options->image_orientation = orientation;
    error = heif_context_encode_image(ctx.get(), primary.get(), encoder.get(), options.get(),
                                      &rawPrimary);
    if (error.code != heif_error_Ok) {
        return error.message;
    }
    HandlePtr primaryHandle(rawPrimary);
    // libheif only stores a thumbnail smaller than the picture it is given, so the bounding
    // box is one pixel short of it (the aspect ratio stays).
    heif_image_handle* rawThumb = nullptr;
    error =
        heif_context_encode_thumbnail(ctx.get(), thumb.get(), primaryHandle.get(), encoder.get(),
                                      nullptr, std::max(thumbWidth, thumbHeight) - 1, &rawThumb);
    if (error.code != heif_error_Ok || rawThumb == nullptr) {
        return error.code != heif_error_Ok ? error.message : "no thumbnail stored";
    }
    HandlePtr thumbHandle(rawThumb);
    error = heif_context_write_to_file(ctx.get(), path.c_str());
    return error.code == heif_error_Ok ? "" : error.message;
}

int Distance(const Thumbnail& t, int x, int y, Rgb color) {
    const uint8_t* p = t.rgba.data() + (static_cast<size_t>(y) * t.width + x) * 4;
    return std::max({std::abs(p[0] - color.r), std::abs(p[1] - color.g), std::abs(p[2] - color.b)});
}

int AlphaAt(const Thumbnail& t, int x, int y) {
    return t.rgba[(static_cast<size_t>(y) * t.width + x) * 4 + 3];
}

int QuadrantError(const Thumbnail& t) {
    int worst = 0;
    for (int qy = 0; qy < 2; ++qy) {
        for (int qx = 0; qx < 2; ++qx) {
            const int x = t.width / 4 + qx * t.width / 2;
            const int y = t.height / 4 + qy * t.height / 2;
            worst = std::max(worst,
                             Distance(t, x, y, QuadrantColor(QuadrantAt(x, y, t.width, t.height))));
        }
    }
    return worst;
}

} // namespace velquist::test
