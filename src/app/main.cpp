#include "app_startup.h"
#include "command_line.h"
#include "decode/hevc_decoder.h"
#include "platform/qt_translations.h"

#include <QApplication>
#include <QCoreApplication>
#include <QDir>
#include <QStringList>
#include <cstdio>

namespace {

// Read before any application object exists: the install check, the help and the
// version run where no display is (a package build, a terminal over ssh).
velquist::CommandLine EarlyCommandLine(int argc, char** argv) {
    QStringList arguments;
    for (int i = 1; i < argc; ++i) {
        arguments << QString::fromLocal8Bit(argv[i]);
    }
    return velquist::ParseCommandLine(arguments, QDir::currentPath());
}

int Print(const QString& text) {
    std::fputs(text.toLocal8Bit().constData(), stdout);
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    const velquist::CommandLine early = EarlyCommandLine(argc, argv);
    if (early.help) {
        return Print(velquist::UsageText());
    }
    if (early.version) {
        return Print(velquist::VersionText());
    }
    velquist::RegisterHevcDecoder();
    if (early.checkInstall) {
        QCoreApplication app(argc, argv);
        return velquist::CheckInstall();
    }
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Velquist"));
    velquist::InstallQtTranslations();
    const velquist::CommandLine line =
        velquist::ParseCommandLine(QApplication::arguments().mid(1), QDir::currentPath());
    return velquist::RunVelquist(nullptr, line.paths);
}
