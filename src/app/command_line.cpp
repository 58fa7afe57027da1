#include "command_line.h"

#include "net/version.h"
#include "platform/path_text.h"

#include <QCoreApplication>
#include <QUrl>

namespace velquist {
namespace {

std::string AbsolutePath(const std::string& argument, const std::string& workingDir) {
    if (argument.starts_with("file:")) {
        const std::string path = PathFromUrl(QUrl::fromEncoded(
            QByteArray(argument.data(), static_cast<qsizetype>(argument.size()))));
        return path.empty() ? path : CleanPath(path);
    }
    return CleanPath(argument.starts_with('/') ? argument : workingDir + "/" + argument);
}

} // namespace

QString UsageText() {
    return QCoreApplication::translate(
        "Velquist", "用法: velquist [选项] [文件或文件夹...]\n"
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

CommandLine ParseCommandLine(const std::vector<std::string>& arguments,
                             const std::string& workingDir) {
    CommandLine line;
    bool options = true;
    for (const std::string& argument : arguments) {
        if (options && argument == "--") {
            options = false;
            continue;
        }
        if (options && argument == "--check-install") {
            line.checkInstall = true;
            continue;
        }
        if (options && (argument == "--help" || argument == "-h")) {
            line.help = true;
            continue;
        }
        if (options && (argument == "--version" || argument == "-V")) {
            line.version = true;
            continue;
        }
        if ((options && argument.starts_with("--")) || argument.empty()) {
            continue;
        }
        std::string path = AbsolutePath(argument, workingDir);
        if (!path.empty()) {
            line.paths.push_back(std::move(path));
        }
    }
    return line;
}

} // namespace velquist
