#include "ui/focus_mark.h"

#include <QApplication>
#include <QEvent>
#include <QFocusEvent>
#include <QKeyEvent>
#include <QPainter>
#include <QPointer>
#include <QWidget>

namespace velquist::ui {
namespace {

constexpr int kMarkOutset = 3;
constexpr int kMarkWidth = 2;
constexpr int kMarkRadius = 4;

class MarkWidget final : public QWidget {
  public:
    explicit MarkWidget(QWidget* parent) : QWidget(parent) {
        setAttribute(Qt::WA_TransparentForMouseEvents);
        setAttribute(Qt::WA_NoSystemBackground);
        setFocusPolicy(Qt::NoFocus);
        setObjectName(QStringLiteral("vqFocusMark"));
    }

  protected:
    void paintEvent(QPaintEvent*) override {
        QPainter painter(this);
        painter.setRenderHint(QPainter::Antialiasing);
        painter.setBrush(Qt::NoBrush);
        // A white halo under the accent ring keeps the mark visible on the blue
        // header as on the white body.
        const QRectF ring = QRectF(rect()).adjusted(1.5, 1.5, -1.5, -1.5);
        painter.setPen(QPen(Qt::white, kMarkWidth + 2));
        painter.drawRoundedRect(ring, kMarkRadius, kMarkRadius);
        painter.setPen(QPen(kFocusMarkColor, kMarkWidth));
        painter.drawRoundedRect(ring, kMarkRadius, kMarkRadius);
    }
};

bool IsNavigationKey(int key) {
    switch (key) {
    case Qt::Key_Tab:
    case Qt::Key_Backtab:
    case Qt::Key_Up:
    case Qt::Key_Down:
    case Qt::Key_Left:
    case Qt::Key_Right:
        return true;
    default:
        return false;
    }
}

class FocusMarks final : public QObject {
  public:
    QWidget* Target() const { return mark_ != nullptr && mark_->isVisible() ? target_ : nullptr; }

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        switch (event->type()) {
        case QEvent::KeyPress:
            if (IsNavigationKey(static_cast<QKeyEvent*>(event)->key())) {
                keyboard_ = true;
            }
            break;
        case QEvent::MouseButtonPress:
            keyboard_ = false;
            Hide();
            break;
        case QEvent::FocusIn:
            OnFocusIn(watched, static_cast<QFocusEvent*>(event)->reason());
            break;
        case QEvent::FocusOut:
            if (watched == target_) {
                Hide();
            }
            break;
        case QEvent::Move:
        case QEvent::Resize:
        case QEvent::Show:
            if (watched == target_ && mark_ != nullptr && mark_->isVisible()) {
                Place();
            }
            break;
        case QEvent::Hide:
            if (watched == target_) {
                Hide();
            }
            break;
        default:
            break;
        }
        return false;
    }

  private:
    void OnFocusIn(QObject* watched, Qt::FocusReason reason) {
        auto* widget = qobject_cast<QWidget*>(watched);
        if (widget == nullptr || widget == mark_ || widget->isWindow()) {
            return;
        }
        const bool byKeyboard = reason == Qt::TabFocusReason || reason == Qt::BacktabFocusReason;
        if (!keyboard_ && !byKeyboard) {
            return;
        }
        keyboard_ = true;
        target_ = widget;
        Place();
    }

    void Place() {
        QWidget* window = target_ != nullptr ? target_->window() : nullptr;
        if (window == nullptr) {
            return;
        }
        if (mark_ == nullptr || mark_->parentWidget() != window) {
            delete mark_.data();
            mark_ = new MarkWidget(window);
        }
        const QRect frame(target_->mapTo(window, QPoint(0, 0)), target_->size());
        mark_->setGeometry(frame.adjusted(-kMarkOutset, -kMarkOutset, kMarkOutset, kMarkOutset));
        mark_->raise();
        mark_->show();
        mark_->update();
    }

    void Hide() {
        if (mark_ != nullptr) {
            mark_->hide();
        }
    }

    QPointer<QWidget> target_;
    QPointer<QWidget> mark_;
    bool keyboard_ = false;
};

FocusMarks* g_marks = nullptr;

} // namespace

void InstallFocusMarks() {
    if (g_marks != nullptr || qApp == nullptr) {
        return;
    }
    g_marks = new FocusMarks();
    g_marks->setParent(qApp);
    QObject::connect(g_marks, &QObject::destroyed, [] { g_marks = nullptr; });
    qApp->installEventFilter(g_marks);
}

QWidget* MarkedControl() {
    return g_marks != nullptr ? g_marks->Target() : nullptr;
}

} // namespace velquist::ui
