#include "exif_block.h"

#include "exif_location.h"

#include <cstdlib>
#include <cstring>
#include <memory>

namespace velquist {
namespace {

constexpr uint16_t kOrientationTag = 0x0112;
constexpr uint16_t kTypeShort = 3;

bool IsTiffHeader(const uint8_t* data, size_t size) {
    if (size < 8) {
        return false;
    }
    return std::memcmp(data, "II*\0", 4) == 0 || std::memcmp(data, "MM\0*", 4) == 0;
}

bool StartsWithExifHeader(const uint8_t* data, size_t size) {
    return size >= 6 && std::memcmp(data, "Exif\0\0", 6) == 0;
}

std::vector<uint8_t> TiffFrom(const uint8_t* data, size_t size) {
    if (StartsWithExifHeader(data, size)) {
        data += 6;
        size -= 6;
    }
    if (!IsTiffHeader(data, size)) {
        return {};
    }
    return std::vector<uint8_t>(data, data + size);
}

class TiffReader {
  public:
    explicit TiffReader(std::vector<uint8_t>& tiff) : data_(tiff), little_(tiff[0] == 'I') {}

    bool Read16(size_t offset, uint16_t* value) const {
        if (offset > data_.size() || data_.size() - offset < 2) {
            return false;
        }
        const uint8_t* p = data_.data() + offset;
        *value = little_ ? static_cast<uint16_t>(p[0] | p[1] << 8)
                         : static_cast<uint16_t>(p[0] << 8 | p[1]);
        return true;
    }
    bool Read32(size_t offset, uint32_t* value) const {
        if (offset > data_.size() || data_.size() - offset < 4) {
            return false;
        }
        const uint8_t* p = data_.data() + offset;
        *value = little_ ? (uint32_t{p[0]} | uint32_t{p[1]} << 8 | uint32_t{p[2]} << 16 |
                            uint32_t{p[3]} << 24)
                         : (uint32_t{p[0]} << 24 | uint32_t{p[1]} << 16 | uint32_t{p[2]} << 8 |
                            uint32_t{p[3]});
        return true;
    }
    void Write16(size_t offset, uint16_t value) {
        uint8_t* p = data_.data() + offset;
        p[little_ ? 0 : 1] = static_cast<uint8_t>(value & 0xFF);
        p[little_ ? 1 : 0] = static_cast<uint8_t>(value >> 8);
    }

  private:
    std::vector<uint8_t>& data_;
    bool little_;
};

} // namespace

bool HasExifBlock(const heif_image_handle* handle) {
    heif_item_id id = 0;
    return heif_image_handle_get_list_of_metadata_block_IDs(handle, "Exif", &id, 1) > 0;
}

uint8_t* FindExifBlock(const heif_image_handle* handle, size_t* size) {
    heif_item_id id = 0;
    if (heif_image_handle_get_list_of_metadata_block_IDs(handle, "Exif", &id, 1) <= 0) {
        return nullptr;
    }
    const size_t blockSize = heif_image_handle_get_metadata_size(handle, id);
    auto* buffer = static_cast<uint8_t*>(std::malloc(blockSize > 0 ? blockSize : 1));
    if (buffer == nullptr) {
        return nullptr;
    }
    const heif_error error = heif_image_handle_get_metadata(handle, id, buffer);
    if (error.code != heif_error_Ok) {
        std::free(buffer);
        return nullptr;
    }
    *size = blockSize;
    return buffer;
}

std::vector<uint8_t> ExifTiffData(const uint8_t* block, size_t size) {
    if (block == nullptr) {
        return {};
    }
    if (StartsWithExifHeader(block, size) || IsTiffHeader(block, size)) {
        return TiffFrom(block, size);
    }
    if (size < 4) {
        return {};
    }
    const uint32_t offset = uint32_t{block[0]} << 24 | uint32_t{block[1]} << 16 |
                            uint32_t{block[2]} << 8 | uint32_t{block[3]};
    if (offset > size - 4) {
        return {};
    }
    return TiffFrom(block + 4 + offset, size - 4 - offset);
}

bool ResetExifOrientation(std::vector<uint8_t>& tiff) {
    if (!IsTiffHeader(tiff.data(), tiff.size())) {
        return false;
    }
    TiffReader reader(tiff);
    uint32_t ifdOffset = 0;
    uint16_t entryCount = 0;
    if (!reader.Read32(4, &ifdOffset) || !reader.Read16(ifdOffset, &entryCount)) {
        return false;
    }
    for (uint32_t i = 0; i < entryCount; ++i) {
        const size_t entry = size_t{ifdOffset} + 2 + size_t{i} * 12;
        uint16_t tag = 0;
        uint16_t type = 0;
        uint32_t count = 0;
        uint16_t value = 0;
        if (!reader.Read16(entry, &tag) || !reader.Read16(entry + 2, &type) ||
            !reader.Read32(entry + 4, &count) || !reader.Read16(entry + 8, &value)) {
            return false;
        }
        if (tag != kOrientationTag) {
            continue;
        }
        if (type != kTypeShort || count != 1 || value == 1) {
            return false;
        }
        reader.Write16(entry + 8, 1);
        return true;
    }
    return false;
}

std::vector<uint8_t> ExtractExifForOutput(const heif_image_handle* handle, Diagnostics& diag) {
    size_t size = 0;
    std::unique_ptr<uint8_t, decltype(&std::free)> block(FindExifBlock(handle, &size), &std::free);
    if (!block) {
        return {};
    }
    std::vector<uint8_t> tiff = ExifTiffData(block.get(), size);
    if (tiff.empty()) {
        diag.Write("Exif block has no TIFF header, left out\n");
        return {};
    }
    ResetExifOrientation(tiff);
    return tiff;
}

std::vector<uint8_t> ExtractExifForOutput(const heif_image_handle* handle, bool stripLocation,
                                          Diagnostics& diag) {
    std::vector<uint8_t> tiff = ExtractExifForOutput(handle, diag);
    if (!stripLocation || tiff.empty()) {
        return tiff;
    }
    if (RemoveExifLocation(tiff) == LocationRemoval::kMalformed) {
        diag.Write("Exif block cannot be checked for a location, left out\n");
        return {};
    }
    return tiff;
}

} // namespace velquist
