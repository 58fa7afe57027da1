#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace velquist {

// Exif TIFF data rewritten to fit a size limit: a fresh compact block with IFD0 and the
// Exif, GPS and Interop directories, giving up the parts viewers miss least until it fits.
struct ExifFit {
    std::vector<uint8_t> tiff; // empty when even the smallest rewrite does not fit
    bool droppedThumbnail = false;
    bool droppedMakerNote = false;
    size_t droppedOthers = 0; // other large UNDEFINED values, largest first
};

// Gives up, in this order and only as far as needed: the embedded thumbnail (IFD1 and
// its data), the maker note, then other large UNDEFINED values, largest first. Values
// whose offsets point outside the block, and fields that locate data this rewrite does
// not carry (strips, thumbnail offsets), are left out. Malformed data (no readable IFD0)
// gives an empty result.
ExifFit FitExif(const std::vector<uint8_t>& tiff, size_t limit);

// Exif TIFF data for a picture written at another size than the camera's: the same
// compact block FitExif writes (without the embedded thumbnail, which shows the old
// framing), with PixelXDimension and PixelYDimension of the Exif directory set to the new
// size. Empty for malformed data.
std::vector<uint8_t> ResizedExif(const std::vector<uint8_t>& tiff, uint32_t width,
                                 uint32_t height);

// What FitExif gave up, for a diagnostic: "the embedded thumbnail and maker note";
// empty when nothing was.
std::string DroppedExifParts(const ExifFit& fit);

} // namespace velquist
