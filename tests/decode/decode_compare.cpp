#include "decode_compare.h"

#include "convert/heif_handles.h"
#include "decode/hevc_decoder.h"

#include <cstring>
#include <vector>

namespace velquist::test {
namespace {

constexpr heif_channel kChannels[] = {heif_channel_Y,     heif_channel_Cb,         heif_channel_Cr,
                                      heif_channel_R,     heif_channel_G,          heif_channel_B,
                                      heif_channel_Alpha, heif_channel_interleaved};

std::string ChannelName(heif_channel channel) {
    return std::to_string(static_cast<int>(channel));
}

std::string ComparePlane(heif_image* a, heif_image* b, heif_channel channel) {
    const bool hasA = heif_image_has_channel(a, channel) != 0;
    if (hasA != (heif_image_has_channel(b, channel) != 0)) {
        return "channel " + ChannelName(channel) + " present in one image only";
    }
    if (!hasA) {
        return {};
    }
    const int width = heif_image_get_width(a, channel);
    const int height = heif_image_get_height(a, channel);
    const int bits = heif_image_get_bits_per_pixel(a, channel);
    if (width != heif_image_get_width(b, channel) || height != heif_image_get_height(b, channel) ||
        bits != heif_image_get_bits_per_pixel(b, channel) ||
        heif_image_get_bits_per_pixel_range(a, channel) !=
            heif_image_get_bits_per_pixel_range(b, channel)) {
        return "channel " + ChannelName(channel) + " differs in size or depth";
    }
    int strideA = 0, strideB = 0;
    const uint8_t* pa = heif_image_get_plane_readonly(a, channel, &strideA);
    const uint8_t* pb = heif_image_get_plane_readonly(b, channel, &strideB);
    const size_t rowBytes = static_cast<size_t>(width) * static_cast<size_t>((bits + 7) / 8);
    for (int y = 0; y < height; ++y) {
        if (std::memcmp(pa + static_cast<size_t>(y) * strideA,
                        pb + static_cast<size_t>(y) * strideB, rowBytes) != 0) {
            return "channel " + ChannelName(channel) + " differs in row " + std::to_string(y);
        }
    }
    return {};
}

std::string CompareLayout(const char* name, heif_colorspace space, heif_chroma chroma,
                          const std::string& path, int index, int* lumaBits = nullptr) {
    DecodeResult a = DecodeWith(HevcDecoder::kLibavcodec, path, index, space, chroma);
    DecodeResult b = DecodeWith(HevcDecoder::kLibde265, path, index, space, chroma);
    const std::string where = path + " #" + std::to_string(index) + " (" + name + "): ";
    if (!a.image && !b.image) {
        return {};
    }
    if (!a.image || !b.image) {
        return where + "only one decoder succeeded: libavcodec '" + a.error + "', libde265 '" +
               b.error + "'";
    }
    if (lumaBits != nullptr) {
        *lumaBits = heif_image_get_bits_per_pixel_range(b.image.get(), heif_channel_Y);
    }
    const std::string difference = CompareImages(a.image.get(), b.image.get());
    return difference.empty() ? std::string() : where + difference;
}

} // namespace

int TopLevelImageCount(const std::string& path) {
    HeifContextPtr ctx(heif_context_alloc());
    if (heif_context_read_from_file(ctx.get(), path.c_str(), nullptr).code != heif_error_Ok) {
        return -1;
    }
    return heif_context_get_number_of_top_level_images(ctx.get());
}

DecodeResult DecodeWith(HevcDecoder decoder, const std::string& path, int index,
                        heif_colorspace space, heif_chroma chroma) {
    RegisterHevcDecoder();
    SetHevcDecoderEnabled(decoder == HevcDecoder::kLibavcodec);
    DecodeResult result;
    HeifContextPtr ctx(heif_context_alloc());
    heif_error error = heif_context_read_from_file(ctx.get(), path.c_str(), nullptr);
    const int count =
        error.code == heif_error_Ok ? heif_context_get_number_of_top_level_images(ctx.get()) : 0;
    std::vector<heif_item_id> ids(static_cast<size_t>(count > 0 ? count : 1));
    heif_context_get_list_of_top_level_image_IDs(ctx.get(), ids.data(), count);
    heif_image_handle* rawHandle = nullptr;
    if (error.code == heif_error_Ok && index < count) {
        error =
            heif_context_get_image_handle(ctx.get(), ids[static_cast<size_t>(index)], &rawHandle);
    }
    HeifHandlePtr handle(rawHandle);
    heif_image* image = nullptr;
    if (handle) {
        error = heif_decode_image(handle.get(), &image, space, chroma, nullptr);
    }
    result.image.reset(image);
    result.error = error.message ? error.message : "";
    SetHevcDecoderEnabled(true);
    return result;
}

std::string CompareImages(heif_image* a, heif_image* b) {
    if (heif_image_get_colorspace(a) != heif_image_get_colorspace(b) ||
        heif_image_get_chroma_format(a) != heif_image_get_chroma_format(b)) {
        return "colorspace or chroma differ";
    }
    for (const heif_channel channel : kChannels) {
        const std::string difference = ComparePlane(a, b, channel);
        if (!difference.empty()) {
            return difference;
        }
    }
    return {};
}

std::string CompareDecoders(const std::string& path, int index) {
    int lumaBits = 0;
    std::string difference = CompareLayout("as decoded", heif_colorspace_undefined,
                                           heif_chroma_undefined, path, index, &lumaBits);
    if (!difference.empty()) {
        return difference;
    }
    difference =
        CompareLayout("RGB", heif_colorspace_RGB, heif_chroma_interleaved_RGBA, path, index);
    if (!difference.empty()) {
        return difference;
    }
    if (lumaBits <= 8) {
        return {};
    }
    return CompareLayout("RGB 16", heif_colorspace_RGB, heif_chroma_interleaved_RRGGBBAA_LE, path,
                         index);
}

} // namespace velquist::test
