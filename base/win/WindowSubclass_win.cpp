#include "base/win/WindowSubclass_win.h"

#include <commctrl.h>

namespace base::win {

namespace {
LRESULT CALLBACK
HookProc(HWND hWnd, UINT uiMsg, WPARAM wParam, LPARAM lParam, UINT_PTR subclassId, DWORD_PTR refData) noexcept {
    auto* hook = reinterpret_cast<IWindowHook*>(subclassId);
    const LRESULT result = hook->Message(hWnd, uiMsg, wParam, lParam, refData);
    if (uiMsg == WM_NCDESTROY) {
        (void)DetachWindowHook(hWnd, hook);  // the window is going; nothing may call the hook later
    }
    return result;
}
}  // namespace

bool AttachWindowHook(HWND hWnd, IWindowHook* hook, DWORD_PTR refData) noexcept {
    return hWnd != nullptr && ::SetWindowSubclass(hWnd, &HookProc, reinterpret_cast<UINT_PTR>(hook), refData) != FALSE;
}

bool DetachWindowHook(HWND hWnd, IWindowHook* hook) noexcept {
    return hWnd != nullptr && ::RemoveWindowSubclass(hWnd, &HookProc, reinterpret_cast<UINT_PTR>(hook)) != FALSE;
}

}  // namespace base::win
