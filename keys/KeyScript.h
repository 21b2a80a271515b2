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
    kParseUnmappableChar = 6,  // a character with no single-byte code (e.g. half of a double-byte one)
};

// The codes of Shift, Ctrl and Alt. In a queue each occurrence toggles that modifier.
inline constexpr int16_t kVkShift = 16;
inline constexpr int16_t kVkControl = 17;
inline constexpr int16_t kVkMenu = 18;
inline constexpr int16_t kVkReturn = 13;
// Bit of a character mapping's result that says Shift is needed to type the character.
inline constexpr int16_t kShiftFlag = 0x100;

struct KeyQueue {
    static constexpr int16_t kCapacity = 4096;
    std::array<int16_t, kCapacity> entries{};
    int16_t count = 0;
    int16_t readPosition = 0;
};

struct KeyName {
    int16_t code;
    std::string_view name;
};
extern const std::array<KeyName, 41> KeyNames;

// Maps one byte of the script's single-byte character set to a key: key code in the low byte,
// kShiftFlag when Shift is needed (the layout's VkKeyScanA result, -1 when the layout cannot
// produce the character). std::nullopt when the byte is no character of its own.
using CharMapping = std::function<std::optional<int16_t>(unsigned char)>;

// One character: its mapping. Otherwise the code of the KeyNames row matching the name trimmed
// of blanks, in any letter case; 0 when there is none. std::nullopt when a single character
// cannot be mapped.
std::optional<int16_t> LookupKeyName(std::string_view name, const CharMapping& mapping);

// Parses `script` into `queue` (count and read position reset first). Returns a ParseResult;
// after a failure the queue holds what was appended before it.
int16_t ParseKeys(std::string_view script, const CharMapping& mapping, KeyQueue& queue);

}  // namespace keys
