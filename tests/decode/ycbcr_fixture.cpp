#include "ycbcr_fixture.h"

#include "convert/heif_handles.h"

#include <cstring>
#include <memory>

namespace velquist::test {
namespace {

constexpr int kQuality = 55;

// Edges, gradients and a fine checker, so that prediction, transforms and the loop
// filters all have work to do.
int Sample(int channel, int x, int y, int max) {
    const int ramp = (x * 7 + y * 3 + channel * 50) % (max + 1);
    const int checker = ((x / 3 + y / 5) % 2) * (max / 6);
    const int disc = ((x - 20) * (x - 20) + (y - 15) * (y - 15) < 120) ? max / 3 : 0;
    const int v = ramp / 2 + checker + disc;
    return v > max ? max : v;
}

std::string AddPlane(heif_image* image, heif_channel channel, int index, int width, int height,
                     int bitDepth) {
    if (heif_image_add_plane(image, channel, width, height, bitDepth).code != heif_error_Ok) {
        return "cannot add plane";
    }
    int stride = 0;
    uint8_t* plane = heif_image_get_plane(image, channel, &stride);
    const int max = (1 << bitDepth) - 1;
    for (int y = 0; y < height; ++y) {
        uint8_t* row = plane + static_cast<size_t>(y) * stride;
        for (int x = 0; x < width; ++x) {
            const int v = Sample(index, x, y, max);
            if (bitDepth <= 8) {
                row[x] = static_cast<uint8_t>(v);
                continue;
            }
            const auto v16 = static_cast<uint16_t>(v);
            std::memcpy(row + 2 * x, &v16, 2);
        }
    }
    return {};
}

const char* ChromaParameter(heif_chroma chroma) {
    switch (chroma) {
    case heif_chroma_422:
        return "422";
    case heif_chroma_444:
        return "444";
    default:
        return "420";
    }
}

std::string FillPlanes(heif_image* image, const YcbcrSpec& spec) {
    std::string failure =
        AddPlane(image, heif_channel_Y, 0, spec.width, spec.height, spec.bitDepth);
    if (failure.empty() && spec.chroma != heif_chroma_monochrome) {
        const int cw = spec.chroma == heif_chroma_444 ? spec.width : (spec.width + 1) / 2;
        const int ch = spec.chroma == heif_chroma_420 ? (spec.height + 1) / 2 : spec.height;
        failure = AddPlane(image, heif_channel_Cb, 1, cw, ch, spec.bitDepth);
        if (failure.empty()) {
            failure = AddPlane(image, heif_channel_Cr, 2, cw, ch, spec.bitDepth);
        }
    }
    if (failure.empty() && spec.alpha) {
        failure = AddPlane(image, heif_channel_Alpha, 3, spec.width, spec.height, spec.bitDepth);
    }
    return failure;
}

} // namespace

std::string WriteYcbcrHeic(const std::string& path, const YcbcrSpec& spec) {
    const heif_colorspace space =
        spec.chroma == heif_chroma_monochrome ? heif_colorspace_monochrome : heif_colorspace_YCbCr;
    heif_image* raw = nullptr;
    heif_error error = heif_image_create(spec.width, spec.height, space, spec.chroma, &raw);
    HeifImagePtr image(raw);
    if (error.code != heif_error_Ok) {
        return error.message;
    }
    const std::string failure = FillPlanes(image.get(), spec);
    if (!failure.empty()) {
        return failure;
    }
    HeifContextPtr ctx(heif_context_alloc());
    heif_encoder* rawEncoder = nullptr;
    error = heif_context_get_encoder_for_format(ctx.get(), heif_compression_HEVC, &rawEncoder);
    HeifEncoderPtr encoder(rawEncoder);
    if (error.code != heif_error_Ok) {
        return error.message;
    }
    heif_encoder_set_lossy_quality(encoder.get(), kQuality);
    heif_encoder_set_parameter_string(encoder.get(), "chroma", ChromaParameter(spec.chroma));
    error = heif_context_encode_image(ctx.get(), image.get(), encoder.get(), nullptr, nullptr);
    if (error.code != heif_error_Ok) {
        return error.message;
    }
    error = heif_context_write_to_file(ctx.get(), path.c_str());
    return error.code == heif_error_Ok ? std::string() : error.message;
}

} // namespace velquist::test
