#pragma once
// NIM_MODIFY on Pesora's notification-area icon fails when there is none: it tells whether the
// icon is there. NIM_DELETE takes it away as a restarting shell does.
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
