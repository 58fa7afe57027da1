#include "support/heic_fixture.h"

#include "convert/heif_handles.h"

#include <algorithm>
#include <cstring>
#include <fstream>
#include <iterator>
#include <memory>

namespace velquist::test {
namespace {

using HandlePtr = HeifHandlePtr;

constexpr int kEncoderQuality = 95;

int Scale(int value8, int bitDepth) {
    const int max = (1 << bitDepth) - 1;
    return (value8 * max + 127) / 255;
}

void Put(uint8_t* row, int x, int channels, int bytesPerSample, int c, int value) {
    uint8_t* p = row + (static_cast<size_t>(x) * channels + c) * bytesPerSample;
    if (bytesPerSample == 1) {
        *p = static_cast<uint8_t>(value);
        return;
    }
    const auto v = static_cast<uint16_t>(value);
    std::memcpy(p, &v, 2);
}

std::string FillInterleaved(heif_image* image, const HeicImageSpec& spec) {
    const int channels = spec.alpha ? 4 : 3;
    if (heif_image_add_plane(image, heif_channel_interleaved, spec.width, spec.height, 8).code !=
        heif_error_Ok) {
        return "cannot add plane";
    }
    int stride = 0;
    uint8_t* plane = heif_image_get_plane(image, heif_channel_interleaved, &stride);
    for (int y = 0; y < spec.height; ++y) {
        uint8_t* row = plane + static_cast<size_t>(y) * stride;
        for (int x = 0; x < spec.width; ++x) {
            const Rgb c = QuadrantColor(QuadrantAt(x, y, spec.width, spec.height));
            Put(row, x, channels, 1, 0, c.r);
            Put(row, x, channels, 1, 1, c.g);
            Put(row, x, channels, 1, 2, c.b);
            if (spec.alpha) {
                Put(row, x, channels, 1, 3, spec.alphaValue);
            }
        }
    }
    return {};
}

std::string FillPlanar(heif_image* image, const HeicImageSpec& spec) {
    const heif_channel channels[] = {heif_channel_R, heif_channel_G, heif_channel_B,
                                     heif_channel_Alpha};
    const int count = spec.alpha ? 4 : 3;
    for (int c = 0; c < count; ++c) {
        if (heif_image_add_plane(image, channels[c], spec.width, spec.height, spec.bitDepth).code !=
            heif_error_Ok) {
            return "cannot add plane";
        }
        int stride = 0;
        uint8_t* plane = heif_image_get_plane(image, channels[c], &stride);
        for (int y = 0; y < spec.height; ++y) {
            uint8_t* row = plane + static_cast<size_t>(y) * stride;
            for (int x = 0; x < spec.width; ++x) {
                const Rgb rgb = QuadrantColor(QuadrantAt(x, y, spec.width, spec.height));
                const int value8 = c == 0   ? rgb.r
                                   : c == 1 ? rgb.g
                                   : c == 2 ? rgb.b
                                            : spec.alphaValue;
                Put(row, x, 1, 2, 0, Scale(value8, spec.bitDepth));
            }
        }
    }
    return {};
}

std::string EncodeOne(heif_context* ctx, heif_encoder* encoder, const HeicImageSpec& spec,
                      HandlePtr* out) {
    const bool deep = spec.bitDepth > 8;
    const heif_chroma chroma = deep         ? heif_chroma_444
                               : spec.alpha ? heif_chroma_interleaved_RGBA
                                            : heif_chroma_interleaved_RGB;
    heif_image* raw = nullptr;
    heif_error error =
        heif_image_create(spec.width, spec.height, heif_colorspace_RGB, chroma, &raw);
    HeifImagePtr image(raw);
    if (error.code != heif_error_Ok) {
        return error.message;
    }
    std::string failure = deep ? FillPlanar(image.get(), spec) : FillInterleaved(image.get(), spec);
    if (!failure.empty()) {
        return failure;
    }
    if (!spec.icc.empty()) {
        heif_image_set_raw_color_profile(image.get(), "prof", spec.icc.data(), spec.icc.size());
    }
    HeifEncodingOptionsPtr options(heif_encoding_options_alloc());
    options->image_orientation = spec.orientation;
    heif_image_handle* handle = nullptr;
    error = heif_context_encode_image(ctx, image.get(), encoder, options.get(), &handle);
    out->reset(handle);
    return error.code == heif_error_Ok ? std::string() : error.message;
}

std::string AddExif(heif_context* ctx, heif_image_handle* handle, const HeicImageSpec& spec) {
    std::vector<const std::vector<uint8_t>*> verbatim;
    if (!spec.exif.empty()) {
        if (spec.exifStorage == ExifStorage::kLibheif) {
            const heif_error e = heif_context_add_exif_metadata(ctx, handle, spec.exif.data(),
                                                                static_cast<int>(spec.exif.size()));
            if (e.code != heif_error_Ok) {
                return e.message;
            }
        } else {
            verbatim.push_back(&spec.exif);
        }
    }
    for (const auto& block : spec.extraExifBlocks) {
        verbatim.push_back(&block);
    }
    for (const auto* block : verbatim) {
        const heif_error e = heif_context_add_generic_metadata(
            ctx, handle, block->data(), static_cast<int>(block->size()), "Exif", nullptr);
        if (e.code != heif_error_Ok) {
            return e.message;
        }
    }
    return {};
}

} // namespace

Rgb QuadrantColor(Quadrant quadrant) {
    switch (quadrant) {
    case kTopLeft:
        return {220, 40, 40};
    case kTopRight:
        return {40, 200, 60};
    case kBottomLeft:
        return {40, 60, 210};
    case kBottomRight:
        return {235, 235, 235};
    }
    return {};
}

Quadrant QuadrantAt(int x, int y, int width, int height) {
    const bool right = x >= (width + 1) / 2;
    const bool bottom = y >= (height + 1) / 2;
    if (bottom) {
        return right ? kBottomRight : kBottomLeft;
    }
    return right ? kTopRight : kTopLeft;
}

std::string WriteHeic(const std::string& path, const std::vector<HeicImageSpec>& images,
                      int primary) {
    HeifContextPtr ctx(heif_context_alloc());
    heif_encoder* rawEncoder = nullptr;
    heif_error error =
        heif_context_get_encoder_for_format(ctx.get(), heif_compression_HEVC, &rawEncoder);
    HeifEncoderPtr encoder(rawEncoder);
    if (error.code != heif_error_Ok) {
        return error.message;
    }
    heif_encoder_set_lossy_quality(encoder.get(), kEncoderQuality);
    heif_encoder_set_parameter_string(encoder.get(), "chroma", "444");
    std::vector<HandlePtr> handles;
    for (const HeicImageSpec& spec : images) {
        HandlePtr handle;
        std::string failure = EncodeOne(ctx.get(), encoder.get(), spec, &handle);
        if (failure.empty()) {
            failure = AddExif(ctx.get(), handle.get(), spec);
        }
        if (!failure.empty()) {
            return failure;
        }
        handles.push_back(std::move(handle));
    }
    if (primary > 0 && primary < static_cast<int>(handles.size())) {
        error =
            heif_context_set_primary_image(ctx.get(), handles[static_cast<size_t>(primary)].get());
        if (error.code != heif_error_Ok) {
            return error.message;
        }
    }
    error = heif_context_write_to_file(ctx.get(), path.c_str());
    return error.code == heif_error_Ok ? std::string() : error.message;
}

std::string WriteHeic(const std::string& path, const HeicImageSpec& image) {
    return WriteHeic(path, std::vector<HeicImageSpec>{image}, 0);
}

std::vector<uint8_t> MakeTiffExif(bool littleEndian, int orientation, size_t minSize) {
    std::vector<uint8_t> t;
    auto put16 = [&](unsigned v) {
        const uint8_t lo = static_cast<uint8_t>(v), hi = static_cast<uint8_t>(v >> 8);
        t.push_back(littleEndian ? lo : hi);
        t.push_back(littleEndian ? hi : lo);
    };
    auto put32 = [&](uint32_t v) {
        put16(littleEndian ? v & 0xFFFF : v >> 16);
        put16(littleEndian ? v >> 16 : v & 0xFFFF);
    };
    t.push_back(littleEndian ? 'I' : 'M');
    t.push_back(littleEndian ? 'I' : 'M');
    put16(42);
    put32(8);
    const unsigned entries = orientation != 0 ? 2 : 1;
    put16(entries);
    const uint32_t makeOffset = 8 + 2 + entries * 12 + 4;
    put16(0x010F); // Make, ASCII, 8 bytes stored after the IFD
    put16(2);
    put32(8);
    put32(makeOffset);
    if (orientation != 0) {
        put16(0x0112);
        put16(3);
        put32(1);
        put16(static_cast<unsigned>(orientation));
        put16(0);
    }
    put32(0); // no next IFD
    for (char c : std::string("Velqst\0", 8)) {
        t.push_back(static_cast<uint8_t>(c));
    }
    for (size_t i = 0; t.size() < minSize; ++i) {
        t.push_back(static_cast<uint8_t>(i * 7));
    }
    return t;
}

std::vector<uint8_t> MakeIccProfile(size_t size) {
    size = std::max<size_t>(size, 132);
    std::vector<uint8_t> p(size, 0);
    auto put32 = [&](size_t at, uint32_t v) {
        for (int i = 0; i < 4; ++i) {
            p[at + i] = static_cast<uint8_t>(v >> (24 - 8 * i));
        }
    };
    auto put4 = [&](size_t at, const char* s) { std::memcpy(&p[at], s, 4); };
    put32(0, static_cast<uint32_t>(size));
    put32(8, 0x02100000); // version 2.1
    put4(12, "mntr");
    put4(16, "RGB ");
    put4(20, "XYZ ");
    put4(36, "acsp");
    put32(68, 0x0000F6D6); // D50
    put32(72, 0x00010000);
    put32(76, 0x0000D32D);
    put32(128, 0); // no tags
    for (size_t i = 132; i < size; ++i) {
        p[i] = static_cast<uint8_t>(i * 13);
    }
    return p;
}

namespace {

std::vector<uint8_t> ReadAll(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), {});
}

bool WriteAll(const std::string& path, const std::vector<uint8_t>& bytes) {
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char*>(bytes.data()),
              static_cast<std::streamsize>(bytes.size()));
    return static_cast<bool>(out);
}

void Put32(std::vector<uint8_t>& bytes, size_t at, uint32_t value) {
    for (int i = 0; i < 4; ++i) {
        bytes[at + static_cast<size_t>(i)] = static_cast<uint8_t>(value >> (24 - 8 * i));
    }
}

size_t Find(const std::vector<uint8_t>& bytes, const std::vector<uint8_t>& needle) {
    const auto it = std::search(bytes.begin(), bytes.end(), needle.begin(), needle.end());
    return it == bytes.end() ? std::string::npos : static_cast<size_t>(it - bytes.begin());
}

std::vector<uint8_t> Be32(const char* fourcc, std::initializer_list<uint32_t> values) {
    std::vector<uint8_t> out(fourcc, fourcc + std::strlen(fourcc));
    for (const uint32_t v : values) {
        for (int i = 0; i < 4; ++i) {
            out.push_back(static_cast<uint8_t>(v >> (24 - 8 * i)));
        }
    }
    return out;
}

} // namespace

std::string RewriteBrands(const std::string& in, const std::string& out, const std::string& major,
                          const std::vector<std::string>& brands) {
    std::vector<uint8_t> bytes = ReadAll(in);
    if (bytes.size() < 16 || std::memcmp(&bytes[4], "ftyp", 4) != 0 || major.size() != 4) {
        return "no ftyp box at the start";
    }
    const size_t boxSize =
        static_cast<size_t>(bytes[0]) << 24 | bytes[1] << 16 | bytes[2] << 8 | bytes[3];
    std::memcpy(&bytes[8], major.data(), 4);
    if (boxSize < 16 || boxSize > bytes.size()) {
        return "malformed ftyp box";
    }
    for (size_t at = 16, i = 0; !brands.empty() && at + 4 <= boxSize; at += 4, ++i) {
        std::memcpy(&bytes[at], brands[i % brands.size()].data(), 4);
    }
    return WriteAll(out, bytes) ? "" : "cannot write " + out;
}

std::string ForgeGridSize(const std::string& in, const std::string& out, uint32_t oldWidth,
                          uint32_t oldHeight, uint16_t width, uint16_t height) {
    std::vector<uint8_t> bytes = ReadAll(in);
    const size_t ispe = Find(bytes, Be32("ispe", {0, oldWidth, oldHeight}));
    const size_t idat = Find(bytes, {'i', 'd', 'a', 't'});
    if (ispe == std::string::npos || idat == std::string::npos || idat + 12 > bytes.size()) {
        return "no grid of that size";
    }
    const size_t grid = idat + 4; // version, flags, rows-1, columns-1, 16-bit sizes
    if ((bytes[grid + 1] & 1) != 0 ||
        static_cast<uint32_t>(bytes[grid + 4] << 8 | bytes[grid + 5]) != oldWidth) {
        return "the grid is not stored as expected";
    }
    bytes[grid + 4] = static_cast<uint8_t>(width >> 8);
    bytes[grid + 5] = static_cast<uint8_t>(width);
    bytes[grid + 6] = static_cast<uint8_t>(height >> 8);
    bytes[grid + 7] = static_cast<uint8_t>(height);
    Put32(bytes, ispe + 8, width);
    Put32(bytes, ispe + 12, height);
    return WriteAll(out, bytes) ? "" : "cannot write " + out;
}

} // namespace velquist::test

// x265 keeps one small allocation per encoder for the life of the process; LeakSanitizer
// in sanitizer builds should not blame the tests that encode fixtures for it.
extern "C" const char* __lsan_default_suppressions() {
    return "leak:libx265.so\n";
}
