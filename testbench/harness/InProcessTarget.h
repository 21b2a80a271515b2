#pragma once
// A stand-in for the application with the focus, inside the test program: a top-level window
// with a multi-line edit box, run by a thread of its own so that it has its own input state, as
// another program would. (TargetWindow.exe is the same as a separate process.)
#include <windows.h>

#include <atomic>
#include <string>
#include <string_view>
#include <thread>

#include "Harness.h"

namespace e2e {

class InProcessTarget {
  public:
    explicit InProcessTarget(std::string_view caption = "Target") : _caption(caption) {
        _thread = std::thread([this] { Run(); });
        while (!_ready) {
            ::Sleep(10);
        }
    }
    InProcessTarget(const InProcessTarget&) = delete;
    InProcessTarget& operator=(const InProcessTarget&) = delete;
    ~InProcessTarget() {
        ::PostThreadMessageA(_threadId, WM_QUIT, 0, 0);
        _thread.join();
    }

    [[nodiscard]] HWND window() const { return _window; }
    void Focus() const { (void)::SetForegroundWindow(_window); }
    [[nodiscard]] std::string Text() const { return e2e::Text(_edit); }
    void Clear() const { (void)::SetWindowTextA(_edit, ""); }

  private:
    void Run() {
        _threadId = ::GetCurrentThreadId();
        _window = ::CreateWindowExA(0, "STATIC", _caption.c_str(), WS_OVERLAPPEDWINDOW | WS_VISIBLE, 100, 100, 400, 200,
                                    /* hWndParent */ nullptr, /* hMenu */ nullptr, ::GetModuleHandleA(nullptr),
                                    /* lpParam */ nullptr);
        _edit = ::CreateWindowExA(0, "EDIT", "", WS_CHILD | WS_VISIBLE | ES_MULTILINE | ES_WANTRETURN, 0, 0, 380, 150,
                                  _window, /* hMenu */ nullptr, ::GetModuleHandleA(nullptr), /* lpParam */ nullptr);
        (void)::SetForegroundWindow(_window);
        (void)::SetFocus(_edit);
        _ready = true;
        MSG msg{};
        while (::GetMessageA(&msg, nullptr, 0, 0) > 0) {
            ::TranslateMessage(&msg);
            ::DispatchMessageA(&msg);
        }
        ::DestroyWindow(_window);
    }

    std::string _caption;
    std::thread _thread;
    std::atomic<bool> _ready{false};
    DWORD _threadId = 0;
    HWND _window = nullptr;
    HWND _edit = nullptr;
};

}  // namespace e2e
