#include "swscale_library.h"

#include "util/shared_library.h"

#include <dlfcn.h>
#include <memory>

namespace velquist {
namespace {

// The major version of the headers: SwsContext's users depend on its ABI.
const std::string kSwscaleName = "libswscale.so." + std::to_string(LIBSWSCALE_VERSION_MAJOR);

using LibraryPtr = SharedLibraryPtr;

struct Loaded {
    SwscaleLibrary api{};
    bool ok = false;
    std::string error;
};

template <typename F> bool Bind(void* library, const char* name, F* function, std::string* error) {
    return BindSymbol(library, name, function, error);
}

bool SameMajor(void* library, std::string* error) {
    unsigned (*version)() = nullptr;
    if (!Bind(library, "swscale_version", &version, error)) {
        return false;
    }
    if (version() >> 16 == LIBSWSCALE_VERSION_MAJOR) {
        return true;
    }
    *error = "swscale_version reports major version " + std::to_string(version() >> 16) +
             ", not " + std::to_string(LIBSWSCALE_VERSION_MAJOR);
    return false;
}

Loaded Load() {
    Loaded loaded;
    LibraryPtr library(::dlopen(kSwscaleName.c_str(), RTLD_NOW | RTLD_LOCAL));
    if (!library) {
        loaded.error = LastDlError();
        return loaded;
    }
    if (!SameMajor(library.get(), &loaded.error) ||
        !Bind(library.get(), "sws_getContext", &loaded.api.getContext, &loaded.error) ||
        !Bind(library.get(), "sws_scale", &loaded.api.scale, &loaded.error) ||
        !Bind(library.get(), "sws_freeContext", &loaded.api.freeContext, &loaded.error)) {
        return loaded;
    }
    // Stays loaded until the process ends: contexts may be freed by any later call.
    library.release();
    loaded.ok = true;
    return loaded;
}

const Loaded& Library() {
    static const Loaded loaded = Load();
    return loaded;
}

} // namespace

const SwscaleLibrary* Swscale() {
    const Loaded& loaded = Library();
    return loaded.ok ? &loaded.api : nullptr;
}

std::string SwscaleLoadError() {
    const Loaded& loaded = Library();
    return loaded.ok ? std::string() : loaded.error;
}

} // namespace velquist
