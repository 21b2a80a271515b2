#include "keys/KbdHook.h"

#include <gtest/gtest.h>

#include <map>
#include <stdexcept>
#include <vector>

#include "keys/KeyPlayer.h"
#include "keys/tests/FakeInjector.h"
#include "keys/tests/FakeLayouts.h"

namespace keys {
namespace {

class FakeReadTimer : public base::IReadTimer {
  public:
    void SetTimerEnabled(bool enabled) override { timerEnabled = enabled; }
    bool TimerEnabled() const override { return timerEnabled; }
    void SetTimerInterval(int32_t) override {}

    bool timerEnabled = true;
};

// Keys are held for a number of polls; pending hotkey messages are handed to the sender the
// way the window procedure would, whenever the host processes messages.
class FakeHost : public IHotkeyHost {
  public:
    int16_t GetKeyState(int32_t vk) const override {
        const auto it = heldForPolls.find(vk);
        return it != heldForPolls.end() && polls < it->second ? static_cast<int16_t>(0xFF80) : 0;
    }
    void Beep() override { ++beeps; }
    bool IsOwnWindowForeground() const override { return ownForeground; }
    void WaitForMessages(int32_t timeoutMs) override {
        ++polls;
        lastPollMs = timeoutMs;
        if (onPoll) {
            onPoll(polls);
        }
        DeliverHotkeys();
    }
    void DoEvents() override { DeliverHotkeys(); }
    int16_t SendKeyScript(std::string_view script, int32_t delayMs) override {
        sent.push_back(std::string(script) + "@" + std::to_string(delayMs) + "/" + std::to_string(polls));
        if (onSend) {
            return onSend(script, delayMs);
        }
        return 0;
    }

    void DeliverHotkeys() {
        while (pendingHotkeys > 0 && sender != nullptr) {
            --pendingHotkeys;
            sender->KbdHook(1);
        }
    }

    std::map<int32_t, int> heldForPolls;
    int polls = 0;
    int32_t lastPollMs = 0;
    int beeps = 0;
    bool ownForeground = false;
    int pendingHotkeys = 0;
    HotkeySender* sender = nullptr;
    std::vector<std::string> sent;  // script@delay/polls so far
    std::function<void(int poll)> onPoll;
    std::function<int16_t(std::string_view, int32_t)> onSend;
};

struct Fixture {
    Fixture() {
        state.settings.Preamble = "";
        state.settings.Postamble = "{ENTER}";
        state.settings.IncludeUnits = true;
        state.settings.InterCharacterDelay = 5;
        state.weightText = "1.25";
        state.unitsSuffix = " kg";
        host.sender = &sender;
    }
    base::AppState state;
    FakeReadTimer view;
    FakeHost host;
    std::vector<std::string> expanded;
    HotkeySender sender{state, view, host, [this](std::string_view text) {
                            expanded.emplace_back(text);
                            if (text == "throw") {
                                throw std::runtime_error("expansion failed");
                            }
                            std::string out(text);
                            if (const auto at = out.find("{DAY}"); at != std::string::npos) {
                                out.replace(at, 5, "05");
                            }
                            return out;
                        }};
};

TEST(AssembleSendScript, PartsInOrder) {
    struct Case {
        int line;
        std::string preamble, weight, suffix;
        bool includeUnits;
        std::string postamble, script;
        size_t expansions;
    };
    const Case cases[] = {
        {__LINE__, "", "1.25", " kg", true, "{ENTER}", "1.25 kg{ENTER}", 1},
        {__LINE__, "", "1.25", " kg", false, "{ENTER}", "1.25{ENTER}", 1},
        {__LINE__, "{DAY}{TAB}", "(-1.5)", " lb", true, "", "05{TAB}(-1.5) lb", 2},
        {__LINE__, "", "", "", true, "", "", 1},
        {__LINE__, "throw", "2.5", " g", true, "~", "2.5 g~", 2},
        {__LINE__, "x", "2.5", " g", true, "throw", "x2.5 g", 2},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.line);
        Fixture f;
        f.state.settings.Preamble = c.preamble;
        f.state.settings.Postamble = c.postamble;
        f.state.settings.IncludeUnits = c.includeUnits;
        f.state.weightText = c.weight;
        f.state.unitsSuffix = c.suffix;
        f.sender.KbdHook(1);
        ASSERT_EQ(f.host.sent.size(), 1u);
        EXPECT_EQ(f.host.sent[0], c.script + "@5/0");
        EXPECT_EQ(f.expanded.size(), c.expansions);
    }
}

TEST(KbdHook, DecidesWhetherToSend) {
    struct Case {
        int line;
        bool suppressed, timerOn, ownForeground;
        size_t sends;
        int beeps;
    };
    const Case cases[] = {
        {__LINE__, false, true, false, 1, 0},  {__LINE__, true, true, false, 0, 0},
        {__LINE__, true, false, false, 0, 0},  // suppression wins over the beep
        {__LINE__, false, false, false, 0, 1}, {__LINE__, false, true, true, 0, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.line);
        Fixture f;
        f.state.sendSuppressed = c.suppressed;
        f.view.timerEnabled = c.timerOn;
        f.host.ownForeground = c.ownForeground;
        f.sender.KbdHook(1);
        EXPECT_EQ(f.host.sent.size(), c.sends);
        EXPECT_EQ(f.host.beeps, c.beeps);
    }
}

// The weight typed is the freshest: the step that takes the scale's queued reports runs after
// the send is allowed and before the script is assembled; a scale found gone there beeps.
TEST(KbdHook, TakesTheScalesQueuedReportsBeforeAssembling) {
    struct Case {
        int line;
        bool suppressed, timerOn, scaleGoneInTheStep;
        int steps;
        const char* sent;  // "" when nothing is sent
        int beeps;
    };
    const Case cases[] = {
        {__LINE__, false, true, false, 1, "2.50 kg{ENTER}@5/0", 0},
        {__LINE__, true, true, false, 0, "", 0},
        {__LINE__, false, false, false, 0, "", 1},
        {__LINE__, false, true, true, 1, "", 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.line);
        Fixture f;
        f.state.sendSuppressed = c.suppressed;
        f.view.timerEnabled = c.timerOn;
        int steps = 0;
        f.sender.SetBeforeAssemble([&] {
            ++steps;
            f.state.weightText = "2.50";  // what the queued report said
            if (c.scaleGoneInTheStep) {
                f.view.timerEnabled = false;
            }
        });
        f.sender.KbdHook(1);
        EXPECT_EQ(steps, c.steps);
        EXPECT_EQ(f.host.sent.empty() ? "" : f.host.sent.front(), std::string(c.sent));
        EXPECT_EQ(f.host.beeps, c.beeps);
    }
}

TEST(KbdHook, WaitsUntilTheHotkeyIsReleased) {
    struct Case {
        int line;
        int32_t hotKey;
        std::map<int32_t, int> held;  // key -> polls it stays down
        int pollsBeforeSend;
    };
    const Case cases[] = {
        {__LINE__, 120, {}, 0},
        {__LINE__, 120, {{120, 3}}, 3},
        {__LINE__, 888, {{16, 2}, {17, 6}, {120, 1}}, 6},  // Ctrl held on after the rest
        {__LINE__, 888, {{18, 4}}, 4},                     // Alt is not part of it, but held
        {__LINE__, 120, {{121, 9}}, 0},                    // another key does not count
        {__LINE__, 0x478, {{120, 2}, {18, 1}}, 2},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.line);
        Fixture f;
        f.state.settings.HotKey = c.hotKey;
        f.host.heldForPolls = c.held;
        f.sender.KbdHook(1);
        ASSERT_EQ(f.host.sent.size(), 1u);
        EXPECT_EQ(f.host.sent[0], "1.25 kg{ENTER}@5/" + std::to_string(c.pollsBeforeSend));
        if (c.pollsBeforeSend > 0) {
            EXPECT_EQ(f.host.lastPollMs, HotkeySender::kReleasePollMs);
        }
    }
}

// A second press (the key let go and pressed again while Ctrl is still held) during the wait
// sends too: the weight is taken when each press is handled, and the innermost send goes first.
TEST(KbdHook, SecondPressDuringTheReleaseWaitSendsNestedFirst) {
    Fixture f;
    f.state.settings.HotKey = 0x278;  // Ctrl+F9
    f.host.heldForPolls = {{17, 8}, {120, 1}};
    f.host.onPoll = [&](int poll) {
        if (poll == 2) {
            f.state.weightText = "2.50";   // a read cycle ran
            f.host.heldForPolls[120] = 4;  // F9 down again
            ++f.host.pendingHotkeys;
        }
    };
    f.sender.KbdHook(1);
    ASSERT_EQ(f.host.sent.size(), 2u);
    EXPECT_EQ(f.host.sent[0], "2.50 kg{ENTER}@5/8");
    EXPECT_EQ(f.host.sent[1], "1.25 kg{ENTER}@5/8");
}

// Key repeat of a held hotkey: a message at every poll of the wait, the key never let go.
TEST(KbdHook, HeldHotkeySendsOnce) {
    struct Case {
        int line;
        int32_t hotKey;
        std::map<int32_t, int> held;
    };
    const Case cases[] = {
        {__LINE__, 120, {{120, 30}}},
        {__LINE__, 0x278, {{17, 40}, {120, 30}}},
        {__LINE__, 120, {{120, 1000}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.line);
        Fixture f;
        f.state.settings.HotKey = c.hotKey;
        f.host.heldForPolls = c.held;
        // A repeat while F9 is down, none once it is up (Ctrl may still be held).
        f.host.onPoll = [&](int poll) {
            if (poll < c.held.at(120)) {
                ++f.host.pendingHotkeys;
            }
        };
        f.sender.KbdHook(1);
        EXPECT_EQ(f.host.sent.size(), 1u);
        // Two separate presses afterwards still give two sends.
        f.host.onPoll = nullptr;
        f.sender.KbdHook(1);
        f.sender.KbdHook(1);
        EXPECT_EQ(f.host.sent.size(), 3u);
    }
}

TEST(KbdHook, PressWhileInjectingIsDropped) {
    Fixture f;
    f.host.onSend = [&](std::string_view, int32_t) {
        ++f.host.pendingHotkeys;
        f.host.DeliverHotkeys();
        return int16_t{0};
    };
    f.sender.KbdHook(1);
    EXPECT_EQ(f.host.sent.size(), 1u);
    EXPECT_EQ(f.host.pendingHotkeys, 0);
    EXPECT_FALSE(f.sender.Injecting());
    f.sender.KbdHook(1);  // and the next press sends again
    EXPECT_EQ(f.host.sent.size(), 2u);
}

// A script that holds the hotkey's own key raises the hotkey while it is typed. Played by the
// real player, it must be typed once, whether the player handles messages between events
// (the message arrives while it injects) or not (the message is still queued afterwards).
TEST(KbdHook, ScriptHoldingTheHotkeyTypesOnce) {
    struct Case {
        int line;
        int32_t delayMs;
        int32_t hotKey;
        std::string postamble;
        std::string hotkeyEvents;  // what raises the hotkey message
    };
    const Case cases[] = {
        {__LINE__, 0, 120, "{F9}", "+120"},
        {__LINE__, 5, 120, "{F9}", "+120"},
        {__LINE__, 1, 120, "{F9 3}~", "+120"},
        {__LINE__, 0, 0x278, "^{F9}", "+120"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.line);
        Fixture f;
        f.state.settings.InterCharacterDelay = c.delayMs;
        f.state.settings.HotKey = c.hotKey;
        f.state.settings.Postamble = c.postamble;
        testing::FakeInjector injector;
        int limit = 20;  // a send that repeats itself stops here instead of forever
        injector.onInject = [&](uint8_t vk, bool down) {
            if (down && vk == (c.hotKey & 0xFF) && limit-- > 0) {
                ++f.host.pendingHotkeys;
            }
        };
        injector.onWait = [&] { f.host.DeliverHotkeys(); };
        int plays = 0;
        f.host.onSend = [&](std::string_view script, int32_t delayMs) {
            ++plays;
            return keys::SendKeyScript(script, testing::UsLayout, injector, delayMs);
        };
        f.sender.KbdHook(1);
        f.host.DeliverHotkeys();  // the message loop after the handler returned
        EXPECT_EQ(plays, 1);
        EXPECT_EQ(f.host.pendingHotkeys, 0);
        const std::string& log = injector.log;
        EXPECT_NE(log.find(c.hotkeyEvents), std::string::npos) << log;
    }
}

}  // namespace
}  // namespace keys

namespace keys {
namespace {

TEST(SendHotkeyRegistration, TranslatesTheModifierMask) {
    struct Case {
        int line;
        int32_t hotKey;
        bool enabled;
        bool registers;
        uint32_t modifiers, vk;
    };
    const Case cases[] = {
        {__LINE__, 120, true, true, 0, 120},
        {__LINE__, 888, true, true, 6, 120},       // Shift+Ctrl
        {__LINE__, 256 + 65, true, true, 4, 65},   // Shift
        {__LINE__, 512 + 65, true, true, 2, 65},   // Ctrl
        {__LINE__, 1024 + 65, true, true, 1, 65},  // Alt
        {__LINE__, 7 * 256 + 112, true, true, 7, 112},
        {__LINE__, 8 * 256 + 112, true, true, 0, 112},  // no Windows key flag, ever
        {__LINE__, 120, false, false, 0, 0},
        {__LINE__, 768, true, false, 0, 0},  // modifiers without a key
        {__LINE__, 0, true, false, 0, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.line);
        const auto registration = SendHotkeyRegistration(c.hotKey, c.enabled);
        ASSERT_EQ(registration.has_value(), c.registers);
        if (registration) {
            EXPECT_EQ(registration->modifiers, c.modifiers);
            EXPECT_EQ(registration->vk, c.vk);
        }
    }
}

}  // namespace
}  // namespace keys
