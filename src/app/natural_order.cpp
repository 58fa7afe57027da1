#include "natural_order.h"

#include "util/text.h"

#include <algorithm>
#include <cwctype>

namespace velquist {
namespace {

bool IsDigit(wchar_t c) {
    return c >= L'0' && c <= L'9';
}

// Compares the digit runs starting at a[i] and b[j] by value and moves past
// them. <0, 0, >0. Leading zeros do not count; any length is fine.
int CompareNumbers(const std::wstring& a, std::size_t& i, const std::wstring& b, std::size_t& j) {
    while (i < a.size() && a[i] == L'0' && i + 1 < a.size() && IsDigit(a[i + 1])) {
        ++i;
    }
    while (j < b.size() && b[j] == L'0' && j + 1 < b.size() && IsDigit(b[j + 1])) {
        ++j;
    }
    std::size_t endA = i;
    std::size_t endB = j;
    while (endA < a.size() && IsDigit(a[endA])) {
        ++endA;
    }
    while (endB < b.size() && IsDigit(b[endB])) {
        ++endB;
    }
    const std::size_t lenA = endA - i;
    const std::size_t lenB = endB - j;
    int result = lenA < lenB ? -1 : (lenA > lenB ? 1 : 0);
    if (result == 0) {
        result = a.compare(i, lenA, b, j, lenB);
    }
    i = endA;
    j = endB;
    return result;
}

int NaturalCompare(const std::wstring& a, const std::wstring& b) {
    std::size_t i = 0;
    std::size_t j = 0;
    while (i < a.size() && j < b.size()) {
        if (IsDigit(a[i]) && IsDigit(b[j])) {
            if (const int c = CompareNumbers(a, i, b, j); c != 0) {
                return c;
            }
            continue;
        }
        const auto ca = std::towlower(static_cast<std::wint_t>(a[i]));
        const auto cb = std::towlower(static_cast<std::wint_t>(b[j]));
        if (ca != cb) {
            return ca < cb ? -1 : 1;
        }
        ++i;
        ++j;
    }
    if (i < a.size()) {
        return 1;
    }
    return j < b.size() ? -1 : 0;
}

} // namespace

bool NaturalLess(const std::wstring& a, const std::wstring& b) {
    const int c = NaturalCompare(a, b);
    return c != 0 ? c < 0 : a < b;
}

void SortNaturally(std::vector<ImageItem>& items) {
    // Compared as the names read (bytes that are not UTF-8 as their own units), decoded
    // once per record rather than once per comparison.
    struct Keyed {
        std::wstring subFolder;
        std::wstring fileName;
        ImageItem item;
    };
    std::vector<Keyed> keyed;
    keyed.reserve(items.size());
    for (ImageItem& item : items) {
        keyed.push_back({PathToWide(item.subFolder), PathToWide(item.fileName), std::move(item)});
    }
    // A tree's files by folder (the folder's own first), then by name within each.
    std::stable_sort(keyed.begin(), keyed.end(), [](const Keyed& x, const Keyed& y) {
        if (x.subFolder != y.subFolder) {
            return NaturalLess(x.subFolder, y.subFolder);
        }
        return NaturalLess(x.fileName, y.fileName);
    });
    for (std::size_t i = 0; i < keyed.size(); ++i) {
        items[i] = std::move(keyed[i].item);
    }
}

} // namespace velquist
