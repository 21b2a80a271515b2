#pragma once
// Asks the shell about the notification-area icon of Pesora's main window: a call on an icon that
// does not exist fails, so NIM_MODIFY tells whether it is there and NIM_DELETE takes it away as a
// restarting shell does.
#include <windows.h>

#include <shellapi.h>

inline bool TrayIcon(HWND main, DWORD message) {
    NOTIFYICONDATAA nid{};
    nid.cbSize = NOTIFYICONDATAA_V1_SIZE;
    nid.hWnd = main;
    nid.uFlags = NIF_TIP;
    lstrcpynA(nid.szTip, "Pesora", sizeof nid.szTip);
    return ::Shell_NotifyIconA(message, &nid) != FALSE;
}
