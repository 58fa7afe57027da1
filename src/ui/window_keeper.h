#pragma once

#include <memory>

namespace velquist::ui {

class WindowImplBase;

// Windows that no opener outlives (the main window, the tray menu, a panel left
// open) are owned here. The window is released once its final message has been
// delivered, through the event loop's deferred deletion: a window that closes
// itself from one of its own handlers is never deleted under that handler.
// A window that is never created stays until the program ends. GUI thread only.
void KeepUntilGone(std::unique_ptr<WindowImplBase> window);

// Called by WindowImplBase after OnFinalMessage.
void ReleaseKeptWindow(WindowImplBase* window);

} // namespace velquist::ui
