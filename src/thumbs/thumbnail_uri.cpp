#include "thumbnail_uri.h"

#include <algorithm>
#include <cctype>
#include <string_view>

namespace velquist {
namespace {

int HexValue(char c) {
    if (c >= '0' && c <= '9') {
        return c - '0';
    }
    const char lower = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return lower >= 'a' && lower <= 'f' ? lower - 'a' + 10 : -1;
}

std::optional<std::string> Unescape(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '%') {
            out.push_back(text[i]);
            continue;
        }
        if (i + 2 >= text.size()) {
            return std::nullopt;
        }
        const int high = HexValue(text[i + 1]);
        const int low = HexValue(text[i + 2]);
        // A NUL would cut the name short in every system call.
        if (high < 0 || low < 0 || (high == 0 && low == 0)) {
            return std::nullopt;
        }
        out.push_back(static_cast<char>(high * 16 + low));
        i += 2;
    }
    return out;
}

bool EqualsIgnoringCase(std::string_view a, std::string_view b) {
    return std::equal(a.begin(), a.end(), b.begin(), b.end(), [](char x, char y) {
        return std::tolower(static_cast<unsigned char>(x)) ==
               std::tolower(static_cast<unsigned char>(y));
    });
}

} // namespace

std::optional<std::string> LocalPathOf(const std::string& input) {
    if (input.empty() || input.find('\0') != std::string::npos) {
        return std::nullopt;
    }
    const size_t separator = input.find("://");
    // A path may hold "://" further down; only a scheme before the first slash makes a URI.
    if (separator == std::string::npos || input.find('/') < separator) {
        return input;
    }
    const std::string_view uri(input);
    if (!EqualsIgnoringCase(uri.substr(0, separator), "file")) {
        return std::nullopt;
    }
    const std::string_view rest = uri.substr(separator + 3);
    const size_t pathStart = rest.find('/');
    if (pathStart == std::string_view::npos) {
        return std::nullopt;
    }
    const std::string_view host = rest.substr(0, pathStart);
    if (!host.empty() && !EqualsIgnoringCase(host, "localhost")) {
        return std::nullopt;
    }
    return Unescape(rest.substr(pathStart));
}

} // namespace velquist
