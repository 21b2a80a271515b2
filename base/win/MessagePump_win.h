#pragma once
// The program's one message pump. The main loop, the read cycle's message pass and the key
// player's pauses all dispatch through it, so keyboard navigation (Tab, Enter, Esc) reaches
// the main window's controls and any modeless dialog whichever loop happens to be running.
#include <windows.h>

#include <functional>

namespace base::win {

// Windows whose keyboard navigation the pump serves through IsDialogMessage: the main window
// and open modeless dialogs. A window registers while it exists and unregisters before it goes.
void AddDialogNavigation(HWND window) noexcept;
void RemoveDialogNavigation(HWND window) noexcept;

// Runs until WM_QUIT and returns its exit code.
int RunMessageLoop() noexcept;

// Says whether a message is to be held back rather than dispatched now; a filter that holds one
// takes it over (and posts it again when its time comes).
using HoldFilter = std::function<bool(MSG&)>;

// Dispatches what is queued now, at most `maxMessages` and none posted after the call began,
// so a handler that keeps posting cannot hold the caller. Returns false when WM_QUIT was met:
// it is posted again for the main loop, and the caller stops dispatching.
bool DispatchPendingMessages(int maxMessages = 1000, const HoldFilter& hold = {}) noexcept;

}  // namespace base::win
