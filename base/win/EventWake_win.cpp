#include "base/win/EventWake_win.h"

namespace base::win {

bool EventWake::Arm(HANDLE event, DWORD timeoutMs) noexcept {
    if (!_wait) {
        _wait.reset(::CreateThreadpoolWait(&EventWake::Fired, this, /* pcbe */ nullptr));
        if (!_wait) {
            return false;
        }
    }
    FILETIME due{};
    if (timeoutMs != INFINITE) {
        // Relative, in 100 ns units: negative.
        ULARGE_INTEGER relative{};
        relative.QuadPart = static_cast<ULONGLONG>(-static_cast<LONGLONG>(timeoutMs) * 10000);
        due.dwLowDateTime = relative.LowPart;
        due.dwHighDateTime = relative.HighPart;
    }
    ::SetThreadpoolWait(_wait.get(), event, timeoutMs == INFINITE ? nullptr : &due);
    return true;
}

void EventWake::Disarm() noexcept {
    if (_wait) {
        ::SetThreadpoolWait(_wait.get(), nullptr, nullptr);
    }
}

// On a pool thread: nothing here but the post.
void CALLBACK EventWake::Fired(PTP_CALLBACK_INSTANCE, void* context, PTP_WAIT, TP_WAIT_RESULT) noexcept {
    const auto* self = static_cast<const EventWake*>(context);
    (void)::PostMessageW(self->_window, self->_message, self->_tag, 0);
}

}  // namespace base::win
