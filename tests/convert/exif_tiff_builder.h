#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace velquist::test {

// Lays out Exif TIFF data from a description, so tests can make blocks with any mix of
// directories, values and pointers in either byte order.
struct TiffField {
    uint16_t tag = 0;
    uint16_t type = 0;
    uint32_t count = 0;
    std::vector<uint8_t> bytes; // the value in the block's byte order
    int pointsTo = -1;          // >= 0: the value is the offset of that directory
    int blob = -1;              // >= 0: the value is the offset of that blob
};

struct TiffDirectory {
    std::vector<TiffField> fields;
    int next = -1;
};

class TiffBuilder {
  public:
    explicit TiffBuilder(bool little) : little_(little) {}

    TiffField Ascii(uint16_t tag, const std::string& text) const;
    TiffField Short(uint16_t tag, uint16_t value) const;
    TiffField Long(uint16_t tag, uint32_t value) const;
    TiffField Bytes(uint16_t tag, std::vector<uint8_t> bytes, uint16_t type = 7) const;
    TiffField Rationals(uint16_t tag, const std::vector<std::pair<uint32_t, uint32_t>>& v) const;
    static TiffField Pointer(uint16_t tag, int directory);
    static TiffField BlobOffset(uint16_t tag, int blob);

    // directories[0] is IFD0; blobs follow the directories and their values.
    std::vector<uint8_t> Build(const std::vector<TiffDirectory>& directories,
                               const std::vector<std::vector<uint8_t>>& blobs = {}) const;

  private:
    void Put16(std::vector<uint8_t>& out, uint16_t v) const;
    void Put32(std::vector<uint8_t>& out, uint32_t v) const;

    bool little_;
};

// Exif data with IFD0, an Exif IFD, a GPS IFD with coordinates, and IFD1 with a small
// thumbnail, the way cameras lay it out.
std::vector<uint8_t> MakeExifWithLocation(bool little);

// The latitude rational of MakeExifWithLocation as stored, to look for in the bytes.
std::vector<uint8_t> LatitudeBytes(bool little);

} // namespace velquist::test
