#include "keys/KeyLayout.h"

#include <gtest/gtest.h>

#include <cstdio>

#include "keys/tests/FakeInjector.h"
#include "keys/tests/FakeLayouts.h"
#include "keys/tests/LayoutTyping.h"

namespace keys {
namespace {

using testing::FakeInjector;
using testing::TableLayout;

// "S" Shift, "G" AltGr, "U+" a Unicode character event, then the key code.
std::string RenderEntry(int32_t entry) {
    char text[24];
    if (IsUnicodeEntry(entry)) {
        std::snprintf(text, sizeof text, "U+%04X", static_cast<unsigned>(entry & ~kUnicodeEntry));
        return text;
    }
    std::string out;
    if (entry & kShiftFlag) {
        out += "S";
    }
    if ((entry & (kCtrlFlag | kAltFlag)) == (kCtrlFlag | kAltFlag)) {
        out += "G";
    } else if (entry & (kCtrlFlag | kAltFlag)) {
        out += "?";
    }
    std::snprintf(text, sizeof text, "%02X", static_cast<unsigned>(entry & 0xFF));
    return out + text;
}

TEST(MapCharacter, TakesTheLayoutsKeyWithItsFullShiftState) {
    const TableLayout us = testing::UsLayoutTable();
    const TableLayout de = testing::GermanLayoutTable();
    const TableLayout fr = testing::FrenchLayoutTable();
    const TableLayout ch = testing::SwissGermanLayoutTable();
    const TableLayout intl = testing::UsInternationalLayoutTable();
    struct Case {
        int line;
        const TableLayout& layout;
        char32_t c;
        std::string entry;
    };
    const Case cases[] = {
        {__LINE__, us, U'@', "S32"},         {__LINE__, us, U'\\', "DC"},
        {__LINE__, us, U'\u00E4', "U+00E4"},  // no key: the character itself
        {__LINE__, us, U'\u20AC', "U+20AC"}, {__LINE__, us, U'\u4E2D', "U+4E2D"},
        {__LINE__, us, U'\n', "0D"},  // Enter, not Ctrl+Enter
        {__LINE__, de, U'@', "G51"},  // AltGr+Q
        {__LINE__, de, U'{', "G37"},         {__LINE__, de, U'}', "G30"},
        {__LINE__, de, U'\\', "GDB"},        {__LINE__, de, U'\u20AC', "G45"},
        {__LINE__, de, U'\u00E4', "DE"},     {__LINE__, de, U'\u00DF', "DB"},
        {__LINE__, de, U'?', "SDB"},         {__LINE__, de, U'^', "U+005E"},  // dead key: sent as itself
        {__LINE__, de, U'`', "U+0060"},      {__LINE__, fr, U'@', "G30"},
        {__LINE__, fr, U'1', "S31"},         {__LINE__, fr, U']', "GDB"},
        {__LINE__, fr, U'~', "U+007E"},      {__LINE__, fr, U'\u00DF', "U+00DF"},
        {__LINE__, ch, U'@', "G32"},         {__LINE__, ch, U'{', "GDC"},
        {__LINE__, ch, U'\u00E4', "DC"},     {__LINE__, ch, U'\u00A8', "U+00A8"},
        {__LINE__, intl, U'\'', "U+0027"},   {__LINE__, intl, U'"', "U+0022"},
        {__LINE__, intl, U'\u00DF', "G53"},  {__LINE__, intl, U'\u00A8', "SGDE"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.line);
        EXPECT_EQ(RenderEntry(MapCharacter(c.c, c.layout)), c.entry);
    }
}

// A layout whose keys need Ctrl alone or Alt alone, or a modifier we cannot press.
class OddLayout final : public IKeyboardLayout {
  public:
    std::optional<LayoutKey> KeyFor(char32_t c) const override {
        switch (c) {
            case U'x':
                return LayoutKey{0x58, kStateCtrl, false};
            case U'y':
                return LayoutKey{0x59, kStateAlt | kStateShift, false};
            case U'z':
                return LayoutKey{0x5A, 0x08, false};  // Kana
            case U'\x1B':
                return LayoutKey{0xDB, kStateCtrl, false};
            case U'w':
                return LayoutKey{0, 0, false};
            default:
                return std::nullopt;
        }
    }
};

TEST(MapCharacter, KeysThatAreShortcutsGoAsCharacters) {
    const OddLayout odd;
    EXPECT_EQ(RenderEntry(MapCharacter(U'x', odd)), "U+0078");
    EXPECT_EQ(RenderEntry(MapCharacter(U'y', odd)), "U+0079");
    EXPECT_EQ(RenderEntry(MapCharacter(U'z', odd)), "U+007A");
    EXPECT_EQ(RenderEntry(MapCharacter(U'w', odd)), "U+0077");
    EXPECT_EQ(RenderEntry(MapCharacter(U'\x1B', odd)), "DB");  // a control character keeps its key
}

// Every tried character, followed by a letter that a dead key would join, arrives exactly on
// every layout; and so do whole sends like the ones users configure.
TEST(SendKeyScript, EveryCharacterArrivesOnEveryLayout) {
    const std::u32string sends[] = {
        U"Gewicht: 1\u202F234,50 kg",
        U"\u00E4\u20AC\u00DF\u4E2D@{}[]\\",
        U"^a'e\"a`e~n\u00B4a\u00A8e",
        U"Poids\u00A0: 1\u2019234.5 \u00B5g \U0001F600",
    };
    for (const TableLayout& layout : testing::AllLayoutTables()) {
        SCOPED_TRACE(layout.name);
        for (const char32_t c : testing::kTriedCharacters) {
            const std::u32string text{c, U'a'};
            EXPECT_EQ(testing::TypedNow(text, layout), text) << testing::ToUtf8(text);
        }
        for (const std::u32string& send : sends) {
            EXPECT_EQ(testing::TypedNow(send, layout), send) << testing::ToUtf8(send);
        }
    }
}

struct EventCase {
    int line;
    std::string script;
    std::string log;  // as FakeInjector writes it
};

void ExpectEvents(const EventCase* begin, const EventCase* end, const TableLayout& layout) {
    for (const EventCase* c = begin; c != end; ++c) {
        SCOPED_TRACE(c->line);
        FakeInjector injector;
        ASSERT_EQ(SendKeyScript(c->script, testing::MappingOn(layout), injector, 0), kParseOk);
        EXPECT_EQ(injector.log, c->log);
    }
}

TEST(SendKeyScript, AltGrIsHeldAroundItsKeyAloneWithoutTheAltPause) {
    const EventCase cases[] = {
        {__LINE__, "@", "+17 +18 +81 -81 -18 -17"},
        {__LINE__, "a@b", "+65 -65 +17 +18 +81 -81 -18 -17 +66 -66"},
        {__LINE__, "{@ 2}", "+17 +18 +81 -81 -18 -17 +17 +18 +81 -81 -18 -17"},
        // Held by the script already: neither pressed nor released again.
        {__LINE__, "^(@)", "+17 +18 +81 -81 -18 -17"},
        {__LINE__, "%(@)x", "+18 +17 +81 -81 -17 -18 w2000ms +88 -88"},
        {__LINE__, "\u00E4{^}", "+222 -222 +U005E -U005E"},  // a dead key: sent as the character
    };
    ExpectEvents(std::begin(cases), std::end(cases), testing::GermanLayoutTable());
}

TEST(SendKeyScript, CharactersWithoutAKeyGoAsUnicodeEvents) {
    const EventCase cases[] = {
        {__LINE__, "\u20AC", "+U20AC -U20AC"},
        {__LINE__, "+\u00E4", "+16 +U00E4 -U00E4 -16"},
        {__LINE__, "\U0001F600", "+UD83D +UDE00 -UD83D -UDE00"},  // a surrogate pair
    };
    ExpectEvents(std::begin(cases), std::end(cases), testing::UsLayoutTable());
    FakeInjector injector;
    ASSERT_EQ(SendKeyScript("\u4E2D\u4E2D", testing::UsLayout, injector, 5), kParseOk);
    EXPECT_EQ(injector.log, "+U4E2D w5ms -U4E2D w5ms +U4E2D w5ms -U4E2D w5ms");
}

// The keys that a PC keyboard sends with the extended flag carry it and their own scan code,
// so that programs reading scan codes do not see keypad keys or Num Lock.
TEST(SendKeyScript, ExtendedKeysCarryTheFlagAndTheirScanCodes) {
    const EventCase cases[] = {
        {__LINE__, "{LEFT}", "+37x/75 -37x/75"},
        {__LINE__, "{RIGHT}{UP}{DOWN}", "+39x/77 -39x/77 +38x/72 -38x/72 +40x/80 -40x/80"},
        {__LINE__, "{DEL}", "+46x/83 -46x/83"},
        {__LINE__, "{HOME}{END}", "+36x/71 -36x/71 +35x/79 -35x/79"},
        {__LINE__, "{INSERT}", "+45x/82 -45x/82"},
        {__LINE__, "{PGUP}{PGDN}", "+33x/73 -33x/73 +34x/81 -34x/81"},
        {__LINE__, "{NUMLOCK}", "+144x/69 -144x/69"},
        {__LINE__, "{PRTSC}", "+44x/55 -44x/55"},
        {__LINE__, "{BREAK}", "+19/69 -19/69"},  // Pause: 0x45 without the flag (with it, Num Lock)
        {__LINE__, "{CAPSLOCK}", "+20/58 -20/58"},
        {__LINE__, "+{END}", "+16 +35x/79 -35x/79 -16"},
        {__LINE__, "{ENTER}{TAB}{ESC}{F5}a", "+13 -13 +9 -9 +27 -27 +116 -116 +65 -65"},
    };
    ExpectEvents(std::begin(cases), std::end(cases), testing::UsLayoutTable());
    struct Key {
        uint8_t vk;
        uint16_t scan;
        bool extended;
    };
    const Key others[] = {{0x6F, 0x35, true}, {0xA3, 0x1D, true}, {0xA5, 0x38, true}, {0x03, 0x46, true}};
    for (const Key& k : others) {
        SCOPED_TRACE(k.vk);
        const std::optional<FixedScanCode> fixed = FixedScanCodeOf(k.vk);
        ASSERT_TRUE(fixed);
        EXPECT_EQ(fixed->scan, k.scan);
        EXPECT_EQ(fixed->extended, k.extended);
    }
    EXPECT_FALSE(FixedScanCodeOf(0xA2));  // left Ctrl: the layout's, not extended
}

}  // namespace
}  // namespace keys
