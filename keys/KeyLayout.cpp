#include "keys/KeyLayout.h"

namespace keys {

// A character is typed by its key only when pressing that key types exactly this character:
// - a dead key would wait for the next key and join it ("^" then "a" makes "â" on a German
//   layout), so the character after it would be swallowed or changed;
// - a key that needs Ctrl alone or Alt alone is a shortcut to most programs, not text, and
//   shift states beyond Shift, Ctrl and Alt (Kana, OEM modifiers) cannot be pressed here.
// Those characters, and the ones no key types, go as Unicode character events: the receiving
// program gets the character itself, whatever its layout.
// Control characters keep their key without its Ctrl: "\n" is Enter (as it has always been
// typed), not Ctrl+Enter, which sends the message in many programs.
int32_t MapCharacter(char32_t c, const IKeyboardLayout& layout) {
    const int32_t asUnicode = kUnicodeEntry | static_cast<int32_t>(c);
    const std::optional<LayoutKey> key = layout.KeyFor(c);
    if (!key || key->vk == 0) {
        return asUnicode;
    }
    const int32_t shift = (key->shiftState & kStateShift) != 0 ? kShiftFlag : 0;
    if (c < 0x20 || c == 0x7F) {
        return key->vk | shift;
    }
    if (key->dead) {
        return asUnicode;
    }
    const uint8_t ctrlAlt = key->shiftState & (kStateCtrl | kStateAlt);
    if ((key->shiftState & ~(kStateShift | kStateCtrl | kStateAlt)) != 0 || ctrlAlt == kStateCtrl ||
        ctrlAlt == kStateAlt) {
        return asUnicode;
    }
    return key->vk | shift | (ctrlAlt != 0 ? kCtrlFlag | kAltFlag : 0);
}

// What a PC keyboard sends for these keys. The navigation keys share their scan codes with the
// numeric keypad and differ only by the extended flag: without it, programs that read scan
// codes (remote desktops, virtual machines, terminal emulators) see keypad keys. Num Lock is
// 0x45 extended and Pause 0x45 plain; Caps Lock is 0x3A.
std::optional<FixedScanCode> FixedScanCodeOf(uint8_t vk) {
    switch (vk) {
        case 0x03:  // Ctrl+Break
            return FixedScanCode{0x46, true};
        case 0x13:  // Pause/Break
            return FixedScanCode{0x45, false};
        case 0x14:  // Caps Lock
            return FixedScanCode{0x3A, false};
        case 0x21:  // Page Up
            return FixedScanCode{0x49, true};
        case 0x22:  // Page Down
            return FixedScanCode{0x51, true};
        case 0x23:  // End
            return FixedScanCode{0x4F, true};
        case 0x24:  // Home
            return FixedScanCode{0x47, true};
        case 0x25:  // Left
            return FixedScanCode{0x4B, true};
        case 0x26:  // Up
            return FixedScanCode{0x48, true};
        case 0x27:  // Right
            return FixedScanCode{0x4D, true};
        case 0x28:  // Down
            return FixedScanCode{0x50, true};
        case 0x2C:  // Print Screen
            return FixedScanCode{0x37, true};
        case 0x2D:  // Insert
            return FixedScanCode{0x52, true};
        case 0x2E:  // Delete
            return FixedScanCode{0x53, true};
        case 0x6F:  // numeric keypad divide
            return FixedScanCode{0x35, true};
        case 0x90:  // Num Lock
            return FixedScanCode{0x45, true};
        case 0xA3:  // right Ctrl
            return FixedScanCode{0x1D, true};
        case 0xA5:  // right Alt
            return FixedScanCode{0x38, true};
        default:
            return std::nullopt;
    }
}

size_t ToUtf16(char32_t c, char16_t (&units)[2]) {
    if (c < 0x10000) {
        units[0] = static_cast<char16_t>(c);
        return 1;
    }
    const char32_t v = c - 0x10000;
    units[0] = static_cast<char16_t>(0xD800 + (v >> 10));
    units[1] = static_cast<char16_t>(0xDC00 + (v & 0x3FF));
    return 2;
}

}  // namespace keys
