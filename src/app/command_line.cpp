#include "command_line.h"

#include <QDir>
#include <QUrl>

namespace velquist {
namespace {

QString AbsolutePath(const QString& argument, const QDir& workingDir) {
    if (argument.startsWith(QStringLiteral("file:"))) {
        const QUrl url(argument);
        return url.isLocalFile() ? QDir::cleanPath(url.toLocalFile()) : QString();
    }
    return QDir::cleanPath(workingDir.absoluteFilePath(argument));
}

} // namespace

CommandLine ParseCommandLine(const QStringList& arguments, const QString& workingDir) {
    CommandLine line;
    const QDir dir(workingDir);
    bool options = true;
    for (const QString& argument : arguments) {
        if (options && argument == QStringLiteral("--")) {
            options = false;
            continue;
        }
        if (options && argument == QStringLiteral("--check-install")) {
            line.checkInstall = true;
            continue;
        }
        if ((options && argument.startsWith(QStringLiteral("--"))) || argument.isEmpty()) {
            continue;
        }
        const QString path = AbsolutePath(argument, dir);
        if (!path.isEmpty()) {
            line.paths << path;
        }
    }
    return line;
}

} // namespace velquist
