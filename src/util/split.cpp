#include "text.h"

#include <cstring>

namespace velquist {

std::vector<std::string> SplitString(const char* text, const char* delimiters) {
    std::vector<std::string> pieces;
    if (text == nullptr || *text == '\0') {
        return pieces;
    }
    const char* delims = delimiters == nullptr ? "" : delimiters;
    const char* p = text;
    while (*p != '\0') {
        p += std::strspn(p, delims);
        const std::size_t length = std::strcspn(p, delims);
        if (length > 0) {
            pieces.emplace_back(p, length);
        }
        p += length;
    }
    return pieces;
}

} // namespace velquist
