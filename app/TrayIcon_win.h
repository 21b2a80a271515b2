#pragma once
// The main window's notification-area icon. It uses the first, 88-byte form of the record,
// which every shell version takes, and calls its window back with kTrayIconMessage.
#include <windows.h>

#include <shellapi.h>

#include <string_view>

namespace app {

class TrayIcon {
  public:
    TrayIcon() = default;
    TrayIcon(const TrayIcon&) = delete;
    TrayIcon& operator=(const TrayIcon&) = delete;

    // A failed add is not noticed: the program works on without its icon.
    void Add(HWND owner, HICON icon, std::string_view tip);
    // The shell lost every icon when it restarted; an icon that was there comes back.
    void Readd();
    void Delete();

  private:
    NOTIFYICONDATAA _data{};
    bool _added = false;
};

}  // namespace app
