#include "exif_location.h"

#include "tiff_directory.h"

#include <algorithm>
#include <cstring>
#include <optional>
#include <set>

namespace velquist {
namespace {

using namespace tiff;

// Real blocks hold IFD0, IFD1, Exif and Interop; more than this is a loop or a forgery.
constexpr size_t kMaxDirectories = 32;

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
    if (!IsTiffHeader(tiff)) {
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
