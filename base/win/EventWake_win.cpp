#include "base/win/EventWake_win.h"

#include <algorithm>

namespace base::win {

namespace {
// The waiting thread runs little more than a wait and a post.
constexpr SIZE_T kWaiterStack = 64 * 1024;
}  // namespace

EventWake::~EventWake() {
    if (_thread) {
        {
            const std::scoped_lock lock(_lock);
            _stop = true;
        }
        (void)::SetEvent(_changed.get());
        (void)::WaitForSingleObject(_thread.get(), INFINITE);
    }
}

bool EventWake::Arm(size_t wait, HANDLE event, DWORD timeoutMs) noexcept {
    if (wait >= _waits.size()) {
        return false;
    }
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
    Change(wait, true, event, timeoutMs);
    return true;
}

void EventWake::Disarm(size_t wait) noexcept {
    if (_thread && wait < _waits.size()) {
        Change(wait, false, nullptr, INFINITE);
    }
}

void EventWake::Change(size_t wait, bool armed, HANDLE event, DWORD timeoutMs) noexcept {
    {
        const std::scoped_lock lock(_lock);
        Armed& w = _waits[wait];
        w.armed = armed;
        w.event = event;
        w.timeoutMs = timeoutMs;
        w.deadline = ::GetTickCount64() + timeoutMs;
        ++w.generation;
    }
    (void)::SetEvent(_changed.get());
}

void EventWake::FireLocked(size_t i, unsigned generation) noexcept {
    Armed& w = _waits[i];
    if (!w.armed || w.generation != generation) {
        return;
    }
    w.armed = false;  // one message per arming
    (void)::PostMessageW(_window, w.wait.message, w.wait.tag, 0);
}

DWORD WINAPI EventWake::Waiter(void* context) noexcept {
    static_cast<EventWake*>(context)->WaitLoop();
    return 0;
}

void EventWake::WaitLoop() noexcept {
    std::vector<HANDLE> handles;
    std::vector<size_t> waitOf;         // the wait of each handle after the first
    std::vector<unsigned> generations;  // each wait's arming as the wait began
    for (;;) {
        handles.assign(1, _changed.get());
        waitOf.clear();
        DWORD timeoutMs = INFINITE;
        {
            const std::scoped_lock lock(_lock);
            if (_stop) {
                return;
            }
            const uint64_t now = ::GetTickCount64();
            generations.resize(_waits.size());
            for (size_t i = 0; i < _waits.size(); ++i) {
                const Armed& w = _waits[i];
                generations[i] = w.generation;
                if (!w.armed || w.event == nullptr) {
                    continue;
                }
                handles.push_back(w.event);
                waitOf.push_back(i);
                if (w.timeoutMs != INFINITE) {
                    timeoutMs = std::min<DWORD>(timeoutMs, w.deadline > now ? static_cast<DWORD>(w.deadline - now) : 0);
                }
            }
        }
        const DWORD count = static_cast<DWORD>(handles.size());
        const DWORD result = ::WaitForMultipleObjects(count, handles.data(), /* bWaitAll */ FALSE, timeoutMs);
        if (result == WAIT_OBJECT_0) {
            continue;  // an arming changed: read them again
        }
        if (result > WAIT_OBJECT_0 && result < WAIT_OBJECT_0 + count) {
            const std::scoped_lock lock(_lock);
            const size_t i = waitOf[result - WAIT_OBJECT_0 - 1];
            FireLocked(i, generations[i]);
            continue;
        }
        // What was heard of since is asked outside the lock: the waits live as long as this
        // thread, and the answer only moves a time-out.
        std::vector<uint64_t> heard(waitOf.size(), 0);
        if (result == WAIT_TIMEOUT) {
            for (size_t n = 0; n < waitOf.size(); ++n) {
                const Wait& wait = _waits[waitOf[n]].wait;
                if (wait.heardAt) {
                    heard[n] = wait.heardAt();
                }
            }
        }
        const std::scoped_lock lock(_lock);
        const uint64_t now = ::GetTickCount64();
        for (size_t n = 0; n < waitOf.size(); ++n) {
            const size_t i = waitOf[n];
            Armed& w = _waits[i];
            // A failed wait (an event closed under it) is the window's to sort out, as a report
            // is: every armed wait hears of it. A time-out ends only the waits that are due.
            if (result != WAIT_TIMEOUT) {
                FireLocked(i, generations[i]);
                continue;
            }
            if (w.timeoutMs == INFINITE || w.deadline > now) {
                continue;
            }
            if (w.armed && w.generation == generations[i] && heard[n] != 0 && heard[n] + w.timeoutMs > now) {
                w.deadline = heard[n] + w.timeoutMs;  // not silent after all: silence counts from then
                continue;
            }
            FireLocked(i, generations[i]);
        }
    }
}

}  // namespace base::win
