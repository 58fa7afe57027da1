// The language the windows speak: who gets English, and that the built translation
// reaches both the skins (through QUiLoader) and the texts written in code.
#include "platform/app_translations.h"
#include "config/config_file.h"
#include "config/setting_keys.h"
#include "ui/skin_loader.h"
#include "util/translated_text.h"

#include <QCoreApplication>
#include <QFile>
#include <QLabel>
#include <QTemporaryDir>
#include <QTranslator>
#include <QXmlStreamReader>
#include <gtest/gtest.h>
#include <memory>

namespace velquist {
namespace {

const QString kFolder = QStringLiteral(VELQUIST_TRANSLATIONS_DIR "/");

TEST(UiLanguage, ChineseLocalesKeepChineseAndConfigurationWins) {
    const QLocale china(QLocale::Chinese, QLocale::China);
    const QLocale taiwan(QLocale::Chinese, QLocale::Taiwan);
    const QLocale us(QLocale::English, QLocale::UnitedStates);
    const QLocale germany(QLocale::German, QLocale::Germany);
    EXPECT_EQ(ChooseUiLanguage(QString(), china), UiLanguage::kChinese);
    EXPECT_EQ(ChooseUiLanguage(QString(), taiwan), UiLanguage::kChinese);
    EXPECT_EQ(ChooseUiLanguage(QString(), us), UiLanguage::kEnglish);
    EXPECT_EQ(ChooseUiLanguage(QString(), germany), UiLanguage::kEnglish);
    EXPECT_EQ(ChooseUiLanguage(QStringLiteral("en"), china), UiLanguage::kEnglish);
    EXPECT_EQ(ChooseUiLanguage(QStringLiteral(" EN "), china), UiLanguage::kEnglish);
    EXPECT_EQ(ChooseUiLanguage(QStringLiteral("zh_CN"), germany), UiLanguage::kChinese);
    // A language the program has no translation for leaves the choice to the locale.
    EXPECT_EQ(ChooseUiLanguage(QStringLiteral("fr"), china), UiLanguage::kChinese);
    EXPECT_EQ(ChooseUiLanguage(QStringLiteral("fr"), germany), UiLanguage::kEnglish);
}

// Translators are global: each case removes the ones it installed.
class InstalledLanguage : public ::testing::Test {
  protected:
    void TearDown() override {
        for (QTranslator* t : qApp->findChildren<QTranslator*>()) {
            QCoreApplication::removeTranslator(t);
            delete t;
        }
    }

    static QString SkinLabel(const char* name) {
        QString error;
        std::unique_ptr<QWidget> root(
            ui::LoadSkinFile(QStringLiteral(VELQUIST_SKIN_DIR "/MainWindow.xml"), nullptr, &error));
        EXPECT_NE(root, nullptr) << error.toStdString();
        auto* label = root ? root->findChild<QLabel*>(QLatin1String(name)) : nullptr;
        return label ? label->text() : QString();
    }
};

TEST_F(InstalledLanguage, EnglishReachesSkinsCodeAndQtFreeTexts) {
    ASSERT_TRUE(InstallUiTranslations(UiLanguage::kEnglish, kFolder));
    EXPECT_EQ(SkinLabel("formatCaption"), QStringLiteral("Output format"));
    EXPECT_EQ(QCoreApplication::translate("Velquist", "请先添加heic文件!"),
              QStringLiteral("Add some HEIC files first."));
    EXPECT_EQ(ShownText(std::wstring(L"已停止")), QStringLiteral("Stopped"));
    // Composed in a Qt-free layer: the pattern is translated before the number goes in.
    EXPECT_EQ(FillText(TranslatedText("%1 秒"), {L"5"}), L"5 s");
}

TEST_F(InstalledLanguage, ChineseKeepsTheSourceTexts) {
    ASSERT_TRUE(InstallUiTranslations(UiLanguage::kChinese, kFolder));
    EXPECT_EQ(SkinLabel("formatCaption"), QStringLiteral("输出格式"));
    EXPECT_EQ(ShownText(std::wstring(L"已停止")), QStringLiteral("已停止"));
    EXPECT_EQ(FillText(TranslatedText("%1 秒"), {L"5"}), L"5 秒");
    // Qt's own pickers follow the windows into Chinese.
    EXPECT_EQ(QCoreApplication::translate("QFileDialog", "Look in:"), QStringLiteral("查找范围："));
}

// configure.ini's language wins over whatever locale the session has.
TEST_F(InstalledLanguage, ConfigurationChoosesTheLanguageAtStart) {
    QTemporaryDir config;
    ASSERT_TRUE(config.isValid());
    qputenv("XDG_DATA_HOME", config.path().toLocal8Bit()); // where configure.ini lives
    ASSERT_TRUE(WriteConfigValue(L"global", kLanguageKey, L"en"));
    EXPECT_EQ(SetUpUiLanguage(), UiLanguage::kEnglish);
    ASSERT_TRUE(WriteConfigValue(L"global", kLanguageKey, L"zh_CN"));
    EXPECT_EQ(SetUpUiLanguage(), UiLanguage::kChinese);
}

TEST(UiLanguage, EveryTextHasAnEnglishTranslation) {
    QFile ts(QStringLiteral(VELQUIST_TS_FILE));
    ASSERT_TRUE(ts.open(QIODevice::ReadOnly));
    QXmlStreamReader xml(&ts);
    int messages = 0;
    QString source;
    while (!xml.atEnd()) {
        if (xml.readNext() != QXmlStreamReader::StartElement) {
            continue;
        }
        if (xml.name() == QLatin1String("message")) {
            ++messages;
        } else if (xml.name() == QLatin1String("source")) {
            source = xml.readElementText();
        } else if (xml.name() == QLatin1String("translation")) {
            const bool unfinished = !xml.attributes().value(QLatin1String("type")).isEmpty();
            EXPECT_FALSE(unfinished || xml.readElementText().isEmpty()) << source.toStdString();
        }
    }
    EXPECT_FALSE(xml.hasError()) << xml.errorString().toStdString();
    EXPECT_GT(messages, 100);
}

} // namespace
} // namespace velquist
