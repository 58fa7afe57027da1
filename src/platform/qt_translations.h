#pragma once

#include <QLocale>

namespace velquist {

// Loads Qt's own translations (qtbase, from qt6-translations-l10n) so that the
// file pickers and Qt's standard buttons speak the program's language: locale is
// the language the windows show (a Chinese variant, or English, which Qt speaks
// without a translation). False when no translation file was found for a Chinese
// locale (the pickers then stay in English).
bool InstallQtTranslations(const QLocale& locale);

} // namespace velquist
