#include "keys/KeyScript.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "keys/tests/FakeLayouts.h"

namespace keys {
namespace {

// Key codes in decimal; AltGr keys as "G" + code, Unicode character events as "U+" + hex.
std::string Render(const KeyQueue& queue) {
    std::string out;
    for (int16_t i = 0; i < queue.count; ++i) {
        const int32_t entry = queue.entries[static_cast<size_t>(i)];
        char text[24];
        if (IsUnicodeEntry(entry)) {
            std::snprintf(text, sizeof text, "U+%04X", static_cast<unsigned>(entry & ~kUnicodeEntry));
        } else if ((entry & (kCtrlFlag | kAltFlag)) == (kCtrlFlag | kAltFlag)) {
            std::snprintf(text, sizeof text, "G%d", entry & 0xFF);
        } else {
            std::snprintf(text, sizeof text, "%d", entry);
        }
        out += (out.empty() ? "" : " ") + std::string(text);
    }
    return out;
}

// The queue written, also after a failure: what was appended before it stays.
TEST(ParseKeys, ScriptsGiveTheirQueueOrCode) {
    // clang-format off
    struct Case { std::string script; int16_t code; std::string queue; };
    const Case cases[] = {
        {"", kParseOk, ""}, {"abc", kParseOk, "65 66 67"}, {"A", kParseOk, "16 65 16"},
        {"+A", kParseOk, "16 16 65 16 16"}, {"^c", kParseOk, "17 67 17"}, {"%(fx)", kParseOk, "18 70 88 18"},
        {"~", kParseOk, "13"}, {"{enter}{Esc}{ESCAPE}", kParseOk, "13 27 27"},
        {"{F1}{f16}{CapsLock}{scrollock}", kParseOk, "112 127 20 145"}, {"{TAB 3}", kParseOk, "9 9 9"},
        {"{A 2}", kParseOk, "16 65 65 16"}, {"{}}", kParseOk, "16 221 16"}, {"{} 2}", kParseOk, "16 221 221 16"},
        {"{{}{(}{)}", kParseOk, "16 219 16 16 57 16 16 48 16"},
        {"{+}{^}{%}{~}", kParseOk, "16 187 16 16 54 16 16 53 16 16 192 16"}, {")}", kParseOk, "16 48 16 16 221 16"},
        // Repeat counts: blanks before, sign, rounding half to even, text after it ignored.
        {"{a   3}", kParseOk, "65 65 65"}, {"{a +2}", kParseOk, "65 65"}, {"{a 2.5}", kParseOk, "65 65"},
        {"{a 3.5}", kParseOk, "65 65 65 65"}, {"{a 1.5}", kParseOk, "65 65"}, {"{a 2.51}", kParseOk, "65 65 65"},
        {"{a 2.49}", kParseOk, "65 65"}, {"{a 2 times}", kParseOk, "65 65"},
        {"{a 2}b}", kParseOk, "65 65 66 16 221 16"},
        // Groups and prefixes nest.
        {"+(ab)c", kParseOk, "16 65 66 16 67"}, {"^+{END}", kParseOk, "17 16 35 16 17"},
        {"((a)b)(c)", kParseOk, "65 66 67"}, {"()", kParseOk, ""}, {"+", kParseOk, "16 16"},
        {"+^%a", kParseOk, "16 17 18 65 18 17 16"}, {"1.25 kg{ENTER}", kParseOk, "49 190 50 53 32 75 71 13"},
        // A character no key of the layout types goes as itself, also in braces and repeated.
        {"{\u00E9 2}", kParseOk, "U+00E9 U+00E9"}, {"+\u20AC", kParseOk, "16 U+20AC 16"},
        {"a\u4E2D\U0001F600b", kParseOk, "65 U+4E2D U+1F600 66"}, {"{\u4E2D}", kParseOk, "U+4E2D"},
        {"{\u4E2Dx}", kParseUnknownKeyName, ""},  // two characters are no key name
        {"{TAB 0}", kParseBadRepeatCount, ""}, {"{TAB x}", kParseBadRepeatCount, ""},
        {"{TAB -0.4}", kParseBadRepeatCount, ""}, {"{TAB 0.5}", kParseBadRepeatCount, ""},
        {"{TAB 3", kParseUnclosedBrace, "9 9 9"}, {"abc{", kParseUnclosedBrace, "65 66 67"},
        {"{}", kParseUnclosedBrace, ""}, {"{ENTER", kParseUnclosedBrace, ""}, {"{BOGUS}", kParseUnknownKeyName, ""},
        {"{F17}", kParseUnknownKeyName, ""}, {"{ }", kParseUnknownKeyName, ""},
        {"(abc", kParseUnclosedGroup, "65 66 67"}, {"(a+)", kParseUnclosedGroup, "65 16 16 48 16 16"},
        {"+({BOGUS})", kParseUnknownKeyName, "16"}, {"x{a -3}", kParseQueueFull, "88"},
        // Bytes that are not UTF-8 (a file read without conversion, a cut character) abandon the
        // parse rather than type something else.
        {"ab\xE4", kParseUnmappableChar, "65 66"},         // ANSI "ä"
        {"ab\xC3", kParseUnmappableChar, "65 66"},         // cut after the lead byte
        {"\xC3\xA4\xA4", kParseUnmappableChar, "U+00E4"},  // a stray continuation byte
        {"{\xE4}", kParseUnmappableChar, ""}, {"+(\x81)", kParseUnmappableChar, "16"},
        {"\xC0\xAF", kParseUnmappableChar, ""},          // overlong "/"
        {"\xED\xA0\x80", kParseUnmappableChar, ""},      // a surrogate
        {"\xF4\x90\x80\x80", kParseUnmappableChar, ""},  // beyond U+10FFFF
        {"\xF4\x8F\xBF\xBF", kParseOk, "U+10FFFF"},
    };
    // clang-format on
    for (const Case& c : cases) {
        SCOPED_TRACE(c.script);
        KeyQueue queue;
        queue.count = 7;  // left over from an earlier parse
        queue.readPosition = 3;
        EXPECT_EQ(ParseKeys(c.script, testing::UsLayout, queue), c.code);
        EXPECT_EQ(Render(queue), c.queue);
        EXPECT_EQ(queue.readPosition, 0);
    }
}

// Sizes where fixed buffers, recursion and loops over the repeat count break.
TEST(ParseKeys, LargeAndDeepScriptsEndWithACode) {
    std::string altGroups;
    for (int i = 0; i < 30000; ++i) {
        altGroups += "%(";
    }
    // clang-format off
    struct Case { std::string script; int16_t code; int16_t count; };
    const Case cases[] = {
        {std::string(4096, 'a'), kParseOk, 4096}, {std::string(4097, 'a'), kParseQueueFull, 4096},
        {std::string(1365, 'A') + "a", kParseOk, 4096}, {std::string(1366, 'A'), kParseQueueFull, 4096},
        {"{a 4096}", kParseOk, 4096}, {"{a 4097}", kParseQueueFull, 4096}, {"{A 4095}", kParseQueueFull, 4096},
        {"{a " + std::string(5000, '9') + "}", kParseQueueFull, 4096},
        {"{a -" + std::string(5000, '9') + "}", kParseQueueFull, 0},
        {"{a 0." + std::string(5000, '0') + "1}", kParseBadRepeatCount, 0},
        {std::string(100000, '('), kParseUnclosedGroup, 0}, {std::string(2000, '+') + "a", kParseOk, 4001},
        {std::string(50000, '(') + "a" + std::string(50000, ')'), kParseOk, 1},
        {altGroups, kParseQueueFull, 4096}, {std::string(100000, '{'), kParseUnclosedBrace, 0},
    };
    // clang-format on
    for (const Case& c : cases) {
        SCOPED_TRACE(c.script.substr(0, 20));
        KeyQueue queue;
        EXPECT_EQ(ParseKeys(c.script, testing::UsLayout, queue), c.code);
        EXPECT_EQ(queue.count, c.count);
    }
}

TEST(LookupKeyName, TrimsAndIgnoresCase) {
    // clang-format off
    struct Case { std::string name; int32_t code; };
    const Case cases[] = {
        {"ENTER", 13}, {" pgdn ", 34}, {"Del", 46}, {"a", 65}, {"A", 0x141}, {" ", 0x20}, {"", 0}, {"   ", 0},
        {"F0", 0}, {"ENTERX", 0}, {"\u00E9", kUnicodeEntry | 0xE9},
    };
    // clang-format on
    for (const Case& c : cases) {
        EXPECT_EQ(LookupKeyName(c.name, testing::UsLayout), std::optional<int32_t>(c.code)) << c.name;
    }
    for (const KeyName& row : KeyNames) {  // every row is found by its name
        EXPECT_EQ(LookupKeyName(row.name, testing::UsLayout), std::optional<int32_t>(row.code)) << row.name;
    }
}

}  // namespace
}  // namespace keys
