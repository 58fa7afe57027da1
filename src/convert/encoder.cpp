#include "encoder.h"

#include "bmp_encoder.h"
#include "exif_block.h"
#include "exif_compact.h"
#include "jpeg_encoder.h"
#include "png_encoder.h"

namespace velquist {

void Encoder::AdjustDecodingOptions(const heif_image_handle*, heif_decoding_options*) const {}

std::vector<uint8_t> Encoder::OutputExif(const heif_image_handle* handle, const heif_image* image,
                                         Diagnostics& diag) const {
    std::vector<uint8_t> tiff = ExtractExifForOutput(handle, stripLocation_, diag);
    if (!resized_ || tiff.empty()) {
        return tiff;
    }
    const heif_channel channel = heif_image_has_channel(image, heif_channel_interleaved)
                                     ? heif_channel_interleaved
                                     : heif_channel_Y;
    std::vector<uint8_t> resized =
        ResizedExif(tiff, static_cast<uint32_t>(heif_image_get_width(image, channel)),
                    static_cast<uint32_t>(heif_image_get_height(image, channel)));
    if (resized.empty()) {
        diag.Write("Exif data malformed, left out of the resized picture\n");
    }
    return resized;
}

namespace {

std::unique_ptr<Encoder> CreateFormatEncoder(const ConversionSettings& settings) {
    switch (settings.format) {
    case OutputFormat::kPng:
        return std::make_unique<PngEncoder>(settings.keepExif);
    case OutputFormat::kBmp:
        return std::make_unique<BmpEncoder>();
    case OutputFormat::kJpg:
        break;
    }
    return std::make_unique<JpegEncoder>(settings.quality, settings.keepExif);
}

} // namespace

std::unique_ptr<Encoder> CreateEncoder(const ConversionSettings& settings) {
    std::unique_ptr<Encoder> encoder = CreateFormatEncoder(settings);
    encoder->SetStripLocation(settings.stripLocation);
    return encoder;
}

} // namespace velquist
