#pragma once
// The one window base class: a static thunk finds the C++ object through GWLP_USERDATA and
// forwards to its noexcept HandleMessage. Derived classes unpack each message and call one
// named On* function; no exception may reach user32.
#include <windows.h>

namespace base {

template <typename Derived>
class BaseWindow {
  public:
    BaseWindow() = default;
    BaseWindow(const BaseWindow&) = delete;
    BaseWindow& operator=(const BaseWindow&) = delete;
    virtual ~BaseWindow() = default;

    [[nodiscard]] HWND Hwnd() const noexcept { return _hwnd; }

  protected:
    // The class's window procedure: the derived class creates its window with `this` as the
    // creation parameter, and from WM_NCCREATE on every message reaches its HandleMessage.
    static LRESULT CALLBACK WndProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) noexcept {
        Derived* self = nullptr;
        if (msg == WM_NCCREATE) {
            auto* cs = reinterpret_cast<CREATESTRUCTW*>(lParam);
            self = static_cast<Derived*>(cs->lpCreateParams);
            self->_hwnd = hwnd;
            ::SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
        } else {
            self = reinterpret_cast<Derived*>(::GetWindowLongPtrW(hwnd, GWLP_USERDATA));
        }
        if (self == nullptr) {
            return ::DefWindowProcW(hwnd, msg, wParam, lParam);
        }
        LRESULT result = 0;
        try {
            result = self->HandleMessage(msg, wParam, lParam);
        } catch (...) {
            // Failures are not raised to the user; the message gets default processing.
            result = ::DefWindowProcW(hwnd, msg, wParam, lParam);
        }
        if (msg == WM_NCDESTROY) {
            ::SetWindowLongPtrW(hwnd, GWLP_USERDATA, 0);
            self->_hwnd = nullptr;
        }
        return result;
    }

    HWND _hwnd = nullptr;
};

// The same lookup for a dialog procedure: the object comes as WM_INITDIALOG's parameter
// (DialogBoxParam's last argument) and is kept in DWLP_USER; nullptr before that message.
template <typename Dialog>
[[nodiscard]] Dialog* DialogObject(HWND hwnd, UINT msg, LPARAM lParam) noexcept {
    if (msg == WM_INITDIALOG) {
        ::SetWindowLongPtrW(hwnd, DWLP_USER, lParam);
        return reinterpret_cast<Dialog*>(lParam);
    }
    return reinterpret_cast<Dialog*>(::GetWindowLongPtrW(hwnd, DWLP_USER));
}

}  // namespace base
