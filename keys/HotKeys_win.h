#pragma once
// The global send hotkey of the main window, and the Win32 side of the send it triggers.
//
// MainWindow at start-up, after the settings are loaded:
//     _hotKeys.RegisterSendHotkey();  _hotKeys.InstallWindowProc();
// around the settings dialog:
//     _hotKeys.UnregisterSendHotkey();  ...dialog...  _hotKeys.RegisterSendHotkey();
// at shutdown:
//     _hotKeys.RemoveWindowProc();  _hotKeys.UnregisterSendHotkey();
// Every WM_HOTKEY (0x312) reaching the main window goes to the KbdHook callback given here
// (HotkeySender::KbdHook, KbdHook.h), with HotkeyHostWin as that sender's host.
#include <windows.h>

#include <cstdint>
#include <functional>

#include "base/model/Settings.h"
#include "base/win/WindowSubclass_win.h"
#include "keys/KbdHook.h"

namespace keys {

inline constexpr int kSendHotkeyId = 1;

class HotKeys final : private base::win::IWindowHook {
  public:
    using KbdHookFn = std::function<void(int32_t hotkeyId)>;

    // `settings` is read at every registration, so a changed HotKey takes effect then.
    HotKeys(HWND mainWindow, const base::Settings& settings, KbdHookFn kbdHook);
    ~HotKeys();  // removes the window procedure and the hotkey if still in place
    HotKeys(const HotKeys&) = delete;
    HotKeys& operator=(const HotKeys&) = delete;

    void RegisterSendHotkey();
    void UnregisterSendHotkey();
    // Non-zero while the hotkey is registered.
    [[nodiscard]] int32_t HotkeyRegistered() const { return _hotkeyRegistered; }

    // Puts the hotkey's handling in front of the main window's procedure (the program's one
    // subclassing mechanism, which keeps the window's character set), and takes it away.
    void InstallWindowProc();
    void RemoveWindowProc();

  private:
    HWND _window;
    const base::Settings& _settings;
    KbdHookFn _kbdHook;
    int32_t _hotkeyRegistered = 0;
    bool _installed = false;

    // WM_HOTKEY calls the KbdHook callback and returns 1; everything else goes on to the
    // window's own procedure.
    LRESULT Message(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam, DWORD_PTR refData) noexcept override;
};

// The system behind a HotkeySender: GetKeyState, the default beep, the foreground window, the
// message pump, and the player with the real injector and the thread's keyboard layout.
class HotkeyHostWin final : public IHotkeyHost {
  public:
    explicit HotkeyHostWin(HWND mainWindow) : _mainWindow(mainWindow) {}

    [[nodiscard]] int16_t GetKeyState(int32_t vk) const override;
    void Beep() override;
    [[nodiscard]] bool IsOwnWindowForeground() const override;
    void WaitForMessages(int32_t timeoutMs) override;
    void DoEvents() override;
    int16_t SendKeyScript(std::string_view script, int32_t interCharacterDelayMs) override;

  private:
    HWND _mainWindow;
};

}  // namespace keys
