#include "ui/host_widget.h"

#include "ui/accessibility.h"
#include "ui/focus_mark.h"
#include "ui/keyboard.h"
#include "ui/window_impl_base.h"

#include <QAbstractButton>
#include <QCloseEvent>
#include <QKeyEvent>
#include <QRegion>
#include <QTimerEvent>

namespace velquist::ui {

QEvent::Type MessageEvent::EventType() {
    static const auto type = static_cast<QEvent::Type>(QEvent::registerEventType());
    return type;
}

MessageEvent::MessageEvent(UINT m, WPARAM w, LPARAM l, DroppedFn dropped)
    : QEvent(EventType()), msg(m), wParam(w), lParam(l), dropped_(dropped) {}

MessageEvent::~MessageEvent() {
    if (!delivered && dropped_ != nullptr) {
        dropped_(msg, wParam, lParam);
    }
}

HostWidget::HostWidget(WindowImplBase* window, QWidget* parent) : QWidget(parent), window_(window) {
    InstallFocusMarks();
    InstallShownOnlyAccessibility();
}

HostWidget::~HostWidget() {
    // Reached with a window still attached only when Qt deletes us together
    // with our owner: the window must learn that it is gone.
    if (window_ != nullptr) {
        WindowImplBase* window = window_;
        window_ = nullptr;
        window->HandleWidgetGone();
    }
}

void HostWidget::SetRoundCorner(int rx, int ry) {
    roundX_ = rx;
    roundY_ = ry;
    UpdateMask();
}

bool HostWidget::event(QEvent* e) {
    if (e->type() == MessageEvent::EventType()) {
        auto* m = static_cast<MessageEvent*>(e);
        if (window_ != nullptr) {
            m->delivered = true;
            window_->DispatchMessage(m->msg, m->wParam, m->lParam);
        }
        return true;
    }
    if (window_ != nullptr &&
        (e->type() == QEvent::WindowActivate || e->type() == QEvent::WindowDeactivate)) {
        window_->HandleActivation(e->type() == QEvent::WindowActivate);
    }
    return QWidget::event(e);
}

void HostWidget::closeEvent(QCloseEvent* e) {
    // The window decides through OnClose; Qt must not hide us behind its back.
    e->ignore();
    if (window_ != nullptr) {
        window_->HandleWidgetClose();
    }
}

void HostWidget::timerEvent(QTimerEvent* e) {
    if (window_ != nullptr) {
        window_->HandleQtTimer(e->timerId());
    }
}

void HostWidget::resizeEvent(QResizeEvent* e) {
    QWidget::resizeEvent(e);
    UpdateMask();
}

namespace {

QRegion RoundedRegion(const QRect& r, int rx, int ry) {
    if (rx <= 0 || ry <= 0) {
        return QRegion(r);
    }
    rx = qMin(rx, r.width() / 2);
    ry = qMin(ry, r.height() / 2);
    QRegion region(r.adjusted(rx, 0, -rx, 0));
    region += QRegion(r.adjusted(0, ry, 0, -ry));
    const QSize corner(2 * rx, 2 * ry);
    region += QRegion(QRect(r.topLeft(), corner), QRegion::Ellipse);
    region += QRegion(QRect(QPoint(r.right() - 2 * rx + 1, r.top()), corner), QRegion::Ellipse);
    region += QRegion(QRect(QPoint(r.left(), r.bottom() - 2 * ry + 1), corner), QRegion::Ellipse);
    region += QRegion(QRect(QPoint(r.right() - 2 * rx + 1, r.bottom() - 2 * ry + 1), corner),
                      QRegion::Ellipse);
    return region;
}

} // namespace

void HostWidget::UpdateMask() {
    if (roundX_ < 0 || roundY_ < 0) {
        return;
    }
    setMask(RoundedRegion(rect(), roundX_, roundY_));
}

} // namespace velquist::ui

namespace velquist::ui {

bool HostWidget::ClosesOnEscape() const {
    return window_ != nullptr &&
           (window_->GetOwner() != kNoWindow || (window_->GetStyle() & WS_POPUP) != 0);
}

void HostWidget::keyPressEvent(QKeyEvent* e) {
    const bool plain = (e->modifiers() & ~Qt::KeypadModifier) == Qt::NoModifier;
    if (plain && e->key() == Qt::Key_Escape && ClosesOnEscape()) {
        e->accept();
        window_->HandleWidgetClose();
        return;
    }
    if (plain && (e->key() == Qt::Key_Return || e->key() == Qt::Key_Enter)) {
        if (QAbstractButton* button = ButtonForEnter(this)) {
            e->accept();
            button->click();
            return;
        }
    }
    QWidget::keyPressEvent(e);
}

bool HostWidget::focusNextPrevChild(bool next) {
    QWidget* to = NextInVisualOrder(this, focusWidget(), next);
    if (to == nullptr) {
        return QWidget::focusNextPrevChild(next);
    }
    to->setFocus(next ? Qt::TabFocusReason : Qt::BacktabFocusReason);
    return true;
}

} // namespace velquist::ui
