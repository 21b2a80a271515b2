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

// Posts one message to a window when an event is set, like EventWake, but waited on by the main
// loop beside its queue instead of by a thread of its own: it costs no thread (under Wine a
// thread is about a megabyte). While a menu, dialog or message box runs a loop of its own, the
// message waits for that loop to end, so it suits news that can wait that long (the port list
// changed), not the scale's reports. At most eight are armed at once; create, arm and destroy
// on the window's thread.
class LoopWake {
  public:
    LoopWake(HWND window, UINT message, WPARAM tag) noexcept : _window(window), _message(message), _tag(tag) {}
    LoopWake(const LoopWake&) = delete;
    LoopWake& operator=(const LoopWake&) = delete;
    ~LoopWake() { Disarm(); }

    // One message when `event` is set; arming again replaces the wait. False when all eight
    // places are taken.
    bool Arm(HANDLE event) noexcept;
    void Disarm() noexcept;

  private:
    friend int RunMessageLoop() noexcept;
    void Fire() noexcept;

    HWND _window;
    UINT _message;
    WPARAM _tag;
};

// Says whether a message is to be held back rather than dispatched now; a filter that holds one
// takes it over (and posts it again when its time comes).
using HoldFilter = std::function<bool(MSG&)>;

// Dispatches what is queued now, at most `maxMessages` and none posted after the call began,
// so a handler that keeps posting cannot hold the caller. Returns false when WM_QUIT was met:
// it is posted again for the main loop, and the caller stops dispatching.
bool DispatchPendingMessages(int maxMessages = 1000, const HoldFilter& hold = {}) noexcept;

}  // namespace base::win
