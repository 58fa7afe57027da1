#pragma once

namespace velquist {

class CMainWnd;

// The update check at start-up. It has nothing to do yet: the check itself
// arrives with the update service.
void UpdateCheckThread(CMainWnd* window);

} // namespace velquist
