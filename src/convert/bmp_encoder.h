#pragma once

#include "encoder.h"

namespace velquist {

// Uncompressed 32-bit bottom-up Windows bitmap (blue, green, red, alpha), no metadata.
// Transparency is composited over white; the alpha bytes are then opaque.
class BmpEncoder : public Encoder {
  public:
    heif_colorspace PreferredColorspace(bool hasAlpha) const override;
    heif_chroma PreferredChroma(bool hasAlpha, int bitDepth) const override;
    bool WriteImage(const heif_image_handle* handle, const heif_image* image,
                    const std::string& path, Diagnostics& diag) override;
};

} // namespace velquist
