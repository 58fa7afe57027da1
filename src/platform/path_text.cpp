#include "path_text.h"

#include "util/shown_name.h"
#include "util/text.h"

#include <QDir>
#include <QFile>
#include <sys/stat.h>

namespace velquist {

QString ShownPath(const std::string& path) {
    return QString::fromStdString(WideToUtf8(VisibleControls(AnsiToWide(path))));
}

std::string PathFromText(const QString& path) {
    return QFile::encodeName(path).toStdString();
}

std::string PathFromUrl(const QUrl& url) {
    if (!url.isLocalFile()) {
        return {};
    }
    // The fully encoded form keeps bytes that are not UTF-8 as %XX, where every decoded
    // form would replace them.
    const QByteArray bytes =
        QByteArray::fromPercentEncoding(url.path(QUrl::FullyEncoded).toLatin1());
    return bytes.contains('\0') ? std::string() : bytes.toStdString();
}

QUrl UrlFromPath(const std::string& path) {
    const QByteArray encoded =
        QByteArray(path.data(), static_cast<qsizetype>(path.size())).toPercentEncoding("/");
    QUrl url;
    url.setScheme(QStringLiteral("file"));
    // Tolerant mode takes the %XX sequences as the encoding they are.
    url.setPath(QString::fromLatin1(encoded), QUrl::TolerantMode);
    return url;
}

std::string CleanPath(const std::string& path) {
    // Latin-1 maps each byte to one character and back, so Qt's cleaning, which looks only
    // at "/" and ".", sees the name's bytes one for one.
    const QString text = QString::fromLatin1(path.data(), static_cast<qsizetype>(path.size()));
    return QDir::cleanPath(text).toLatin1().toStdString();
}

bool IsFolderPath(const std::string& path) {
    struct stat info {};
    return ::stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

} // namespace velquist
