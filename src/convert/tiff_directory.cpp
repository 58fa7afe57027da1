#include "tiff_directory.h"

#include <cstring>

namespace velquist::tiff {

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

bool IsTiffHeader(const std::vector<uint8_t>& data) {
    return data.size() >= 8 &&
           (std::memcmp(data.data(), "II*\0", 4) == 0 || std::memcmp(data.data(), "MM\0*", 4) == 0);
}

bool TiffView::Read16(size_t offset, uint16_t* value) const {
    if (!Fits(offset, 2)) {
        return false;
    }
    const uint8_t* p = data_.data() + offset;
    *value = little_ ? static_cast<uint16_t>(p[0] | p[1] << 8)
                     : static_cast<uint16_t>(p[0] << 8 | p[1]);
    return true;
}

bool TiffView::Read32(size_t offset, uint32_t* value) const {
    uint16_t first = 0;
    uint16_t second = 0;
    if (!Read16(offset, &first) || !Read16(offset + 2, &second)) {
        return false;
    }
    *value = little_ ? (uint32_t{second} << 16 | first) : (uint32_t{first} << 16 | second);
    return true;
}

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

} // namespace velquist::tiff
