#include "hevc_decoder.h"

#include "avcodec_hevc.h"
#include "avcodec_library.h"
#include "de265_hevc.h"
#include "decoded_planes.h"
#include "hevc_decoder_testing.h"
#include "hevc_nal.h"

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <libheif/heif_plugin.h>
#include <mutex>
#include <unistd.h>
#include <vector>

namespace velquist {
namespace {

// libheif's built-in decoders have priority 100; the highest one that accepts a format wins.
constexpr int kPriority = 120;

std::atomic<bool> registered{false};
std::atomic<bool> enabled{true};
std::atomic<long> fallbacks{0};
std::atomic<long> avcodecDecodes{0};
std::atomic<bool> noticeArmed{true};
std::atomic<int> failuresToInject{0};
std::atomic<long> lastDecodeThread{0};

struct Decoder {
    std::vector<uint8_t> data;
};

const char* PluginName() {
    return "libavcodec HEVC decoder";
}

int SupportsFormat(heif_compression_format format) {
    return format == heif_compression_HEVC && enabled.load() ? kPriority : 0;
}

heif_error NewDecoder(void** decoder) {
    *decoder = new Decoder;
    return HeifOk();
}

void FreeDecoder(void* decoder) {
    delete static_cast<Decoder*>(decoder);
}

heif_error PushData(void* decoder, const void* data, size_t size) {
    const auto* bytes = static_cast<const uint8_t*>(data);
    auto& buffer = static_cast<Decoder*>(decoder)->data;
    buffer.insert(buffer.end(), bytes, bytes + size);
    return HeifOk();
}

bool InjectedFailure() {
    int left = failuresToInject.load();
    while (left > 0) {
        if (failuresToInject.compare_exchange_weak(left, left - 1)) {
            return true;
        }
    }
    return false;
}

// libavcodec is loaded with the first picture; where it cannot be, libde265 decodes all
// of them and one line says why.
bool AvcodecLoaded() {
    if (Avcodec() != nullptr) {
        return true;
    }
    static std::once_flag told;
    std::call_once(told, [] {
        std::fprintf(stderr, "libavcodec could not be loaded (%s); HEVC decoded with libde265\n",
                     AvcodecLoadError().c_str());
    });
    return false;
}

void NoteFallback() {
    ++fallbacks;
    if (noticeArmed.exchange(false)) {
        std::fprintf(stderr, "libavcodec refused HEVC data; decoded with libde265 instead\n");
    }
}

heif_error DecodeImage(void* decoder, heif_image** out) {
    *out = nullptr;
    lastDecodeThread = static_cast<long>(::gettid());
    std::vector<NalUnit> units;
    if (!SplitLengthPrefixed(static_cast<Decoder*>(decoder)->data, &units)) {
        return {heif_error_Decoder_plugin_error, heif_suberror_End_of_data,
                "HEVC data ends inside a NAL unit"};
    }
    if (!AvcodecLoaded()) {
        return DecodeWithDe265(units, out);
    }
    if (!InjectedFailure() && DecodeWithAvcodec(units, out)) {
        ++avcodecDecodes;
        return HeifOk();
    }
    NoteFallback();
    return DecodeWithDe265(units, out);
}

void SetStrictDecoding(void*, int) {}

const heif_decoder_plugin kPlugin = {
    3,                 // plugin_api_version (libheif 1.15)
    PluginName,        // get_plugin_name
    nullptr,           // init_plugin
    nullptr,           // deinit_plugin
    SupportsFormat,    // does_support_format
    NewDecoder,        // new_decoder
    FreeDecoder,       // free_decoder
    PushData,          // push_data
    DecodeImage,       // decode_image
    SetStrictDecoding, // set_strict_decoding
    "libavcodec",      // id_name
};

bool ForcedLibde265() {
    const char* value = std::getenv(kHevcDecoderVariable);
    return value != nullptr && std::strcmp(value, "libde265") == 0;
}

} // namespace

void RegisterHevcDecoder() {
    static std::once_flag once;
    std::call_once(once, [] {
        if (ForcedLibde265()) {
            return;
        }
        // Cheap: libavcodec itself is loaded by the first decode.
        if (heif_register_decoder_plugin(&kPlugin).code == heif_error_Ok) {
            registered = true;
        }
    });
}

const char* HevcDecoderName() {
    return registered.load() && enabled.load() && Avcodec() != nullptr ? "libavcodec" : "libde265";
}

void SetHevcDecoderEnabled(bool on) {
    enabled = on;
}

long HevcFallbackCount() {
    return fallbacks.load();
}

void RearmHevcFallbackNotice() {
    noticeArmed = true;
}

void FailNextAvcodecDecodes(int count) {
    failuresToInject = count;
}

long AvcodecDecodeCount() {
    return avcodecDecodes.load();
}

long LastHevcDecodeThread() {
    return lastDecodeThread.load();
}

} // namespace velquist
