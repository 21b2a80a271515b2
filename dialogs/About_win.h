#pragma once
#include <windows.h>

namespace dialogs {

// The about box, "About Pesora". While it is open `sendSuppressed` is true, so the hotkey
// sends nothing; closing it clears the flag. One box at a time: asking for it while it is
// open brings the open one to the front. The flag must outlive this object.
class AboutBox {
  public:
    explicit AboutBox(bool& sendSuppressed) noexcept : _sendSuppressed(sendSuppressed) {}
    AboutBox(const AboutBox&) = delete;
    AboutBox& operator=(const AboutBox&) = delete;
    ~AboutBox();  // closes a modeless box that is still open

    void ShowModal(HWND owner);     // Help > About...: returns when the box is closed
    void ShowModeless(HWND owner);  // from the notification-area icon: returns at once

    [[nodiscard]] HWND Hwnd() const noexcept { return _hwnd; }

  private:
    static INT_PTR CALLBACK DialogProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) noexcept;
    void OnInitDialog(HWND hwnd);
    void Close();

    bool& _sendSuppressed;
    HWND _hwnd = nullptr;  // the open box; destroyed through Close() or the owner
    bool _modal = false;
};

}  // namespace dialogs
