#include "thumbnail_png.h"

#include "convert/atomic_output_file.h"
#include "convert/diagnostics.h"

#include <algorithm>
#include <csetjmp>
#include <png.h>

namespace velquist {
namespace {

void ReportPngError(png_structp png, png_const_charp message) {
    static_cast<Diagnostics*>(png_get_error_ptr(png))->Printf("libpng error: %s\n", message);
    png_longjmp(png, 1);
}

void IgnorePngWarning(png_structp, png_const_charp) {}

bool Opaque(const Thumbnail& thumbnail) {
    for (size_t i = 3; i < thumbnail.rgba.size(); i += 4) {
        if (thumbnail.rgba[i] != 255) {
            return false;
        }
    }
    return true;
}

// Holds the libpng error jump; nothing with a destructor lives in this frame.
bool Compress(const Thumbnail& thumbnail, FILE* stream, Diagnostics& diag) {
    png_structp png =
        png_create_write_struct(PNG_LIBPNG_VER_STRING, &diag, ReportPngError, IgnorePngWarning);
    png_infop info = png ? png_create_info_struct(png) : nullptr;
    if (info == nullptr) {
        png_destroy_write_struct(&png, nullptr);
        diag.Write("libpng initialization failed\n");
        return false;
    }
    if (setjmp(png_jmpbuf(png))) {
        png_destroy_write_struct(&png, &info);
        return false;
    }
    const bool opaque = Opaque(thumbnail);
    png_init_io(png, stream);
    png_set_IHDR(png, info, static_cast<png_uint_32>(thumbnail.width),
                 static_cast<png_uint_32>(thumbnail.height), 8,
                 opaque ? PNG_COLOR_TYPE_RGB : PNG_COLOR_TYPE_RGBA, PNG_INTERLACE_NONE,
                 PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    // A picture this small compresses in a blink at any level; a file manager keeps
    // thousands, so size wins over the last millisecond.
    png_set_compression_level(png, 6);
    png_write_info(png, info);
    if (opaque) {
        png_set_filler(png, 0, PNG_FILLER_AFTER); // drops the alpha byte of each pixel
    }
    const size_t rowBytes = static_cast<size_t>(thumbnail.width) * 4;
    for (int y = 0; y < thumbnail.height; ++y) {
        png_write_row(png, thumbnail.rgba.data() + static_cast<size_t>(y) * rowBytes);
    }
    png_write_end(png, nullptr);
    png_destroy_write_struct(&png, &info);
    return true;
}

} // namespace

bool WriteThumbnailPng(const Thumbnail& thumbnail, const std::string& path, std::string* error) {
    Diagnostics diag(false);
    const size_t expected = static_cast<size_t>(std::max(thumbnail.width, 0)) *
                            static_cast<size_t>(std::max(thumbnail.height, 0)) * 4;
    if (expected == 0 || thumbnail.rgba.size() != expected) {
        *error = "no picture to write";
        return false;
    }
    AtomicOutputFile file;
    const bool written =
        file.Open(path, diag) && Compress(thumbnail, file.Stream(), diag) && file.Commit(diag);
    if (!written) {
        *error = diag.Text().empty() ? "cannot write " + path : diag.Text();
        while (!error->empty() && error->back() == '\n') {
            error->pop_back();
        }
    }
    return written;
}

} // namespace velquist
