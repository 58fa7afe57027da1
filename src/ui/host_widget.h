#pragma once

#include "ui/ui_defs.h"

#include <QEvent>
#include <QWidget>

namespace velquist::ui {

class WindowImplBase;

// A message posted through PostMessage. When it is destroyed without having
// been handled (its window went away first), the poster's release function
// frees what it carries.
class MessageEvent final : public QEvent {
  public:
    using DroppedFn = void (*)(UINT, WPARAM, LPARAM);
    static QEvent::Type EventType();

    MessageEvent(UINT msg, WPARAM wParam, LPARAM lParam, DroppedFn dropped);
    ~MessageEvent() override;
    MessageEvent(const MessageEvent&) = delete;
    MessageEvent& operator=(const MessageEvent&) = delete;

    UINT msg;
    WPARAM wParam;
    LPARAM lParam;
    bool delivered = false;

  private:
    DroppedFn dropped_;
};

// The top-level widget behind a WindowImplBase. It forwards what the window
// cares about and forgets the window the moment the window is gone, so late
// events fall on the floor instead of on a deleted object.
class HostWidget final : public QWidget {
    Q_OBJECT
  public:
    HostWidget(WindowImplBase* window, QWidget* parent);
    ~HostWidget() override;

    WindowImplBase* window() const { return window_; }
    void Detach() { window_ = nullptr; }
    // Window shape from the skin: radii of the rounded corners; (0, 0) is a
    // plain rectangle. Negative: no shape.
    void SetRoundCorner(int rx, int ry);

  protected:
    bool event(QEvent* e) override;
    void closeEvent(QCloseEvent* e) override;
    void timerEvent(QTimerEvent* e) override;
    void resizeEvent(QResizeEvent* e) override;
    void keyPressEvent(QKeyEvent* e) override;
    // Tab and Backtab walk the window's controls in the order they appear on
    // screen, whatever order the skin file lists them in.
    bool focusNextPrevChild(bool next) override;

  private:
    // Escape closes dialogs, boxes and menus (as their close button does); the
    // main window stays.
    bool ClosesOnEscape() const;
    void UpdateMask();

    WindowImplBase* window_;
    int roundX_ = -1;
    int roundY_ = -1;
};

} // namespace velquist::ui
