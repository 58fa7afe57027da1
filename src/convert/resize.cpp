#include "resize.h"

#include "swscale_library.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <memory>
#include <vector>

namespace velquist {
namespace {

struct Plane {
    uint8_t* data = nullptr;
    int stride = 0; // bytes
    int width = 0;
    int height = 0;
};

struct SwsContextDeleter {
    void operator()(SwsContext* context) const { Swscale()->freeContext(context); }
};
using SwsContextPtr = std::unique_ptr<SwsContext, SwsContextDeleter>;

// One channel through libswscale as grey samples: no colour matrix or range conversion
// touches it, so YCbCr stays YCbCr and every channel keeps its values' meaning.
bool ScalePlane(const Plane& from, const Plane& to, bool wide, std::string* error) {
    const SwscaleLibrary* sws = Swscale();
    if (sws == nullptr) {
        *error = "cannot resize: " + SwscaleLoadError();
        return false;
    }
    const AVPixelFormat format = wide ? AV_PIX_FMT_GRAY16 : AV_PIX_FMT_GRAY8;
    const SwsContextPtr context(sws->getContext(from.width, from.height, format, to.width,
                                                to.height, format, SWS_LANCZOS | SWS_ACCURATE_RND,
                                                nullptr, nullptr, nullptr));
    if (!context) {
        *error = "cannot resize " + std::to_string(from.width) + "x" +
                 std::to_string(from.height) + " to " + std::to_string(to.width) + "x" +
                 std::to_string(to.height);
        return false;
    }
    const uint8_t* const source[4] = {from.data, nullptr, nullptr, nullptr};
    const int sourceStride[4] = {from.stride, 0, 0, 0};
    uint8_t* const target[4] = {to.data, nullptr, nullptr, nullptr};
    const int targetStride[4] = {to.stride, 0, 0, 0};
    sws->scale(context.get(), source, sourceStride, 0, from.height, target, targetStride);
    return true;
}

// Lanczos rings past the source's range; samples narrower than their 16-bit container
// must come back inside it.
void ClampPlane(const Plane& plane, int bits) {
    if (bits <= 8 || bits >= 16) {
        return;
    }
    const uint16_t max = static_cast<uint16_t>((1u << bits) - 1);
    for (int y = 0; y < plane.height; ++y) {
        uint8_t* row = plane.data + static_cast<size_t>(y) * plane.stride;
        for (int x = 0; x < plane.width; ++x) {
            uint16_t value = 0;
            std::memcpy(&value, row + 2 * static_cast<size_t>(x), 2);
            value = std::min(value, max);
            std::memcpy(row + 2 * static_cast<size_t>(x), &value, 2);
        }
    }
}

Plane ImagePlane(const heif_image* image, heif_channel channel) {
    Plane plane;
    plane.data = const_cast<uint8_t*>(heif_image_get_plane_readonly(image, channel, &plane.stride));
    plane.width = heif_image_get_width(image, channel);
    plane.height = heif_image_get_height(image, channel);
    return plane;
}

// A channel's size in the new image: chroma keeps its subsampling against luma.
int Subsampled(int full, int sourcePlane, int sourceFull) {
    return sourcePlane < sourceFull ? (full + 1) / 2 : full;
}

bool ResizePlanar(const heif_image* image, heif_image* out, ScaledSize size, std::string* error) {
    const int fullWidth = heif_image_get_primary_width(image);
    const int fullHeight = heif_image_get_primary_height(image);
    for (const heif_channel channel :
         {heif_channel_Y, heif_channel_Cb, heif_channel_Cr, heif_channel_R, heif_channel_G,
          heif_channel_B, heif_channel_Alpha}) {
        if (!heif_image_has_channel(image, channel)) {
            continue;
        }
        const Plane from = ImagePlane(image, channel);
        const int bits = heif_image_get_bits_per_pixel_range(image, channel);
        const int width = Subsampled(size.width, from.width, fullWidth);
        const int height = Subsampled(size.height, from.height, fullHeight);
        if (from.data == nullptr || bits < 1 || bits > 16 ||
            heif_image_add_plane(out, channel, width, height, bits).code != heif_error_Ok) {
            *error = "cannot resize: unreadable image plane";
            return false;
        }
        Plane to;
        to.data = heif_image_get_plane(out, channel, &to.stride);
        to.width = width;
        to.height = height;
        if (!ScalePlane(from, to, bits > 8, error)) {
            return false;
        }
        ClampPlane(to, bits);
    }
    return true;
}

struct Layout {
    int channels = 3;
    bool wide = false; // two bytes a sample
    bool bigEndian = false;
};

std::optional<Layout> InterleavedLayout(heif_chroma chroma) {
    switch (chroma) {
    case heif_chroma_interleaved_RGB:
        return Layout{3, false, false};
    case heif_chroma_interleaved_RGBA:
        return Layout{4, false, false};
    case heif_chroma_interleaved_RRGGBB_BE:
        return Layout{3, true, true};
    case heif_chroma_interleaved_RRGGBBAA_BE:
        return Layout{4, true, true};
    case heif_chroma_interleaved_RRGGBB_LE:
        return Layout{3, true, false};
    case heif_chroma_interleaved_RRGGBBAA_LE:
        return Layout{4, true, false};
    default:
        return std::nullopt;
    }
}

uint32_t GetSample(const uint8_t* at, const Layout& layout) {
    if (!layout.wide) {
        return at[0];
    }
    return layout.bigEndian ? (uint32_t{at[0]} << 8 | at[1]) : (uint32_t{at[1]} << 8 | at[0]);
}

void PutSample(uint8_t* at, uint32_t value, const Layout& layout) {
    if (!layout.wide) {
        at[0] = static_cast<uint8_t>(value);
        return;
    }
    const auto high = static_cast<uint8_t>(value >> 8);
    const auto low = static_cast<uint8_t>(value);
    at[0] = layout.bigEndian ? high : low;
    at[1] = layout.bigEndian ? low : high;
}

// The channels of an interleaved image, each as its own plane of native-endian samples.
class ChannelPlanes {
  public:
    ChannelPlanes(int count, int width, int height, bool wide)
        : width_(width), height_(height), sampleBytes_(wide ? 2 : 1),
          stride_((width * sampleBytes_ + 63) / 64 * 64),
          storage_(static_cast<size_t>(count) * stride_ * static_cast<size_t>(height)) {}

    Plane At(int channel) {
        const size_t planeBytes = static_cast<size_t>(stride_) * height_;
        return Plane{storage_.data() + channel * planeBytes, stride_, width_, height_};
    }
    uint32_t Get(int channel, int x, int y) {
        const uint8_t* at = At(channel).data + static_cast<size_t>(y) * stride_ + x * sampleBytes_;
        uint16_t value = at[0];
        if (sampleBytes_ == 2) {
            std::memcpy(&value, at, 2);
        }
        return value;
    }
    void Set(int channel, int x, int y, uint32_t value) {
        uint8_t* at = At(channel).data + static_cast<size_t>(y) * stride_ + x * sampleBytes_;
        const auto sample = static_cast<uint16_t>(value);
        if (sampleBytes_ == 2) {
            std::memcpy(at, &sample, 2);
        } else {
            at[0] = static_cast<uint8_t>(sample);
        }
    }

  private:
    int width_;
    int height_;
    int sampleBytes_;
    int stride_;
    std::vector<uint8_t> storage_;
};

// With weight set, colour is multiplied by alpha first: filtering then averages what is
// seen, not the colour hidden under transparent pixels.
void Split(const Plane& from, const Layout& layout, uint32_t max, bool weight,
           ChannelPlanes& planes) {
    const int pixelBytes = layout.channels * (layout.wide ? 2 : 1);
    const int sampleBytes = layout.wide ? 2 : 1;
    for (int y = 0; y < from.height; ++y) {
        const uint8_t* row = from.data + static_cast<size_t>(y) * from.stride;
        for (int x = 0; x < from.width; ++x) {
            const uint8_t* pixel = row + static_cast<size_t>(x) * pixelBytes;
            const uint32_t alpha = weight ? GetSample(pixel + 3 * sampleBytes, layout) : max;
            for (int c = 0; c < layout.channels; ++c) {
                uint32_t value = GetSample(pixel + c * sampleBytes, layout);
                if (c < 3 && weight) {
                    value = (value * alpha + max / 2) / max;
                }
                planes.Set(c, x, y, value);
            }
        }
    }
}

void Merge(ChannelPlanes& planes, const Layout& layout, uint32_t max, bool weighted,
           const Plane& to) {
    const int pixelBytes = layout.channels * (layout.wide ? 2 : 1);
    const int sampleBytes = layout.wide ? 2 : 1;
    for (int y = 0; y < to.height; ++y) {
        uint8_t* row = to.data + static_cast<size_t>(y) * to.stride;
        for (int x = 0; x < to.width; ++x) {
            uint8_t* pixel = row + static_cast<size_t>(x) * pixelBytes;
            const uint32_t alpha = weighted ? std::min(planes.Get(3, x, y), max) : max;
            for (int c = 0; c < layout.channels; ++c) {
                uint32_t value = std::min(planes.Get(c, x, y), max);
                if (c < 3 && weighted) {
                    value = alpha == 0 ? 0 : std::min(max, (value * max + alpha / 2) / alpha);
                }
                PutSample(pixel + c * sampleBytes, value, layout);
            }
        }
    }
}

bool ResizeInterleaved(const heif_image* image, heif_image* out, ScaledSize size,
                       std::string* error) {
    const std::optional<Layout> layout = InterleavedLayout(heif_image_get_chroma_format(image));
    const Plane from = ImagePlane(image, heif_channel_interleaved);
    const int bits = heif_image_get_bits_per_pixel_range(image, heif_channel_interleaved);
    if (!layout || from.data == nullptr || bits < 1 || bits > 16 ||
        heif_image_add_plane(out, heif_channel_interleaved, size.width, size.height, bits).code !=
            heif_error_Ok) {
        *error = "cannot resize: unreadable image plane";
        return false;
    }
    Plane to = ImagePlane(out, heif_channel_interleaved);
    to.data = heif_image_get_plane(out, heif_channel_interleaved, &to.stride);
    const uint32_t max = (1u << bits) - 1;
    const bool weight = layout->channels == 4 &&
                        !heif_image_is_premultiplied_alpha(const_cast<heif_image*>(image));
    ChannelPlanes source(layout->channels, from.width, from.height, layout->wide);
    ChannelPlanes scaled(layout->channels, size.width, size.height, layout->wide);
    Split(from, *layout, max, weight, source);
    for (int c = 0; c < layout->channels; ++c) {
        if (!ScalePlane(source.At(c), scaled.At(c), layout->wide, error)) {
            return false;
        }
    }
    Merge(scaled, *layout, max, weight, to);
    return true;
}

} // namespace

std::optional<ScaledSize> FitLongEdge(int width, int height, int maxSize) {
    if (maxSize <= 0 || width <= 0 || height <= 0 || std::max(width, height) <= maxSize) {
        return std::nullopt;
    }
    const auto shortEdge = [maxSize](int edge, int longEdge) {
        const std::int64_t scaled =
            (std::int64_t{edge} * maxSize + longEdge / 2) / longEdge; // rounded
        return static_cast<int>(std::max<std::int64_t>(scaled, 1));
    };
    if (width >= height) {
        return ScaledSize{maxSize, shortEdge(height, width)};
    }
    return ScaledSize{shortEdge(width, height), maxSize};
}

HeifImagePtr ResizeImage(const heif_image* image, ScaledSize size, std::string* error) {
    const heif_colorspace colorspace = heif_image_get_colorspace(image);
    const heif_chroma chroma = heif_image_get_chroma_format(image);
    heif_image* raw = nullptr;
    if (heif_image_create(size.width, size.height, colorspace, chroma, &raw).code !=
        heif_error_Ok) {
        *error = "cannot resize: no memory for the smaller image";
        return nullptr;
    }
    HeifImagePtr out(raw);
    const bool planar = colorspace != heif_colorspace_RGB || chroma == heif_chroma_444;
    const bool ok = planar ? ResizePlanar(image, out.get(), size, error)
                           : ResizeInterleaved(image, out.get(), size, error);
    if (!ok) {
        return nullptr;
    }
    heif_image_set_premultiplied_alpha(out.get(), heif_image_is_premultiplied_alpha(
                                                      const_cast<heif_image*>(image)));
    return out;
}

} // namespace velquist
