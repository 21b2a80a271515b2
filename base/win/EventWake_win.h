#pragma once
// Posts one message to a window when an event is set, or when a time-out passes first, from a
// thread of its own that waits in the system. Every message loop of the window's thread
// dispatches posted messages (ours, and those of menus, dialogs and message boxes), so the
// window hears of it whatever is open.
//
// One thread serves several waits (the scale's news and its answer to a question): under Wine
// every thread holds about a megabyte of private memory.
#include <windows.h>

#include <cstdint>
#include <functional>
#include <iterator>
#include <mutex>
#include <vector>

#include "base/win/Handles_win.h"

namespace base::win {

class EventWake {
  public:
    // What one wait posts: `message` with `tag` as its wParam. When its time-out passes and
    // `heardAt`, run on the waiting thread, gives a later sign of life of what is waited on
    // (GetTickCount64; 0 for none), the wait goes on instead and its time-out counts from then.
    struct Wait {
        UINT message = 0;
        WPARAM tag = 0;
        std::function<uint64_t()> heardAt;
    };

    EventWake(HWND window, std::vector<Wait> waits)
        : _window(window), _waits(std::make_move_iterator(waits.begin()), std::make_move_iterator(waits.end())) {}
    EventWake(const EventWake&) = delete;
    EventWake& operator=(const EventWake&) = delete;
    ~EventWake();

    // Wait number `wait` posts one message when `event` is set, or after `timeoutMs` (INFINITE:
    // no time-out). Arming again replaces that wait; false when the thread cannot be started.
    bool Arm(size_t wait, HANDLE event, DWORD timeoutMs = INFINITE) noexcept;
    void Disarm(size_t wait) noexcept;

  private:
    struct Armed {
        Wait wait;
        HANDLE event = nullptr;
        DWORD timeoutMs = INFINITE;
        uint64_t deadline = 0;  // GetTickCount64 when the time-out passes, with one
        bool armed = false;
        unsigned generation = 0;  // an ending under an older arming posts nothing
        explicit Armed(Wait w) : wait(std::move(w)) {}
    };

    static DWORD WINAPI Waiter(void* context) noexcept;
    void WaitLoop() noexcept;
    void Change(size_t wait, bool armed, HANDLE event, DWORD timeoutMs) noexcept;
    // Under the lock: ends wait `i` of generation `generation` and posts its message.
    void FireLocked(size_t i, unsigned generation) noexcept;

    HWND _window;
    // What to wait for: set by the window's thread, read by the waiting one. The waits are fixed
    // at construction; only their arming changes.
    std::mutex _lock;
    std::vector<Armed> _waits;
    bool _stop = false;
    base::unique_handle _changed;  // auto reset: the waiting thread reads the above again
    base::unique_handle _thread;
};

}  // namespace base::win
