#include "capture_time.h"

#include "exif_block.h"
#include "heif_header.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <vector>

namespace velquist {
namespace {

constexpr std::uint16_t kExifDirectoryTag = 0x8769;
constexpr std::uint16_t kDateTimeOriginalTag = 0x9003;
constexpr std::uint16_t kOffsetTimeOriginalTag = 0x9011;
constexpr std::uint16_t kTypeAscii = 2;
constexpr std::uint16_t kTypeLong = 4;

// Bounds-checked reads in the byte order the TIFF header names.
class Tiff {
  public:
    Tiff(const std::uint8_t* data, std::size_t size) : data_(data), size_(size) {
        little_ = size >= 8 && data[0] == 'I' && data[1] == 'I';
        valid_ = size >= 8 && ((little_ && data[2] == 42 && data[3] == 0) ||
                               (data[0] == 'M' && data[1] == 'M' && data[2] == 0 && data[3] == 42));
    }
    bool Valid() const { return valid_; }

    bool Read(std::size_t at, int bytes, std::uint32_t* value) const {
        if (at > size_ || static_cast<std::size_t>(bytes) > size_ - at) {
            return false;
        }
        *value = 0;
        for (int i = 0; i < bytes; ++i) {
            const std::uint32_t byte = data_[at + static_cast<std::size_t>(i)];
            *value |= little_ ? byte << (8 * i) : byte << (8 * (bytes - 1 - i));
        }
        return true;
    }

    // The ASCII value of tag in the directory at offset, without its terminator.
    std::optional<std::string> Text(std::uint32_t directory, std::uint16_t tag) const {
        std::uint32_t type = 0;
        std::uint32_t count = 0;
        std::uint32_t at = 0;
        if (!Find(directory, tag, &type, &count, &at) || type != kTypeAscii || count == 0) {
            return std::nullopt;
        }
        std::uint32_t start = at;
        if (count > 4 && !Read(at, 4, &start)) {
            return std::nullopt;
        }
        if (start > size_ || count > size_ - start) {
            return std::nullopt;
        }
        std::string text(reinterpret_cast<const char*>(data_) + start, count);
        text.resize(text.find('\0') == std::string::npos ? text.size() : text.find('\0'));
        return text;
    }

    std::optional<std::uint32_t> Pointer(std::uint32_t directory, std::uint16_t tag) const {
        std::uint32_t type = 0;
        std::uint32_t count = 0;
        std::uint32_t at = 0;
        std::uint32_t value = 0;
        if (!Find(directory, tag, &type, &count, &at) || type != kTypeLong || count != 1 ||
            !Read(at, 4, &value)) {
            return std::nullopt;
        }
        return value;
    }

  private:
    // *at: where the entry's value field is.
    bool Find(std::uint32_t directory, std::uint16_t tag, std::uint32_t* type, std::uint32_t* count,
              std::uint32_t* at) const {
        std::uint32_t entries = 0;
        if (!Read(directory, 2, &entries)) {
            return false;
        }
        for (std::uint32_t i = 0; i < entries; ++i) {
            const std::size_t entry = std::size_t{directory} + 2 + std::size_t{i} * 12;
            std::uint32_t entryTag = 0;
            if (!Read(entry, 2, &entryTag) || !Read(entry + 2, 2, type) ||
                !Read(entry + 4, 4, count)) {
                return false;
            }
            if (entryTag == tag) {
                *at = static_cast<std::uint32_t>(entry + 8);
                return true;
            }
        }
        return false;
    }

    const std::uint8_t* data_;
    std::size_t size_;
    bool little_ = false;
    bool valid_ = false;
};

bool Number(const std::string& text, std::size_t at, std::size_t digits, int* value) {
    *value = 0;
    for (std::size_t i = at; i < at + digits; ++i) {
        if (i >= text.size() || text[i] < '0' || text[i] > '9') {
            return false;
        }
        *value = *value * 10 + (text[i] - '0');
    }
    return true;
}

// "YYYY:MM:DD HH:MM:SS"
std::optional<std::tm> ParseDateTime(const std::string& text) {
    std::tm tm{};
    int year = 0;
    int month = 0;
    if (text.size() < 19 || text[4] != ':' || text[7] != ':' || text[10] != ' ' ||
        text[13] != ':' || text[16] != ':' || !Number(text, 0, 4, &year) ||
        !Number(text, 5, 2, &month) || !Number(text, 8, 2, &tm.tm_mday) ||
        !Number(text, 11, 2, &tm.tm_hour) || !Number(text, 14, 2, &tm.tm_min) ||
        !Number(text, 17, 2, &tm.tm_sec)) {
        return std::nullopt;
    }
    if (year < 1900 || month < 1 || month > 12 || tm.tm_mday < 1 || tm.tm_mday > 31 ||
        tm.tm_hour > 23 || tm.tm_min > 59 || tm.tm_sec > 60) {
        return std::nullopt;
    }
    tm.tm_year = year - 1900;
    tm.tm_mon = month - 1;
    tm.tm_isdst = -1;
    return tm;
}

// "+HH:MM" or "-HH:MM" -> seconds east of UTC.
std::optional<long> ParseOffset(const std::string& text) {
    int hours = 0;
    int minutes = 0;
    if (text.size() < 6 || (text[0] != '+' && text[0] != '-') || text[3] != ':' ||
        !Number(text, 1, 2, &hours) || !Number(text, 4, 2, &minutes) || hours > 14 ||
        minutes > 59) {
        return std::nullopt;
    }
    const long seconds = hours * 3600L + minutes * 60L;
    return text[0] == '-' ? -seconds : seconds;
}

} // namespace

std::optional<std::time_t> ExifCaptureTime(const std::uint8_t* tiff, std::size_t size) {
    const Tiff reader(tiff, size);
    std::uint32_t ifd0 = 0;
    if (!reader.Valid() || !reader.Read(4, 4, &ifd0)) {
        return std::nullopt;
    }
    const std::optional<std::uint32_t> exif = reader.Pointer(ifd0, kExifDirectoryTag);
    if (!exif) {
        return std::nullopt;
    }
    const std::optional<std::string> when = reader.Text(*exif, kDateTimeOriginalTag);
    std::optional<std::tm> tm = when ? ParseDateTime(*when) : std::nullopt;
    if (!tm) {
        return std::nullopt;
    }
    const std::optional<std::string> offsetText = reader.Text(*exif, kOffsetTimeOriginalTag);
    const std::optional<long> offset = offsetText ? ParseOffset(*offsetText) : std::nullopt;
    if (offset) {
        return ::timegm(&*tm) - *offset;
    }
    const std::time_t local = std::mktime(&*tm);
    return local == static_cast<std::time_t>(-1) ? std::nullopt : std::optional(local);
}

std::optional<timespec> PhotoCaptureTime(const std::string& heifPath) {
    struct stat info {};
    if (::stat(heifPath.c_str(), &info) != 0) {
        return std::nullopt;
    }
    const std::string block = ReadHeifExifItem(heifPath);
    const std::vector<std::uint8_t> tiff =
        ExifTiffData(reinterpret_cast<const std::uint8_t*>(block.data()), block.size());
    if (const auto taken = ExifCaptureTime(tiff.data(), tiff.size())) {
        return timespec{*taken, 0};
    }
    return info.st_mtim;
}

bool StampCaptureTime(const std::string& inputPath, const std::string& outputPath) {
    const std::optional<timespec> taken = PhotoCaptureTime(inputPath);
    if (!taken) {
        return false;
    }
    const timespec times[2] = {{0, UTIME_OMIT}, *taken};
    return ::utimensat(AT_FDCWD, outputPath.c_str(), times, 0) == 0;
}

} // namespace velquist
