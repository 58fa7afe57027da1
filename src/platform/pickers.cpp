#include "pickers.h"

#include <QFileDialog>
#include <QMessageBox>

namespace velquist {

namespace {

QMessageBox::Icon ToQtIcon(MessageIcon icon) {
    switch (icon) {
    case MessageIcon::kInformation:
        return QMessageBox::Information;
    case MessageIcon::kWarning:
        return QMessageBox::Warning;
    case MessageIcon::kCritical:
        return QMessageBox::Critical;
    case MessageIcon::kQuestion:
        return QMessageBox::Question;
    }
    return QMessageBox::NoIcon;
}

} // namespace

QStringList PickOpenFiles(QWidget* owner, const QString& title, const QString& folder,
                          const QString& filter) {
    // The filter's label names the formats already; Qt would append the patterns again.
    return QFileDialog::getOpenFileNames(owner, title, folder, filter, nullptr,
                                         QFileDialog::HideNameFilterDetails);
}

QString PickFolder(QWidget* owner, const QString& title, const QString& folder) {
    return QFileDialog::getExistingDirectory(owner, title, folder, QFileDialog::ShowDirsOnly);
}

int ShowSystemMessageBox(QWidget* owner, const QString& text, const QString& caption,
                         MessageIcon icon) {
    QMessageBox box(ToQtIcon(icon), caption, text, QMessageBox::Ok, owner);
    return box.exec();
}

} // namespace velquist
