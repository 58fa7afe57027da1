#pragma once

#include "diagnostics.h"

#include <cstddef>
#include <cstdint>
#include <libheif/heif.h>
#include <vector>

namespace velquist {

// True when libheif lists an "Exif" metadata block for the image.
bool HasExifBlock(const heif_image_handle* handle);

// A malloc'ed copy of the first "Exif" block exactly as libheif returns it (the caller
// frees it), or null when there is none or it cannot be read.
uint8_t* FindExifBlock(const heif_image_handle* handle, size_t* size);

// The TIFF data of an Exif block: after HEIF's 4-byte offset prefix and the offset it
// gives, after an "Exif\0\0" header, or the block itself when it already starts with a
// TIFF header. Empty when no TIFF header is where the block says it is.
std::vector<uint8_t> ExifTiffData(const uint8_t* block, size_t size);

// Sets the Orientation tag of IFD0 to 1 ("as stored") when present, because the pixels
// we write already have the rotation applied. Returns true when the tag was changed.
// Malformed TIFF data is left as it is.
bool ResetExifOrientation(std::vector<uint8_t>& tiff);

// The first Exif block of the image as TIFF data with a neutral orientation, ready to be
// written to an output file; empty when there is none or it is malformed (one diagnostic
// line then).
std::vector<uint8_t> ExtractExifForOutput(const heif_image_handle* handle, Diagnostics& diag);
// The same without the location when stripLocation is set. A block whose location cannot
// be ruled out (malformed directories) is left out entirely, with one diagnostic line.
std::vector<uint8_t> ExtractExifForOutput(const heif_image_handle* handle, bool stripLocation,
                                          Diagnostics& diag);

} // namespace velquist
