#pragma once
// Window subclassing that routes every message of one window to an IWindowHook object. The hook
// decides what to return and calls DefSubclassProc for whatever it does not consume.
#include <windows.h>

namespace base::win {

class IWindowHook {
  public:
    virtual ~IWindowHook() = default;
    virtual LRESULT Message(HWND /*hWnd*/,
                            UINT /*uiMsg*/,
                            WPARAM /*wParam*/,
                            LPARAM /*lParam*/,
                            DWORD_PTR /*dwRefData*/) noexcept {
        return 0;
    }
};

// Attaches `hook` to `hWnd` (the hook's address is the subclass ID). The subclass removes
// itself after passing WM_NCDESTROY to the hook.
bool AttachWindowHook(HWND hWnd, IWindowHook* hook, DWORD_PTR refData = 0) noexcept;
bool DetachWindowHook(HWND hWnd, IWindowHook* hook) noexcept;

}  // namespace base::win
