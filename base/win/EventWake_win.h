#pragma once
// Posts one message to a window when an event is set, or when a time-out passes first, from a
// thread-pool wait. Every message loop of the window's thread dispatches posted messages (ours,
// and those of menus, dialogs and message boxes), so the window hears of it whatever is open.
#include <windows.h>

#include "base/UniqueResource.h"

namespace base::win {

namespace detail {
inline void CloseTpWait(PTP_WAIT wait) noexcept {
    ::SetThreadpoolWait(wait, nullptr, nullptr);
    ::WaitForThreadpoolWaitCallbacks(wait, /* fCancelPendingCallbacks */ TRUE);
    ::CloseThreadpoolWait(wait);
}
}  // namespace detail
using unique_tp_wait = UniqueResource<PTP_WAIT, &detail::CloseTpWait>;

class EventWake {
  public:
    // `message` goes to `window` with `tag` as its wParam.
    EventWake(HWND window, UINT message, WPARAM tag) noexcept : _window(window), _message(message), _tag(tag) {}
    EventWake(const EventWake&) = delete;
    EventWake& operator=(const EventWake&) = delete;

    // One message when `event` is set, or after `timeoutMs` (INFINITE: no time-out). Arming
    // again replaces the wait; false when the pool has no wait to give.
    bool Arm(HANDLE event, DWORD timeoutMs = INFINITE) noexcept;
    void Disarm() noexcept;

  private:
    static void CALLBACK Fired(PTP_CALLBACK_INSTANCE, void* context, PTP_WAIT, TP_WAIT_RESULT) noexcept;

    HWND _window;
    UINT _message;
    WPARAM _tag;
    unique_tp_wait _wait;  // last: closed (and its callback waited for) before the rest goes
};

}  // namespace base::win
