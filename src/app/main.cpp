#include "app_startup.h"
#include "command_line.h"
#include "decode/hevc_decoder.h"
#include "platform/app_translations.h"

#include <QApplication>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <cerrno>
#include <cstdio>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

// File names are bytes: argv and the working folder are taken as they are, never
// through Qt's decoding, which replaces what is not valid UTF-8.
std::string WorkingFolder() {
    std::string buffer(4096, '\0');
    while (::getcwd(buffer.data(), buffer.size()) == nullptr) {
        if (errno != ERANGE || buffer.size() > (size_t{1} << 20)) {
            return QFile::encodeName(QDir::currentPath()).toStdString();
        }
        buffer.resize(buffer.size() * 2);
    }
    return buffer.c_str();
}

velquist::CommandLine ParseArguments(int argc, char** argv) {
    std::vector<std::string> arguments;
    for (int i = 1; i < argc; ++i) {
        arguments.emplace_back(argv[i]);
    }
    return velquist::ParseCommandLine(arguments, WorkingFolder());
}

int Print(const QString& text) {
    std::fputs(text.toLocal8Bit().constData(), stdout);
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    // Read before any application object exists: the install check, the help and the
    // version run where no display is (a package build, a terminal over ssh).
    const velquist::CommandLine early = ParseArguments(argc, argv);
    if (early.help) {
        // In the session's language: an application object without a display holds the
        // translation.
        QCoreApplication app(argc, argv);
        velquist::SetUpUiLanguage();
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
    // Before any window exists: the skins are translated as they are loaded.
    velquist::SetUpUiLanguage();
    // Again: QApplication took its own options (-platform, -style...) out of argv.
    const velquist::CommandLine line = ParseArguments(argc, argv);
    return velquist::RunVelquist(nullptr, line.paths);
}
