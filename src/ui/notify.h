#pragma once

#include "ui/ui_defs.h"

#include <QPoint>
#include <QString>

namespace velquist::ui {

class CControlUI;

// Notification types, as the windows compare them.
inline constexpr const char* kNotifyClick = "click";
inline constexpr const char* kNotifySelectChanged = "selectchanged";
inline constexpr const char* kNotifyItemSelect = "itemselect";
inline constexpr const char* kNotifyItemClick = "itemclick";

// One control notification. pSender is valid for the duration of Notify only:
// a handler that removes the sender's entry must not use it afterwards.
//
// Order for check boxes: "selectchanged" arrives first, then "click"; by the
// time "click" arrives the check state is already the new one.
// Menu items (push buttons with the dynamic property menuitem=true) send
// "itemclick" and then "itemselect"; combo boxes send "itemselect" whenever
// their current item changes.
struct TNotifyUI {
    QString sType;
    CControlUI* pSender = nullptr;
    QPoint ptMouse;
    WPARAM wParam = 0;
    LPARAM lParam = 0;
};

} // namespace velquist::ui
