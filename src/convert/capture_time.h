#pragma once

#include <cstddef>
#include <cstdint>
#include <ctime>
#include <optional>
#include <string>

namespace velquist {

// When the photo was taken, from Exif TIFF data: DateTimeOriginal of the Exif directory,
// taken at OffsetTimeOriginal when that is given and as the machine's local time when not.
// Nothing when the tag is missing, malformed or a camera's placeholder ("0000:00:00 ...").
std::optional<std::time_t> ExifCaptureTime(const std::uint8_t* tiff, std::size_t size);

// The capture time of a HEIF file: its Exif capture time, else the file's own modification
// time. Nothing when the file cannot be read at all.
std::optional<timespec> PhotoCaptureTime(const std::string& heifPath);

// Gives outputPath the capture time of inputPath as its modification time; false when
// either file cannot be reached.
bool StampCaptureTime(const std::string& inputPath, const std::string& outputPath);

} // namespace velquist
