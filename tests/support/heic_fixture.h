#pragma once

#include <cstdint>
#include <libheif/heif.h>
#include <string>
#include <vector>

namespace velquist::test {

struct Rgb {
    int r = 0;
    int g = 0;
    int b = 0;
};

// The fixtures' picture: four flat quadrants, so that colour and orientation can be read
// back from the centre of each quadrant after lossy coding.
enum Quadrant { kTopLeft, kTopRight, kBottomLeft, kBottomRight };
Rgb QuadrantColor(Quadrant quadrant); // 8-bit values
Quadrant QuadrantAt(int x, int y, int width, int height);

enum class ExifStorage {
    kLibheif,  // handed to libheif's Exif call, which puts the 4-byte offset in front
    kVerbatim, // stored exactly as given (e.g. without the offset prefix)
};

struct HeicImageSpec {
    int width = 64;
    int height = 48;
    int bitDepth = 8; // 8, 10 or 12
    bool alpha = false;
    int alphaValue = 255; // in 8-bit units
    // Stored with irot/imir boxes; the pixels are given as stored, before that transform.
    heif_orientation orientation = heif_orientation_normal;
    std::vector<uint8_t> icc;
    std::vector<uint8_t> exif;
    ExifStorage exifStorage = ExifStorage::kLibheif;
    std::vector<std::vector<uint8_t>> extraExifBlocks; // stored verbatim after the first
};

// Encodes the images with libheif's HEVC encoder at high quality; primary picks the
// primary image (libheif makes the first one primary otherwise). Empty string on success,
// else libheif's message.
std::string WriteHeic(const std::string& path, const std::vector<HeicImageSpec>& images,
                      int primary = 0);
std::string WriteHeic(const std::string& path, const HeicImageSpec& image);

// A TIFF block as found in Exif data: header, IFD0 with an Orientation tag (when
// orientation is not 0) and a Make tag, padded with filler to at least minSize bytes.
std::vector<uint8_t> MakeTiffExif(bool littleEndian, int orientation, size_t minSize = 0);

// A well-formed RGB display ICC profile header (no tags) padded to size bytes (>= 132).
std::vector<uint8_t> MakeIccProfile(size_t size);

// Copies a HEIF file, giving its ftyp box another major brand and, when brands is not
// empty, other compatible brands (brands repeated over the places the box has). Empty
// string on success.
std::string RewriteBrands(const std::string& in, const std::string& out, const std::string& major,
                          const std::vector<std::string>& brands = {});

// Copies a grid HEIF file (such as a real phone photo) whose grid claims another size: the
// output size of the ImageGrid in its idat box and the grid item's ispe, which hold the
// size the file had (oldWidth x oldHeight). Empty string on success.
std::string ForgeGridSize(const std::string& in, const std::string& out, uint32_t oldWidth,
                          uint32_t oldHeight, uint16_t width, uint16_t height);

} // namespace velquist::test
