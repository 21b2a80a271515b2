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
        if (!out.empty()) {
            out += ' ';
        }
        const int32_t entry = queue.entries[static_cast<size_t>(i)];
        if (IsUnicodeEntry(entry)) {
            char hex[16];
            std::snprintf(hex, sizeof hex, "U+%04X", static_cast<unsigned>(entry & ~kUnicodeEntry));
            out += hex;
        } else if ((entry & (kCtrlFlag | kAltFlag)) == (kCtrlFlag | kAltFlag)) {
            out += "G" + std::to_string(entry & 0xFF);
        } else {
            out += std::to_string(entry);
        }
    }
    return out;
}

struct ParseCase {
    int line;
    std::string script;
    int16_t code;
    std::string queue;  // the entries written, also after a failure
};

TEST(ParseKeys, ScriptsGiveTheirQueueOrCode) {
    const ParseCase cases[] = {
        {__LINE__, "", kParseOk, ""},
        {__LINE__, "abc", kParseOk, "65 66 67"},
        {__LINE__, "A", kParseOk, "16 65 16"},
        {__LINE__, "+a", kParseOk, "16 65 16"},
        {__LINE__, "+A", kParseOk, "16 16 65 16 16"},
        {__LINE__, "^c", kParseOk, "17 67 17"},
        {__LINE__, "%(fx)", kParseOk, "18 70 88 18"},
        {__LINE__, "%f", kParseOk, "18 70 18"},
        {__LINE__, "~", kParseOk, "13"},
        {__LINE__, "{ENTER}", kParseOk, "13"},
        {__LINE__, "{enter}", kParseOk, "13"},
        {__LINE__, "{Esc}{ESCAPE}", kParseOk, "27 27"},
        {__LINE__, "{F1}{f16}{CapsLock}{scrollock}", kParseOk, "112 127 20 145"},
        {__LINE__, "{TAB 3}", kParseOk, "9 9 9"},
        {__LINE__, "{a 2}", kParseOk, "65 65"},
        {__LINE__, "{A 2}", kParseOk, "16 65 65 16"},
        {__LINE__, "{a}", kParseOk, "65"},
        {__LINE__, "{}}", kParseOk, "16 221 16"},
        {__LINE__, "{} 2}", kParseOk, "16 221 221 16"},
        {__LINE__, "{{}", kParseOk, "16 219 16"},
        {__LINE__, "{(}{)}", kParseOk, "16 57 16 16 48 16"},
        {__LINE__, "{+}{^}{%}{~}", kParseOk, "16 187 16 16 54 16 16 53 16 16 192 16"},
        {__LINE__, ")", kParseOk, "16 48 16"},
        {__LINE__, "}", kParseOk, "16 221 16"},
        // Repeat counts: blanks before, sign, rounding half to even, text after it ignored.
        {__LINE__, "{a   3}", kParseOk, "65 65 65"},
        {__LINE__, "{a +2}", kParseOk, "65 65"},
        {__LINE__, "{a 2.5}", kParseOk, "65 65"},
        {__LINE__, "{a 3.5}", kParseOk, "65 65 65 65"},
        {__LINE__, "{a 1.5}", kParseOk, "65 65"},
        {__LINE__, "{a 2.51}", kParseOk, "65 65 65"},
        {__LINE__, "{a 2.49}", kParseOk, "65 65"},
        {__LINE__, "{a 2 times}", kParseOk, "65 65"},
        {__LINE__, "{a 2}b}", kParseOk, "65 65 66 16 221 16"},
        {__LINE__, "{a 002}", kParseOk, "65 65"},
        // Groups and prefixes nest.
        {__LINE__, "+(ab)c", kParseOk, "16 65 66 16 67"},
        {__LINE__, "^+{END}", kParseOk, "17 16 35 16 17"},
        {__LINE__, "((a)b)(c)", kParseOk, "65 66 67"},
        {__LINE__, "()", kParseOk, ""},
        {__LINE__, "(~)", kParseOk, "13"},
        {__LINE__, "+", kParseOk, "16 16"},
        {__LINE__, "+^%a", kParseOk, "16 17 18 65 18 17 16"},
        // What a send on a hotkey typically holds.
        {__LINE__, "1.25 kg{ENTER}", kParseOk, "49 190 50 53 32 75 71 13"},
        {__LINE__, "(-1.5)", kParseOk, "189 49 190 53"},
        {__LINE__, "03/05/2026{TAB}", kParseOk, "48 51 191 48 53 191 50 48 50 54 9"},
        // A character no key of the layout types goes as itself, also in braces and repeated.
        {__LINE__, "\u00E9", kParseOk, "U+00E9"},
        {__LINE__, "{\u00E9 2}", kParseOk, "U+00E9 U+00E9"},
        {__LINE__, "+\u20AC", kParseOk, "16 U+20AC 16"},
        {__LINE__, "a\u4E2D\U0001F600b", kParseOk, "65 U+4E2D U+1F600 66"},
        {__LINE__, "{\u4E2D}", kParseOk, "U+4E2D"},
        {__LINE__, "{\u4E2Dx}", kParseUnknownKeyName, ""},  // two characters are no key name
        // Failures keep what was written before them.
        {__LINE__, "{TAB 0}", kParseBadRepeatCount, ""},
        {__LINE__, "{TAB x}", kParseBadRepeatCount, ""},
        {__LINE__, "{TAB -0.4}", kParseBadRepeatCount, ""},
        {__LINE__, "{TAB 0.5}", kParseBadRepeatCount, ""},
        {__LINE__, "{TAB -}", kParseBadRepeatCount, ""},
        {__LINE__, "{TAB 3", kParseUnclosedBrace, "9 9 9"},
        {__LINE__, "abc{", kParseUnclosedBrace, "65 66 67"},
        {__LINE__, "{", kParseUnclosedBrace, ""},
        {__LINE__, "{}", kParseUnclosedBrace, ""},
        {__LINE__, "{ENTER", kParseUnclosedBrace, ""},
        {__LINE__, "{BOGUS}", kParseUnknownKeyName, ""},
        {__LINE__, "{F17}", kParseUnknownKeyName, ""},
        {__LINE__, "{SHIFT}", kParseUnknownKeyName, ""},
        {__LINE__, "{ }", kParseUnknownKeyName, ""},
        {__LINE__, "{ 3}", kParseUnknownKeyName, ""},
        {__LINE__, "(abc", kParseUnclosedGroup, "65 66 67"},
        {__LINE__, "(", kParseUnclosedGroup, ""},
        {__LINE__, "(a+)", kParseUnclosedGroup, "65 16 16 48 16 16"},
        {__LINE__, "+({BOGUS})", kParseUnknownKeyName, "16"},
        {__LINE__, "{a -1}", kParseQueueFull, ""},
        {__LINE__, "x{a -3}", kParseQueueFull, "88"},
    };
    for (const ParseCase& c : cases) {
        SCOPED_TRACE(c.line);
        KeyQueue queue;
        queue.count = 7;  // left over from an earlier parse
        queue.readPosition = 3;
        EXPECT_EQ(ParseKeys(c.script, testing::UsLayout, queue), c.code);
        EXPECT_EQ(Render(queue), c.queue);
        EXPECT_EQ(queue.readPosition, 0);
    }
}

// The script is UTF-8; bytes that are not (a settings file read without conversion, a cut
// character) abandon the parse rather than type something else.
TEST(ParseKeys, BytesThatAreNotUtf8AbandonTheParse) {
    const ParseCase cases[] = {
        {__LINE__, "ab\xE4", kParseUnmappableChar, "65 66"},         // ANSI "ä"
        {__LINE__, "ab\xC3", kParseUnmappableChar, "65 66"},         // cut after the lead byte
        {__LINE__, "\xC3\xA4\xA4", kParseUnmappableChar, "U+00E4"},  // a stray continuation byte
        {__LINE__, "{\xE4}", kParseUnmappableChar, ""},
        {__LINE__, "+(\x81)", kParseUnmappableChar, "16"},
        {__LINE__, "\xC0\xAF", kParseUnmappableChar, ""},          // overlong "/"
        {__LINE__, "\xED\xA0\x80", kParseUnmappableChar, ""},      // a surrogate
        {__LINE__, "\xF4\x90\x80\x80", kParseUnmappableChar, ""},  // beyond U+10FFFF
        {__LINE__, "\xF4\x8F\xBF\xBF", kParseOk, "U+10FFFF"},
    };
    for (const ParseCase& c : cases) {
        SCOPED_TRACE(c.line);
        KeyQueue queue;
        EXPECT_EQ(ParseKeys(c.script, testing::UsLayout, queue), c.code);
        EXPECT_EQ(Render(queue), c.queue);
    }
}

// Scripts that a user can type or a settings file can hold, at the sizes where fixed
// buffers, recursion and loops over the repeat count break.
struct SizeCase {
    int line;
    std::string script;
    int16_t code;
    int16_t count;
};

std::string Repeat(std::string_view part, size_t times) {
    std::string out;
    for (size_t i = 0; i < times; ++i) {
        out += part;
    }
    return out;
}

TEST(ParseKeys, LargeAndDeepScriptsEndWithACode) {
    const SizeCase cases[] = {
        {__LINE__, Repeat("a", 4096), kParseOk, 4096},
        {__LINE__, Repeat("a", 4097), kParseQueueFull, 4096},
        {__LINE__, Repeat("a", 100000), kParseQueueFull, 4096},
        {__LINE__, Repeat("A", 1365) + "a", kParseOk, 4096},
        {__LINE__, Repeat("A", 1366), kParseQueueFull, 4096},
        {__LINE__, "{a 4096}", kParseOk, 4096},
        {__LINE__, "{a 4097}", kParseQueueFull, 4096},
        {__LINE__, "{A 4095}", kParseQueueFull, 4096},
        {__LINE__, "{a 1000000000000}", kParseQueueFull, 4096},
        {__LINE__, "{a " + Repeat("9", 5000) + "}", kParseQueueFull, 4096},
        {__LINE__, "{a -" + Repeat("9", 5000) + "}", kParseQueueFull, 0},
        {__LINE__, "{a 0." + Repeat("0", 5000) + "1}", kParseBadRepeatCount, 0},
        {__LINE__, Repeat("(", 100000), kParseUnclosedGroup, 0},
        {__LINE__, Repeat("(", 50000) + "a" + Repeat(")", 50000), kParseOk, 1},
        {__LINE__, Repeat("+", 100000), kParseQueueFull, 4096},
        {__LINE__, Repeat("+", 2000) + "a", kParseOk, 4001},
        {__LINE__, Repeat("%(", 30000), kParseQueueFull, 4096},
        {__LINE__, Repeat("{", 100000), kParseUnclosedBrace, 0},
        {__LINE__, Repeat("{BOGUS", 20000) + "}", kParseUnknownKeyName, 0},
    };
    for (const SizeCase& c : cases) {
        SCOPED_TRACE(c.line);
        KeyQueue queue;
        EXPECT_EQ(ParseKeys(c.script, testing::UsLayout, queue), c.code);
        EXPECT_EQ(queue.count, c.count);
    }
}

TEST(LookupKeyName, TrimsAndIgnoresCase) {
    struct Case {
        int line;
        std::string name;
        int32_t code;
    };
    const Case cases[] = {
        {__LINE__, "ENTER", 13}, {__LINE__, " pgdn ", 34}, {__LINE__, "Del", 46},
        {__LINE__, "F10", 121},  {__LINE__, "a", 65},      {__LINE__, "A", 0x141},
        {__LINE__, " ", 0x20},   {__LINE__, "", 0},        {__LINE__, "   ", 0},
        {__LINE__, "ENTERX", 0}, {__LINE__, "F0", 0},      {__LINE__, "\u00E9", kUnicodeEntry | 0xE9},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.line);
        EXPECT_EQ(LookupKeyName(c.name, testing::UsLayout), std::optional<int32_t>(c.code));
    }
}

TEST(KeyNames, EveryRowIsFoundByItsName) {
    for (const KeyName& row : KeyNames) {
        SCOPED_TRACE(std::string(row.name));
        KeyQueue queue;
        ASSERT_EQ(ParseKeys("{" + std::string(row.name) + "}", testing::UsLayout, queue), kParseOk);
        ASSERT_EQ(queue.count, 1);
        EXPECT_EQ(queue.entries[0], row.code);
    }
}

}  // namespace
}  // namespace keys
