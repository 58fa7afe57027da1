#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

// Reading the directories of Exif TIFF data. The bytes come from the photo and may be
// hostile: every offset and count is checked against the block before it is used.
namespace velquist::tiff {

constexpr size_t kEntrySize = 12;

constexpr uint16_t kExifIfdTag = 0x8769;
constexpr uint16_t kGpsIfdTag = 0x8825;
constexpr uint16_t kInteropIfdTag = 0xA005;
constexpr uint16_t kMakerNoteTag = 0x927C;
constexpr uint16_t kJpegThumbnailOffsetTag = 0x0201;
constexpr uint16_t kJpegThumbnailLengthTag = 0x0202;
constexpr uint16_t kStripOffsetsTag = 0x0111;
constexpr uint16_t kStripByteCountsTag = 0x0117;

constexpr uint16_t kTypeShort = 3;
constexpr uint16_t kTypeLong = 4;
constexpr uint16_t kTypeUndefined = 7;
constexpr uint16_t kTypeIfd = 13;

struct Range {
    size_t begin = 0;
    size_t end = 0;
    bool Overlaps(const Range& other) const { return begin < other.end && other.begin < end; }
};

struct Entry {
    uint16_t tag = 0;
    uint16_t type = 0;
    uint32_t count = 0;
    uint32_t value = 0; // the offset when the value does not fit in the entry
    size_t at = 0;      // where the entry starts
};

struct Directory {
    size_t offset = 0;
    std::vector<Entry> entries;
    uint32_t next = 0;
    Range Bytes() const { return {offset, offset + 2 + entries.size() * kEntrySize + 4}; }
};

// Bytes per value of a TIFF field type; 0 for a type TIFF does not define.
size_t TypeSize(uint16_t type);

// True when data starts with a TIFF header of either byte order.
bool IsTiffHeader(const std::vector<uint8_t>& data);

class TiffView {
  public:
    // data must start with a TIFF header.
    explicit TiffView(const std::vector<uint8_t>& data) : data_(data), little_(data[0] == 'I') {}

    size_t Size() const { return data_.size(); }
    const uint8_t* Data() const { return data_.data(); }
    bool Fits(size_t offset, size_t length) const {
        return offset <= data_.size() && data_.size() - offset >= length;
    }
    bool Read16(size_t offset, uint16_t* value) const;
    bool Read32(size_t offset, uint32_t* value) const;
    bool Little() const { return little_; }

  private:
    const std::vector<uint8_t>& data_;
    bool little_;
};

// The directory at offset, or none when it does not lie wholly inside the block.
std::optional<Directory> ReadDirectory(const TiffView& view, size_t offset);

// The bytes an entry's value takes outside its directory; none when it fits inside the
// entry, has an unknown type or lies outside the block.
std::optional<Range> OutOfLineValue(const TiffView& view, const Entry& entry);

const Entry* FindEntry(const Directory& dir, uint16_t tag);

} // namespace velquist::tiff
