#include "diagnostics.h"

#include <cstdarg>
#include <cstdio>
#include <vector>

namespace velquist {

void Diagnostics::Write(const std::string& text) {
    text_ += text;
    if (echo_) {
        std::fputs(text.c_str(), stderr);
        std::fflush(stderr);
    }
}

void Diagnostics::Printf(const char* format, ...) {
    va_list args;
    va_start(args, format);
    va_list copy;
    va_copy(copy, args);
    const int length = std::vsnprintf(nullptr, 0, format, copy);
    va_end(copy);
    if (length < 0) {
        va_end(args);
        return;
    }
    std::vector<char> buffer(static_cast<size_t>(length) + 1);
    std::vsnprintf(buffer.data(), buffer.size(), format, args);
    va_end(args);
    Write(std::string(buffer.data(), static_cast<size_t>(length)));
}

} // namespace velquist
