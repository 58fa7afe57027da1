#pragma once

#include "ui/ui_defs.h"

#include <functional>

namespace velquist::ui {

class WindowImplBase;

// Called when a posted message cannot be delivered because its window went
// away before the message was handled: frees what wParam/lParam carry.
using DroppedMessageFn = void (*)(UINT msg, WPARAM wParam, LPARAM lParam);

// Callable from any thread. Queues the message for the window's GUI thread;
// messages from one thread to one window arrive in the order posted. Returns
// false when the window is gone: the message is not queued and the caller
// still owns what wParam/lParam point to. When the window goes away after the
// post succeeded but before the message is handled, `dropped` (if given) is
// called so that nothing leaks.
bool PostMessage(HWND hwnd, UINT msg, WPARAM wParam = 0, LPARAM lParam = 0,
                 DroppedMessageFn dropped = nullptr);

// Callable from any thread. Runs `call` on the window's GUI thread while the
// window is still there; results travel as the values the call captured, so
// nothing needs freeing by hand. Calls from one thread to one window run in
// the order posted, in turn with PostMessage's messages. Returns false when the
// window is already gone; a call whose window goes before it runs is dropped,
// and what it captured is released with it.
bool PostToWindow(HWND hwnd, std::function<void()> call);

// Whether the handle names a live window. Any thread.
bool IsWindow(HWND hwnd);

// The window object behind a handle, or null. GUI thread only.
WindowImplBase* WindowFromHandle(HWND hwnd);

} // namespace velquist::ui
