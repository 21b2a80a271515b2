#include "base/win/EventWake_win.h"

namespace base::win {

bool EventWake::Arm(HANDLE event, DWORD timeoutMs) noexcept {
    const std::scoped_lock lock(_lock);
    if (!_wait) {
        _wait.reset(::CreateThreadpoolWait(&EventWake::Fired, this, /* pcbe */ nullptr));
        if (!_wait) {
            return false;
        }
    }
    _event = event;
    _timeoutMs = timeoutMs;
    _armed = true;
    SetWait();
    return true;
}

void EventWake::Disarm() noexcept {
    const std::scoped_lock lock(_lock);
    _armed = false;
    if (_wait) {
        ::SetThreadpoolWait(_wait.get(), nullptr, nullptr);
    }
}

void EventWake::SetWait() noexcept {
    FILETIME due{};
    if (_timeoutMs != INFINITE) {
        // Relative, in 100 ns units: negative.
        ULARGE_INTEGER relative{};
        relative.QuadPart = static_cast<ULONGLONG>(-static_cast<LONGLONG>(_timeoutMs) * 10000);
        due.dwLowDateTime = relative.LowPart;
        due.dwHighDateTime = relative.HighPart;
    }
    ::SetThreadpoolWait(_wait.get(), _event, _timeoutMs == INFINITE ? nullptr : &due);
}

// On a pool thread: a skip check, then the post or the wait again.
void CALLBACK EventWake::Fired(PTP_CALLBACK_INSTANCE, void* context, PTP_WAIT, TP_WAIT_RESULT result) noexcept {
    auto* self = static_cast<EventWake*>(context);
    bool skipped = false;
    try {
        skipped = result == WAIT_OBJECT_0 && self->_skip && self->_skip();
    } catch (...) {
        skipped = false;  // the window's cycle sorts it out
    }
    if (skipped) {
        const std::scoped_lock lock(self->_lock);
        if (self->_armed) {  // not disarmed meanwhile
            self->SetWait();
        }
        return;
    }
    (void)::PostMessageW(self->_window, self->_message, self->_tag, 0);
}

}  // namespace base::win
