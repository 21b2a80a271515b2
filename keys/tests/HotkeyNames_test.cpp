#include "keys/HotkeyNames.h"

#include <gtest/gtest.h>

#include <set>
#include <string>

namespace {

TEST(HotkeyNames, NamesEveryListedCodeAndNothingElse) {
    keys::BuildHotkeyNames();
    struct Row {
        int line;
        int code;
        std::string_view name;
    };
    const Row rows[] = {
        {__LINE__, 0, "None"},
        {__LINE__, 8, "BACKSPACE"},
        {__LINE__, 9, "TAB"},
        {__LINE__, 12, "CLEAR"},
        {__LINE__, 13, "ENTER"},
        {__LINE__, 19, "BREAK"},
        {__LINE__, 20, "CAPSLOCK"},
        {__LINE__, 27, "ESCAPE"},
        {__LINE__, 32, "SPACE"},
        {__LINE__, 33, "PGUP"},
        {__LINE__, 34, "PGDN"},
        {__LINE__, 35, "END"},
        {__LINE__, 36, "HOME"},
        {__LINE__, 37, "LEFT"},
        {__LINE__, 38, "UP"},
        {__LINE__, 39, "RIGHT"},
        {__LINE__, 40, "DOWN"},
        {__LINE__, 44, "PRTSC"},
        {__LINE__, 45, "INSERT"},
        {__LINE__, 46, "DELETE"},
        {__LINE__, 48, "0"},
        {__LINE__, 57, "9"},
        {__LINE__, 65, "A"},
        {__LINE__, 88, "X"},
        {__LINE__, 90, "Z"},
        {__LINE__, 96, "NumPad 0"},
        {__LINE__, 105, "NumPad 9"},
        {__LINE__, 106, "Gray *"},
        {__LINE__, 107, "Gray +"},
        {__LINE__, 109, "Gray -"},
        {__LINE__, 110, "Gray ."},
        {__LINE__, 111, "Gray /"},
        {__LINE__, 112, "F1"},
        {__LINE__, 120, "F9"},
        {__LINE__, 121, "F10"},
        {__LINE__, 127, "F16"},
        {__LINE__, 144, "NUMLOCK"},
        {__LINE__, 145, "SCROLLOCK"},
        {__LINE__, 186, ";"},
        {__LINE__, 187, "="},
        {__LINE__, 188, ","},
        {__LINE__, 189, "-"},
        {__LINE__, 190, "."},
        {__LINE__, 191, "/"},
        {__LINE__, 192, "`"},
        {__LINE__, 219, "["},
        {__LINE__, 220, "\\"},
        {__LINE__, 221, "]"},
        {__LINE__, 222, "'"},
        // Unnamed codes inside and outside the table.
        {__LINE__, 1, ""},
        {__LINE__, 16, ""},
        {__LINE__, 91, ""},
        {__LINE__, 108, ""},
        {__LINE__, 128, ""},
        {__LINE__, 225, ""},
        {__LINE__, 226, ""},
        {__LINE__, 255, ""},
        {__LINE__, -1, ""},
        {__LINE__, 100000, ""},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.line);
        EXPECT_EQ(keys::HotkeyKeyNames(r.code), r.name);
    }
}

// 22 fixed names, 16 function keys, 10 keypad digits, 5 gray keys, 11 punctuation keys,
// 10 digits and 26 letters: 100 names, none of them shared by two codes.
TEST(HotkeyNames, HoldsOneHundredDistinctNames) {
    std::set<std::string_view> names;
    int named = 0;
    for (int code = 0; code < keys::kHotkeyNameCount; ++code) {
        if (!keys::HotkeyKeyNames(code).empty()) {
            ++named;
            names.insert(keys::HotkeyKeyNames(code));
        }
    }
    EXPECT_EQ(named, 100);
    EXPECT_EQ(names.size(), 100u);
}

TEST(HotkeyCapture, BuildsTextAndCodeFromKeyAndModifiers) {
    struct Row {
        int line;
        int key;
        int mask;
        bool captured;
        std::string_view text;
        int32_t code;
    };
    const Row rows[] = {
        {__LINE__, 120, 0, true, "F9", 120},
        {__LINE__, 120, 2, true, "CTRL+F9", 632},
        {__LINE__, 120, 6, true, "CTRL+ALT+F9", 1656},
        {__LINE__, 120, 7, true, "SHIFT+CTRL+ALT+F9", 1912},
        {__LINE__, 88, 7, true, "SHIFT+CTRL+ALT+X", 1880},
        {__LINE__, 65, 1, true, "SHIFT+A", 321},
        {__LINE__, 65, 5, true, "SHIFT+ALT+A", 1345},
        {__LINE__, 121, 4, true, "ALT+F10", 1145},
        {__LINE__, 8, 0, true, "BACKSPACE", 8},
        {__LINE__, 46, 0, true, "DELETE", 46},
        // Unnamed keys: the prefixes alone, the code all the same.
        {__LINE__, 91, 0, true, "", 91},
        {__LINE__, 230, 2, true, "CTRL+", 742},
        {__LINE__, 255, 3, true, "SHIFT+CTRL+", 1023},
        // Shift, Ctrl and Alt on their own change nothing, with or without other modifiers.
        {__LINE__, 16, 1, false, "", 0},
        {__LINE__, 17, 2, false, "", 0},
        {__LINE__, 18, 4, false, "", 0},
        {__LINE__, 17, 5, false, "", 0},
        // Stray bits above the three modifiers neither show nor reach the code.
        {__LINE__, 120, 8 | 2, true, "CTRL+F9", 632},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.line);
        const auto capture = keys::CaptureHotkey(r.key, r.mask);
        ASSERT_EQ(capture.has_value(), r.captured);
        if (capture) {
            EXPECT_EQ(capture->text, r.text);
            EXPECT_EQ(capture->code, r.code);
            // The code must decode back to the same key and modifiers.
            EXPECT_EQ(capture->code % 256, r.key & 0xFF);
            EXPECT_EQ(keys::HotkeyText(capture->code / 256, capture->code % 256), r.text);
        }
    }
}

}  // namespace
