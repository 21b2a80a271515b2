#pragma once
// The hotkey's key names, and the text and code the settings dialog builds from a key press.
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace keys {

inline constexpr int kHotkeyNameCount = 226;  // key codes 0..225 have a slot; most are empty

// Modifier mask bits of a hotkey code (code = mask * 256 + key code).
inline constexpr int kShiftMask = 1;
inline constexpr int kCtrlMask = 2;
inline constexpr int kAltMask = 4;

// Fills the name table once; later calls (and lookups before the first call) are safe.
void BuildHotkeyNames();

// The name of a key code: "" for a code without a name or outside 0..225.
[[nodiscard]] std::string_view HotkeyKeyNames(int keyCode);

// "SHIFT+", "CTRL+", "ALT+" for the held modifiers, in that order, then the key's name.
[[nodiscard]] std::string HotkeyText(int mask, int keyCode);

// mask * 256 + key code, with only the three modifier bits and the low byte of the key.
[[nodiscard]] int32_t HotkeyCode(int mask, int keyCode);

struct HotkeyCapture {
    std::string text;
    int32_t code = 0;
    bool operator==(const HotkeyCapture&) const = default;
};

// What a key-down in the hotkey box makes of the hotkey; nothing for Shift, Ctrl or Alt alone.
[[nodiscard]] std::optional<HotkeyCapture> CaptureHotkey(int keyCode, int mask);

}  // namespace keys
