#include "exif_location.h"

#include <algorithm>
#include <cstring>
#include <optional>
#include <set>

namespace velquist {
namespace {

constexpr uint16_t kGpsIfdTag = 0x8825;
constexpr uint16_t kExifIfdTag = 0x8769;
constexpr uint16_t kInteropIfdTag = 0xA005;
constexpr uint16_t kJpegThumbnailOffsetTag = 0x0201;
constexpr uint16_t kJpegThumbnailLengthTag = 0x0202;
constexpr uint16_t kStripOffsetsTag = 0x0111;
constexpr uint16_t kStripByteCountsTag = 0x0117;
constexpr size_t kEntrySize = 12;
// Real blocks hold IFD0, IFD1, Exif and Interop; more than this is a loop or a forgery.
constexpr size_t kMaxDirectories = 32;

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

size_t TypeSize(uint16_t type) {
    switch (type) {
    case 1:
    case 2:
    case 6:
    case 7:
        return 1; // BYTE, ASCII, SBYTE, UNDEFINED
    case 3:
    case 8:
        return 2; // SHORT, SSHORT
    case 4:
    case 9:
    case 11:
    case 13:
        return 4; // LONG, SLONG, FLOAT, IFD
    case 5:
    case 10:
    case 12:
        return 8; // RATIONAL, SRATIONAL, DOUBLE
    default:
        return 0;
    }
}

class TiffView {
  public:
    explicit TiffView(const std::vector<uint8_t>& data) : data_(data), little_(data[0] == 'I') {}

    size_t Size() const { return data_.size(); }
    bool Fits(size_t offset, size_t length) const {
        return offset <= data_.size() && data_.size() - offset >= length;
    }
    bool Read16(size_t offset, uint16_t* value) const {
        if (!Fits(offset, 2)) {
            return false;
        }
        const uint8_t* p = data_.data() + offset;
        *value = little_ ? static_cast<uint16_t>(p[0] | p[1] << 8)
                         : static_cast<uint16_t>(p[0] << 8 | p[1]);
        return true;
    }
    bool Read32(size_t offset, uint32_t* value) const {
        uint16_t first = 0;
        uint16_t second = 0;
        if (!Read16(offset, &first) || !Read16(offset + 2, &second)) {
            return false;
        }
        *value = little_ ? (uint32_t{second} << 16 | first) : (uint32_t{first} << 16 | second);
        return true;
    }
    bool Little() const { return little_; }

  private:
    const std::vector<uint8_t>& data_;
    bool little_;
};

std::optional<Directory> ReadDirectory(const TiffView& view, size_t offset) {
    uint16_t count = 0;
    if (offset < 8 || !view.Read16(offset, &count) ||
        !view.Fits(offset + 2, size_t{count} * kEntrySize + 4)) {
        return std::nullopt;
    }
    Directory dir;
    dir.offset = offset;
    dir.entries.resize(count);
    for (size_t i = 0; i < count; ++i) {
        Entry& e = dir.entries[i];
        e.at = offset + 2 + i * kEntrySize;
        view.Read16(e.at, &e.tag);
        view.Read16(e.at + 2, &e.type);
        view.Read32(e.at + 4, &e.count);
        view.Read32(e.at + 8, &e.value);
    }
    view.Read32(offset + 2 + size_t{count} * kEntrySize, &dir.next);
    return dir;
}

// The bytes an entry's value takes outside its directory; none when it fits inside the
// entry, has an unknown type or lies outside the block.
std::optional<Range> OutOfLineValue(const TiffView& view, const Entry& entry) {
    const uint64_t length = uint64_t{TypeSize(entry.type)} * entry.count;
    if (length <= 4 || !view.Fits(entry.value, length)) {
        return std::nullopt;
    }
    return Range{entry.value, entry.value + static_cast<size_t>(length)};
}

const Entry* FindEntry(const Directory& dir, uint16_t tag) {
    for (const Entry& e : dir.entries) {
        if (e.tag == tag) {
            return &e;
        }
    }
    return nullptr;
}

// Every byte the block's other parts use: the directories reachable from IFD0 without
// passing the GPS pointer, their values and the thumbnail data. Parts that point outside
// the block are nothing a reader could show, so they are skipped, not refused.
class UsedBytes {
  public:
    explicit UsedBytes(const TiffView& view) : view_(view) {}

    void Walk(size_t offset) {
        while (offset != 0 && visited_.size() < kMaxDirectories && visited_.insert(offset).second) {
            const std::optional<Directory> dir = ReadDirectory(view_, offset);
            if (!dir) {
                return;
            }
            Add(*dir);
            offset = dir->next;
        }
    }

    bool Overlaps(const Range& range) const {
        return std::any_of(ranges_.begin(), ranges_.end(),
                           [&](const Range& used) { return used.Overlaps(range); });
    }

  private:
    void Add(const Directory& dir) {
        ranges_.push_back(dir.Bytes());
        for (const Entry& e : dir.entries) {
            if (const auto value = OutOfLineValue(view_, e)) {
                ranges_.push_back(*value);
            }
            if (e.tag == kExifIfdTag || e.tag == kInteropIfdTag) {
                Walk(e.value);
            }
        }
        AddData(dir, kJpegThumbnailOffsetTag, kJpegThumbnailLengthTag);
        AddData(dir, kStripOffsetsTag, kStripByteCountsTag);
    }

    // Image data named by an offset tag and a length tag (single-valued only).
    void AddData(const Directory& dir, uint16_t offsetTag, uint16_t lengthTag) {
        const Entry* offset = FindEntry(dir, offsetTag);
        const Entry* length = FindEntry(dir, lengthTag);
        if (offset == nullptr || length == nullptr || offset->count != 1 || length->count != 1) {
            return;
        }
        const uint32_t bytes = length->type == 3 ? SmallValue(*length) : length->value;
        const uint32_t start = offset->type == 3 ? SmallValue(*offset) : offset->value;
        if (view_.Fits(start, bytes)) {
            ranges_.push_back({start, size_t{start} + bytes});
        }
    }

    // A SHORT stored in the entry sits in the first two bytes of the value field.
    uint32_t SmallValue(const Entry& e) const {
        uint16_t v = 0;
        view_.Read16(e.at + 8, &v);
        return v;
    }

    const TiffView& view_;
    std::set<size_t> visited_;
    std::vector<Range> ranges_;
};

// The bytes to clear for one GPS pointer, or none when the directory cannot be read
// or shares bytes with the rest of the block.
std::optional<std::vector<Range>> GpsBytes(const TiffView& view, const Entry& pointer,
                                           const UsedBytes& used) {
    if ((pointer.type != 4 && pointer.type != 13) || pointer.count != 1) {
        return std::nullopt;
    }
    const std::optional<Directory> gps = ReadDirectory(view, pointer.value);
    if (!gps) {
        return std::nullopt;
    }
    std::vector<Range> ranges{gps->Bytes()};
    for (const Entry& e : gps->entries) {
        if (const auto value = OutOfLineValue(view, e)) {
            ranges.push_back(*value);
        }
    }
    for (const Range& r : ranges) {
        if (used.Overlaps(r)) {
            return std::nullopt;
        }
    }
    return ranges;
}

void Write16(std::vector<uint8_t>& tiff, bool little, size_t offset, uint16_t value) {
    tiff[offset + (little ? 0 : 1)] = static_cast<uint8_t>(value & 0xFF);
    tiff[offset + (little ? 1 : 0)] = static_cast<uint8_t>(value >> 8);
}

// Drops one entry: the later entries and the next-IFD offset move up, the freed tail
// becomes zeros. No value moves, so no offset elsewhere changes.
void DropEntry(std::vector<uint8_t>& tiff, bool little, const Directory& dir, size_t index) {
    const size_t end = dir.Bytes().end;
    const size_t at = dir.entries[index].at;
    std::memmove(tiff.data() + at, tiff.data() + at + kEntrySize, end - at - kEntrySize);
    std::memset(tiff.data() + end - kEntrySize, 0, kEntrySize);
    Write16(tiff, little, dir.offset, static_cast<uint16_t>(dir.entries.size() - 1));
}

} // namespace

LocationRemoval RemoveExifLocation(std::vector<uint8_t>& tiff) {
    if (tiff.size() < 8 ||
        (std::memcmp(tiff.data(), "II*\0", 4) != 0 && std::memcmp(tiff.data(), "MM\0*", 4) != 0)) {
        return LocationRemoval::kMalformed;
    }
    const TiffView view(tiff);
    uint32_t ifd0Offset = 0;
    view.Read32(4, &ifd0Offset);
    const std::optional<Directory> ifd0 = ReadDirectory(view, ifd0Offset);
    if (!ifd0) {
        return LocationRemoval::kMalformed;
    }
    if (FindEntry(*ifd0, kGpsIfdTag) == nullptr) {
        return LocationRemoval::kNoLocation;
    }

    UsedBytes used(view);
    used.Walk(ifd0Offset);
    std::vector<Range> clear;
    for (const Entry& e : ifd0->entries) {
        if (e.tag != kGpsIfdTag) {
            continue;
        }
        const auto gps = GpsBytes(view, e, used);
        if (!gps) {
            return LocationRemoval::kMalformed;
        }
        clear.insert(clear.end(), gps->begin(), gps->end());
    }

    // Edit a copy so that the caller's block stays whole until every step has succeeded.
    std::vector<uint8_t> edited = tiff;
    for (const Range& r : clear) {
        std::fill(edited.begin() + static_cast<std::ptrdiff_t>(r.begin),
                  edited.begin() + static_cast<std::ptrdiff_t>(r.end), 0);
    }
    Directory dir = *ifd0;
    for (size_t i = dir.entries.size(); i-- > 0;) {
        if (dir.entries[i].tag != kGpsIfdTag) {
            continue;
        }
        DropEntry(edited, view.Little(), dir, i);
        // The entries after i moved up by one slot; keep the description in step.
        for (size_t j = i + 1; j < dir.entries.size(); ++j) {
            dir.entries[j].at -= kEntrySize;
        }
        dir.entries.erase(dir.entries.begin() + static_cast<std::ptrdiff_t>(i));
    }
    tiff = std::move(edited);
    return LocationRemoval::kRemoved;
}

} // namespace velquist
