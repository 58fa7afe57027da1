#include "encoder.h"

#include "bmp_encoder.h"
#include "jpeg_encoder.h"
#include "png_encoder.h"

namespace velquist {

void Encoder::AdjustDecodingOptions(const heif_image_handle*, heif_decoding_options*) const {}

std::unique_ptr<Encoder> CreateEncoder(const std::string& format, int quality, bool keepExif) {
    if (format == "jpg")
        return std::make_unique<JpegEncoder>(quality, keepExif);
    if (format == "png")
        return std::make_unique<PngEncoder>(keepExif);
    if (format == "bmp")
        return std::make_unique<BmpEncoder>();
    return nullptr;
}

} // namespace velquist
