// Composed texts: the pattern is translated through the installed function, then filled.
#include "util/translated_text.h"

#include <gtest/gtest.h>

namespace velquist {
namespace {

std::wstring Shouting(const char* source) {
    return std::wstring(L"<") + (source[0] == '%' ? L"%1 s" : L"?") + L">";
}

TEST(TranslatedText, FillsNumberedArgumentsAndLeavesTheRest) {
    EXPECT_EQ(FillText(L"已完成 %1 / %2", {L"3", L"10"}), L"已完成 3 / 10");
    EXPECT_EQ(FillText(L"%2 before %1", {L"a", L"b"}), L"b before a");
    // An argument that itself holds a marker is not filled again.
    EXPECT_EQ(FillText(L"%1 and %2", {L"%2", L"x"}), L"%2 and x");
    // Markers without an argument, a lone percent sign and a trailing one stay.
    EXPECT_EQ(FillText(L"100% of %3%", {L"a"}), L"100% of %3%");
    EXPECT_EQ(FillText(L"%0 %1", {}), L"%0 %1");
}

TEST(TranslatedText, UsesTheInstalledTranslatorElseTheSource) {
    SetTextTranslator(nullptr);
    EXPECT_EQ(TranslatedText("%1 秒"), L"%1 秒");
    SetTextTranslator(&Shouting);
    EXPECT_EQ(FillText(TranslatedText("%1 秒"), {L"5"}), L"<5 s>");
    SetTextTranslator(nullptr);
}

} // namespace
} // namespace velquist
