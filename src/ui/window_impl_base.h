#pragma once

#include "ui/control.h"
#include "ui/notify.h"
#include "ui/ui_defs.h"

#include <QPointer>
#include <QRect>
#include <QString>
#include <map>
#include <memory>

class QWidget;

namespace velquist::ui {

class HostWidget;
struct ModalState;
class ModalWatch;

inline constexpr int kRemapPauseMs = 150;
// What a window manager's frame may take before the first show tells.
inline constexpr int kFrameAllowance = 8;
inline constexpr int kTitleAllowance = 40;

// Base of every window. The window lives on the GUI thread. Its life:
// Create -> OnCreate (the base loads the skin named by GetSkinFile and calls
// InitWindow) -> shown, notifications and messages -> Close(code) or WM_CLOSE
// -> OnClose (set bHandled to keep the window) -> OnDestroy -> the window is
// gone (posts are refused from here on) -> OnFinalMessage; the widget behind it
// is released later by the event loop. The object itself belongs to whoever
// opened it (a std::unique_ptr, ShowModalBox) or to KeepUntilGone, which frees
// it after the final message; a window never deletes itself.
class WindowImplBase {
  public:
    WindowImplBase();
    virtual ~WindowImplBase();
    WindowImplBase(const WindowImplBase&) = delete;
    WindowImplBase& operator=(const WindowImplBase&) = delete;

    // --- what a window overrides ---------------------------------------------
    // Kept as the window's object name.
    virtual QString GetWindowClassName() const = 0;
    // File name below the resource path (CPaintManagerUI::GetResourcePath).
    virtual QString GetSkinFile() = 0;
    virtual void InitWindow() {}
    virtual void Notify(TNotifyUI& msg);
    // Every posted message except WM_CLOSE and WM_QUIT, WM_TIMER included
    // (timer id in wParam). Returns the result; set bHandled when handled.
    virtual LRESULT HandleCustomMessage(UINT uMsg, WPARAM wParam, LPARAM lParam, bool& bHandled);
    // The base builds the controls from the skin and calls InitWindow; it
    // returns -1 when the skin cannot be loaded, which makes Create fail.
    virtual LRESULT OnCreate(UINT uMsg, WPARAM wParam, LPARAM lParam, bool& bHandled);
    // Set bHandled to keep the window open.
    virtual LRESULT OnClose(UINT uMsg, WPARAM wParam, LPARAM lParam, bool& bHandled);
    virtual LRESULT OnDestroy(UINT uMsg, WPARAM wParam, LPARAM lParam, bool& bHandled);
    // The window lost the keyboard focus to another window.
    virtual LRESULT OnKillFocus(UINT uMsg, WPARAM wParam, LPARAM lParam, bool& bHandled);
    // wParam is 1 when the window becomes active, 0 when it stops being.
    virtual LRESULT OnNcActivate(UINT uMsg, WPARAM wParam, LPARAM lParam, bool& bHandled);
    // Called once after the window is gone. The object is still whole and
    // stays so until the call that closed it has returned.
    virtual void OnFinalMessage(HWND hWnd);

    // --- window operations ---------------------------------------------------
    // Style bits: caption bits (WS_CAPTION) -> system decoration, cleared ->
    // frameless; WS_EX_TOOLWINDOW -> tool window; WS_POPUP without caption ->
    // pop-up; WS_EX_TOPMOST -> stays on top; WS_VISIBLE -> shown at once.
    // CW_USEDEFAULT (or 0) for the size takes the skin's size. Returns the
    // handle, or kNoWindow when the skin cannot be loaded (see GetSkinError).
    HWND Create(HWND owner, const QString& title, DWORD style, DWORD exStyle, int x = CW_USEDEFAULT,
                int y = CW_USEDEFAULT, int cx = CW_USEDEFAULT, int cy = CW_USEDEFAULT);
    // Over the owner, or over the screen's work area when there is none; fitted
    // to that work area first.
    void CenterWindow();
    // Size and minimum size within the screen's work area, whatever its scale.
    // Windows without WS_THICKFRAME keep a fixed size.
    void FitToScreen();
    void ShowWindow(bool show = true, bool takeFocus = true);
    // Runs a nested loop until the window is gone and returns the code given to
    // Close (0 for the system close button). Input to the owner window is
    // blocked meanwhile; without an owner other windows stay usable. On a
    // window whose Create failed it calls OnFinalMessage at once and returns -1.
    int ShowModal();
    // Mapped and exposed on the display, not merely shown as far as Qt knows.
    bool IsOnScreen() const;
    // Raises and activates the window; maps it afresh when the display lost it.
    void BringToFront();
    // Unmaps the window and maps it again a moment later.
    void Remap();
    // The window running a modal loop over this one, or kNoWindow.
    HWND GetModalChild() const { return modalChild_; }

    // Asynchronous, like posting WM_CLOSE with the code in wParam.
    void Close(UINT code = IDOK);
    // An image file, absolute or below the resource path.
    bool SetIcon(const QString& file);
    HWND GetHWND() const { return hwnd_; }
    HWND GetOwner() const { return owner_; }
    // The top-level widget behind the window; null before Create and after the
    // window is gone.
    QWidget* GetWidget() const;
    bool IsWindow() const { return hwnd_ != kNoWindow; }

    CControlUI* FindControl(const QString& name);
    // Why the last Create failed to load its skin; empty when it did not.
    QString GetSkinError() const { return skinError_; }

    DWORD GetStyle() const { return style_; }
    DWORD GetExStyle() const { return exStyle_; }
    // Re-reads the bits into the window's decoration and flags.
    void SetStyle(DWORD style);
    void SetExStyle(DWORD exStyle);
    void ModifyStyle(DWORD remove, DWORD add) { SetStyle((style_ & ~remove) | add); }

    // Screen rectangle of the window (frame included) and its client rectangle.
    QRect GetWindowRect() const;
    QRect GetClientRect() const;
    void MoveWindow(int x, int y, int cx, int cy);
    void SetWindowPos(int x, int y);

    // Window timers with the program's own ids: WM_TIMER with the id in wParam
    // goes to HandleCustomMessage. Setting an id that runs re-arms it (never two
    // timers per id); a handler may kill its own timer.
    bool SetTimer(UINT id, UINT elapseMs);
    bool KillTimer(UINT id);

    // Internal: called by the widget behind the window.
    void DispatchMessage(UINT msg, WPARAM wParam, LPARAM lParam);
    void HandleWidgetClose();
    void HandleWidgetGone();
    void HandleQtTimer(int qtTimerId);
    void HandleActivation(bool active);
    void SendNotify(TNotifyUI& msg);

  private:
    LRESULT LoadSkin();
    void Destroy(bool widgetGone);
    void DeliverFinalMessage(HWND old);
    void ApplyFlags();

    HWND hwnd_ = kNoWindow;
    HWND owner_ = kNoWindow;
    QPointer<HostWidget> host_;
    DWORD style_ = 0;
    DWORD exStyle_ = 0;
    UINT closeCode_ = 0;
    bool destroying_ = false;
    ModalState* modal_ = nullptr;
    HWND modalChild_ = kNoWindow;
    bool remapping_ = false;
    QString skinError_;
    std::map<UINT, int> timers_; // program id -> Qt timer id
};

} // namespace velquist::ui
