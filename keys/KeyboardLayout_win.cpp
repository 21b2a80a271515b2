#include "keys/KeyboardLayout_win.h"

#include <array>

namespace keys {

HKL ForegroundKeyboardLayout() {
    const HWND foreground = ::GetForegroundWindow();
    const DWORD thread = foreground != nullptr ? ::GetWindowThreadProcessId(foreground, nullptr) : 0;
    return ::GetKeyboardLayout(thread);  // 0: the calling thread's
}

namespace {

// ToUnicodeEx flag (Windows 10 1607 and later): leave the thread's dead-key state alone.
constexpr UINT kKeepKeyboardState = 0x4;

}  // namespace

// VkKeyScanExW names a key for a character; the key is then pressed on paper (ToUnicodeEx) to
// learn whether it is a dead key and whether it really types that character. Some layouts'
// tables (and Wine's mapping from the X keyboard) name a key that types something else, such
// as "a" for "ä"; such a character goes by the Unicode path instead of as a wrong letter.
std::optional<LayoutKey> KeyboardLayoutWin::KeyFor(char32_t c) const {
    if (c > 0xFFFF) {
        return std::nullopt;  // no key types a character beyond the basic plane
    }
    const SHORT scanned = ::VkKeyScanExW(static_cast<WCHAR>(c), _layout);
    if (scanned == -1) {
        return std::nullopt;
    }
    LayoutKey key;
    key.vk = LOBYTE(scanned);
    key.shiftState = HIBYTE(scanned);
    if (c < 0x20 || c == 0x7F) {
        return key;  // control characters are typed by their key alone (MapCharacter)
    }
    std::array<BYTE, 256> state{};
    if (key.shiftState & kStateShift) {
        state[VK_SHIFT] = state[VK_LSHIFT] = 0x80;
    }
    if (key.shiftState & kStateCtrl) {
        state[VK_CONTROL] = state[VK_LCONTROL] = 0x80;
    }
    if (key.shiftState & kStateAlt) {
        state[VK_MENU] = state[VK_LMENU] = 0x80;
    }
    const UINT scan = ::MapVirtualKeyExW(key.vk, 0 /* MAPVK_VK_TO_VSC */, _layout);
    std::array<WCHAR, 8> typed{};
    const int n = ::ToUnicodeEx(key.vk, scan, state.data(), typed.data(), static_cast<int>(typed.size()),
                                kKeepKeyboardState, _layout);
    if (n < 0) {
        // Before Windows 10 1607 the flag is ignored and the dead key now waits in this
        // thread's state; the same key once more completes it, leaving nothing behind.
        (void)::ToUnicodeEx(key.vk, scan, state.data(), typed.data(), static_cast<int>(typed.size()),
                            kKeepKeyboardState, _layout);
        key.dead = true;
        return key;
    }
    if (n != 1 || typed[0] != static_cast<WCHAR>(c)) {
        return std::nullopt;
    }
    return key;
}

}  // namespace keys
