#include "bmp_encoder.h"

#include "atomic_output_file.h"
#include "flatten_alpha.h"
#include "util/shown_name.h"

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <limits>
#include <vector>

namespace velquist {
namespace {

constexpr uint32_t kHeadersSize = 54;

void Put16(uint8_t* out, uint16_t value) {
    out[0] = static_cast<uint8_t>(value);
    out[1] = static_cast<uint8_t>(value >> 8);
}

void Put32(uint8_t* out, uint32_t value) {
    for (int i = 0; i < 4; ++i) {
        out[i] = static_cast<uint8_t>(value >> (8 * i));
    }
}

std::vector<uint8_t> Headers(uint32_t width, uint32_t height, uint32_t imageSize) {
    std::vector<uint8_t> h(kHeadersSize, 0);
    h[0] = 'B';
    h[1] = 'M';
    Put32(&h[2], kHeadersSize + imageSize);
    Put32(&h[10], kHeadersSize);
    Put32(&h[14], 40);
    Put32(&h[18], width);
    Put32(&h[22], height);
    Put16(&h[26], 1);
    Put16(&h[28], 32);
    Put32(&h[34], imageSize);
    return h;
}

// Rows go out bottom-up as blue, green, red, alpha. A photo with transparency is
// composited over white first: BMP readers mostly ignore the fourth byte and would show
// whatever colour the transparent pixels happen to hold.
bool WritePixels(FILE* stream, const RgbaRows& rows, bool flatten) {
    const size_t rowBytes = static_cast<size_t>(rows.width) * 4;
    std::vector<uint8_t> row(rowBytes);
    for (int y = rows.height; y-- > 0;) {
        const uint8_t* src = rows.data + static_cast<size_t>(y) * rows.stride;
        if (flatten) {
            FlattenRowOverWhite(rows, y, row.data(), 4);
            src = row.data();
        }
        for (size_t i = 0; i < rowBytes; i += 4) {
            const uint8_t red = src[i];
            row[i + 1] = src[i + 1];
            row[i + 3] = src[i + 3];
            row[i] = src[i + 2];
            row[i + 2] = red;
        }
        if (std::fwrite(row.data(), 1, rowBytes, stream) != rowBytes) {
            return false;
        }
    }
    return true;
}

} // namespace

heif_colorspace BmpEncoder::PreferredColorspace(bool) const {
    return heif_colorspace_RGB;
}

heif_chroma BmpEncoder::PreferredChroma(bool hasAlpha, int bitDepth) const {
    // Deep samples keep their precision until the composite is rounded to 8 bits.
    return hasAlpha && bitDepth > 8 ? heif_chroma_interleaved_RRGGBBAA_LE
                                    : heif_chroma_interleaved_RGBA;
}

bool BmpEncoder::WriteImage(const heif_image_handle* handle, const heif_image* image,
                            const std::string& path, Diagnostics& diag) {
    RgbaRows rows;
    if (!GetRgbaRows(handle, image, &rows)) {
        diag.Write("BMP writer needs an interleaved 8-bit RGBA image\n");
        return false;
    }
    const bool flatten = rows.bits > 8 || heif_image_handle_has_alpha_channel(handle) != 0;
    // The size fields are 32 bits wide.
    const uint64_t imageSize =
        uint64_t{static_cast<uint32_t>(rows.width)} * static_cast<uint32_t>(rows.height) * 4;
    if (imageSize > std::numeric_limits<uint32_t>::max() - kHeadersSize) {
        diag.Printf("BMP writer cannot hold an image of %dx%d pixels\n", rows.width, rows.height);
        return false;
    }
    AtomicOutputFile file;
    if (!file.Open(path, diag)) {
        return false;
    }
    const std::vector<uint8_t> headers =
        Headers(static_cast<uint32_t>(rows.width), static_cast<uint32_t>(rows.height),
                static_cast<uint32_t>(imageSize));
    if (std::fwrite(headers.data(), 1, headers.size(), file.Stream()) != headers.size() ||
        !WritePixels(file.Stream(), rows, flatten)) {
        const int error = errno;
        diag.NoteSystemError(error);
        diag.Printf("Error writing %s: %s\n", QuotedName(path).c_str(), std::strerror(error));
        return false;
    }
    return file.Commit(diag);
}

} // namespace velquist
