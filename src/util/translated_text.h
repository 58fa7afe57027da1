#pragma once

#include <initializer_list>
#include <string>

// Texts of the Qt-free layers that a window shows are marked with this macro so that
// Qt's lupdate collects them (context "Velquist"). Outside Qt it leaves the text as it
// is. Wide constants are written as L"" QT_TRANSLATE_NOOP("Velquist", "...") because
// lupdate reads only plain literals; the window translates those where it shows them.
#ifndef QT_TRANSLATE_NOOP
#define QT_TRANSLATE_NOOP(scope, text) text
#endif

namespace velquist {

// Texts composed with numbers or names cannot be looked up once composed: their pattern
// (with %1, %2...) is translated first, through the function the window installed.
// Without one, the pattern is the marked text itself.
using TextTranslator = std::wstring (*)(const char* utf8Source);
void SetTextTranslator(TextTranslator translator);

// source: a marked UTF-8 literal.
std::wstring TranslatedText(const char* source);

// Replaces %1..%9 in pattern by args[0..8]; other text, and markers without an argument,
// stay as they are.
std::wstring FillText(const std::wstring& pattern, std::initializer_list<std::wstring> args);

} // namespace velquist
