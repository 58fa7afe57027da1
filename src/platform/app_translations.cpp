#include "platform/app_translations.h"

#include "config/config_file.h"
#include "config/setting_keys.h"
#include "platform/qt_translations.h"
#include "util/translated_text.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QTranslator>

namespace velquist {
namespace {

constexpr char kContext[] = "Velquist";

QString ExecutableFolder() {
    return QCoreApplication::applicationDirPath() + QLatin1Char('/');
}

std::wstring TranslateForQtFreeLayers(const char* source) {
    return QCoreApplication::translate(kContext, source).toStdWString();
}

// The language the session wants its messages in, as gettext reads it (LANGUAGE, then
// LC_ALL, LC_MESSAGES, LANG); QLocale::system() alone follows the number format instead.
QLocale MessagesLocale() {
    const QStringList wanted = QLocale::system().uiLanguages();
    return wanted.isEmpty() ? QLocale::system() : QLocale(wanted.first());
}

QString ConfiguredLanguage() {
    std::wstring value;
    ReadConfigValue(L"global", kLanguageKey, L"", value);
    return QString::fromStdWString(TrimWide(value));
}

} // namespace

UiLanguage ChooseUiLanguage(const QString& configured, const QLocale& system) {
    const QString chosen = configured.trimmed().toLower();
    if (chosen.startsWith(QLatin1String("zh"))) {
        return UiLanguage::kChinese;
    }
    if (chosen.startsWith(QLatin1String("en"))) {
        return UiLanguage::kEnglish;
    }
    return system.language() == QLocale::Chinese ? UiLanguage::kChinese : UiLanguage::kEnglish;
}

QString FindTranslationsFolder() {
    const QString beside = ExecutableFolder() + QStringLiteral("translations/");
    if (QFileInfo::exists(beside + QStringLiteral("velquist_en.qm"))) {
        return beside;
    }
    const QString installed =
        QDir::cleanPath(ExecutableFolder() + QStringLiteral("../share/velquist/translations")) +
        QLatin1Char('/');
    return QFileInfo::exists(installed) ? installed : beside;
}

bool InstallUiTranslations(UiLanguage language, const QString& folder) {
    auto* app = QCoreApplication::instance();
    if (app == nullptr) {
        return false;
    }
    SetTextTranslator(&TranslateForQtFreeLayers);
    if (language == UiLanguage::kChinese) {
        // A Taiwanese or Hong Kong session keeps its own variant for Qt's texts.
        const QLocale session = MessagesLocale();
        InstallQtTranslations(session.language() == QLocale::Chinese
                                  ? session
                                  : QLocale(QLocale::Chinese, QLocale::China));
        return true;
    }
    InstallQtTranslations(QLocale(QLocale::English, QLocale::UnitedStates));
    auto* own = new QTranslator(app);
    if (!own->load(QStringLiteral("velquist_en"), folder) ||
        !QCoreApplication::installTranslator(own)) {
        delete own;
        return false;
    }
    return true;
}

UiLanguage SetUpUiLanguage() {
    const UiLanguage language = ChooseUiLanguage(ConfiguredLanguage(), MessagesLocale());
    InstallUiTranslations(language, FindTranslationsFolder());
    return language;
}

QString ShownText(const std::wstring& text) {
    return QCoreApplication::translate(kContext,
                                       QString::fromStdWString(text).toUtf8().constData());
}

QString ShownText(const char* text) {
    return QCoreApplication::translate(kContext, text);
}

} // namespace velquist
