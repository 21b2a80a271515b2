#pragma once
// Which key of a keyboard layout types a character, and which scan code and extended flag a
// key carries. The layout itself is asked through IKeyboardLayout (the receiving window's
// layout on Windows, tables in the tests), so that the decisions are tested without Windows.
#include <cstdint>
#include <optional>

#include "keys/KeyScript.h"

namespace keys {

// Shift state bits of a layout key, as VkKeyScan gives them in its high byte.
inline constexpr uint8_t kStateShift = 1;
inline constexpr uint8_t kStateCtrl = 2;
inline constexpr uint8_t kStateAlt = 4;

struct LayoutKey {
    uint8_t vk = 0;
    uint8_t shiftState = 0;  // kState* bits; Ctrl+Alt is AltGr
    bool dead = false;       // the key only starts a composition: it waits for the next key
};

class IKeyboardLayout {
  public:
    virtual ~IKeyboardLayout() = default;
    // The key and shift state that type `c` on this layout; std::nullopt when no key does.
    [[nodiscard]] virtual std::optional<LayoutKey> KeyFor(char32_t c) const = 0;
};

// The queue entry that types `c` on `layout` (see KeyQueue): the layout's key with the
// modifiers it needs, or a Unicode character event when no key of the layout types it alone.
[[nodiscard]] int32_t MapCharacter(char32_t c, const IKeyboardLayout& layout);

// Keys whose scan code is the same on every layout and that are sent as the keyboard sends them.
struct FixedScanCode {
    uint16_t scan;
    bool extended;
};
// The scan code and extended flag of the keys that have them fixed (the navigation block,
// Num Lock, Caps Lock, Print Screen, Pause, numeric-keypad divide, right Ctrl and Alt);
// std::nullopt for every other key, whose scan code the layout gives.
[[nodiscard]] std::optional<FixedScanCode> FixedScanCodeOf(uint8_t vk);

// UTF-16 code units of a code point: one, or a surrogate pair. Returns the count written.
size_t ToUtf16(char32_t c, char16_t (&units)[2]);

}  // namespace keys
