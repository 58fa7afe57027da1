#pragma once

#include <libheif/heif.h>
#include <memory>
#include <string>

namespace velquist::test {

struct ImageReleaser {
    void operator()(heif_image* image) const { heif_image_release(image); }
};
using DecodedImage = std::unique_ptr<heif_image, ImageReleaser>;

enum class HevcDecoder { kLibavcodec, kLibde265 };

struct DecodeResult {
    DecodedImage image; // null when decoding failed
    std::string error;
};

// Top-level image index of the file, decoded by the given decoder into the given layout
// (heif_colorspace_undefined/heif_chroma_undefined: as the decoder delivers it).
DecodeResult DecodeWith(HevcDecoder decoder, const std::string& path, int index,
                        heif_colorspace space, heif_chroma chroma);

// Number of top-level images; -1 when libheif cannot open the file.
int TopLevelImageCount(const std::string& path);

// Empty when both images have the same layout and the same bytes in every plane, else the
// first difference in words.
std::string CompareImages(heif_image* a, heif_image* b);

// Decodes the image both ways in both layouts a conversion uses (as delivered, and RGB(A)
// interleaved) and compares; empty when identical or when both decoders refuse the image.
std::string CompareDecoders(const std::string& path, int index);

} // namespace velquist::test
