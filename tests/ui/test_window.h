#pragma once

#include "ui/paint_manager.h"
#include "ui/window_impl_base.h"
#include "ui/window_keeper.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QString>
#include <functional>
#include <memory>
#include <vector>

namespace velquist::ui::test {

inline void UseTestSkins() {
    CPaintManagerUI::SetResourcePath(QStringLiteral(VELQUIST_UI_TEST_SKINS));
}

// Runs the event loop until pred holds or ms pass (a bound for a stuck test, not a
// measure of speed); returns pred's last value.
inline bool SpinUntil(const std::function<bool()>& pred, int ms = 20000) {
    QElapsedTimer clock;
    clock.start();
    while (!pred()) {
        if (clock.elapsed() > ms) {
            return false;
        }
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    }
    return true;
}

// Runs the event loop until everything posted before the call has been delivered:
// work the code leaves for "the next pass" is waited on by its order, not by time.
inline bool SpinPastPosted(int ms = 20000) {
    auto reached = std::make_shared<bool>(false);
    QMetaObject::invokeMethod(
        QCoreApplication::instance(), [reached] { *reached = true; }, Qt::QueuedConnection);
    return SpinUntil([reached] { return *reached; }, ms);
}

struct Note {
    QString type;
    QString sender;
    int tag = 0;
    bool check = false;
};

struct Posted {
    UINT msg = 0;
    WPARAM wParam = 0;
    LPARAM lParam = 0;
};

// A window that records what reaches it. *finalCount (when given) outlives it.
class TestWindow : public WindowImplBase {
  public:
    explicit TestWindow(QString skin = QStringLiteral("Basic.xml")) : skin_(std::move(skin)) {}

    QString GetWindowClassName() const override { return QStringLiteral("TestWindow"); }
    QString GetSkinFile() override { return skin_; }
    void InitWindow() override { ++initCalls; }

    void Notify(TNotifyUI& msg) override {
        Note n{msg.sType, {}, 0, false};
        if (msg.pSender != nullptr) {
            n.sender = msg.pSender->GetName();
            n.tag = msg.pSender->GetTag();
            n.check = msg.pSender->GetCheck();
        }
        notes.push_back(n);
        if (onNotify) {
            onNotify(msg);
        }
    }

    LRESULT HandleCustomMessage(UINT uMsg, WPARAM wParam, LPARAM lParam, bool& bHandled) override {
        posted.push_back({uMsg, wParam, lParam});
        if (onMessage) {
            onMessage(uMsg, wParam, lParam);
        }
        bHandled = true;
        return 0;
    }

    LRESULT OnClose(UINT, WPARAM, LPARAM, bool& bHandled) override {
        bHandled = refuseClose;
        return 0;
    }

    void OnFinalMessage(HWND hWnd) override {
        ++finals;
        if (finalCount != nullptr) {
            ++*finalCount;
        }
        WindowImplBase::OnFinalMessage(hWnd);
    }

    QString skin_;
    int initCalls = 0;
    int finals = 0;
    int* finalCount = nullptr;
    bool refuseClose = false;
    std::vector<Note> notes;
    std::vector<Posted> posted;
    std::function<void(TNotifyUI&)> onNotify;
    std::function<void(UINT, WPARAM, LPARAM)> onMessage;
};

// A window that nobody holds, kept until it is gone as the program's tray menu and
// panels are.
template <class W = TestWindow, class... Args> W* NewKeptWindow(Args&&... args) {
    auto owned = std::make_unique<W>(std::forward<Args>(args)...);
    W* window = owned.get();
    KeepUntilGone(std::move(owned));
    return window;
}

} // namespace velquist::ui::test
