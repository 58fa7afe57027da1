#pragma once

#include <cstdint>
#include <vector>

namespace velquist {

enum class LocationRemoval {
    kRemoved,    // the GPS directory and its values are gone, everything else is as it was
    kNoLocation, // the block has no GPS directory; nothing changed
    kMalformed,  // the block cannot be edited safely; nothing changed
};

// Removes the location from Exif TIFF data (as ExifTiffData returns it, either byte
// order): the GPS IFD pointer leaves IFD0, and the GPS directory with its values is
// overwritten with zeros so that no coordinate survives in the bytes. Nothing moves, so
// every other offset in the block stays valid. On kMalformed the caller should leave the
// Exif block out entirely, since the location could not be ruled out.
LocationRemoval RemoveExifLocation(std::vector<uint8_t>& tiff);

} // namespace velquist
