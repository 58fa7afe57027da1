#include "shown_name.h"

#include <cstdio>

namespace velquist {
namespace {

// The length of the valid UTF-8 sequence at text[i] and its code point; 0 when the byte
// there starts none (stray continuation, overlong form, surrogate, past U+10FFFF).
size_t Utf8Sequence(std::string_view text, size_t i, char32_t* point) {
    const auto lead = static_cast<unsigned char>(text[i]);
    const size_t length = lead < 0x80                    ? 1
                          : lead >= 0xC2 && lead <= 0xDF ? 2
                          : lead >= 0xE0 && lead <= 0xEF ? 3
                          : lead >= 0xF0 && lead <= 0xF4 ? 4
                                                         : 0;
    if (length == 0 || text.size() - i < length) {
        return 0;
    }
    char32_t value = length == 1 ? lead : lead & (0x7Fu >> length);
    for (size_t k = 1; k < length; ++k) {
        const auto next = static_cast<unsigned char>(text[i + k]);
        if ((next & 0xC0) != 0x80) {
            return 0;
        }
        value = value << 6 | (next & 0x3Fu);
    }
    constexpr char32_t kSmallest[] = {0, 0, 0x80, 0x800, 0x10000};
    if (value < kSmallest[length] || value > 0x10FFFF || (value >= 0xD800 && value <= 0xDFFF)) {
        return 0;
    }
    *point = value;
    return length;
}

bool IsControl(char32_t c) {
    return c < 0x20 || (c >= 0x7F && c <= 0x9F);
}

void AppendEscape(std::string& out, std::string_view bytes) {
    if (bytes == "\n" || bytes == "\t") {
        out += bytes == "\n" ? "\\n" : "\\t";
        return;
    }
    for (const char c : bytes) {
        char octal[5];
        std::snprintf(octal, sizeof octal, "\\%03o", static_cast<unsigned char>(c));
        out += octal;
    }
}

// The text with its controls and stray bytes escaped; quoted also escapes the quote and
// the backslash, which the $'...' form needs. needed tells whether anything was escaped.
std::string Escape(std::string_view text, bool quoted, bool* needed) {
    std::string out;
    out.reserve(text.size() + 8);
    for (size_t i = 0; i < text.size();) {
        char32_t point = 0;
        const size_t length = Utf8Sequence(text, i, &point);
        if (length == 0 || IsControl(point)) {
            AppendEscape(out, text.substr(i, length == 0 ? 1 : length));
            *needed = true;
            i += length == 0 ? 1 : length;
            continue;
        }
        if (quoted && (point == '\'' || point == '\\')) {
            out += '\\';
            *needed = *needed || point == '\'';
        }
        out.append(text.substr(i, length));
        i += length;
    }
    return out;
}

} // namespace

std::string QuotedName(std::string_view name) {
    bool needed = false;
    const std::string escaped = Escape(name, true, &needed);
    return needed ? "$'" + escaped + "'" : std::string(name);
}

std::string EscapedControls(std::string_view text) {
    bool needed = false;
    return Escape(text, false, &needed);
}

std::wstring VisibleControls(std::wstring_view text) {
    std::wstring shown(text);
    for (wchar_t& c : shown) {
        if (c >= 0 && c < 0x20) {
            c = static_cast<wchar_t>(0x2400 + c);
        } else if (c == 0x7F) {
            c = 0x2421;
        } else if (c >= 0x80 && c <= 0x9F) {
            c = 0xFFFD;
        }
    }
    return shown;
}

} // namespace velquist
