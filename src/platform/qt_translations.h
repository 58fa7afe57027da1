#pragma once

#include <QLocale>

namespace velquist {

// Loads Qt's own translations (qtbase, from qt6-translations-l10n) so that the
// file pickers and Qt's standard buttons speak the program's language. The
// program's texts are Chinese: a Chinese locale picks its variant, any other
// locale gets simplified Chinese. False when no translation file was found (the
// pickers then stay in English).
bool InstallQtTranslations(const QLocale& locale = QLocale::system());

} // namespace velquist
