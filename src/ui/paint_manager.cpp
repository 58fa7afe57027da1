#include "ui/paint_manager.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QFont>
#include <QFontDatabase>
#include <QMetaObject>
#include <QXmlStreamReader>
#include <mutex>
#include <vector>

namespace velquist::ui {
namespace {

struct LibraryState {
    std::mutex mutex;
    QString instancePath;
    QString resourcePath;
    std::vector<int> fontIds;
};

LibraryState& State() {
    static LibraryState state;
    return state;
}

QString WithSlash(QString path) {
    if (!path.isEmpty() && !path.endsWith(QLatin1Char('/'))) {
        path += QLatin1Char('/');
    }
    return path;
}

QString ReadText(const QString& path, QString* error) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        *error = QStringLiteral("cannot open %1: %2").arg(path, file.errorString());
        return {};
    }
    return QString::fromUtf8(file.readAll());
}

void AddFont(const QString& path) {
    const int id = QFontDatabase::addApplicationFont(path);
    if (id < 0) {
        return; // a missing font leaves the system's fonts in charge
    }
    auto& s = State();
    std::lock_guard lock(s.mutex);
    s.fontIds.push_back(id);
}

void SetDefaultFont(const QXmlStreamAttributes& attrs) {
    QFont font = QApplication::font();
    const QString family = attrs.value(QLatin1String("family")).toString();
    if (!family.isEmpty()) {
        font.setFamilies({family, font.family()});
    }
    bool ok = false;
    const int size = attrs.value(QLatin1String("size")).toInt(&ok);
    if (ok && size > 0) {
        font.setPointSize(size);
    }
    QApplication::setFont(font);
}

} // namespace

void CPaintManagerUI::SetInstance() {
    QApplication::setQuitOnLastWindowClosed(false);
    auto& s = State();
    std::lock_guard lock(s.mutex);
    s.instancePath = WithSlash(QCoreApplication::applicationDirPath());
}

QString CPaintManagerUI::GetInstancePath() {
    auto& s = State();
    std::lock_guard lock(s.mutex);
    if (s.instancePath.isEmpty()) {
        s.instancePath = WithSlash(QCoreApplication::applicationDirPath());
    }
    return s.instancePath;
}

void CPaintManagerUI::SetResourcePath(const QString& path) {
    auto& s = State();
    std::lock_guard lock(s.mutex);
    s.resourcePath = WithSlash(path);
}

QString CPaintManagerUI::GetResourcePath() {
    {
        auto& s = State();
        std::lock_guard lock(s.mutex);
        if (!s.resourcePath.isEmpty()) {
            return s.resourcePath;
        }
    }
    return GetInstancePath() + QStringLiteral("skin/");
}

int CPaintManagerUI::MessageLoop() {
    return QApplication::exec();
}

void CPaintManagerUI::Term() {
    if (auto* app = qobject_cast<QApplication*>(QCoreApplication::instance())) {
        app->setStyleSheet(QString());
    }
    auto& s = State();
    std::lock_guard lock(s.mutex);
    for (const int id : s.fontIds) {
        QFontDatabase::removeApplicationFont(id);
    }
    s.fontIds.clear();
}

bool CResourceManager::LoadResource(const QString& indexFile, QString* error) {
    QString dummy;
    QString* err = error != nullptr ? error : &dummy;
    err->clear();
    const QString base = CPaintManagerUI::GetResourcePath();
    const QString path = QFileInfo(indexFile).isAbsolute() ? indexFile : base + indexFile;
    const QString text = ReadText(path, err);
    if (text.isEmpty()) {
        if (err->isEmpty()) {
            *err = QStringLiteral("empty skin index %1").arg(path);
        }
        return false;
    }
    const QDir dir = QFileInfo(path).absoluteDir();
    QString sheet;
    QXmlStreamReader xml(text);
    while (!xml.atEnd()) {
        if (xml.readNext() != QXmlStreamReader::StartElement) {
            continue;
        }
        const auto attrs = xml.attributes();
        const QString file = attrs.value(QLatin1String("file")).toString();
        if (xml.name() == QLatin1String("stylesheet")) {
            // A missing sheet is reported, but the others still apply: a plainer
            // look beats no look.
            QString sheetError;
            sheet += ReadText(dir.filePath(file), &sheetError) + QLatin1Char('\n');
            if (!sheetError.isEmpty() && err->isEmpty()) {
                *err = sheetError;
            }
        } else if (xml.name() == QLatin1String("font") && !file.isEmpty()) {
            AddFont(dir.filePath(file));
        } else if (xml.name() == QLatin1String("defaultfont")) {
            SetDefaultFont(attrs);
        }
    }
    if (xml.hasError()) {
        *err = QStringLiteral("skin index %1: %2").arg(path, xml.errorString());
        return false;
    }
    if (auto* app = qobject_cast<QApplication*>(QCoreApplication::instance())) {
        app->setStyleSheet(sheet);
    }
    return err->isEmpty();
}

void PostQuitMessage(int code) {
    // Queued, so it takes effect after the handler that asked for it returns,
    // and any thread may call it.
    QMetaObject::invokeMethod(
        QCoreApplication::instance(), [code] { QCoreApplication::exit(code); },
        Qt::QueuedConnection);
}

} // namespace velquist::ui
