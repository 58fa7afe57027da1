#pragma once

#include "encoder.h"

namespace velquist {

// Non-interlaced PNG, 8 or 16 bits per sample, RGB or RGBA, with the source's ICC
// profile (iCCP) and, when asked to keep it, its Exif data (eXIf).
class PngEncoder : public Encoder {
  public:
    explicit PngEncoder(bool keepExif = true) : keepExif_(keepExif) {}

    heif_colorspace PreferredColorspace(bool hasAlpha) const override;
    heif_chroma PreferredChroma(bool hasAlpha, int bitDepth) const override;
    bool WriteImage(const heif_image_handle* handle, const heif_image* image,
                    const std::string& path, Diagnostics& diag) override;

  private:
    bool keepExif_;
};

} // namespace velquist
