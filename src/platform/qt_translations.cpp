#include "qt_translations.h"

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QTranslator>

namespace velquist {

bool InstallQtTranslations(const QLocale& locale) {
    auto* app = QCoreApplication::instance();
    if (app == nullptr) {
        return false;
    }
    if (locale.language() != QLocale::Chinese) {
        return true; // Qt's own texts are English already
    }
    const QString folder = QLibraryInfo::path(QLibraryInfo::TranslationsPath);
    auto* translator = new QTranslator(app);
    if (!translator->load(locale, QStringLiteral("qtbase"), QStringLiteral("_"), folder) ||
        !QCoreApplication::installTranslator(translator)) {
        delete translator;
        return false;
    }
    return true;
}

} // namespace velquist
