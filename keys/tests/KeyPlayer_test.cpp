#include "keys/KeyPlayer.h"

#include <gtest/gtest.h>

#include <stdexcept>

#include "keys/tests/FakeInjector.h"
#include "keys/tests/FakeLayouts.h"

namespace keys {
namespace {

using testing::FakeInjector;

struct PlayCase {
    int line;
    std::string script;
    int32_t delayMs;
    bool capsOn;
    int16_t code;
    std::string log;  // +vk press, -vk release, x extended, /scan when not the layout's, Uxxxx a
                      // Unicode character event, wN pause
};

TEST(SendKeyScript, InjectsEventsInOrderWithTheirPauses) {
    const PlayCase cases[] = {
        {__LINE__, "ab", 0, false, 0, "+65 -65 +66 -66"},
        {__LINE__, "ab", -5, false, 0, "+65 -65 +66 -66"},
        {__LINE__, "+ab", 5, false, 0, "+16 w5ms +65 w5ms -65 w5ms -16 w5ms +66 w5ms -66 w5ms"},
        {__LINE__, "{a 2}", 1, false, 0, "+65 w1ms -65 w1ms +65 w1ms -65 w1ms"},
        {__LINE__, "%f", 0, false, 0, "+18 +70 -70 -18 w2000ms"},
        {__LINE__, "%f", 20, false, 0, "+18 w20ms +70 w20ms -70 w20ms -18 w2000ms w20ms"},
        {__LINE__, "^+{END}", 0, false, 0, "+17 +16 +35x/79 -35x/79 -16 -17"},
        {__LINE__, "+A", 0, false, 0, "+16 -16 +65 -65 +16 -16"},  // the two Shifts cancel out
        {__LINE__, "{F9}~", 0, false, 0, "+120 -120 +13 -13"},
        // Caps Lock goes off before the first event and on again after the last.
        {__LINE__, "A", 0, true, 0, "+20/58 -20/58 +16 +65 -65 -16 +20/58 -20/58"},
        {__LINE__, "a", 3, true, 0, "+20/58 -20/58 +65 w3ms -65 w3ms +20/58 -20/58"},
        {__LINE__, "", 5, true, 0, "+20/58 -20/58 +20/58 -20/58"},
        {__LINE__, "", 5, false, 0, ""},
        // A failed parse touches nothing, not even Caps Lock.
        {__LINE__, "ab{BOGUS}", 5, true, kParseUnknownKeyName, ""},
        {__LINE__, "(ab", 0, false, kParseUnclosedGroup, ""},
    };
    for (const PlayCase& c : cases) {
        SCOPED_TRACE(c.line);
        FakeInjector injector;
        injector.state[16] = 0x80;  // the user still holds Shift
        injector.state[144] = 0x01;
        if (c.capsOn) {
            injector.state[kVkCapital] = 0x01;
        }
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

// The pause is measured from the moment after the event left, on the clock the waits use,
// so neither a slow injection nor a late wake-up shortens the next gap.
TEST(SendKeyScript, EachGapIsMeasuredFromItsOwnEvent) {
    struct Case {
        int line;
        int32_t delayMs;
        int64_t injectCost;
        int64_t oversleep;
    };
    const Case cases[] = {
        {__LINE__, 1, 0, 0},
        {__LINE__, 5, 700, 0},
        {__LINE__, 20, 0, 1500},
        {__LINE__, 20, 300, 900},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.line);
        FakeInjector injector;
        injector.injectCostMicroseconds = c.injectCost;
        injector.oversleepMicroseconds = c.oversleep;
        std::vector<int64_t> injectTimes;
        injector.onInject = [&](uint16_t, bool) { injectTimes.push_back(injector.now); };
        ASSERT_EQ(SendKeyScript("abc", testing::UsLayout, injector, c.delayMs), kParseOk);
        ASSERT_EQ(injectTimes.size(), 6u);
        for (size_t i = 1; i < injectTimes.size(); ++i) {
            // The event after the pause is stamped after its own cost.
            EXPECT_EQ(injectTimes[i] - injectTimes[i - 1], c.delayMs * 1000 + c.oversleep + c.injectCost);
        }
    }
}

// Whatever ends a send in one of its pauses (File > Exit, the end of the log-on, a handler that
// throws) releases every key the send holds down and turns Caps Lock back on before anything
// else happens; nothing more of the script is typed.
TEST(SendKeyScript, SendEndedInAPauseGivesBackItsKeysAndCapsLock) {
    enum class End { Call, Throw };
    struct Case {
        int line;
        std::string script;
        bool capsOn;
        int endAtWait;  // 1 for the first pause
        End how;
        std::string log;
    };
    const Case cases[] = {
        {__LINE__, "+ab", false, 1, End::Call, "+16 w5ms -16"},
        {__LINE__, "+ab", true, 1, End::Call, "+20/58 -20/58 +16 w5ms -16 +20/58 -20/58"},
        {__LINE__, "+ab", false, 2, End::Call, "+16 w5ms +65 w5ms -16 -65"},
        {__LINE__, "+ab", false, 3, End::Call, "+16 w5ms +65 w5ms -65 w5ms -16"},
        {__LINE__, "^%x", true, 2, End::Throw, "+20/58 -20/58 +17 w5ms +18 w5ms -17 -18 +20/58 -20/58"},
        {__LINE__, "ab", false, 2, End::Call, "+65 w5ms -65 w5ms"},  // nothing held: nothing to give back
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.line);
        FakeInjector injector;
        if (c.capsOn) {
            injector.state[kVkCapital] = 0x01;
        }
        int waits = 0;
        injector.onWait = [&] {
            if (++waits != c.endAtWait) {
                return;
            }
            if (c.how == End::Throw) {
                throw std::runtime_error("handler failed");
            }
            EndActiveSend();
            EndActiveSend();  // a second call gives back nothing more
        };
        if (c.how == End::Throw) {
            EXPECT_THROW((void)SendKeyScript(c.script, testing::UsLayout, injector, 5), std::runtime_error);
        } else {
            EXPECT_EQ(SendKeyScript(c.script, testing::UsLayout, injector, 5), kParseOk);
        }
        EXPECT_EQ(injector.log, c.log);
    }
}

// Once a send has ended, by itself or early, there is nothing left to give back.
TEST(SendKeyScript, EndingAfterTheSendDoesNothing) {
    FakeInjector early;
    early.onWait = [] { EndActiveSend(); };
    ASSERT_EQ(SendKeyScript("+a", testing::UsLayout, early, 1), kParseOk);
    EndActiveSend();
    EXPECT_EQ(early.log, "+16 w1ms -16");
    FakeInjector next;
    ASSERT_EQ(SendKeyScript("+a", testing::UsLayout, next, 0), kParseOk);
    EndActiveSend();
    EXPECT_EQ(next.log, "+16 +65 -65 -16");
}

TEST(SendKeyScript, MessagesAreHandledDuringThePauses) {
    FakeInjector injector;
    int handled = 0;
    injector.onWait = [&] { ++handled; };
    ASSERT_EQ(SendKeyScript("%x", testing::UsLayout, injector, 10), kParseOk);
    EXPECT_EQ(handled, 5);  // four pauses after the events and the Alt pause
}

TEST(NextKeyEvent, ResetStartsOverWithNothingHeld) {
    KeyQueue queue;
    ASSERT_EQ(ParseKeys("+ab", testing::UsLayout, queue), kParseOk);
    KeyReader reader(queue);
    int32_t key = -1;
    bool down = false;
    ASSERT_TRUE(NextKeyEvent(reader, key, down));
    std::string log;
    auto read = [&](int events) {
        for (int i = 0; i < events && NextKeyEvent(reader, key, down); ++i) {
            log += (down ? "+" : "-") + std::to_string(key) + " ";
        }
    };
    key = 0;
    read(2);  // Shift and A pressed, A's release pending
    key = -1;
    ASSERT_TRUE(NextKeyEvent(reader, key, down));
    EXPECT_EQ(queue.readPosition, 0);
    key = 0;
    read(100);
    EXPECT_EQ(log, "+16 +65 +16 +65 -65 -16 +66 -66 ");
    key = 0;
    EXPECT_FALSE(NextKeyEvent(reader, key, down));
}

}  // namespace
}  // namespace keys
