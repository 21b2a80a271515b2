#pragma once
#include <windows.h>

#include "base/UniqueResource.h"

namespace base {

// Dots per inch that the window is shown at. GetDpiForWindow exists from Windows 10 on; it is
// looked up so the program still starts on older systems, which report the screen's resolution.
inline int WindowDpi(HWND hwnd) noexcept {
    using GetDpiForWindowFn = UINT(WINAPI*)(HWND);
    if (HMODULE user32 = ::GetModuleHandleA("user32.dll")) {
        if (auto fn = reinterpret_cast<GetDpiForWindowFn>(
                reinterpret_cast<void*>(::GetProcAddress(user32, "GetDpiForWindow")))) {
            if (const UINT dpi = fn(hwnd); dpi != 0) {
                return static_cast<int>(dpi);
            }
        }
    }
    int dpi = 96;
    if (HDC dc = ::GetDC(hwnd)) {
        const ScopeExit release{[&] { (void)::ReleaseDC(hwnd, dc); }};
        dpi = ::GetDeviceCaps(dc, LOGPIXELSX);
    }
    return dpi > 0 ? dpi : 96;
}

}  // namespace base
