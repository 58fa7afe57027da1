#pragma once

#include "encoder.h"

namespace velquist {

// Baseline JPEG, 4:2:0, with the source's Exif block (APP1) and ICC profile (APP2).
// Transparency is composited over white, as a page or a viewer would show the photo.
class JpegEncoder : public Encoder {
  public:
    // How the pixels reach libjpeg: the decoded 4:2:0 planes directly (no chroma
    // up- and re-downsampling), or full-width scanlines with each chroma sample repeated
    // over its 2x2 block. Both give the same coefficients; the planes are faster.
    enum class Feed { kRawPlanes, kScanlines };

    // A quality outside 0..100 becomes 90.
    explicit JpegEncoder(int quality, bool keepExif = true, Feed feed = Feed::kRawPlanes);

    heif_colorspace PreferredColorspace(bool hasAlpha) const override;
    heif_chroma PreferredChroma(bool hasAlpha, int bitDepth) const override;
    bool WriteImage(const heif_image_handle* handle, const heif_image* image,
                    const std::string& path, Diagnostics& diag) override;

    int Quality() const { return quality_; }

  private:
    int quality_;
    bool keepExif_;
    Feed feed_;
};

} // namespace velquist
