#include "ui/window_impl_base.h"

#include "ui/guarded_call.h"
#include "ui/host_widget.h"
#include "ui/messages.h"
#include "ui/notifier.h"
#include "ui/skin_loader.h"
#include "ui/template_list.h"
#include "ui/widget_control.h"
#include "ui/window_keeper.h"
#include "ui/window_registry.h"

#include <QAbstractButton>
#include <QCoreApplication>
#include <QEventLoop>
#include <QGuiApplication>
#include <QIcon>
#include <QLabel>
#include <QLayout>
#include <QLineEdit>
#include <QScreen>
#include <QTimer>
#include <QVBoxLayout>
#include <QWindow>
#include <cstdio>

namespace velquist::ui {

struct ModalState {
    QEventLoop loop;
    int code = -1;
    bool done = false;
};

namespace {

constexpr int kModalWatchMs = 250;
// About a second unmapped while Qt shows it: longer than any window manager
// takes to map a new window, short enough that a user never faces a frozen window.
constexpr int kUnmappedTicksBeforeRemap = 4;

} // namespace

// While a modal loop runs, its window must be on the screen: the loop blocks the
// owner, and a window the display never mapped would leave the user facing a
// window that ignores every click. Checked on a timer rather than trusted.
class ModalWatch {
  public:
    explicit ModalWatch(HWND window) : window_(window) {
        timer_.setInterval(kModalWatchMs);
        QObject::connect(&timer_, &QTimer::timeout, [this] { Check(); });
        timer_.start();
    }

  private:
    void Check() {
        WindowImplBase* window = WindowFromHandle(window_);
        if (window == nullptr) {
            timer_.stop();
            return;
        }
        QWidget* host = window->GetWidget();
        WindowImplBase* owner = WindowFromHandle(window->GetOwner());
        const bool ownerAway = owner != nullptr && owner->GetWidget() != nullptr &&
                               (owner->GetWidget()->isMinimized() || !owner->IsOnScreen());
        if (host == nullptr || window->IsOnScreen() || host->isMinimized() || ownerAway) {
            unmappedTicks_ = 0;
            return;
        }
        if (++unmappedTicks_ >= kUnmappedTicksBeforeRemap) {
            unmappedTicks_ = 0;
            window->Remap();
        }
    }

    HWND window_;
    QTimer timer_;
    int unmappedTicks_ = 0;
};

WindowImplBase::WindowImplBase() = default;

WindowImplBase::~WindowImplBase() {
    // Deleted while its window still exists (not through OnFinalMessage): the
    // window goes without further calls into this half-destroyed object.
    if (hwnd_ != kNoWindow) {
        UnregisterWindow(hwnd_);
        hwnd_ = kNoWindow;
    }
    if (modal_ != nullptr) {
        modal_->done = true;
        modal_->loop.quit();
    }
    if (HostWidget* host = host_.data()) {
        host->Detach();
        host->hide();
        host->deleteLater();
    }
}

void WindowImplBase::Notify(TNotifyUI& /*msg*/) {}

LRESULT WindowImplBase::HandleCustomMessage(UINT, WPARAM, LPARAM, bool& bHandled) {
    bHandled = false;
    return 0;
}

LRESULT WindowImplBase::OnCreate(UINT, WPARAM, LPARAM, bool& bHandled) {
    bHandled = true;
    return LoadSkin();
}

LRESULT WindowImplBase::OnClose(UINT, WPARAM, LPARAM, bool& bHandled) {
    bHandled = false;
    return 0;
}

LRESULT WindowImplBase::OnDestroy(UINT, WPARAM, LPARAM, bool& bHandled) {
    bHandled = false;
    return 0;
}

LRESULT WindowImplBase::OnKillFocus(UINT, WPARAM, LPARAM, bool& bHandled) {
    bHandled = false;
    return 0;
}

LRESULT WindowImplBase::OnNcActivate(UINT, WPARAM, LPARAM, bool& bHandled) {
    bHandled = false;
    return 0;
}

void WindowImplBase::OnFinalMessage(HWND) {}

namespace {

// DuiLib-style skin property "x,y" or "x" for rounded window corners.
bool ParseRoundCorner(const QVariant& value, int* rx, int* ry) {
    if (!value.isValid()) {
        return false;
    }
    const QStringList parts = value.toString().split(QLatin1Char(','));
    bool ok1 = false;
    bool ok2 = true;
    *rx = parts.value(0).trimmed().toInt(&ok1);
    *ry = parts.size() > 1 ? parts.value(1).trimmed().toInt(&ok2) : *rx;
    return ok1 && ok2 && *rx >= 0 && *ry >= 0;
}

// An error shown beside a form belongs to the input and the answer it was about:
// it goes when the input changes and when the user asks again (a button's press
// comes before its click, whose answer may put up a new error).
void ClearErrorsOnNewInput(QWidget* root) {
    QList<QPointer<QLabel>> errors;
    const auto labels = root->findChildren<QLabel*>();
    for (QLabel* label : labels) {
        if (label->property("vqRole").toString() == QLatin1String("errorTips")) {
            errors.append(label);
        }
    }
    if (errors.isEmpty()) {
        return;
    }
    auto clear = [errors] {
        for (const QPointer<QLabel>& label : errors) {
            if (label != nullptr) {
                label->clear();
            }
        }
    };
    const auto edits = root->findChildren<QLineEdit*>();
    for (QLineEdit* edit : edits) {
        QObject::connect(edit, &QLineEdit::textEdited, root, clear);
    }
    const auto buttons = root->findChildren<QAbstractButton*>();
    for (QAbstractButton* button : buttons) {
        QObject::connect(button, &QAbstractButton::pressed, root, clear);
    }
}

} // namespace

LRESULT WindowImplBase::LoadSkin() {
    QString error;
    QWidget* root = LoadSkinFile(GetSkinFile(), host_, &error);
    if (root == nullptr) {
        skinError_ = error;
        std::fprintf(stderr, "%s\n", error.toUtf8().constData());
        return -1;
    }
    skinError_.clear();
    const QSize skinSize = root->size();
    auto* layout = new QVBoxLayout(host_);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(root);
    host_->resize(skinSize);
    if (!root->windowTitle().isEmpty() && host_->windowTitle().isEmpty()) {
        host_->setWindowTitle(root->windowTitle());
    }
    int rx = 0;
    int ry = 0;
    if (ParseRoundCorner(root->property("roundcorner"), &rx, &ry)) {
        host_->SetRoundCorner(rx, ry);
    }
    WireNotifications(root, this);
    ClearErrorsOnNewInput(root);
    InitWindow();
    return 0;
}

HWND WindowImplBase::Create(HWND owner, const QString& title, DWORD style, DWORD exStyle, int x,
                            int y, int cx, int cy) {
    if (hwnd_ != kNoWindow) {
        return hwnd_;
    }
    HostWidget* ownerHost = HostFromHandle(owner);
    owner_ = ownerHost == nullptr ? kNoWindow : owner;
    auto* host = new HostWidget(this, ownerHost);
    host_ = host;
    hwnd_ = RegisterWindow(host);
    style_ = style;
    exStyle_ = exStyle;
    host->setObjectName(GetWindowClassName());
    host->setWindowTitle(title);
    ApplyFlags();
    bool handled = false;
    LRESULT created = -1;
    if (!GuardedCall("OnCreate", [&] { created = OnCreate(WM_CREATE, 0, 0, handled); })) {
        skinError_ = QStringLiteral("%1: window set-up failed").arg(GetWindowClassName());
    }
    if (created == -1) {
        UnregisterWindow(hwnd_);
        hwnd_ = kNoWindow;
        host->Detach();
        host->deleteLater();
        host_ = nullptr;
        return kNoWindow;
    }
    if (host_ == nullptr) {
        return kNoWindow; // OnCreate closed it
    }
    if (cx != CW_USEDEFAULT && cy != CW_USEDEFAULT && cx > 0 && cy > 0) {
        host_->resize(cx, cy);
    }
    if (x != CW_USEDEFAULT && y != CW_USEDEFAULT) {
        host_->move(x, y);
    }
    FitToScreen();
    if ((style_ & WS_VISIBLE) != 0) {
        ShowWindow(true, true);
    }
    return hwnd_;
}

void WindowImplBase::ApplyFlags() {
    HostWidget* host = host_.data();
    if (host == nullptr) {
        return;
    }
    const bool caption = (style_ & WS_CAPTION) == WS_CAPTION;
    const bool tool = (exStyle_ & WS_EX_TOOLWINDOW) != 0;
    const bool popup = (style_ & WS_POPUP) != 0;
    Qt::WindowFlags flags;
    if (tool && popup && !caption) {
        flags = Qt::Popup; // a menu: closes when the user clicks elsewhere
    } else if (tool) {
        flags = Qt::Tool;
    } else {
        flags = owner_ != kNoWindow ? Qt::Dialog : Qt::Window;
    }
    if (!caption) {
        flags |= Qt::FramelessWindowHint;
        // Without a hint the window manager offers every function, minimise and maximise
        // included. A box or dialog asks for none: it closes through its own button. (A
        // close button hint would bring Qt's title bar back.)
        if (!tool && (style_ & (WS_MINIMIZEBOX | WS_MAXIMIZEBOX)) == 0) {
            flags |= Qt::CustomizeWindowHint;
        }
    } else {
        flags |= Qt::CustomizeWindowHint | Qt::WindowTitleHint;
        if ((style_ & WS_SYSMENU) != 0) {
            flags |= Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint;
        }
        if ((style_ & WS_MINIMIZEBOX) != 0) {
            flags |= Qt::WindowMinimizeButtonHint;
        }
        if ((style_ & WS_MAXIMIZEBOX) != 0) {
            flags |= Qt::WindowMaximizeButtonHint;
        }
    }
    if ((exStyle_ & WS_EX_TOPMOST) != 0) {
        flags |= Qt::WindowStaysOnTopHint;
    }
    if (host->windowFlags() == flags) {
        return;
    }
    const bool wasVisible = host->isVisible();
    host->setWindowFlags(flags);
    if (wasVisible) {
        host->show();
    }
}

void WindowImplBase::SetStyle(DWORD style) {
    style_ = style;
    ApplyFlags();
}

void WindowImplBase::SetExStyle(DWORD exStyle) {
    exStyle_ = exStyle;
    ApplyFlags();
}

QWidget* WindowImplBase::GetWidget() const {
    return host_.data();
}

void WindowImplBase::FitToScreen() {
    HostWidget* host = host_.data();
    if (host == nullptr) {
        return;
    }
    QScreen* screen = host->screen() != nullptr ? host->screen() : QGuiApplication::primaryScreen();
    if (screen == nullptr) {
        return;
    }
    // The system's frame around a captioned window, once known; before the first
    // show an allowance for a title bar and borders.
    QSize frame = host->frameGeometry().size() - host->size();
    if (!host->isVisible() && (style_ & WS_CAPTION) == WS_CAPTION) {
        frame = frame.expandedTo(QSize(kFrameAllowance, kTitleAllowance));
    }
    const QSize room = (screen->availableGeometry().size() - frame).expandedTo(QSize(1, 1));
    // A skin's minimum is what its designer wanted on a roomy screen; on a small or
    // highly scaled one it gives way, and the layouts' own minimums (where the
    // list is the part that shrinks) decide.
    QLayout* layout = host->layout();
    QWidget* root =
        layout != nullptr && layout->count() > 0 ? layout->itemAt(0)->widget() : nullptr;
    if (root != nullptr) {
        root->setMinimumSize(root->minimumSize().boundedTo(room));
    }
    const QSize size = host->size().boundedTo(room);
    if ((style_ & WS_THICKFRAME) == 0) {
        // Not resizable, as its style says: a window manager then offers neither
        // resizing nor maximising.
        host->setFixedSize(size);
        return;
    }
    host->setMinimumSize(host->minimumSize().boundedTo(room));
    host->resize(size);
}

void WindowImplBase::CenterWindow() {
    HostWidget* host = host_.data();
    if (host == nullptr) {
        return;
    }
    FitToScreen();
    QScreen* screen = host->screen() != nullptr ? host->screen() : QGuiApplication::primaryScreen();
    const QRect work = screen != nullptr ? screen->availableGeometry() : QRect(0, 0, 1024, 768);
    QRect over = work;
    if (HostWidget* ownerHost = HostFromHandle(owner_);
        ownerHost != nullptr && ownerHost->isVisible()) {
        over = ownerHost->frameGeometry();
    }
    QRect frame = host->frameGeometry();
    frame.moveCenter(over.center());
    // Keep the window on the work area even when the owner sits at its edge.
    if (frame.right() > work.right()) {
        frame.moveRight(work.right());
    }
    if (frame.bottom() > work.bottom()) {
        frame.moveBottom(work.bottom());
    }
    if (frame.left() < work.left()) {
        frame.moveLeft(work.left());
    }
    if (frame.top() < work.top()) {
        frame.moveTop(work.top());
    }
    host->move(frame.topLeft());
}

void WindowImplBase::ShowWindow(bool show, bool takeFocus) {
    HostWidget* host = host_.data();
    if (host == nullptr) {
        return;
    }
    if (!show) {
        host->hide();
        return;
    }
    if (host->isMinimized()) {
        host->showNormal();
    } else {
        host->show();
    }
    if (takeFocus) {
        host->raise();
        host->activateWindow();
    }
}

int WindowImplBase::ShowModal() {
    HostWidget* host = host_.data();
    if (host == nullptr) {
        // Nothing to wait for; the window still gets its final call, and a kept
        // window is released as after any other end.
        DeliverFinalMessage(kNoWindow);
        return -1;
    }
    ModalState state;
    modal_ = &state;
    const Qt::WindowModality modality =
        HostFromHandle(owner_) != nullptr ? Qt::WindowModal : Qt::NonModal;
    if (host->windowModality() != modality) {
        // Qt reads the modality when a window is shown. A window already on screen
        // has to go and come back, which a window manager may still be digesting
        // when the loop starts; the watch below puts it back if it got lost.
        host->hide();
        host->setWindowModality(modality);
    }
    ShowWindow(true, true);
    const HWND self = hwnd_;
    const HWND ownerHandle = owner_;
    WindowImplBase* ownerWindow = WindowFromHandle(owner_);
    const HWND outerModal = ownerWindow != nullptr ? ownerWindow->modalChild_ : kNoWindow;
    if (ownerWindow != nullptr) {
        ownerWindow->modalChild_ = self;
    }
    ModalWatch watch(self);
    if (!state.done) {
        state.loop.exec(QEventLoop::DialogExec);
    }
    if (WindowImplBase* o = WindowFromHandle(ownerHandle); o != nullptr && o->modalChild_ == self) {
        o->modalChild_ = outerModal;
    }
    if (!state.done) {
        // The loop ended without Close or destruction (the application is quitting), so
        // the window is alive and must stop pointing at this frame's state.
        modal_ = nullptr;
    }
    return state.code;
}

bool WindowImplBase::IsOnScreen() const {
    HostWidget* host = host_.data();
    if (host == nullptr || !host->isVisible()) {
        return false;
    }
    QWindow* handle = host->windowHandle();
    return handle != nullptr && handle->isExposed();
}

void WindowImplBase::BringToFront() {
    HostWidget* host = host_.data();
    if (host == nullptr || !host->isVisible()) {
        return;
    }
    if (!IsOnScreen() && !host->isMinimized()) {
        Remap();
        return;
    }
    host->raise();
    host->activateWindow();
}

void WindowImplBase::Remap() {
    HostWidget* host = host_.data();
    if (host == nullptr || remapping_) {
        return;
    }
    // Qt believes the window is shown while the display has it unmapped (a window
    // manager that lost it half-way): only a fresh map brings it back. The pause
    // lets the window manager finish the withdrawal first, so that the two do not
    // cross again.
    remapping_ = true;
    host->hide();
    const HWND self = hwnd_;
    QTimer::singleShot(kRemapPauseMs, host, [self] {
        WindowImplBase* window = WindowFromHandle(self);
        if (window == nullptr) {
            return;
        }
        window->remapping_ = false;
        window->ShowWindow(true, true);
    });
}

void WindowImplBase::Close(UINT code) {
    if (hwnd_ == kNoWindow) {
        return;
    }
    PostMessage(hwnd_, WM_CLOSE, code, 0);
}

bool WindowImplBase::SetIcon(const QString& file) {
    HostWidget* host = host_.data();
    if (host == nullptr) {
        return false;
    }
    const QIcon icon(SkinFilePath(file));
    if (icon.isNull()) {
        return false;
    }
    host->setWindowIcon(icon);
    return true;
}

CControlUI* WindowImplBase::FindControl(const QString& name) {
    HostWidget* host = host_.data();
    if (host == nullptr || name.isEmpty()) {
        return nullptr;
    }
    if (QWidget* w = FindNamedWidget(host, name); w != nullptr && w != host) {
        return WidgetControl::For(w);
    }
    // Entries of long lists are controls too, as in the list's own look-up.
    const auto lists = host->findChildren<TemplateListView*>();
    for (TemplateListView* list : lists) {
        if (CControlUI* entry = WidgetControl::For(list)->FindSubControl(name)) {
            return entry;
        }
    }
    return nullptr;
}

QRect WindowImplBase::GetWindowRect() const {
    HostWidget* host = host_.data();
    return host == nullptr ? QRect() : host->frameGeometry();
}

QRect WindowImplBase::GetClientRect() const {
    HostWidget* host = host_.data();
    return host == nullptr ? QRect() : host->rect();
}

void WindowImplBase::MoveWindow(int x, int y, int cx, int cy) {
    HostWidget* host = host_.data();
    if (host == nullptr) {
        return;
    }
    host->move(x, y);
    if ((style_ & WS_THICKFRAME) == 0) {
        host->setFixedSize(cx, cy);
        return;
    }
    host->resize(cx, cy);
}

void WindowImplBase::SetWindowPos(int x, int y) {
    if (HostWidget* host = host_.data()) {
        host->move(x, y);
    }
}

bool WindowImplBase::SetTimer(UINT id, UINT elapseMs) {
    HostWidget* host = host_.data();
    if (host == nullptr) {
        return false;
    }
    KillTimer(id);
    const int qtId = host->startTimer(static_cast<int>(elapseMs));
    if (qtId == 0) {
        return false;
    }
    timers_[id] = qtId;
    return true;
}

bool WindowImplBase::KillTimer(UINT id) {
    const auto it = timers_.find(id);
    if (it == timers_.end()) {
        return false;
    }
    if (HostWidget* host = host_.data()) {
        host->killTimer(it->second);
    }
    timers_.erase(it);
    return true;
}

void WindowImplBase::HandleQtTimer(int qtTimerId) {
    for (const auto& [id, qtId] : timers_) {
        if (qtId == qtTimerId) {
            DispatchMessage(WM_TIMER, id, 0);
            return;
        }
    }
}

void WindowImplBase::DispatchMessage(UINT msg, WPARAM wParam, LPARAM lParam) {
    bool handled = false;
    if (msg == WM_CLOSE) {
        GuardedCall("OnClose", [&] { OnClose(msg, wParam, lParam, handled); });
        if (handled) {
            return;
        }
        closeCode_ = static_cast<UINT>(wParam);
        Destroy(false);
        return;
    }
    GuardedCall("HandleCustomMessage", [&] { HandleCustomMessage(msg, wParam, lParam, handled); });
}

void WindowImplBase::HandleWidgetClose() {
    DispatchMessage(WM_CLOSE, 0, 0);
}

void WindowImplBase::HandleWidgetGone() {
    host_ = nullptr;
    Destroy(true);
}

void WindowImplBase::HandleActivation(bool active) {
    if (active && modalChild_ != kNoWindow) {
        // The owner came forward (a click on it, the task bar, a later start):
        // its modal window must come with it, mapped and on top.
        const HWND child = modalChild_;
        QTimer::singleShot(0, [child] {
            if (WindowImplBase* window = WindowFromHandle(child)) {
                window->BringToFront();
            }
        });
    }
    bool handled = false;
    GuardedCall("OnNcActivate", [&] { OnNcActivate(WM_NCACTIVATE, active ? 1 : 0, 0, handled); });
    if (!active) {
        handled = false;
        GuardedCall("OnKillFocus", [&] { OnKillFocus(WM_KILLFOCUS, 0, 0, handled); });
    }
}

void WindowImplBase::SendNotify(TNotifyUI& msg) {
    GuardedCall("Notify", [&] { Notify(msg); });
}

void WindowImplBase::Destroy(bool widgetGone) {
    if (destroying_ || hwnd_ == kNoWindow) {
        return;
    }
    destroying_ = true;
    bool handled = false;
    GuardedCall("OnDestroy", [&] { OnDestroy(WM_DESTROY, 0, 0, handled); });
    const HWND old = hwnd_;
    UnregisterWindow(hwnd_);
    hwnd_ = kNoWindow;
    timers_.clear();
    if (!widgetGone) {
        if (HostWidget* host = host_.data()) {
            host->Detach();
            host->hide();
            host->deleteLater();
        }
    }
    host_ = nullptr;
    if (modal_ != nullptr) {
        modal_->code = static_cast<int>(closeCode_);
        modal_->done = true;
        modal_->loop.quit();
        modal_ = nullptr;
    }
    destroying_ = false;
    DeliverFinalMessage(old);
}

void WindowImplBase::DeliverFinalMessage(HWND old) {
    GuardedCall("OnFinalMessage", [this, old] { OnFinalMessage(old); });
    ReleaseKeptWindow(this); // deferred: the caller's frames may still use this object
}

} // namespace velquist::ui
