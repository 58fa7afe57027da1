#pragma once

#include <QLocale>
#include <QString>
#include <string>

namespace velquist {

// The program's own texts are Chinese; English is their one translation.
enum class UiLanguage { kChinese, kEnglish };

// configured: the "language" value of configure.ini ("zh_CN", "en"; empty when not set).
// A value naming Chinese or English wins; otherwise a Chinese locale gets Chinese and any
// other locale English.
UiLanguage ChooseUiLanguage(const QString& configured, const QLocale& system);

// Where velquist_en.qm is: "translations/" beside the executable (build tree), else
// "../share/velquist/translations/" from it (installed). Ends in "/".
QString FindTranslationsFolder();

// Installs the translators for language: the program's own (from folder), Qt's for its
// file pickers and standard buttons, and the one the Qt-free layers compose their texts
// with. Call once the application object exists and before
// any window is made. False when the program's translation could not be loaded (the texts
// then stay Chinese).
bool InstallUiTranslations(UiLanguage language, const QString& folder);

// Reads configure.ini's choice, looks at the system locale and installs the translators.
UiLanguage SetUpUiLanguage();

// A text that a Qt-free layer composed (marked with QT_TRANSLATE_NOOP("Velquist", ...)),
// in the window's language.
QString ShownText(const std::wstring& text);
QString ShownText(const char* text);

} // namespace velquist
