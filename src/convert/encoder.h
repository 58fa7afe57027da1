#pragma once

#include "conversion_settings.h"
#include "diagnostics.h"

#include <libheif/heif.h>
#include <memory>
#include <string>
#include <vector>

namespace velquist {

// Writes one decoded image in one output format. A job creates one encoder per file and
// asks it which pixel layout to decode into before handing it the decoded image.
class Encoder {
  public:
    virtual ~Encoder() = default;

    virtual heif_colorspace PreferredColorspace(bool hasAlpha) const = 0;
    virtual heif_chroma PreferredChroma(bool hasAlpha, int bitDepth) const = 0;
    virtual void AdjustDecodingOptions(const heif_image_handle* handle,
                                       heif_decoding_options* options) const;
    // True when the file is complete under path; diagnostics explain a false result.
    virtual bool WriteImage(const heif_image_handle* handle, const heif_image* image,
                            const std::string& path, Diagnostics& diag) = 0;

    // Kept Exif data goes out without the location.
    void SetStripLocation(bool strip) { stripLocation_ = strip; }
    // The image handed to the next WriteImage calls was shrunk from the handle's size.
    void SetResized(bool resized) { resized_ = resized; }

  protected:
    // The handle's Exif data as it goes out with image: neutral orientation, without the
    // location when so chosen, and for a shrunk image with its new size and no thumbnail.
    // Empty when there is none or it is malformed (one diagnostic line then).
    std::vector<uint8_t> OutputExif(const heif_image_handle* handle, const heif_image* image,
                                    Diagnostics& diag) const;

    bool stripLocation_ = false;
    bool resized_ = false;
};

std::unique_ptr<Encoder> CreateEncoder(const ConversionSettings& settings);

} // namespace velquist
