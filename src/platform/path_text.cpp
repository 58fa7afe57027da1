#include "path_text.h"

#include "util/shown_name.h"
#include "util/text.h"

#include <sys/stat.h>

namespace velquist {

QString PathBytesToQString(const std::string& bytes) {
    return QString::fromStdWString(PathToWide(bytes));
}

std::wstring QStringToPathWide(const QString& path) {
    std::wstring wide;
    wide.reserve(static_cast<size_t>(path.size()));
    for (qsizetype i = 0; i < path.size(); ++i) {
        const char16_t unit = path.at(i).unicode();
        const bool pair = QChar::isHighSurrogate(unit) && i + 1 < path.size() &&
                          QChar::isLowSurrogate(path.at(i + 1).unicode());
        if (pair) {
            wide.push_back(static_cast<wchar_t>(QChar::surrogateToUcs4(unit, path.at(i + 1))));
            ++i;
            continue;
        }
        wide.push_back(static_cast<wchar_t>(unit));
    }
    return wide;
}

std::string QStringToPathBytes(const QString& path) {
    return WideToPath(QStringToPathWide(path));
}

QString ShownPath(const std::wstring& path) {
    return QString::fromStdString(WideToUtf8(VisibleControls(path)));
}

bool IsFolderPath(const QString& path) {
    struct stat info {};
    return ::stat(QStringToPathBytes(path).c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

} // namespace velquist
