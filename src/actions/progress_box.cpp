#include "progress_box.h"

#include <QCoreApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QVBoxLayout>

namespace velquist {

ProgressBox::ProgressBox(int total, QWidget* parent)
    : QDialog(parent), total_(total), label_(new QLabel(this)), bar_(new QProgressBar(this)),
      cancel_(new QPushButton(QCoreApplication::translate("Velquist", "取消"), this)) {
    setWindowTitle(QStringLiteral("Velquist"));
    setWindowIcon(QIcon::fromTheme(QStringLiteral("velquist")));
    bar_->setRange(0, total);
    bar_->setTextVisible(false);
    bar_->setAccessibleName(QCoreApplication::translate("Velquist", "转换进度"));
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(cancel_);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(label_);
    layout->addWidget(bar_);
    layout->addLayout(buttons);
    setMinimumWidth(360);
    connect(cancel_, &QPushButton::clicked, this, &ProgressBox::reject);
    SetDone(0);
}

void ProgressBox::SetDone(int done) {
    label_->setText(
        QCoreApplication::translate("Velquist", "正在转换 %1 / %2").arg(done).arg(total_));
    bar_->setValue(done);
}

void ProgressBox::SetStopping() {
    label_->setText(QCoreApplication::translate("Velquist", "正在停止…"));
    cancel_->setEnabled(false);
}

void ProgressBox::reject() {
    // The box stays until the converter has ended; the run closes it then.
    if (cancel_->isEnabled()) {
        emit CancelRequested();
    }
}

} // namespace velquist
