#include "support/image_readers.h"

#include <csetjmp>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <jpeglib.h>
#include <png.h>

namespace velquist::test {
namespace {

struct JpegError {
    jpeg_error_mgr manager;
    std::jmp_buf jump;
    char message[JMSG_LENGTH_MAX];
};

[[noreturn]] void JpegFail(j_common_ptr cinfo) {
    auto* error = reinterpret_cast<JpegError*>(cinfo->err);
    (*cinfo->err->format_message)(cinfo, error->message);
    std::longjmp(error->jump, 1);
}

void CollectMarkers(jpeg_decompress_struct* cinfo, DecodedImage* out) {
    for (jpeg_saved_marker_ptr m = cinfo->marker_list; m != nullptr; m = m->next) {
        std::vector<uint8_t> payload(m->data, m->data + m->data_length);
        if (m->marker == JPEG_APP0 + 1) {
            out->app1.push_back(std::move(payload));
        } else if (m->marker == JPEG_APP0 + 2) {
            out->app2.push_back(std::move(payload));
        }
    }
}

bool DecodeJpeg(FILE* file, DecodedImage* out, JpegError* error) {
    jpeg_decompress_struct cinfo;
    cinfo.err = jpeg_std_error(&error->manager);
    error->manager.error_exit = JpegFail;
    if (setjmp(error->jump)) {
        jpeg_destroy_decompress(&cinfo);
        return false;
    }
    jpeg_create_decompress(&cinfo);
    jpeg_stdio_src(&cinfo, file);
    jpeg_save_markers(&cinfo, JPEG_APP0 + 1, 0xFFFF);
    jpeg_save_markers(&cinfo, JPEG_APP0 + 2, 0xFFFF);
    jpeg_read_header(&cinfo, TRUE);
    cinfo.out_color_space = JCS_RGB;
    jpeg_start_decompress(&cinfo);
    CollectMarkers(&cinfo, out);
    out->width = static_cast<int>(cinfo.output_width);
    out->height = static_cast<int>(cinfo.output_height);
    out->channels = 3;
    out->bitDepth = 8;
    out->samples.assign(static_cast<size_t>(out->width) * out->height * 3, 0);
    JSAMPARRAY row = (*cinfo.mem->alloc_sarray)(reinterpret_cast<j_common_ptr>(&cinfo), JPOOL_IMAGE,
                                                cinfo.output_width * 3, 1);
    while (cinfo.output_scanline < cinfo.output_height) {
        const size_t y = cinfo.output_scanline;
        jpeg_read_scanlines(&cinfo, row, 1);
        for (size_t i = 0; i < cinfo.output_width * 3; ++i) {
            out->samples[y * cinfo.output_width * 3 + i] = row[0][i];
        }
    }
    jpeg_finish_decompress(&cinfo);
    jpeg_destroy_decompress(&cinfo);
    return true;
}

struct PngError {
    char message[256];
};

void PngFail(png_structp png, png_const_charp message) {
    auto* error = static_cast<PngError*>(png_get_error_ptr(png));
    std::snprintf(error->message, sizeof error->message, "%s", message);
    png_longjmp(png, 1);
}

void PngWarn(png_structp, png_const_charp) {}

void ReadPngMetadata(png_structp png, png_infop info, DecodedImage* out) {
    png_charp name = nullptr;
    int compression = 0;
    png_bytep profile = nullptr;
    png_uint_32 length = 0;
    if (png_get_iCCP(png, info, &name, &compression, &profile, &length) != 0) {
        out->iccName = name;
        out->icc.assign(profile, profile + length);
    }
    png_bytep exif = nullptr;
    png_uint_32 exifLength = 0;
    if (png_get_eXIf_1(png, info, &exifLength, &exif) != 0) {
        out->exif.assign(exif, exif + exifLength);
    }
    png_color_8p sig = nullptr;
    if (png_get_sBIT(png, info, &sig) != 0) {
        out->significantBits = sig->red;
    }
}

bool DecodePng(FILE* file, DecodedImage* out, PngError* error) {
    png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, error, PngFail, PngWarn);
    png_infop info = png_create_info_struct(png);
    if (setjmp(png_jmpbuf(png))) {
        png_destroy_read_struct(&png, &info, nullptr);
        return false;
    }
    png_init_io(png, file);
    png_read_info(png, info);
    out->width = static_cast<int>(png_get_image_width(png, info));
    out->height = static_cast<int>(png_get_image_height(png, info));
    out->bitDepth = png_get_bit_depth(png, info);
    out->colorType = png_get_color_type(png, info);
    out->channels = png_get_channels(png, info);
    ReadPngMetadata(png, info, out);
    const size_t rowBytes = png_get_rowbytes(png, info);
    out->samples.assign(static_cast<size_t>(out->width) * out->height * out->channels, 0);
    png_bytep row = static_cast<png_bytep>(png_malloc(png, rowBytes));
    const size_t perRow = static_cast<size_t>(out->width) * out->channels;
    for (int y = 0; y < out->height; ++y) {
        png_read_row(png, row, nullptr);
        for (size_t i = 0; i < perRow; ++i) {
            out->samples[y * perRow + i] =
                out->bitDepth == 16 ? static_cast<uint16_t>(row[2 * i] << 8 | row[2 * i + 1])
                                    : row[i];
        }
    }
    png_free(png, row);
    png_read_end(png, nullptr);
    png_destroy_read_struct(&png, &info, nullptr);
    return true;
}

uint32_t Le32(const std::vector<uint8_t>& b, size_t at) {
    return uint32_t{b[at]} | uint32_t{b[at + 1]} << 8 | uint32_t{b[at + 2]} << 16 |
           uint32_t{b[at + 3]} << 24;
}

} // namespace

std::vector<uint8_t> ReadFileBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(in),
                                std::istreambuf_iterator<char>());
}

std::string ReadJpeg(const std::string& path, DecodedImage* out) {
    FILE* file = std::fopen(path.c_str(), "rb");
    if (file == nullptr) {
        return "cannot open " + path;
    }
    JpegError error{};
    const bool ok = DecodeJpeg(file, out, &error);
    std::fclose(file);
    return ok ? std::string() : std::string("libjpeg: ") + error.message;
}

std::string ReadPng(const std::string& path, DecodedImage* out) {
    FILE* file = std::fopen(path.c_str(), "rb");
    if (file == nullptr) {
        return "cannot open " + path;
    }
    PngError error{};
    const bool ok = DecodePng(file, out, &error);
    std::fclose(file);
    return ok ? std::string() : std::string("libpng: ") + error.message;
}

std::string ReadBmp(const std::string& path, DecodedImage* out) {
    const std::vector<uint8_t> bytes = ReadFileBytes(path);
    if (bytes.size() < 54 || bytes[0] != 'B' || bytes[1] != 'M') {
        return "not a BMP file";
    }
    const uint32_t offset = Le32(bytes, 10);
    const auto width = static_cast<int32_t>(Le32(bytes, 18));
    const auto height = static_cast<int32_t>(Le32(bytes, 22));
    if (width <= 0 || height <= 0 || offset + uint64_t{4} * width * height > bytes.size()) {
        return "BMP header does not match the file";
    }
    out->width = width;
    out->height = height;
    out->channels = 4;
    out->bitDepth = 8;
    out->samples.resize(static_cast<size_t>(width) * height * 4);
    for (int y = 0; y < height; ++y) {
        const size_t src = offset + static_cast<size_t>(height - 1 - y) * width * 4;
        for (size_t i = 0; i < static_cast<size_t>(width) * 4; ++i) {
            out->samples[static_cast<size_t>(y) * width * 4 + i] = bytes[src + i];
        }
    }
    return {};
}

} // namespace velquist::test
