#include "keys/HotKeys_win.h"

#include <utility>

#include "keys/KeyInjector_win.h"
#include "keys/KeyboardLayout_win.h"
#include "keys/KeyPlayer.h"

namespace keys {

namespace {
// The window property through which HotkeyWindowProc finds its HotKeys.
constexpr char kHotKeysProperty[] = "Pesora.HotKeys";
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

// The replacement takes the window's own character set: installed with the ANSI call on a
// Unicode window it would turn the window into an ANSI one, and every text passing through it
// (its title included) would lose what the ANSI code page cannot hold.
void HotKeys::InstallWindowProc() {
    if (_previousProc != nullptr || _window == nullptr) {
        return;
    }
    if (!::SetPropA(_window, kHotKeysProperty, this)) {
        return;  // without the property the procedure could not find us
    }
    _unicode = ::IsWindowUnicode(_window) != FALSE;
    const auto replacement = reinterpret_cast<LONG_PTR>(&HotKeys::HotkeyWindowProc);
    _previousProc = reinterpret_cast<WNDPROC>(_unicode ? ::SetWindowLongPtrW(_window, GWLP_WNDPROC, replacement)
                                                       : ::SetWindowLongPtrA(_window, GWLP_WNDPROC, replacement));
    if (_previousProc == nullptr) {
        (void)::RemovePropA(_window, kHotKeysProperty);
    }
}

void HotKeys::RemoveWindowProc() {
    if (_previousProc == nullptr) {
        return;
    }
    if (::IsWindow(_window)) {
        const auto previous = reinterpret_cast<LONG_PTR>(_previousProc);
        (void)(_unicode ? ::SetWindowLongPtrW(_window, GWLP_WNDPROC, previous)
                        : ::SetWindowLongPtrA(_window, GWLP_WNDPROC, previous));
        (void)::RemovePropA(_window, kHotKeysProperty);
    }
    _previousProc = nullptr;
}

LRESULT CALLBACK HotKeys::HotkeyWindowProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    auto* self = static_cast<HotKeys*>(::GetPropA(hwnd, kHotKeysProperty));
    if (self == nullptr || self->_previousProc == nullptr) {
        return ::IsWindowUnicode(hwnd) ? ::DefWindowProcW(hwnd, msg, wParam, lParam)
                                       : ::DefWindowProcA(hwnd, msg, wParam, lParam);
    }
    if (msg == WM_HOTKEY) {
        try {
            if (self->_kbdHook) {
                self->_kbdHook(static_cast<int32_t>(wParam));
            }
        } catch (...) {
            // Deliberately swallowed: no exception may reach user32, and a send shows nothing.
        }
        return 1;
    }
    const WNDPROC previous = self->_previousProc;
    const LRESULT result = self->_unicode ? ::CallWindowProcW(previous, hwnd, msg, wParam, lParam)
                                          : ::CallWindowProcA(previous, hwnd, msg, wParam, lParam);
    if (msg == WM_NCDESTROY) {
        // The window is gone: nothing is left to restore.
        (void)::RemovePropA(hwnd, kHotKeysProperty);
        self->_previousProc = nullptr;
        self->_hotkeyRegistered = 0;  // the system drops a destroyed window's hotkeys
    }
    return result;
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
