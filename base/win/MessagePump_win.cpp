#include "base/win/MessagePump_win.h"

#include <algorithm>
#include <array>

namespace base::win {
namespace {

// The program has one window thread, and at most a handful of windows need navigation at once.
std::array<HWND, 8> g_navigable{};

// The events the main loop waits on, with the wake each one belongs to.
struct LoopWait {
    HANDLE event = nullptr;
    LoopWake* wake = nullptr;
};
std::array<LoopWait, 8> g_loopWaits{};

bool TranslateForNavigation(MSG& msg) noexcept {
    for (HWND window : g_navigable) {
        if (window != nullptr && (msg.hwnd == window || ::IsChild(window, msg.hwnd)) &&
            ::IsDialogMessageW(window, &msg)) {
            return true;
        }
    }
    return false;
}

void Dispatch(MSG& msg) noexcept {
    if (!TranslateForNavigation(msg)) {
        (void)::TranslateMessage(&msg);
        (void)::DispatchMessageW(&msg);
    }
}

}  // namespace

void AddDialogNavigation(HWND window) noexcept {
    if (std::find(g_navigable.begin(), g_navigable.end(), window) != g_navigable.end()) {
        return;
    }
    if (auto slot = std::find(g_navigable.begin(), g_navigable.end(), nullptr); slot != g_navigable.end()) {
        *slot = window;
    }
}

void RemoveDialogNavigation(HWND window) noexcept {
    std::replace(g_navigable.begin(), g_navigable.end(), window, HWND{});
}

bool LoopWake::Arm(HANDLE event) noexcept {
    Disarm();
    const auto free =
        std::find_if(g_loopWaits.begin(), g_loopWaits.end(), [](const LoopWait& wait) { return wait.wake == nullptr; });
    if (free == g_loopWaits.end() || event == nullptr) {
        return false;
    }
    *free = {event, this};
    return true;
}

void LoopWake::Disarm() noexcept {
    for (LoopWait& wait : g_loopWaits) {
        if (wait.wake == this) {
            wait = {};
        }
    }
}

void LoopWake::Fire() noexcept {
    Disarm();
    (void)::PostMessageW(_window, _message, _tag, 0);
}

int RunMessageLoop() noexcept {
    MSG msg{};
    std::array<HANDLE, g_loopWaits.size()> events{};
    std::array<LoopWake*, g_loopWaits.size()> wakes{};
    for (;;) {
        // The wide calls: the program's windows are Unicode windows, and typed characters must
        // not pass through the ANSI code page.
        while (::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
            if (msg.message == WM_QUIT) {
                return static_cast<int>(msg.wParam);
            }
            Dispatch(msg);
        }
        DWORD count = 0;
        for (const LoopWait& wait : g_loopWaits) {
            if (wait.wake != nullptr) {
                events[count] = wait.event;
                wakes[count++] = wait.wake;
            }
        }
        const DWORD woken =
            ::MsgWaitForMultipleObjectsEx(count, events.data(), INFINITE, QS_ALLINPUT, MWMO_INPUTAVAILABLE);
        if (woken < WAIT_OBJECT_0 + count) {
            // Only a wake still armed for that event: a message sent to us during the wait may
            // have disarmed or destroyed it.
            const DWORD i = woken - WAIT_OBJECT_0;
            for (const LoopWait& wait : g_loopWaits) {
                if (wait.wake == wakes[i] && wait.event == events[i]) {
                    wakes[i]->Fire();
                    break;
                }
            }
        } else if (woken == WAIT_FAILED) {
            // A handle that went bad would fail every wait: the loop would spin. Its wakes give
            // up instead; the queue is then waited on alone.
            g_loopWaits.fill({});
        }
    }
}

bool DispatchPendingMessages(int maxMessages, const HoldFilter& hold) noexcept {
    const DWORD started = ::GetTickCount();
    MSG msg{};
    for (int i = 0; i < maxMessages && ::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE); ++i) {
        if (msg.message == WM_QUIT) {
            ::PostQuitMessage(static_cast<int>(msg.wParam));
            return false;
        }
        bool held = false;
        if (hold) {
            try {
                held = hold(msg);
            } catch (...) {
                held = false;  // a filter that fails lets the message through
            }
        }
        if (!held) {
            Dispatch(msg);
        }
        if (static_cast<LONG>(msg.time - started) > 0) {
            break;  // posted after the pass began: it waits for the next pass
        }
    }
    return true;
}

}  // namespace base::win
