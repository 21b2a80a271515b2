#include "base/win/MessagePump_win.h"

#include <algorithm>
#include <array>

namespace base::win {
namespace {

// The program has one window thread, and at most a handful of windows need navigation at once.
std::array<HWND, 8> g_navigable{};

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

int RunMessageLoop() noexcept {
    MSG msg{};
    // The wide calls: the program's windows are Unicode windows, and typed characters must not
    // pass through the ANSI code page.
    while (::GetMessageW(&msg, nullptr, 0, 0) > 0) {
        Dispatch(msg);
    }
    return static_cast<int>(msg.wParam);
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
