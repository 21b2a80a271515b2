#pragma once
// The send-keys script language: ordinary characters type themselves, "{NAME}" and "{NAME n}"
// name keys and repeat them, "(...)" groups, "~" is Enter and "+", "^", "%" hold Shift, Ctrl
// and Alt around the next item. ParseKeys turns a script into a flat KeyQueue of key codes that
// the player (KeyPlayer.h) turns into presses and releases.
#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string_view>

namespace keys {

// Result codes of ParseKeys. The caller plays nothing unless the result is kParseOk.
enum ParseResult : int16_t {
    kParseOk = 0,
    kParseUnclosedBrace = 1,   // a "{" without its closing "}"
    kParseUnknownKeyName = 2,  // a braced name that is neither one character nor a key name
    kParseUnclosedGroup = 3,   // a "(" without its closing ")"
    kParseBadRepeatCount = 4,  // a repeat count of zero, or one that does not read as a number
    kParseQueueFull = 5,       // more than KeyQueue::kCapacity entries
    kParseUnmappableChar = 6,  // bytes that are no UTF-8 character
};

// The codes of Shift, Ctrl and Alt. In a queue each occurrence toggles that modifier.
inline constexpr int16_t kVkShift = 16;
inline constexpr int16_t kVkControl = 17;
inline constexpr int16_t kVkMenu = 18;
inline constexpr int16_t kVkReturn = 13;
// Bits of a character mapping's result beside the key code in the low byte: Shift, Ctrl and Alt
// needed to type the character (as VkKeyScan gives them; Ctrl+Alt is AltGr).
inline constexpr int16_t kShiftFlag = 0x100;
inline constexpr int32_t kCtrlFlag = 0x200;
inline constexpr int32_t kAltFlag = 0x400;
// A character typed as itself (a Unicode character event), not as a key of the layout: this bit
// plus the code point.
inline constexpr int32_t kUnicodeEntry = 0x01000000;

inline constexpr bool IsUnicodeEntry(int32_t entry) {
    return (entry & kUnicodeEntry) != 0;
}

// A queue entry is a key code (1 to 255; 16, 17 and 18 toggle Shift, Ctrl and Alt), a key code
// with kCtrlFlag and/or kAltFlag (pressed with those held, AltGr for both), or a kUnicodeEntry.
struct KeyQueue {
    static constexpr int16_t kCapacity = 4096;
    std::array<int32_t, kCapacity> entries{};
    int16_t count = 0;
    int16_t readPosition = 0;
};

struct KeyName {
    int16_t code;
    std::string_view name;
};
extern const std::array<KeyName, 41> KeyNames;

// Maps one character (a code point) to its queue entry: a key code with kShiftFlag, kCtrlFlag
// and kAltFlag as the layout needs them, or kUnicodeEntry | code point (MapCharacter in
// KeyLayout.h).
using CharMapping = std::function<int32_t(char32_t)>;

// One character: its mapping. Otherwise the code of the KeyNames row matching the name trimmed
// of blanks, in any letter case; 0 when there is none. std::nullopt when the name is not UTF-8.
std::optional<int32_t> LookupKeyName(std::string_view name, const CharMapping& mapping);

// Parses `script` into `queue` (count and read position reset first). Returns a ParseResult;
// after a failure the queue holds what was appended before it.
int16_t ParseKeys(std::string_view script, const CharMapping& mapping, KeyQueue& queue);

}  // namespace keys
