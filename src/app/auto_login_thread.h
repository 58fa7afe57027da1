#pragma once

namespace velquist {

class CMainWnd;

// The automatic login from the stored credentials at start-up. It has nothing
// to do yet: the login arrives with the account dialogs.
void AutoLoginThread(CMainWnd* window);

} // namespace velquist
