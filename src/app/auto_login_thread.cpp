#include "auto_login_thread.h"

namespace velquist {

void AutoLoginThread(CMainWnd* /*window*/) {}

} // namespace velquist
