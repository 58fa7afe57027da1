#include "app_startup.h"
#include "command_line.h"
#include "decode/hevc_decoder.h"

#include <QApplication>
#include <QCoreApplication>
#include <QDir>
#include <cstring>

namespace {

// The install check runs where no display is, e.g. in a package build.
bool WantsInstallCheck(int argc, char** argv) {
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--check-install") == 0) {
            return true;
        }
    }
    return false;
}

} // namespace

int main(int argc, char** argv) {
    velquist::RegisterHevcDecoder();
    if (WantsInstallCheck(argc, argv)) {
        QCoreApplication app(argc, argv);
        return velquist::CheckInstall();
    }
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Velquist"));
    const velquist::CommandLine line =
        velquist::ParseCommandLine(QApplication::arguments().mid(1), QDir::currentPath());
    return velquist::RunVelquist(nullptr, line.paths);
}
