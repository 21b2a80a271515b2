#pragma once
// Posts one message to a window when an event is set, or when a time-out passes first, from a
// thread of its own that waits in the system. Every message loop of the window's thread
// dispatches posted messages (ours, and those of menus, dialogs and message boxes), so the
// window hears of it whatever is open. A thread that waits in the system, rather than a pool
// thread, also takes the completion of I/O it started at little cost: under Wine the pool's
// workers have to be interrupted for it.
#include <windows.h>

#include <functional>
#include <mutex>

#include "base/win/Handles_win.h"

namespace base::win {

class EventWake {
  public:
    // `message` goes to `window` with `tag` as its wParam. When the event is set and `skip`, run
    // on the waiting thread, says the window need not hear of it, the wait goes on instead.
    EventWake(HWND window, UINT message, WPARAM tag, std::function<bool()> skip = {}) noexcept
        : _window(window), _message(message), _tag(tag), _skip(std::move(skip)) {}
    EventWake(const EventWake&) = delete;
    EventWake& operator=(const EventWake&) = delete;
    ~EventWake();

    // One message when `event` is set, or after `timeoutMs` (INFINITE: no time-out). Arming
    // again replaces the wait; false when the thread cannot be started.
    bool Arm(HANDLE event, DWORD timeoutMs = INFINITE) noexcept;
    void Disarm() noexcept;

  private:
    static DWORD WINAPI Waiter(void* context) noexcept;
    void Wait() noexcept;
    void Change(bool armed, HANDLE event, DWORD timeoutMs) noexcept;

    HWND _window;
    UINT _message;
    WPARAM _tag;
    std::function<bool()> _skip;
    // What to wait for: set by the window's thread, read by the waiting one.
    std::mutex _lock;
    HANDLE _event = nullptr;
    DWORD _timeoutMs = INFINITE;
    bool _armed = false;
    bool _stop = false;
    unsigned _generation = 0;      // a wait that ended under an older arming posts nothing
    base::unique_handle _changed;  // auto reset: the waiting thread reads the above again
    base::unique_handle _thread;
};

}  // namespace base::win
