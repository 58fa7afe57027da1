#include "avcodec_library.h"

#include "util/shared_library.h"

#include <cstdlib>
#include <dlfcn.h>
#include <memory>
#include <mutex>

namespace velquist {
namespace {

// The shared objects' names of the major versions whose headers this program was built
// with: structures such as AVFrame and AVCodecContext keep their layout within a major
// version only.
const std::string kAvcodecName = "libavcodec.so." + std::to_string(LIBAVCODEC_VERSION_MAJOR);
const std::string kAvutilName = "libavutil.so." + std::to_string(LIBAVUTIL_VERSION_MAJOR);

using LibraryPtr = SharedLibraryPtr;

struct Loaded {
    AvcodecLibrary api{};
    bool ok = false;
    std::string error;
};

template <typename F> bool Bind(void* library, const char* name, F* function, std::string* error) {
    return BindSymbol(library, name, function, error);
}

bool BindAvcodec(void* library, AvcodecLibrary* api, std::string* error) {
    return Bind(library, "avcodec_find_decoder", &api->findDecoder, error) &&
           Bind(library, "avcodec_alloc_context3", &api->allocContext, error) &&
           Bind(library, "avcodec_free_context", &api->freeContext, error) &&
           Bind(library, "avcodec_open2", &api->open, error) &&
           Bind(library, "avcodec_flush_buffers", &api->flushBuffers, error) &&
           Bind(library, "avcodec_send_packet", &api->sendPacket, error) &&
           Bind(library, "avcodec_receive_frame", &api->receiveFrame, error) &&
           Bind(library, "av_packet_alloc", &api->packetAlloc, error) &&
           Bind(library, "av_packet_free", &api->packetFree, error);
}

bool BindAvutil(void* library, AvcodecLibrary* api, std::string* error) {
    return Bind(library, "av_frame_alloc", &api->frameAlloc, error) &&
           Bind(library, "av_frame_free", &api->frameFree, error) &&
           Bind(library, "av_pix_fmt_desc_get", &api->pixFmtDescriptor, error);
}

// The library's major version must be the one of the headers.
bool SameMajor(void* library, const char* versionFunction, unsigned major, std::string* error) {
    unsigned (*version)() = nullptr;
    if (!Bind(library, versionFunction, &version, error)) {
        return false;
    }
    if (version() >> 16 == major) {
        return true;
    }
    *error = std::string(versionFunction) + " reports major version " +
             std::to_string(version() >> 16) + ", not " + std::to_string(major);
    return false;
}

LibraryPtr Open(const std::string& name, std::string* error) {
    LibraryPtr library(::dlopen(name.c_str(), RTLD_NOW | RTLD_LOCAL));
    if (!library) {
        *error = LastDlError();
    }
    return library;
}

Loaded Load() {
    Loaded loaded;
    const char* chosen = std::getenv(kAvcodecLibraryVariable);
    const std::string avcodecName = chosen != nullptr && *chosen != '\0' ? chosen : kAvcodecName;
    LibraryPtr avcodec = Open(avcodecName, &loaded.error);
    LibraryPtr avutil = avcodec ? Open(kAvutilName, &loaded.error) : nullptr;
    if (!avutil ||
        !SameMajor(avcodec.get(), "avcodec_version", LIBAVCODEC_VERSION_MAJOR, &loaded.error) ||
        !SameMajor(avutil.get(), "avutil_version", LIBAVUTIL_VERSION_MAJOR, &loaded.error) ||
        !BindAvcodec(avcodec.get(), &loaded.api, &loaded.error) ||
        !BindAvutil(avutil.get(), &loaded.api, &loaded.error)) {
        return loaded;
    }
    void (*setLogLevel)(int) = nullptr;
    if (!Bind(avutil.get(), "av_log_set_level", &setLogLevel, &loaded.error)) {
        return loaded;
    }
    // libavcodec's own messages would reach the user as diagnostic lines; a refusal is
    // reported once by the fallback instead.
    setLogLevel(AV_LOG_QUIET);
    // Decoder contexts hold the libraries' code until the process ends.
    avcodec.release();
    avutil.release();
    loaded.ok = true;
    return loaded;
}

const Loaded& Library() {
    static const Loaded loaded = Load();
    return loaded;
}

} // namespace

const AvcodecLibrary* Avcodec() {
    const Loaded& loaded = Library();
    return loaded.ok ? &loaded.api : nullptr;
}

std::string AvcodecLoadError() {
    const Loaded& loaded = Library();
    return loaded.ok ? std::string() : loaded.error;
}

} // namespace velquist
