#pragma once

#include <dlfcn.h>
#include <memory>
#include <string>

namespace velquist {

// A library opened with dlopen, closed with its owner.
struct SharedLibraryCloser {
    void operator()(void* handle) const { ::dlclose(handle); }
};
using SharedLibraryPtr = std::unique_ptr<void, SharedLibraryCloser>;

inline std::string LastDlError() {
    const char* error = ::dlerror();
    return error != nullptr ? error : "unknown error";
}

// Looks name up in library as a function of type F; on failure *error says why.
template <typename F>
bool BindSymbol(void* library, const char* name, F* function, std::string* error) {
    ::dlerror();
    void* symbol = ::dlsym(library, name);
    if (symbol == nullptr) {
        *error = LastDlError();
        return false;
    }
    *function = reinterpret_cast<F>(symbol);
    return true;
}

} // namespace velquist
