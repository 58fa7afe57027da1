#include "text.h"

namespace velquist {

namespace {

constexpr char32_t kReplacement = 0xFFFD;

bool IsScalarValue(char32_t c) {
    return c <= 0x10FFFF && (c < 0xD800 || c > 0xDFFF);
}

void AppendUtf8(std::string& out, char32_t c) {
    if (!IsScalarValue(c)) {
        c = kReplacement;
    }
    if (c < 0x80) {
        out.push_back(static_cast<char>(c));
    } else if (c < 0x800) {
        out.push_back(static_cast<char>(0xC0 | (c >> 6)));
        out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    } else if (c < 0x10000) {
        out.push_back(static_cast<char>(0xE0 | (c >> 12)));
        out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    } else {
        out.push_back(static_cast<char>(0xF0 | (c >> 18)));
        out.push_back(static_cast<char>(0x80 | ((c >> 12) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    }
}

// Length of the sequence a lead byte announces, 0 when it cannot start one.
int SequenceLength(unsigned char lead) {
    if (lead < 0x80) {
        return 1;
    }
    if (lead >= 0xC2 && lead <= 0xDF) {
        return 2;
    }
    if (lead >= 0xE0 && lead <= 0xEF) {
        return 3;
    }
    if (lead >= 0xF0 && lead <= 0xF4) {
        return 4;
    }
    return 0;
}

// Decodes one sequence at text[i]; returns its code point and advances i. Overlong forms,
// surrogates and truncated sequences give U+FFFD and consume one byte.
char32_t DecodeOne(const std::string& text, std::size_t& i);

// Lone code units that stand for one undecodable byte of a file name.
constexpr char32_t kEscapeBase = 0xDC00;

bool IsEscapedByte(char32_t c) {
    return c >= 0xDC80 && c <= 0xDCFF;
}

// As DecodeOne, but an offending byte becomes its escape code unit instead of U+FFFD.
char32_t DecodePathOne(const std::string& text, std::size_t& i) {
    const std::size_t start = i;
    const char32_t c = DecodeOne(text, i);
    if (c == kReplacement && i == start + 1) {
        return kEscapeBase + static_cast<unsigned char>(text[start]);
    }
    return c;
}

char32_t DecodeOne(const std::string& text, std::size_t& i) {
    const auto lead = static_cast<unsigned char>(text[i]);
    const int length = SequenceLength(lead);
    if (length == 1) {
        ++i;
        return lead;
    }
    if (length == 0 || i + length > text.size()) {
        ++i;
        return kReplacement;
    }
    char32_t c = lead & (0xFF >> (length + 1));
    for (int k = 1; k < length; ++k) {
        const auto next = static_cast<unsigned char>(text[i + k]);
        if ((next & 0xC0) != 0x80) {
            ++i;
            return kReplacement;
        }
        c = (c << 6) | (next & 0x3F);
    }
    static constexpr char32_t kMinimum[] = {0, 0, 0x80, 0x800, 0x10000};
    if (c < kMinimum[length] || !IsScalarValue(c)) {
        ++i;
        return kReplacement;
    }
    i += length;
    return c;
}

} // namespace

std::wstring PathToWide(const std::string& path) {
    std::wstring out;
    out.reserve(path.size());
    std::size_t i = 0;
    while (i < path.size() && path[i] != '\0') {
        out.push_back(static_cast<wchar_t>(DecodePathOne(path, i)));
    }
    return out;
}

std::string WideToPath(const std::wstring& path) {
    std::string out;
    out.reserve(path.size());
    for (wchar_t w : path) {
        if (w == L'\0') {
            break;
        }
        const auto c = static_cast<char32_t>(w);
        if (IsEscapedByte(c)) {
            out.push_back(static_cast<char>(c - kEscapeBase));
            continue;
        }
        AppendUtf8(out, c);
    }
    return out;
}

std::string WideToUtf8(const std::wstring& text) {
    std::string out;
    out.reserve(text.size());
    for (wchar_t w : text) {
        if (w == L'\0') {
            break;
        }
        AppendUtf8(out, static_cast<char32_t>(w));
    }
    return out;
}

std::string WideToAnsi(const std::wstring& text) {
    return WideToUtf8(text);
}

std::wstring AnsiToWide(const std::string& text) {
    std::wstring out;
    out.reserve(text.size());
    std::size_t i = 0;
    while (i < text.size() && text[i] != '\0') {
        out.push_back(static_cast<wchar_t>(DecodeOne(text, i)));
    }
    return out;
}

} // namespace velquist
