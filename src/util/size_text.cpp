#include "text.h"

#include <cstdio>

namespace velquist {

namespace {

constexpr std::int64_t kKilo = 1024;
constexpr std::int64_t kMega = kKilo * 1024;
constexpr std::int64_t kGiga = kMega * 1024;

std::wstring Widen(const char* ascii) {
    std::wstring out;
    for (const char* p = ascii; *p != '\0'; ++p) {
        out.push_back(static_cast<wchar_t>(*p));
    }
    return out;
}

// The product is taken in single precision on purpose: sizes just below a gigabyte show
// as "1024.00M", which is what users of the list have always seen.
std::wstring ScaledText(std::int64_t size, float scale, const char* unit) {
    const float value = static_cast<float>(static_cast<double>(size)) * scale;
    char buffer[64];
    std::snprintf(buffer, sizeof buffer, "%.2f%s", static_cast<double>(value), unit);
    return Widen(buffer);
}

} // namespace

std::wstring FormatFileSize(std::int64_t size) {
    char buffer[64];
    if (size < kKilo) {
        std::snprintf(buffer, sizeof buffer, "%dB", static_cast<int>(size));
        return Widen(buffer);
    }
    if (size < kMega) {
        std::snprintf(buffer, sizeof buffer, "%dKB", static_cast<int>(size / kKilo));
        return Widen(buffer);
    }
    if (size < kGiga) {
        return ScaledText(size, 1.0f / static_cast<float>(kMega), "M");
    }
    return ScaledText(size, 1.0f / static_cast<float>(kGiga), "G");
}

} // namespace velquist
