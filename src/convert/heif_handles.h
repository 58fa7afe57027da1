#pragma once

#include <libheif/heif.h>
#include <memory>

namespace velquist {

struct HeifContextDeleter {
    void operator()(heif_context* ctx) const { heif_context_free(ctx); }
};
struct HeifHandleDeleter {
    void operator()(heif_image_handle* handle) const { heif_image_handle_release(handle); }
};
struct HeifImageDeleter {
    void operator()(heif_image* image) const { heif_image_release(image); }
};
struct HeifDecodingOptionsDeleter {
    void operator()(heif_decoding_options* options) const { heif_decoding_options_free(options); }
};
struct HeifEncoderDeleter {
    void operator()(heif_encoder* encoder) const { heif_encoder_release(encoder); }
};
struct HeifEncodingOptionsDeleter {
    void operator()(heif_encoding_options* options) const { heif_encoding_options_free(options); }
};

using HeifContextPtr = std::unique_ptr<heif_context, HeifContextDeleter>;
using HeifHandlePtr = std::unique_ptr<heif_image_handle, HeifHandleDeleter>;
using HeifImagePtr = std::unique_ptr<heif_image, HeifImageDeleter>;
using HeifDecodingOptionsPtr = std::unique_ptr<heif_decoding_options, HeifDecodingOptionsDeleter>;
using HeifEncoderPtr = std::unique_ptr<heif_encoder, HeifEncoderDeleter>;
using HeifEncodingOptionsPtr = std::unique_ptr<heif_encoding_options, HeifEncodingOptionsDeleter>;

} // namespace velquist
