#include "command_line.h"

#include "net/version.h"

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

QString UsageText() {
    return QStringLiteral("用法: velquist [选项] [文件或文件夹...]\n"
                          "把 HEIC/HEIF 图片批量转换为 JPG、PNG 或 BMP 的窗口程序。\n"
                          "给出的文件加入图片列表,文件夹中的 HEIC/HEIF 图片按名称顺序加入;\n"
                          "已有窗口在运行时,文件交给它,它来到前台。\n"
                          "\n"
                          "选项:\n"
                          "  -h, --help         显示本帮助并退出\n"
                          "  -V, --version      显示版本并退出\n"
                          "  --check-install    检查皮肤和转换程序是否就位并退出\n"
                          "\n"
                          "命令行转换请用 velquist-convert(见 velquist-convert --help)。\n");
}

QString VersionText() {
    return QStringLiteral("velquist %1\n").arg(QLatin1String(LocalVersion));
}

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
        if (options && (argument == QStringLiteral("--help") || argument == QStringLiteral("-h"))) {
            line.help = true;
            continue;
        }
        if (options &&
            (argument == QStringLiteral("--version") || argument == QStringLiteral("-V"))) {
            line.version = true;
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
