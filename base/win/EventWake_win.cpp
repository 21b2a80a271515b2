#include "base/win/EventWake_win.h"

namespace base::win {

namespace {
// The waiting thread runs little more than a wait and a post.
constexpr SIZE_T kWaiterStack = 64 * 1024;
}  // namespace

EventWake::~EventWake() {
    if (_thread) {
        Change(false, nullptr, INFINITE);
        {
            const std::scoped_lock lock(_lock);
            _stop = true;
        }
        (void)::SetEvent(_changed.get());
        (void)::WaitForSingleObject(_thread.get(), INFINITE);
    }
}

bool EventWake::Arm(HANDLE event, DWORD timeoutMs) noexcept {
    if (!_thread) {
        _changed.reset(::CreateEventW(nullptr, /* bManualReset */ FALSE, /* bInitialState */ FALSE, nullptr));
        if (!_changed) {
            return false;
        }
        _thread.reset(::CreateThread(nullptr, kWaiterStack, &EventWake::Waiter, this, STACK_SIZE_PARAM_IS_A_RESERVATION,
                                     nullptr));
        if (!_thread) {
            return false;
        }
    }
    Change(true, event, timeoutMs);
    return true;
}

void EventWake::Disarm() noexcept {
    if (_thread) {
        Change(false, nullptr, INFINITE);
    }
}

void EventWake::Change(bool armed, HANDLE event, DWORD timeoutMs) noexcept {
    {
        const std::scoped_lock lock(_lock);
        _armed = armed;
        _event = event;
        _timeoutMs = timeoutMs;
        ++_generation;
    }
    (void)::SetEvent(_changed.get());
}

DWORD WINAPI EventWake::Waiter(void* context) noexcept {
    static_cast<EventWake*>(context)->Wait();
    return 0;
}

void EventWake::Wait() noexcept {
    for (;;) {
        HANDLE handles[2] = {_changed.get(), nullptr};
        DWORD timeoutMs = INFINITE;
        unsigned generation = 0;
        {
            const std::scoped_lock lock(_lock);
            if (_stop) {
                return;
            }
            if (_armed) {
                handles[1] = _event;
                timeoutMs = _timeoutMs;
            }
            generation = _generation;
        }
        const DWORD count = handles[1] != nullptr ? 2 : 1;
        const DWORD result =
            ::WaitForMultipleObjects(count, handles, /* bWaitAll */ FALSE, count == 2 ? timeoutMs : INFINITE);
        if (result == WAIT_OBJECT_0) {
            continue;  // the arming changed: read it again
        }
        // A failed wait (the event closed under it) is the window's to sort out, as a report is.
        bool skipped = false;
        if (result == WAIT_OBJECT_0 + 1 && _skip) {
            try {
                skipped = _skip();
            } catch (...) {
                skipped = false;  // the window's cycle sorts it out
            }
        }
        if (skipped) {
            continue;
        }
        {
            const std::scoped_lock lock(_lock);
            if (!_armed || _generation != generation) {
                continue;
            }
            _armed = false;  // one message per arming
        }
        (void)::PostMessageW(_window, _message, _tag, 0);
    }
}

}  // namespace base::win
