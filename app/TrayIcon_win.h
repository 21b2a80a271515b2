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

    // The program works on without its icon when the shell refuses it (no Explorer, a kiosk
    // shell); it is added again when a shell's taskbar appears (Readd).
    void Add(HWND owner, HICON icon, std::string_view tip);
    // A shell's taskbar was created (Explorer restarted, or started late): the icon asked for
    // comes back, or appears for the first time.
    void Readd();
    void Delete();
    // A new tip, shown at once when the icon is there and kept for when it comes back.
    void SetTip(std::string_view tip);
    // Whether the shell holds the icon: only then may the window hide behind it.
    [[nodiscard]] bool Present() const noexcept { return _present; }

  private:
    NOTIFYICONDATAA _data{};
    bool _wanted = false;   // added and not deleted since
    bool _present = false;  // the shell took it
};

}  // namespace app
