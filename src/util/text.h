#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace velquist {

// Size text of the image list: "%dB", "%dKB", "%.2fM" or "%.2fG".
std::wstring FormatFileSize(std::int64_t size);

// The narrow code page is UTF-8 on Linux, so WideToAnsi and WideToUtf8 agree. Text that
// has no UTF-8 form (lone surrogates, values past U+10FFFF) becomes U+FFFD; nothing
// throws. Both stop at the first zero character, as the C-string based callers expect.
std::string WideToAnsi(const std::wstring& text);
std::string WideToUtf8(const std::wstring& text);

// Malformed UTF-8 sequences become U+FFFD, one per offending byte.
std::wstring AnsiToWide(const std::string& text);

// Lossless conversions for file names, which on Linux are any bytes but the zero byte.
// Names travel as bytes; these serve the wide values that hold one (the output folder in
// the configuration) and comparisons by character. Valid UTF-8 decodes as usual; each
// byte that is not part of a valid sequence becomes the lone code unit U+DC80..U+DCFF and
// turns back into the same byte. Such code units are not text: shown or sent through
// WideToUtf8 they become U+FFFD.
std::wstring PathToWide(const std::string& path);
std::string WideToPath(const std::wstring& path);

// Pieces between runs of delimiter characters; no empty pieces. Null or empty gives none.
std::vector<std::string> SplitString(const char* text, const char* delimiters);

// Standard Base64 (RFC 4648 alphabet, "=" padding, no line breaks).
std::string Base64Encode(const unsigned char* data, std::size_t length);
inline std::string Base64Encode(const std::string& bytes) {
    return Base64Encode(reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size());
}

// Decodes up to the first "=" or foreign character; a trailing partial group of 2 or 3
// characters still yields its bytes.
std::string Base64Decode(const std::string& text);

} // namespace velquist
