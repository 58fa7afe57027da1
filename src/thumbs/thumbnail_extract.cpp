#include "thumbnail_extract.h"

#include "convert/heif_handles.h"
#include "thumbnail_scale.h"

#include <algorithm>
#include <vector>

namespace velquist {
namespace {

std::string Message(const char* what, const heif_error& error) {
    return std::string(what) + ": " + (error.message ? error.message : "unknown error");
}

HeifHandlePtr ThumbnailHandle(heif_image_handle* primary, heif_item_id id) {
    heif_image_handle* raw = nullptr;
    if (heif_image_handle_get_thumbnail(primary, id, &raw).code != heif_error_Ok) {
        return nullptr;
    }
    return HeifHandlePtr(raw);
}

int LongestSide(const heif_image_handle* handle) {
    return std::max(heif_image_handle_get_width(handle), heif_image_handle_get_height(handle));
}

// A thumbnail item without the photo's rotation of its own shows the photo on its side:
// one lying where the photo stands (or the other way round) is not used.
bool SameShape(const heif_image_handle* a, const heif_image_handle* b) {
    const int ta = heif_image_handle_get_width(a) - heif_image_handle_get_height(a);
    const int tb = heif_image_handle_get_width(b) - heif_image_handle_get_height(b);
    return ta == 0 || tb == 0 || (ta > 0) == (tb > 0);
}

// The smallest stored thumbnail that still fills maxSide, else the largest there is (or
// none, when it must fill).
HeifHandlePtr PickStoredThumbnail(heif_image_handle* primary, int maxSide, bool mustFill) {
    const int count = heif_image_handle_get_number_of_thumbnails(primary);
    if (count <= 0) {
        return nullptr;
    }
    std::vector<heif_item_id> ids(static_cast<size_t>(std::min(count, 16)));
    ids.resize(
        static_cast<size_t>(std::max(0, heif_image_handle_get_list_of_thumbnail_IDs(
                                            primary, ids.data(), static_cast<int>(ids.size())))));
    HeifHandlePtr best;
    for (heif_item_id id : ids) {
        HeifHandlePtr candidate = ThumbnailHandle(primary, id);
        if (!candidate) {
            continue;
        }
        const int side = LongestSide(candidate.get());
        const bool better = !best || (LongestSide(best.get()) < maxSide
                                          ? side > LongestSide(best.get())
                                          : side >= maxSide && side < LongestSide(best.get()));
        if (better) {
            best = std::move(candidate);
        }
    }
    if (best &&
        ((mustFill && LongestSide(best.get()) < maxSide) || !SameShape(best.get(), primary))) {
        return nullptr;
    }
    return best;
}

bool TooLarge(int width, int height, const ThumbnailLimits& limits) {
    return width <= 0 || height <= 0 || uint64_t(width) * uint64_t(height) > limits.maxDecodePixels;
}

// Decodes a handle (rotation applied) and scales it down.
ThumbnailResult DecodeSmall(const heif_image_handle* handle, const ThumbnailLimits& limits) {
    const int width = heif_image_handle_get_width(handle);
    const int height = heif_image_handle_get_height(handle);
    if (TooLarge(width, height, limits)) {
        return ThumbnailResult::Failure("image too large for a preview (" + std::to_string(width) +
                                        " x " + std::to_string(height) + ")");
    }
    const bool alpha = heif_image_handle_has_alpha_channel(handle) != 0;
    HeifDecodingOptionsPtr options(heif_decoding_options_alloc());
    options->convert_hdr_to_8bit = 1;
    heif_image* raw = nullptr;
    const heif_error error = heif_decode_image(
        handle, &raw, heif_colorspace_RGB,
        alpha ? heif_chroma_interleaved_RGBA : heif_chroma_interleaved_RGB, options.get());
    if (error.code != heif_error_Ok) {
        return ThumbnailResult::Failure(Message("cannot decode", error));
    }
    HeifImagePtr image(raw);
    const int channels = alpha ? 4 : 3;
    const PixelSize decoded{heif_image_get_width(image.get(), heif_channel_interleaved),
                            heif_image_get_height(image.get(), heif_channel_interleaved)};
    int stride = 0;
    const uint8_t* pixels =
        heif_image_get_plane_readonly(image.get(), heif_channel_interleaved, &stride);
    if (pixels == nullptr || decoded.width <= 0 || decoded.height <= 0 ||
        heif_image_get_bits_per_pixel_range(image.get(), heif_channel_interleaved) != 8 ||
        stride < decoded.width * channels) {
        return ThumbnailResult::Failure("decoder returned no usable picture");
    }
    ThumbnailResult result;
    result.ok = true;
    const PixelSize target = FitWithin(decoded.width, decoded.height, limits.maxSide);
    result.thumbnail.width = target.width;
    result.thumbnail.height = target.height;
    result.thumbnail.rgba =
        DownscaleToRgba(pixels, static_cast<size_t>(stride), channels, decoded, target);
    return result;
}

} // namespace

ThumbnailResult ExtractThumbnail(const std::string& path, const ThumbnailLimits& limits) {
    HeifContextPtr ctx(heif_context_alloc());
    if (!ctx) {
        return ThumbnailResult::Failure("out of memory");
    }
    if (limits.decodeThreads >= 0) {
        heif_context_set_max_decoding_threads(ctx.get(), limits.decodeThreads);
    }
    heif_error error = heif_context_read_from_file(ctx.get(), path.c_str(), nullptr);
    if (error.code != heif_error_Ok) {
        return ThumbnailResult::Failure(Message("cannot read", error));
    }
    heif_image_handle* raw = nullptr;
    error = heif_context_get_primary_image_handle(ctx.get(), &raw);
    if (error.code != heif_error_Ok) {
        return ThumbnailResult::Failure(Message("no primary image", error));
    }
    HeifHandlePtr primary(raw);
    const int imageCount = heif_context_get_number_of_top_level_images(ctx.get());

    ThumbnailResult result;
    if (HeifHandlePtr stored =
            PickStoredThumbnail(primary.get(), limits.maxSide, limits.storedMustFill)) {
        result = DecodeSmall(stored.get(), limits);
    }
    // A broken stored thumbnail does not make the photo broken.
    if (!result.ok) {
        result = DecodeSmall(primary.get(), limits);
    }
    result.thumbnail.imageCount = imageCount;
    return result;
}

} // namespace velquist
