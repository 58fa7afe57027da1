#include "log_text.h"

#include <cstdio>

namespace velquist::service {
namespace {

bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}

constexpr std::size_t kShownHead = 3;
constexpr std::size_t kShownTail = 4;

} // namespace

std::string MaskDigitRuns(std::string_view text) {
    std::string out(text);
    std::size_t i = 0;
    while (i < out.size()) {
        if (!IsDigit(out[i])) {
            ++i;
            continue;
        }
        std::size_t end = i;
        while (end < out.size() && IsDigit(out[end])) {
            ++end;
        }
        if (end - i > kShownHead + kShownTail) {
            for (std::size_t k = i + kShownHead; k < end - kShownTail; ++k) {
                out[k] = '*';
            }
        }
        i = end;
    }
    return out;
}

std::string EscapeLogField(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte <= 0x20 || byte >= 0x7f || c == '\\' || c == '"') {
            char escaped[5];
            std::snprintf(escaped, sizeof escaped, "\\x%02X", byte);
            out += escaped;
            continue;
        }
        out.push_back(c);
    }
    return out;
}

std::string LogField(std::string_view text) {
    return EscapeLogField(MaskDigitRuns(text));
}

} // namespace velquist::service
