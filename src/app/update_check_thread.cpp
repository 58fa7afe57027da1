#include "update_check_thread.h"

namespace velquist {

void UpdateCheckThread(CMainWnd* /*window*/) {}

} // namespace velquist
