#include "app/TrayIcon_win.h"

#include <algorithm>

#include "app/Lifecycle.h"
#include "app/TrayIconMessage.h"

namespace app {

void TrayIcon::Add(HWND owner, HICON icon, std::string_view tip) {
    _data = NOTIFYICONDATAA{};
    _data.cbSize = NOTIFYICONDATAA_V1_SIZE;
    _data.hWnd = owner;
    _data.uID = 0;
    _data.uFlags = NIF_MESSAGE | NIF_ICON | NIF_TIP;
    _data.uCallbackMessage = kTrayIconMessage;
    _data.hIcon = icon;
    const auto text = TrayTip(tip);
    static_assert(sizeof text <= sizeof _data.szTip);
    std::copy(text.begin(), text.end(), _data.szTip);
    _wanted = true;
    _present = ::Shell_NotifyIconA(NIM_ADD, &_data) != FALSE;
}

void TrayIcon::Readd() {
    if (_wanted) {
        _present = ::Shell_NotifyIconA(NIM_ADD, &_data) != FALSE;
    }
}

void TrayIcon::SetTip(std::string_view tip) {
    const auto text = TrayTip(tip);
    std::copy(text.begin(), text.end(), _data.szTip);
    if (_present) {
        NOTIFYICONDATAA tipOnly = _data;
        tipOnly.uFlags = NIF_TIP;
        (void)::Shell_NotifyIconA(NIM_MODIFY, &tipOnly);  // a shell that refuses keeps the old tip
    }
}

void TrayIcon::Delete() {
    if (_present) {
        (void)::Shell_NotifyIconA(NIM_DELETE, &_data);
    }
    _wanted = false;
    _present = false;
}

}  // namespace app
