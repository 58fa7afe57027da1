#include "exif_tiff_builder.h"

namespace velquist::test {

void TiffBuilder::Put16(std::vector<uint8_t>& out, uint16_t v) const {
    const uint8_t lo = static_cast<uint8_t>(v & 0xFF);
    const uint8_t hi = static_cast<uint8_t>(v >> 8);
    out.push_back(little_ ? lo : hi);
    out.push_back(little_ ? hi : lo);
}

void TiffBuilder::Put32(std::vector<uint8_t>& out, uint32_t v) const {
    Put16(out, static_cast<uint16_t>(little_ ? v & 0xFFFF : v >> 16));
    Put16(out, static_cast<uint16_t>(little_ ? v >> 16 : v & 0xFFFF));
}

TiffField TiffBuilder::Ascii(uint16_t tag, const std::string& text) const {
    std::vector<uint8_t> bytes(text.begin(), text.end());
    bytes.push_back(0);
    const auto count = static_cast<uint32_t>(bytes.size());
    return {tag, 2, count, std::move(bytes)};
}

TiffField TiffBuilder::Short(uint16_t tag, uint16_t value) const {
    TiffField f{tag, 3, 1, {}};
    Put16(f.bytes, value);
    return f;
}

TiffField TiffBuilder::Long(uint16_t tag, uint32_t value) const {
    TiffField f{tag, 4, 1, {}};
    Put32(f.bytes, value);
    return f;
}

TiffField TiffBuilder::Bytes(uint16_t tag, std::vector<uint8_t> bytes, uint16_t type) const {
    const auto count = static_cast<uint32_t>(bytes.size());
    return {tag, type, count, std::move(bytes)};
}

TiffField TiffBuilder::Rationals(uint16_t tag,
                                 const std::vector<std::pair<uint32_t, uint32_t>>& v) const {
    TiffField f{tag, 5, static_cast<uint32_t>(v.size()), {}};
    for (const auto& [num, den] : v) {
        Put32(f.bytes, num);
        Put32(f.bytes, den);
    }
    return f;
}

TiffField TiffBuilder::Pointer(uint16_t tag, int directory) {
    TiffField f{tag, 4, 1, {0, 0, 0, 0}};
    f.pointsTo = directory;
    return f;
}

TiffField TiffBuilder::BlobOffset(uint16_t tag, int blob) {
    TiffField f{tag, 4, 1, {0, 0, 0, 0}};
    f.blob = blob;
    return f;
}

std::vector<uint8_t> TiffBuilder::Build(const std::vector<TiffDirectory>& directories,
                                        const std::vector<std::vector<uint8_t>>& blobs) const {
    // First pass: where every directory, out-of-line value and blob goes.
    std::vector<size_t> dirOffset(directories.size());
    std::vector<std::vector<size_t>> valueOffset(directories.size());
    size_t cursor = 8;
    for (size_t d = 0; d < directories.size(); ++d) {
        dirOffset[d] = cursor;
        cursor += 2 + directories[d].fields.size() * 12 + 4;
        for (const TiffField& f : directories[d].fields) {
            valueOffset[d].push_back(cursor);
            if (f.bytes.size() > 4) {
                cursor += (f.bytes.size() + 1) & ~size_t{1};
            }
        }
    }
    std::vector<size_t> blobOffset;
    for (const auto& blob : blobs) {
        blobOffset.push_back(cursor);
        cursor += blob.size();
    }

    std::vector<uint8_t> out;
    out.push_back(little_ ? 'I' : 'M');
    out.push_back(little_ ? 'I' : 'M');
    Put16(out, 42);
    Put32(out, 8);
    for (size_t d = 0; d < directories.size(); ++d) {
        const auto& fields = directories[d].fields;
        Put16(out, static_cast<uint16_t>(fields.size()));
        for (size_t i = 0; i < fields.size(); ++i) {
            const TiffField& f = fields[i];
            Put16(out, f.tag);
            Put16(out, f.type);
            Put32(out, f.count);
            if (f.pointsTo >= 0) {
                Put32(out, static_cast<uint32_t>(dirOffset[static_cast<size_t>(f.pointsTo)]));
            } else if (f.blob >= 0) {
                Put32(out, static_cast<uint32_t>(blobOffset[static_cast<size_t>(f.blob)]));
            } else if (f.bytes.size() > 4) {
                Put32(out, static_cast<uint32_t>(valueOffset[d][i]));
            } else {
                std::vector<uint8_t> inline4 = f.bytes;
                inline4.resize(4, 0);
                out.insert(out.end(), inline4.begin(), inline4.end());
            }
        }
        const int next = directories[d].next;
        Put32(out, next >= 0 ? static_cast<uint32_t>(dirOffset[static_cast<size_t>(next)]) : 0);
        for (const TiffField& f : fields) {
            if (f.bytes.size() <= 4) {
                continue;
            }
            out.insert(out.end(), f.bytes.begin(), f.bytes.end());
            if (f.bytes.size() % 2 != 0) {
                out.push_back(0);
            }
        }
    }
    for (const auto& blob : blobs) {
        out.insert(out.end(), blob.begin(), blob.end());
    }
    return out;
}

namespace {

const std::vector<std::pair<uint32_t, uint32_t>> kLatitude = {{48, 1}, {51, 1}, {2953, 100}};
const std::vector<std::pair<uint32_t, uint32_t>> kLongitude = {{2, 1}, {17, 1}, {4021, 100}};

// A minimal JPEG stream (SOI, EOI) padded with a recognisable filler.
std::vector<uint8_t> FakeThumbnail() {
    std::vector<uint8_t> jpeg = {0xFF, 0xD8};
    for (int i = 0; i < 60; ++i) {
        jpeg.push_back(static_cast<uint8_t>(0xA0 + i % 16));
    }
    jpeg.push_back(0xFF);
    jpeg.push_back(0xD9);
    return jpeg;
}

} // namespace

std::vector<uint8_t> MakeExifWithLocation(bool little) {
    const TiffBuilder b(little);
    TiffDirectory ifd0{{b.Ascii(0x010F, "Velquist Optics"), b.Ascii(0x0110, "Test Camera 2"),
                        b.Short(0x0112, 1), b.Rationals(0x011A, {{72, 1}}),
                        b.Ascii(0x0132, "2024:05:17 10:11:12"), TiffBuilder::Pointer(0x8769, 1),
                        TiffBuilder::Pointer(0x8825, 2)},
                       3};
    TiffDirectory exif{{b.Rationals(0x829A, {{1, 120}}), b.Ascii(0x9003, "2024:05:17 10:11:12"),
                        b.Bytes(0x9286, {'A', 'S', 'C', 'I', 'I', 0, 0, 0, 'h', 'i'})},
                       -1};
    TiffDirectory gps{{b.Bytes(0x0000, {2, 3, 0, 0}, 1), b.Ascii(0x0001, "N"),
                       b.Rationals(0x0002, kLatitude), b.Ascii(0x0003, "E"),
                       b.Rationals(0x0004, kLongitude), b.Ascii(0x001D, "2024:05:17")},
                      -1};
    TiffDirectory ifd1{{b.Short(0x0103, 6), TiffBuilder::BlobOffset(0x0201, 0),
                        b.Long(0x0202, static_cast<uint32_t>(FakeThumbnail().size()))},
                       -1};
    return b.Build({ifd0, exif, gps, ifd1}, {FakeThumbnail()});
}

std::vector<uint8_t> LatitudeBytes(bool little) {
    return TiffBuilder(little).Rationals(0x0002, kLatitude).bytes;
}

} // namespace velquist::test
