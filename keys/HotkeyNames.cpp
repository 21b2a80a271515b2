#include "keys/HotkeyNames.h"

#include <array>
#include <utility>

namespace keys {
namespace {

using NameTable = std::array<std::string_view, kHotkeyNameCount>;

// Filled in the order the names were first laid out; later entries never overwrite earlier
// ones because every code appears once.
NameTable MakeNames() {
    NameTable names{};
    const std::pair<int, std::string_view> fixed[] = {
        {0, "None"},      {32, "SPACE"},    {13, "ENTER"},      {8, "BACKSPACE"}, {9, "TAB"},    {45, "INSERT"},
        {46, "DELETE"},   {38, "UP"},       {40, "DOWN"},       {39, "RIGHT"},    {37, "LEFT"},  {36, "HOME"},
        {35, "END"},      {34, "PGDN"},     {33, "PGUP"},       {27, "ESCAPE"},   {19, "BREAK"}, {12, "CLEAR"},
        {20, "CAPSLOCK"}, {144, "NUMLOCK"}, {145, "SCROLLOCK"}, {44, "PRTSC"},
    };
    for (const auto& [code, name] : fixed) {
        names[code] = name;
    }

    static constexpr std::string_view kFunctionKeys[] = {"F1", "F2",  "F3",  "F4",  "F5",  "F6",  "F7",  "F8",
                                                         "F9", "F10", "F11", "F12", "F13", "F14", "F15", "F16"};
    for (int i = 0; i < 16; ++i) {
        names[112 + i] = kFunctionKeys[i];
    }
    static constexpr std::string_view kNumPad[] = {"NumPad 0", "NumPad 1", "NumPad 2", "NumPad 3", "NumPad 4",
                                                   "NumPad 5", "NumPad 6", "NumPad 7", "NumPad 8", "NumPad 9"};
    for (int i = 0; i < 10; ++i) {
        names[96 + i] = kNumPad[i];
    }
    names[106] = "Gray *";
    names[107] = "Gray +";
    names[109] = "Gray -";
    names[110] = "Gray .";
    names[111] = "Gray /";

    const std::pair<int, std::string_view> punctuation[] = {
        {186, ";"}, {187, "="}, {188, ","},  {189, "-"}, {190, "."}, {191, "/"},
        {192, "`"}, {219, "["}, {220, "\\"}, {221, "]"}, {222, "'"},
    };
    for (const auto& [code, name] : punctuation) {
        names[code] = name;
    }

    // Digits and letters are named by their own character; the views point into a static
    // string so they stay valid for the whole run.
    static constexpr std::string_view kDigits = "0123456789";
    static constexpr std::string_view kLetters = "ABCDEFGHIJKLMNOPQRSTUVWXYZ";
    for (int i = 0; i < 10; ++i) {
        names[48 + i] = kDigits.substr(static_cast<size_t>(i), 1);
    }
    for (int i = 0; i < 26; ++i) {
        names[65 + i] = kLetters.substr(static_cast<size_t>(i), 1);
    }
    return names;
}

// Built on first use (thread-safe static), so a lookup can never see a half-filled table.
const NameTable& Names() {
    static const NameTable names = MakeNames();
    return names;
}

}  // namespace

void BuildHotkeyNames() {
    (void)Names();
}

std::string_view HotkeyKeyNames(int keyCode) {
    if (keyCode < 0 || keyCode >= kHotkeyNameCount) {
        return {};
    }
    return Names()[static_cast<size_t>(keyCode)];
}

std::string HotkeyText(int mask, int keyCode) {
    std::string text;
    if ((mask & kShiftMask) != 0) {
        text += "SHIFT+";
    }
    if ((mask & kCtrlMask) != 0) {
        text += "CTRL+";
    }
    if ((mask & kAltMask) != 0) {
        text += "ALT+";
    }
    text += HotkeyKeyNames(keyCode);
    return text;
}

int32_t HotkeyCode(int mask, int keyCode) {
    return (mask & (kShiftMask | kCtrlMask | kAltMask)) * 256 + (keyCode & 0xFF);
}

std::optional<HotkeyCapture> CaptureHotkey(int keyCode, int mask) {
    // A modifier pressed on its own is the start of a combination, not a hotkey.
    if (keyCode == 16 || keyCode == 17 || keyCode == 18) {
        return std::nullopt;
    }
    return HotkeyCapture{HotkeyText(mask, keyCode), HotkeyCode(mask, keyCode)};
}

}  // namespace keys
