#include "ui/skin_loader.h"

#include "ui/paint_manager.h"
#include "ui/template_list.h"

#include <QAbstractButton>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QUiLoader>

namespace velquist::ui {
namespace {

// The long list is not a Designer class; skins name it "VqTemplateList".
class SkinUiLoader final : public QUiLoader {
  public:
    QWidget* createWidget(const QString& className, QWidget* parent, const QString& name) override {
        if (className == QLatin1String(TemplateListView::kSkinClassName)) {
            auto* view = new TemplateListView(parent);
            view->setObjectName(name);
            return view;
        }
        return QUiLoader::createWidget(className, parent, name);
    }
};

// A screen reader reads a control by its accessible name. Buttons and check
// boxes with text have one already; fields get theirs from the hint they show,
// anything else from its tool tip. A skin sets accessibleName where none fits.
void NameForScreenReaders(QWidget* root) {
    const auto widgets = root->findChildren<QWidget*>();
    for (QWidget* w : widgets) {
        if (!w->accessibleName().isEmpty()) {
            continue;
        }
        QString name;
        if (auto* button = qobject_cast<QAbstractButton*>(w)) {
            name = button->text().isEmpty() ? button->toolTip() : QString();
        } else if (auto* edit = qobject_cast<QLineEdit*>(w)) {
            name = edit->placeholderText();
        } else if (auto* text = qobject_cast<QPlainTextEdit*>(w)) {
            name = text->placeholderText();
        }
        if (!name.isEmpty()) {
            w->setAccessibleName(name);
        }
    }
}

} // namespace

QString SkinFilePath(const QString& file) {
    if (QFileInfo(file).isAbsolute()) {
        return file;
    }
    return CPaintManagerUI::GetResourcePath() + file;
}

QWidget* LoadSkinFile(const QString& file, QWidget* parent, QString* error) {
    const QString path = SkinFilePath(file);
    QFile in(path);
    if (!in.open(QIODevice::ReadOnly)) {
        *error = QStringLiteral("cannot open skin file %1: %2").arg(path, in.errorString());
        return nullptr;
    }
    SkinUiLoader loader;
    loader.setWorkingDirectory(QFileInfo(path).absoluteDir());
    QWidget* root = loader.load(&in, parent);
    if (root == nullptr) {
        *error = QStringLiteral("cannot build skin file %1: %2").arg(path, loader.errorString());
        return nullptr;
    }
    NameForScreenReaders(root);
    return root;
}

} // namespace velquist::ui
