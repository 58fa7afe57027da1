#include "encoder.h"

#include "bmp_encoder.h"
#include "jpeg_encoder.h"
#include "png_encoder.h"

namespace velquist {

void Encoder::AdjustDecodingOptions(const heif_image_handle*, heif_decoding_options*) const {}

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
