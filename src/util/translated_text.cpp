#include "util/translated_text.h"

#include "util/text.h"

#include <atomic>
#include <vector>

namespace velquist {
namespace {

std::atomic<TextTranslator> g_translator{nullptr};

} // namespace

void SetTextTranslator(TextTranslator translator) {
    g_translator.store(translator);
}

std::wstring TranslatedText(const char* source) {
    const TextTranslator translator = g_translator.load();
    return translator != nullptr ? translator(source) : AnsiToWide(source);
}

std::wstring FillText(const std::wstring& pattern, std::initializer_list<std::wstring> args) {
    const std::vector<std::wstring> values(args);
    std::wstring out;
    out.reserve(pattern.size());
    for (std::size_t i = 0; i < pattern.size(); ++i) {
        const wchar_t next = i + 1 < pattern.size() ? pattern[i + 1] : L'\0';
        const std::size_t index = next >= L'1' && next <= L'9' ? std::size_t(next - L'1') : 9;
        if (pattern[i] == L'%' && index < values.size()) {
            out += values[index];
            ++i;
        } else {
            out += pattern[i];
        }
    }
    return out;
}

} // namespace velquist
