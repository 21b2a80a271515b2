#include <gtest/gtest.h>

#include <stdexcept>

#include "keys/KeyLayout.h"
#include "keys/KeyPlayer.h"
#include "keys/tests/FakeLayouts.h"

namespace keys {
namespace {

using testing::FakeInjector;
using testing::TableLayout;

TEST(SendKeyScript, InjectsEventsInOrderWithTheirPauses) {
    // clang-format off
    struct Case { std::string script; int32_t delayMs; bool capsOn; int16_t code; std::string log; };
    const Case cases[] = {
        {"ab", -5, false, 0, "+65 -65 +66 -66"},
        {"+ab", 5, false, 0, "+16 w5ms +65 w5ms -65 w5ms -16 w5ms +66 w5ms -66 w5ms"},
        {"{a 2}", 1, false, 0, "+65 w1ms -65 w1ms +65 w1ms -65 w1ms"}, {"%f", 0, false, 0, "+18 +70 -70 -18 w2000ms"},
        {"%f", 20, false, 0, "+18 w20ms +70 w20ms -70 w20ms -18 w2000ms w20ms"},
        {"^+{END}", 0, false, 0, "+17 +16 +35x/79 -35x/79 -16 -17"},
        {"+A", 0, false, 0, "+16 -16 +65 -65 +16 -16"},  // the two Shifts cancel out
        // Caps Lock goes off before the first event and on again after the last.
        {"A", 0, true, 0, "+20/58 -20/58 +16 +65 -65 -16 +20/58 -20/58"},
        {"", 5, true, 0, "+20/58 -20/58 +20/58 -20/58"}, {"", 5, false, 0, ""},
        // A failed parse touches nothing, not even Caps Lock.
        {"ab{BOGUS}", 5, true, kParseUnknownKeyName, ""},
    };
    // clang-format on
    for (const Case& c : cases) {
        SCOPED_TRACE(c.script);
        FakeInjector injector;
        injector.state[16] = 0x80;  // the user still holds Shift
        injector.state[kVkCapital] = c.capsOn ? 0x01 : 0;
        const KeyboardState before = injector.state;
        EXPECT_EQ(SendKeyScript(c.script, testing::UsLayout, injector, c.delayMs), c.code);
        EXPECT_EQ(injector.log, c.log);
        // Every event went out with a cleared state, except the pair that puts Caps Lock back.
        EXPECT_EQ(injector.injectedWithStateSet, c.code == kParseOk && c.capsOn ? 2 : 0);
        EXPECT_EQ(injector.state, before);
        const int touched = c.code == kParseOk ? 1 : 0;
        EXPECT_EQ(injector.stateReads, touched);
        EXPECT_EQ(injector.stateWrites, 2 * touched);
    }
}

// The pause is measured from the moment after the event left, on the clock the waits use, so
// neither a slow injection nor a late wake-up shortens the next gap.
TEST(SendKeyScript, EachGapIsMeasuredFromItsOwnEvent) {
    FakeInjector injector;
    injector.injectCostMicroseconds = 300;
    injector.oversleepMicroseconds = 900;
    std::vector<int64_t> times;
    injector.onInject = [&](uint16_t, bool) { times.push_back(injector.now); };
    ASSERT_EQ(SendKeyScript("abc", testing::UsLayout, injector, 20), kParseOk);
    ASSERT_EQ(times.size(), 6u);
    for (size_t i = 1; i < times.size(); ++i) {
        EXPECT_EQ(times[i] - times[i - 1], 20'000 + 900 + 300);
    }
}

// Whatever ends a send in one of its pauses (File > Exit, the end of the log-on, a handler that
// throws) releases every key the send holds down and turns Caps Lock back on at once; nothing
// more of the script is typed. Once a send has ended there is nothing left to give back.
// The pause the send ends in counts from 1.
TEST(SendKeyScript, SendEndedInAPauseGivesBackItsKeysAndCapsLock) {
    // clang-format off
    struct Case { std::string script; bool capsOn; int endAtWait; bool throws; std::string log; };
    const Case cases[] = {
        {"+ab", false, 1, false, "+16 w5ms -16"},
        {"+ab", true, 1, false, "+20/58 -20/58 +16 w5ms -16 +20/58 -20/58"},
        {"+ab", false, 2, false, "+16 w5ms +65 w5ms -16 -65"},
        {"+ab", false, 3, false, "+16 w5ms +65 w5ms -65 w5ms -16"},
        {"^%x", true, 2, true, "+20/58 -20/58 +17 w5ms +18 w5ms -17 -18 +20/58 -20/58"},
        {"ab", false, 2, false, "+65 w5ms -65 w5ms"},  // nothing held: nothing to give back
    };
    // clang-format on
    for (const Case& c : cases) {
        SCOPED_TRACE(c.log);
        FakeInjector injector;
        injector.state[kVkCapital] = c.capsOn ? 0x01 : 0;
        int waits = 0;
        injector.onWait = [&] {
            if (++waits == c.endAtWait && c.throws) {
                throw std::runtime_error("handler failed");
            }
            if (waits == c.endAtWait) {
                EndActiveSend();
                EndActiveSend();  // a second call gives back nothing more
            }
        };
        if (c.throws) {
            EXPECT_THROW((void)SendKeyScript(c.script, testing::UsLayout, injector, 5), std::runtime_error);
        } else {
            EXPECT_EQ(SendKeyScript(c.script, testing::UsLayout, injector, 5), kParseOk);
        }
        EndActiveSend();  // after the send: nothing
        EXPECT_EQ(injector.log, c.log);
    }
    FakeInjector whole;  // a key the script itself leaves down stays down
    ASSERT_EQ(SendKeyScript("+a", testing::UsLayout, whole, 0), kParseOk);
    EndActiveSend();
    EXPECT_EQ(whole.log, "+16 +65 -65 -16");
}

TEST(NextKeyEvent, ResetStartsOverWithNothingHeld) {
    KeyQueue queue;
    ASSERT_EQ(ParseKeys("+ab", testing::UsLayout, queue), kParseOk);
    KeyReader reader(queue);
    std::string log;
    const auto read = [&](int32_t key, int events) {
        bool down = false;
        ASSERT_TRUE(NextKeyEvent(reader, key, down));  // key -1: the reset
        for (int i = 0; i < events && NextKeyEvent(reader, key = 0, down); ++i) {
            log += (down ? "+" : "-") + std::to_string(key) + " ";
        }
    };
    read(-1, 2);  // Shift and A pressed, A's release pending
    read(-1, 100);
    EXPECT_EQ(log, "+16 +65 +16 +65 -65 -16 +66 -66 ");
    EXPECT_EQ(queue.readPosition, queue.count);
}

// A key is used when it types the character alone; dead keys, keys that need Ctrl or Alt alone
// (shortcuts) or a modifier beyond them (Kana), and characters no key types go as themselves.
TEST(MapCharacter, TakesTheLayoutsKeyWithItsFullShiftStateOrSendsTheCharacter) {
    const TableLayout us = testing::UsLayoutTable();
    const TableLayout de = testing::GermanLayoutTable();
    const TableLayout intl = testing::UsInternationalLayoutTable();
    TableLayout odd("odd", {}, U"");
    odd.rows = {{U'x', 0x58, kStateCtrl},
                {U'y', 0x59, kStateAlt | kStateShift},
                {U'z', 0x5A, 0x08},
                {U'w', 0, 0},
                {U'\x1B', 0xDB, kStateCtrl}};
    constexpr int32_t S = kShiftFlag, G = kCtrlFlag | kAltFlag, U = kUnicodeEntry;
    // clang-format off
    struct Case { const TableLayout& layout; char32_t c; int32_t entry; };
    const Case cases[] = {
        {us, U'@', S | 0x32},      {us, U'\u00E4', U | 0xE4}, {us, U'\n', 0x0D},  // Enter, not Ctrl+Enter
        {de, U'@', G | 0x51},      {de, U'\u00E4', 0xDE},     {de, U'?', S | 0xDB},    {de, U'^', U | '^'},
        {intl, U'\u00DF', G | 0x53}, {intl, U'\u00A8', S | G | 0xDE}, {intl, U'\'', U | '\''}, {odd, U'x', U | 'x'},
        {odd, U'y', U | 'y'},      {odd, U'z', U | 'z'},      {odd, U'w', U | 'w'},
        {odd, U'\x1B', 0xDB},  // a control character keeps its key
    };
    // clang-format on
    for (const Case& c : cases) {
        EXPECT_EQ(MapCharacter(c.c, c.layout), c.entry) << c.layout.name << " " << unsigned(c.c);
    }
}

// AltGr is held around its key alone, with no Alt pause, unless the script holds Ctrl or Alt
// already; the keys with fixed scan codes carry them and the extended flag.
TEST(SendKeyScript, EventsOfLayoutKeysUnicodeCharactersAndFixedKeys) {
    const TableLayout us = testing::UsLayoutTable();
    const TableLayout de = testing::GermanLayoutTable();
    // clang-format off
    struct Case { const TableLayout& layout; std::string script; int32_t delayMs; std::string log; };
    const Case cases[] = {
        {de, "@", 0, "+17 +18 +81 -81 -18 -17"}, {de, "{@ 2}", 0, "+17 +18 +81 -81 -18 -17 +17 +18 +81 -81 -18 -17"},
        {de, "^(@)", 0, "+17 +18 +81 -81 -18 -17"}, {de, "%(@)x", 0, "+18 +17 +81 -81 -17 -18 w2000ms +88 -88"},
        {de, "\u00E4{^}", 0, "+222 -222 +U005E -U005E"}, {us, "+\u00E4", 0, "+16 +U00E4 -U00E4 -16"},
        {us, "\U0001F600", 0, "+UD83D +UDE00 -UD83D -UDE00"},  // a surrogate pair
        {us, "\u4E2D\u4E2D", 5, "+U4E2D w5ms -U4E2D w5ms +U4E2D w5ms -U4E2D w5ms"},
        {us, "{LEFT}{BREAK}", 0, "+37x/75 -37x/75 +19/69 -19/69"},  // Pause: 0x45 without the flag
        {us, "+{END}", 0, "+16 +35x/79 -35x/79 -16"},
        {us, "{ENTER}{TAB}{ESC}{F5}a", 0, "+13 -13 +9 -9 +27 -27 +116 -116 +65 -65"},
    };
    // clang-format on
    for (const Case& c : cases) {
        SCOPED_TRACE(c.script);
        FakeInjector injector;
        ASSERT_EQ(SendKeyScript(c.script, testing::MappingOn(c.layout), injector, c.delayMs), kParseOk);
        EXPECT_EQ(injector.log, c.log);
    }
}

// The navigation keys send the scan codes of their twins on the numeric keypad with the extended
// flag, so that programs reading scan codes do not see keypad keys; the other fixed keys as a PC
// keyboard sends them. Left Ctrl and letters are the layout's.
TEST(FixedScanCodeOf, NavigationKeysAreTheirKeypadTwinsExtended) {
    const std::tuple<uint8_t, uint16_t, bool> keys[] = {
        {0x24, 0x47, true}, {0x26, 0x48, true},  {0x21, 0x49, true},  {0x25, 0x4B, true}, {0x27, 0x4D, true},
        {0x23, 0x4F, true}, {0x28, 0x50, true},  {0x22, 0x51, true},  {0x2D, 0x52, true}, {0x2E, 0x53, true},
        {0x03, 0x46, true}, {0x13, 0x45, false}, {0x14, 0x3A, false}, {0x2C, 0x37, true}, {0x6F, 0x35, true},
        {0x90, 0x45, true}, {0xA3, 0x1D, true},  {0xA5, 0x38, true}};
    for (const auto& [vk, scan, extended] : keys) {
        const std::optional<FixedScanCode> fixed = FixedScanCodeOf(vk);
        EXPECT_EQ(fixed ? std::pair(fixed->scan, fixed->extended) : std::pair(uint16_t{0}, false),
                  std::pair(scan, extended))
            << unsigned(vk);
    }
    EXPECT_FALSE(FixedScanCodeOf(0xA2));
    EXPECT_FALSE(FixedScanCodeOf('A'));
}

}  // namespace
}  // namespace keys
