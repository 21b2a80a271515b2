#include "keys/HotKeys_win.h"

#include <commctrl.h>

#include <utility>

#include "keys/KeyInjector_win.h"
#include "keys/KeyPlayer.h"
#include "keys/KeyboardLayout_win.h"

namespace keys {

namespace {
constexpr UINT kModNoRepeat = 0x4000;  // MOD_NOREPEAT
}  // namespace

HotKeys::HotKeys(HWND mainWindow, const base::Settings& settings, KbdHookFn kbdHook)
    : _window(mainWindow), _settings(settings), _kbdHook(std::move(kbdHook)) {}

HotKeys::~HotKeys() {
    RemoveWindowProc();
    UnregisterSendHotkey();
}

void HotKeys::RegisterSendHotkey() {
    const auto registration = SendHotkeyRegistration(_settings.HotKey, _settings.HotkeyEnabled);
    if (!registration) {
        return;
    }
    // A registration left from before would make this one fail.
    UnregisterSendHotkey();
    // Without the no-repeat flag a held hotkey raises a message at every key repeat. Systems
    // before Windows 7 refuse the flag; the sender drops repeats that still arrive.
    _hotkeyRegistered =
        ::RegisterHotKey(_window, kSendHotkeyId, registration->modifiers | kModNoRepeat, registration->vk);
    if (_hotkeyRegistered == 0) {
        // Failure is normal (another program owns the combination): the hotkey then does nothing.
        _hotkeyRegistered = ::RegisterHotKey(_window, kSendHotkeyId, registration->modifiers, registration->vk);
    }
}

void HotKeys::UnregisterSendHotkey() {
    if (_hotkeyRegistered != 0) {
        (void)::UnregisterHotKey(_window, kSendHotkeyId);
        _hotkeyRegistered = 0;
    }
}

void HotKeys::InstallWindowProc() {
    if (!_installed && _window != nullptr) {
        _installed = base::win::AttachWindowHook(_window, this);
    }
}

void HotKeys::RemoveWindowProc() {
    if (_installed && ::IsWindow(_window)) {
        (void)base::win::DetachWindowHook(_window, this);
    }
    _installed = false;
}

LRESULT HotKeys::Message(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam, DWORD_PTR) noexcept {
    if (msg == WM_HOTKEY) {
        try {
            if (_kbdHook) {
                _kbdHook(static_cast<int32_t>(wParam));
            }
        } catch (...) {
            // Deliberately swallowed: no exception may reach user32, and a send shows nothing.
        }
        return 1;
    }
    if (msg == WM_NCDESTROY) {
        // The window is going: the subclass goes with it, and the system drops its hotkeys.
        _installed = false;
        _hotkeyRegistered = 0;
    }
    return ::DefSubclassProc(hwnd, msg, wParam, lParam);
}

int16_t HotkeyHostWin::GetKeyState(int32_t vk) const {
    return ::GetKeyState(vk);
}

void HotkeyHostWin::Beep() {
    (void)::MessageBeep(MB_OK);
}

bool HotkeyHostWin::IsOwnWindowForeground() const {
    return ::GetForegroundWindow() == _mainWindow;
}

void HotkeyHostWin::WaitForMessages(int32_t timeoutMs) {
    PumpMessagesUntil(QpcMicroseconds() + int64_t{timeoutMs} * 1000);
}

void HotkeyHostWin::DoEvents() {
    DispatchPendingMessages();
}

int16_t HotkeyHostWin::SendKeyScript(std::string_view script, int32_t interCharacterDelayMs) {
    // Each character is looked up on the layout of the window that will receive it.
    const HKL layoutHandle = ForegroundKeyboardLayout();
    const KeyboardLayoutWin layout(layoutHandle);
    KeyInjectorWin injector(layoutHandle);
    return keys::SendKeyScript(
        script, [&layout](char32_t c) { return MapCharacter(c, layout); }, injector, interCharacterDelayMs);
}

}  // namespace keys
