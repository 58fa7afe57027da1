#pragma once

#include "ui/ui_defs.h"

namespace velquist {

// The main window's own messages. The numbers are fixed: the tray menu, the
// tray icon and the conversion jobs post them.
inline constexpr ui::UINT kMsgOpenOutputDir = ui::WM_USER + 200;
inline constexpr ui::UINT kMsgQuit = ui::WM_USER + 210;
inline constexpr ui::UINT kMsgShowMain = ui::WM_USER + 211;
inline constexpr ui::UINT kMsgOpenHelp = ui::WM_USER + 212;
inline constexpr ui::UINT kMsgFeedback = ui::WM_USER + 213;
inline constexpr ui::UINT kMsgCheckUpdate = ui::WM_USER + 214;
// A folder or a drop scanned off the GUI thread (delivered as a call carrying the items).
inline constexpr ui::UINT kMsgItemsScanned = ui::WM_USER + 215;
inline constexpr ui::UINT kMsgTrayNotify = ui::WM_USER + 230;
// A job's status (delivered as a call carrying the TaskStatusReport by value).
inline constexpr ui::UINT kMsgTaskStatus = ui::WM_USER + 240;

// Mouse messages the tray icon reports in lParam of kMsgTrayNotify.
inline constexpr ui::LPARAM kTrayLeftButtonDown = 0x0201;
inline constexpr ui::LPARAM kTrayRightButtonDown = 0x0204;

inline constexpr int kTrayIconId = 128;

} // namespace velquist
