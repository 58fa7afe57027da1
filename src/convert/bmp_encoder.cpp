#include "bmp_encoder.h"

#include "atomic_output_file.h"

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

bool WritePixels(FILE* stream, const uint8_t* plane, int stride, uint32_t width, uint32_t height) {
    std::vector<uint8_t> row(static_cast<size_t>(width) * 4);
    for (uint32_t y = height; y-- > 0;) {
        const uint8_t* src = plane + static_cast<size_t>(y) * stride;
        for (size_t i = 0; i < row.size(); i += 4) {
            row[i] = src[i + 2];
            row[i + 1] = src[i + 1];
            row[i + 2] = src[i];
            row[i + 3] = src[i + 3];
        }
        if (std::fwrite(row.data(), 1, row.size(), stream) != row.size()) {
            return false;
        }
    }
    return true;
}

} // namespace

heif_colorspace BmpEncoder::PreferredColorspace(bool) const {
    return heif_colorspace_RGB;
}

heif_chroma BmpEncoder::PreferredChroma(bool, int) const {
    return heif_chroma_interleaved_RGBA;
}

bool BmpEncoder::WriteImage(const heif_image_handle*, const heif_image* image,
                            const std::string& path, Diagnostics& diag) {
    int stride = 0;
    const uint8_t* plane = heif_image_get_plane_readonly(image, heif_channel_interleaved, &stride);
    const int width = heif_image_get_width(image, heif_channel_interleaved);
    const int height = heif_image_get_height(image, heif_channel_interleaved);
    if (plane == nullptr || width <= 0 || height <= 0 ||
        heif_image_get_bits_per_pixel_range(image, heif_channel_interleaved) != 8) {
        diag.Write("BMP writer needs an interleaved 8-bit RGBA image\n");
        return false;
    }
    // The size fields are 32 bits wide.
    const uint64_t imageSize =
        uint64_t{static_cast<uint32_t>(width)} * static_cast<uint32_t>(height) * 4;
    if (imageSize > std::numeric_limits<uint32_t>::max() - kHeadersSize) {
        diag.Printf("BMP writer cannot hold an image of %dx%d pixels\n", width, height);
        return false;
    }
    AtomicOutputFile file;
    if (!file.Open(path, diag)) {
        return false;
    }
    const std::vector<uint8_t> headers =
        Headers(static_cast<uint32_t>(width), static_cast<uint32_t>(height),
                static_cast<uint32_t>(imageSize));
    if (std::fwrite(headers.data(), 1, headers.size(), file.Stream()) != headers.size() ||
        !WritePixels(file.Stream(), plane, stride, static_cast<uint32_t>(width),
                     static_cast<uint32_t>(height))) {
        const int error = errno;
        diag.NoteSystemError(error);
        diag.Printf("Error writing %s: %s\n", path.c_str(), std::strerror(error));
        return false;
    }
    return file.Commit(diag);
}

} // namespace velquist
