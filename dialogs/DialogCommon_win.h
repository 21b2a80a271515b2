#pragma once
// Small Win32 helpers shared by the dialogs of this folder.
#include <windows.h>

#include "base/win/WinText_win.h"
#include "base/win/WindowDpi_win.h"

#include <string>

namespace dialogs::detail {

// The owner's icon, big or small, so a dialog looks like part of the main window. The icon
// stays the owner's: nobody here destroys it.
inline HICON OwnerIcon(HWND owner, bool small) noexcept {
    if (owner == nullptr) {
        return nullptr;
    }
    auto icon = reinterpret_cast<HICON>(::SendMessageA(owner, WM_GETICON, small ? ICON_SMALL : ICON_BIG, 0));
    if (icon == nullptr) {
        icon = reinterpret_cast<HICON>(::GetClassLongPtrA(owner, small ? GCLP_HICONSM : GCLP_HICON));
    }
    if (icon == nullptr && small) {
        icon = OwnerIcon(owner, false);
    }
    return icon;
}

using base::WindowDpi;

// UTF-8, as the program holds text.
inline std::string WindowText(HWND hwnd) {
    return base::win::WindowTextUtf8(hwnd);
}

}  // namespace dialogs::detail
