#pragma once
// Posts one message to a window when an event is set, or when a time-out passes first, from a
// thread-pool wait. Every message loop of the window's thread dispatches posted messages (ours,
// and those of menus, dialogs and message boxes), so the window hears of it whatever is open.
#include <windows.h>

#include <functional>
#include <mutex>

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
    // `message` goes to `window` with `tag` as its wParam. When the event is set and `skip`, run
    // on the pool thread, says the window need not hear of it, the same wait is armed again
    // instead (unless it was disarmed meanwhile).
    EventWake(HWND window, UINT message, WPARAM tag, std::function<bool()> skip = {}) noexcept
        : _window(window), _message(message), _tag(tag), _skip(std::move(skip)) {}
    EventWake(const EventWake&) = delete;
    EventWake& operator=(const EventWake&) = delete;

    // One message when `event` is set, or after `timeoutMs` (INFINITE: no time-out). Arming
    // again replaces the wait; false when the pool has no wait to give.
    bool Arm(HANDLE event, DWORD timeoutMs = INFINITE) noexcept;
    void Disarm() noexcept;

  private:
    static void CALLBACK Fired(PTP_CALLBACK_INSTANCE, void* context, PTP_WAIT, TP_WAIT_RESULT result) noexcept;
    void SetWait() noexcept;

    HWND _window;
    UINT _message;
    WPARAM _tag;
    std::function<bool()> _skip;
    // What the wait is armed with: the window thread arms and disarms, the pool thread re-arms.
    std::mutex _lock;
    HANDLE _event = nullptr;
    DWORD _timeoutMs = INFINITE;
    bool _armed = false;   // false once disarmed: a skip must not arm it again
    unique_tp_wait _wait;  // last: closed (and its callback waited for) before the rest goes
};

}  // namespace base::win
