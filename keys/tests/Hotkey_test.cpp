#include <gtest/gtest.h>

#include <map>
#include <set>
#include <stdexcept>
#include <string>
#include <vector>

#include "keys/GetKeyStates.h"
#include "keys/HotkeyNames.h"
#include "keys/KbdHook.h"
#include "keys/tests/FakeLayouts.h"

namespace keys {
namespace {

// The host and the read timer. Keys are held for a number of polls; pending hotkey messages are
// handed to the sender the way the window procedure would, whenever messages are processed.
struct Fixture : IHotkeyHost, base::IReadTimer {
    Fixture() {
        state.settings.Postamble = "{ENTER}";
        state.settings.InterCharacterDelay = 5;
        state.weightText = "1.25";
        state.unitsSuffix = " kg";
    }
    int16_t GetKeyState(int32_t vk) const override {
        return held.count(vk) != 0 && polls < held.at(vk) ? static_cast<int16_t>(0xFF80) : 0;
    }
    void Beep() override { ++beeps; }
    bool IsOwnWindowForeground() const override { return ownForeground; }
    void WaitForMessages(int32_t timeoutMs) override {
        lastPollMs = timeoutMs;
        ++polls;
        if (onPoll) {
            onPoll(polls);
        }
        DoEvents();
    }
    void DoEvents() override {
        while (pendingHotkeys > 0) {
            --pendingHotkeys;
            sender.KbdHook(1);
        }
    }
    int16_t SendKeyScript(std::string_view script, int32_t delayMs) override {
        sent.push_back(std::string(script) + "@" + std::to_string(delayMs) + "/" + std::to_string(polls));
        return onSend ? onSend(script, delayMs) : int16_t{0};
    }
    void SetTimerEnabled(bool enabled) override { timerOn = enabled; }
    bool TimerEnabled() const override { return timerOn; }
    void SetTimerInterval(int32_t) override {}

    base::AppState state;
    std::map<int32_t, int> held;  // key -> polls it stays down
    int polls = 0, lastPollMs = 0, beeps = 0, pendingHotkeys = 0;
    bool ownForeground = false, timerOn = true;
    std::vector<std::string> sent;  // script@delay/polls so far
    std::vector<std::string> expanded;
    std::function<void(int poll)> onPoll;
    std::function<int16_t(std::string_view, int32_t)> onSend;
    HotkeySender sender{state, *this, *this, [this](std::string_view text) {
                            expanded.emplace_back(text);
                            if (text == "throw") {
                                throw std::runtime_error("expansion failed");
                            }
                            return text == "{DAY}{TAB}" ? std::string("05{TAB}") : std::string(text);
                        }};
};

// Preamble (when not empty), weight, suffix when IncludeUnits is set, postamble; a part that
// fails is left out.
TEST(AssembleSendScript, PartsInOrder) {
    // clang-format off
    const std::tuple<std::string, std::string, bool, std::string, std::string, size_t> cases[] = {
        {"", "1.25", true, "{ENTER}", "1.25 kg{ENTER}", 1}, {"", "1.25", false, "{ENTER}", "1.25{ENTER}", 1},
        {"{DAY}{TAB}", "(-1.5)", true, "", "05{TAB}(-1.5) kg", 2}, {"throw", "2.5", true, "~", "2.5 kg~", 2},
        {"x", "2.5", true, "throw", "x2.5 kg", 2},
    };
    // clang-format on
    for (const auto& [preamble, weight, includeUnits, postamble, script, expansions] : cases) {
        Fixture f;
        f.state.settings.Preamble = preamble;
        f.state.settings.Postamble = postamble;
        f.state.settings.IncludeUnits = includeUnits;
        f.state.weightText = weight;
        f.sender.KbdHook(1);
        EXPECT_EQ(f.sent, std::vector<std::string>{script + "@5/0"});
        EXPECT_EQ(f.expanded.size(), expansions) << script;
    }
}

// Suppression wins over the beep; no scale read beeps; typing into our own window does nothing.
// The weight typed is the freshest: the step that takes the scale's queued reports runs after
// the send is allowed and before the script is assembled; a scale found gone there beeps.
TEST(KbdHook, DecidesWhetherToSend) {
    // suppressed, timer on, own window in front, scale gone in the step; steps, sent, beeps
    // clang-format off
    const std::tuple<bool, bool, bool, bool, int, std::string, int> cases[] = {
        {false, true, false, false, 1, "2.50 kg{ENTER}@5/0", 0}, {true, true, false, false, 0, "", 0},
        {true, false, false, false, 0, "", 0}, {false, false, false, false, 0, "", 1},
        {false, true, true, false, 1, "", 0}, {false, true, false, true, 1, "", 1},
    };
    // clang-format on
    for (const auto& [suppressed, timerOn, ownForeground, goneInTheStep, steps, sent, beeps] : cases) {
        Fixture f;
        f.state.sendSuppressed = suppressed;
        f.timerOn = timerOn;
        f.ownForeground = ownForeground;
        int stepsRun = 0;
        f.sender.SetBeforeAssemble([&, gone = goneInTheStep] {
            ++stepsRun;
            f.state.weightText = "2.50";  // what the queued report said
            f.timerOn = !gone;
        });
        f.sender.KbdHook(1);
        EXPECT_EQ(std::tuple(stepsRun, f.sent.empty() ? "" : f.sent.front(), f.beeps), std::tuple(steps, sent, beeps));
    }
}

// Shift, Ctrl, Alt or the hotkey's own key held: the send waits; another key does not count.
TEST(KbdHook, WaitsUntilTheHotkeyIsReleased) {
    // clang-format off
    const std::tuple<int32_t, std::map<int32_t, int>, int> cases[] = {
        {120, {}, 0}, {120, {{120, 3}}, 3}, {888, {{16, 2}, {17, 6}, {120, 1}}, 6}, {888, {{18, 4}}, 4},
        {120, {{121, 9}}, 0}, {0x478, {{120, 2}, {18, 1}}, 2},
    };
    // clang-format on
    for (const auto& [hotKey, held, polls] : cases) {
        Fixture f;
        f.state.settings.HotKey = hotKey;
        f.held = held;
        f.sender.KbdHook(1);
        EXPECT_EQ(f.sent, std::vector<std::string>{"1.25 kg{ENTER}@5/" + std::to_string(polls)});
        EXPECT_EQ(f.lastPollMs, polls > 0 ? HotkeySender::kReleasePollMs : 0);
    }
}

// A second press (the key let go and pressed again while Ctrl is still held) during the wait
// sends too: the weight is taken when each press is handled, and the innermost send goes first.
TEST(KbdHook, SecondPressDuringTheReleaseWaitSendsNestedFirst) {
    Fixture f;
    f.state.settings.HotKey = 0x278;  // Ctrl+F9
    f.held = {{17, 8}, {120, 1}};
    f.onPoll = [&](int poll) {
        if (poll == 2) {
            f.state.weightText = "2.50";  // a read cycle ran
            f.held[120] = 4;              // F9 down again
            ++f.pendingHotkeys;
        }
    };
    f.sender.KbdHook(1);
    EXPECT_EQ(f.sent, (std::vector<std::string>{"2.50 kg{ENTER}@5/8", "1.25 kg{ENTER}@5/8"}));
}

// Key repeat of a held hotkey: a message at every poll of the wait, the key never let go, sends
// once; two separate presses afterwards still give two sends.
TEST(KbdHook, HeldHotkeySendsOnce) {
    for (const int32_t hotKey : {120, 0x278}) {
        Fixture f;
        f.state.settings.HotKey = hotKey;
        f.held = {{120, 30}, {17, hotKey == 120 ? 0 : 40}};
        f.onPoll = [&](int poll) { f.pendingHotkeys += poll < 30 ? 1 : 0; };
        f.sender.KbdHook(1);
        EXPECT_EQ(f.sent.size(), 1u);
        f.onPoll = nullptr;
        f.sender.KbdHook(1);
        f.sender.KbdHook(1);
        EXPECT_EQ(f.sent.size(), 3u);
    }
}

// A script that holds the hotkey's own key raises the hotkey while it is typed. Played by the
// real player, it must be typed once, whether the player handles messages between events
// (the message arrives while it injects) or not (the message is still queued afterwards).
TEST(KbdHook, ScriptHoldingTheHotkeyTypesOnce) {
    const std::tuple<int32_t, int32_t, std::string> cases[] = {
        {0, 120, "{F9}"}, {1, 120, "{F9 3}~"}, {0, 0x278, "^{F9}"}};
    for (const auto& [delayMs, hotKey, postamble] : cases) {
        Fixture f;
        f.state.settings.InterCharacterDelay = delayMs;
        f.state.settings.HotKey = hotKey;
        f.state.settings.Postamble = postamble;
        testing::FakeInjector injector;
        int limit = 20;  // a send that repeats itself stops here instead of forever
        injector.onInject = [&, key = hotKey & 0xFF](uint16_t vk, bool down) {
            f.pendingHotkeys += down && vk == key && limit-- > 0 ? 1 : 0;
        };
        injector.onWait = [&] { f.DoEvents(); };
        int plays = 0;
        f.onSend = [&](std::string_view script, int32_t delay) {
            ++plays;
            return keys::SendKeyScript(script, testing::UsLayout, injector, delay);
        };
        f.sender.KbdHook(1);
        f.DoEvents();  // the message loop after the handler returned
        EXPECT_EQ(std::pair(plays, f.pendingHotkeys), std::pair(1, 0)) << postamble;
        EXPECT_NE(injector.log.find("+120"), std::string::npos) << injector.log;
    }
}

// Mask bit 1 Shift -> 4, 2 Ctrl -> 2, 4 Alt -> 1; never the Windows key flag; nothing without a
// key or when disabled.
TEST(SendHotkeyRegistration, TranslatesTheModifierMask) {
    using Registration = std::optional<std::pair<uint32_t, uint32_t>>;
    // clang-format off
    const std::tuple<int32_t, bool, Registration> cases[] = {
        {120, true, std::pair(0u, 120u)}, {888, true, std::pair(6u, 120u)}, {256 + 65, true, std::pair(4u, 65u)},
        {512 + 65, true, std::pair(2u, 65u)}, {1024 + 65, true, std::pair(1u, 65u)},
        {7 * 256 + 112, true, std::pair(7u, 112u)}, {8 * 256 + 112, true, std::pair(0u, 112u)},
        {120, false, std::nullopt}, {768, true, std::nullopt}, {0, true, std::nullopt},
    };
    // clang-format on
    for (const auto& [hotKey, enabled, expected] : cases) {
        const auto r = SendHotkeyRegistration(hotKey, enabled);
        EXPECT_EQ(r ? Registration(std::pair(r->modifiers, r->vk)) : std::nullopt, expected) << hotKey;
    }
}

struct FakeKeyState : IKeyStateSource {
    explicit FakeKeyState(std::map<int32_t, int16_t> s) : states(std::move(s)) {}
    int16_t GetKeyState(int32_t vk) const override { return states.count(vk) != 0 ? states.at(vk) : 0; }
    std::map<int32_t, int16_t> states;
};

constexpr int16_t kDown = static_cast<int16_t>(0xFF80);  // what GetKeyState gives for a held key
constexpr int16_t kToggled = 0x0001;

// Side 0: both keys of the pair; 1 the left one; 2 the right one; anything else: either.
TEST(GetKeyStates, SideSelectsWhichKeysCount) {
    // clang-format off
    struct Case { std::map<int32_t, int16_t> states; int32_t side; bool shift, ctrl, alt; };
    const Case cases[] = {
        {{{16, kDown}, {160, kDown}}, 3, true, false, false}, {{{16, kDown}, {160, kDown}}, 0, false, false, false},
        {{{16, kDown}, {160, kDown}, {161, kDown}}, 0, true, false, false},
        {{{16, kDown}, {160, kDown}}, 1, true, false, false}, {{{16, kDown}, {160, kDown}}, 2, false, false, false},
        {{{17, kDown}, {163, kDown}}, 2, false, true, false}, {{{17, kDown}, {163, kDown}}, 1, false, false, false},
        {{{18, kDown}, {164, kDown}}, -1, false, false, true},
        {{{18, kDown}, {164, kDown}, {165, kDown}}, 0, false, false, true}, {{{165, kDown}}, 2, false, false, true},
        {{{16, kToggled}, {17, 0x7FFF}}, 3, false, false, false},
        {{{16, static_cast<int16_t>(0x8000)}}, 99, true, false, false},
    };
    // clang-format on
    for (const Case& c : cases) {
        const FakeKeyState source(c.states);
        EXPECT_EQ(std::tuple(IsShiftDown(source, c.side), IsCtrlDown(source, c.side), IsAltDown(source, c.side)),
                  std::tuple(c.shift, c.ctrl, c.alt))
            << c.side << " " << c.states.begin()->first;
    }
}

// A hotkey's name, typed into a send as "{NAME}" or as the character itself, presses that same
// key: the two name tables and the US layout's keys agree. The names only the hotkey box knows
// are listed; 100 names in all, none shared by two codes.
TEST(HotkeyNames, EveryNameIsTheKeyTheScriptLanguageGivesItAndNoneRepeats) {
    BuildHotkeyNames();
    std::map<int, std::string> hotkeyOnly = {{0, "None"},     {32, "SPACE"},   {106, "Gray *"}, {107, "Gray +"},
                                             {109, "Gray -"}, {110, "Gray ."}, {111, "Gray /"}};
    for (int i = 0; i < 10; ++i) {
        hotkeyOnly[96 + i] = "NumPad " + std::to_string(i);
    }
    std::set<std::string_view> names;
    for (int code = -1; code <= kHotkeyNameCount; ++code) {
        const std::string_view name = HotkeyKeyNames(code);
        if (!name.empty() && names.insert(name).second && hotkeyOnly.count(code) == 0) {
            EXPECT_EQ(LookupKeyName(name, testing::UsLayout).value_or(0) & 0xFF, code) << name;
        }
    }
    EXPECT_EQ(names.size(), 100u);
    for (const auto& [code, name] : hotkeyOnly) {
        EXPECT_EQ(HotkeyKeyNames(code), name);
    }
    for (const int code : {1, 16, 91, 108, 128, 225, 100000}) {
        EXPECT_EQ(HotkeyKeyNames(code), "") << code;
    }
}

TEST(HotkeyCapture, BuildsTextAndCodeFromKeyAndModifiers) {
    // clang-format off
    struct Row { int key; int mask; std::optional<HotkeyCapture> capture; };
    const Row rows[] = {
        {120, 0, HotkeyCapture{"F9", 120}}, {120, 2, HotkeyCapture{"CTRL+F9", 632}},
        {88, 7, HotkeyCapture{"SHIFT+CTRL+ALT+X", 1880}}, {65, 5, HotkeyCapture{"SHIFT+ALT+A", 1345}},
        // Unnamed keys: the prefixes alone, the code all the same.
        {91, 0, HotkeyCapture{"", 91}}, {255, 3, HotkeyCapture{"SHIFT+CTRL+", 1023}},
        // Shift, Ctrl and Alt on their own change nothing, with or without other modifiers.
        {16, 1, std::nullopt}, {17, 5, std::nullopt}, {18, 4, std::nullopt},
        // Stray bits above the three modifiers neither show nor reach the code.
        {120, 8 | 2, HotkeyCapture{"CTRL+F9", 632}},
    };
    // clang-format on
    for (const Row& r : rows) {
        EXPECT_EQ(CaptureHotkey(r.key, r.mask), r.capture) << r.key << " " << r.mask;
        if (r.capture) {  // the code decodes back to the same text
            EXPECT_EQ(HotkeyText(r.capture->code / 256, r.capture->code % 256), r.capture->text);
        }
    }
}

}  // namespace
}  // namespace keys
