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
    const QLocale chinese =
        locale.language() == QLocale::Chinese ? locale : QLocale(QLocale::Chinese, QLocale::China);
    const QString folder = QLibraryInfo::path(QLibraryInfo::TranslationsPath);
    auto* translator = new QTranslator(app);
    if (!translator->load(chinese, QStringLiteral("qtbase"), QStringLiteral("_"), folder) ||
        !QCoreApplication::installTranslator(translator)) {
        delete translator;
        return false;
    }
    return true;
}

} // namespace velquist
