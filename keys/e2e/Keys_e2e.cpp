// The send on a hotkey press end to end, typed into e2e::Target (a window with its own input
// state, as another program has): in this process with the real hotkey, window procedure, sender,
// layout lookup and injector, every case set up in an instant (HotkeySend); and by the real
// Pesora.exe reading a virtual scale (PesoraTyping). What is injected is recorded system-wide too:
// Pesora's own window in front would swallow keys the target never sees.
#include <windows.h>

#include <gtest/gtest.h>

#include <atomic>
#include <cstdio>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <thread>
#include <tuple>
#include <utility>
#include <vector>

#include "Fixture.h"
#include "base/model/AppState.h"
#include "base/model/Views.h"
#include "keys/HotKeys_win.h"

namespace {

using namespace std::chrono_literals;

// A hotkey code's keys (modifier mask 1 Shift, 2 Ctrl, 4 Alt in the high byte), pressed by hand.
void PressCode(int32_t code) {
    std::vector<BYTE> modifiers;
    for (const auto& [bit, vk] : {std::pair<int, BYTE>{1, VK_SHIFT}, {2, VK_CONTROL}, {4, VK_MENU}}) {
        if ((code / 256 & bit) != 0) {
            modifiers.push_back(vk);
        }
    }
    e2e::PressHotkey(static_cast<BYTE>(code & 0xFF), modifiers);
}

// The toggle as the system holds it, not as this thread last saw it.
bool CapsLockOn() {
    BYTE state[256] = {};
    (void)::GetKeyState(0);
    (void)::GetKeyboardState(state);
    return (state[VK_CAPITAL] & 1) != 0;
}

// The hand acts on a thread of its own while this one pumps (the in-process hotkey window lives
// here) a message at a time, so that a send that keeps raising the hotkey cannot hold it. Once the
// hand is done and the target shows `expected`, 300 ms more: a send that types more shows too.
std::string Press(const e2e::Target& target, const std::function<void()>& hand, const std::string& expected) {
    std::atomic<bool> done{false};
    std::thread thread([&] {
        hand();
        done = true;
    });
    const DWORD start = ::GetTickCount();
    for (DWORD settled = 0; ::GetTickCount() - start < 5000 && (settled == 0 || ::GetTickCount() - settled < 300);) {
        MSG msg;
        if (::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
            ::DispatchMessageW(&msg);
        } else {
            (void)::MsgWaitForMultipleObjects(0, nullptr, FALSE, 10, QS_ALLINPUT);
        }
        if (settled == 0 && done && target.Text() == expected) {
            settled = ::GetTickCount();
        }
    }
    thread.join();
    return target.Text();
}

// Caps Lock on for a test, and off again afterwards whatever happens. One target and one
// recorder serve the whole program, left to its end: Wine takes seconds to take a window down.
class KeysTest : public ::testing::Test {
  protected:
    void CapsLockOnForThisTest() {
        if (!CapsLockOn()) {
            e2e::Tap(VK_CAPITAL);
            _capsTurnedOn = true;
        }
        ASSERT_TRUE(e2e::PumpUntil(CapsLockOn, 2s));
    }
    void TearDown() override {
        if (_capsTurnedOn && CapsLockOn()) {
            e2e::Tap(VK_CAPITAL);
        }
    }

    static inline e2e::Target& target = *new e2e::Target("Keys Target");
    static inline e2e::KeyRecorder& recorder = *new e2e::KeyRecorder;
    bool _capsTurnedOn = false;
};

// ---- in this process ----------------------------------------------------------------------------

class ReadTimer final : public base::IReadTimer {
  public:
    void SetTimerEnabled(bool) override {}
    bool TimerEnabled() const override { return true; }
    void SetTimerInterval(int32_t) override {}
};

// A Unicode main window, as Pesora's is, with a title outside the ANSI code page.
constexpr const wchar_t* kTitle = L"Pesora \u2696\u4E2D";

class HotkeySend : public KeysTest {
  protected:
    void SetUp() override {
        ASSERT_NE(_main, nullptr);
        state.weightText = "1.25";
        state.unitsSuffix = " kg";
        hotKeys.InstallWindowProc();
    }
    void TearDown() override {
        ::DestroyWindow(_main);
        KeysTest::TearDown();
    }
    // Registers the hotkey as the settings say now and presses it, the target in front.
    std::string PressHotkey(const std::string& expected) {
        hotKeys.RegisterSendHotkey();
        EXPECT_NE(hotKeys.HotkeyRegistered(), 0);
        target.Clear();
        EXPECT_TRUE(target.Focus());
        recorder.Clear();
        return Press(
            target, [code = state.settings.HotKey] { PressCode(code); }, expected);
    }

    HWND _main = ::CreateWindowExW(0, L"STATIC", kTitle, WS_OVERLAPPEDWINDOW, 0, 0, 200, 99, {}, {}, {}, {});
    const LONG_PTR _procedure = ::GetWindowLongPtrW(_main, GWLP_WNDPROC);
    base::AppState state;
    ReadTimer timer;
    keys::HotkeyHostWin host{_main};
    keys::HotkeySender sender{state, timer, host, [](std::string_view t) { return std::string(t); }};
    keys::HotKeys hotKeys{_main, state.settings, [this](int32_t id) { sender.KbdHook(id); }};
};

TEST_F(HotkeySend, TypesTheScriptOnceIntoTheForegroundWindow) {
    // The hotkey code, the pause after each key event, the postamble, what is typed.
    const std::tuple<int32_t, int32_t, std::string, std::string> cases[] = {
        {120, 0, "~", "w=1.25 kg\r\n"},
        {888, 1, "{TAB 0}", ""},  // a script that does not parse types nothing
        // The script presses the hotkey itself: typed once, whether the player pumps messages in
        // its pauses or only at the end.
        {0x278, 0, "^{F9}x", "w=1.25 kgx"},
        {120, 1, "{F9}{F9}+x", "w=1.25 kgX"},
    };
    state.settings.Preamble = "w=";
    for (const auto& [hotKey, delay, postamble, typed] : cases) {
        SCOPED_TRACE(postamble);
        state.settings.HotKey = hotKey;
        state.settings.InterCharacterDelay = delay;
        state.settings.Postamble = postamble;
        EXPECT_EQ(PressHotkey(typed), typed);
    }
}

// A character without a key on the layout goes as a Unicode event, the others as key events
// with their scan codes (the fixed ones with the extended flag); the letters keep the script's
// case under Caps Lock, which the send turns off and on again with Caps Lock's own scan code.
TEST_F(HotkeySend, TypesEveryCharacterWithItsOwnKeyEvents) {
    CapsLockOnForThisTest();
    state.settings.Preamble = "Ab+c\u00E4\u20AC\u00DF\u4E2D{{}{}}[]\\@";
    state.settings.Postamble = "{LEFT}{DEL}{HOME}>";  // onto the "g", away with it, to the start
    const std::string typed = ">AbC\u00E4\u20AC\u00DF\u4E2D{}[]\\@1.25 k";
    EXPECT_EQ(PressHotkey(typed), typed);
    EXPECT_TRUE(CapsLockOn()) << "Caps Lock is not on again after the send";

    std::wstring unicode;  // a press and a release each
    std::map<DWORD, e2e::KeyRecorder::Event> firstOf;
    for (const e2e::KeyRecorder::Event& e : recorder.Events()) {
        if (e.vk == VK_PACKET) {
            unicode += static_cast<wchar_t>(e.scan);
        } else {
            firstOf.try_emplace(e.vk, e);
        }
    }
    EXPECT_EQ(unicode, L"\u00E4\u00E4\u20AC\u20AC\u00DF\u00DF\u4E2D\u4E2D");
    // "[" types "{" too; "@" is Shift+2.
    const std::tuple<DWORD, DWORD, bool> keys[] = {{VK_LEFT, 0x4B, true},   {VK_DELETE, 0x53, true},
                                                   {VK_HOME, 0x47, true},   {VK_CAPITAL, 0x3A, false},
                                                   {VK_OEM_4, 0x1A, false}, {'2', 0x03, false}};
    for (const auto& [vk, scan, extended] : keys) {
        SCOPED_TRACE(vk);
        const auto it = firstOf.find(vk);
        ASSERT_NE(it, firstOf.end()) << "no event for the key";
        EXPECT_EQ(it->second.scan, scan);
        EXPECT_EQ((it->second.flags & LLKHF_EXTENDED) != 0, extended);
    }
}

// Registered exactly as the code says; a disabled hotkey, or a code without a key, leaves the
// combination free for other programs.
TEST_F(HotkeySend, RegistersExactlyTheCombinationOfTheCode) {
    // The hotkey code, whether the hotkey is enabled, a combination, whether it is taken then.
    const std::tuple<int32_t, bool, UINT, UINT, bool> cases[] = {{120, true, 0, VK_F9, true},
                                                                 {888, true, MOD_SHIFT | MOD_CONTROL, VK_F9, true},
                                                                 {120, false, 0, VK_F9, false},
                                                                 {512, true, MOD_CONTROL, 0, false}};
    for (const auto& [hotKey, enabled, modifiers, vk, taken] : cases) {
        SCOPED_TRACE(testing::Message() << hotKey << (enabled ? "" : " disabled"));
        state.settings.HotKey = hotKey;
        state.settings.HotkeyEnabled = enabled;
        hotKeys.UnregisterSendHotkey();
        hotKeys.RegisterSendHotkey();
        const bool free = ::RegisterHotKey(nullptr, 9, modifiers, vk) != FALSE;
        (void)::UnregisterHotKey(nullptr, 9);
        EXPECT_NE(free, taken);
    }
}

// The hotkey's subclass keeps the window a Unicode one, hands every other message on to the
// window's own procedure, and gives that procedure back.
TEST_F(HotkeySend, WindowProcedureKeepsTheWindowAndIsGivenBack) {
    EXPECT_TRUE(::IsWindowUnicode(_main));
    EXPECT_EQ(e2e::WideText(_main), kTitle);
    hotKeys.RemoveWindowProc();
    EXPECT_EQ(::GetWindowLongPtrW(_main, GWLP_WNDPROC), _procedure);
    EXPECT_EQ(PressHotkey(""), "");
}

// ---- the real Pesora.exe ------------------------------------------------------------------------

// Today as {YEAR}{MONTH}{DAY} type it.
std::string Today() {
    SYSTEMTIME now{};
    ::GetLocalTime(&now);
    char text[16];
    std::snprintf(text, sizeof text, "%02d%02d%02d", now.wYear % 100, now.wMonth, now.wDay);
    return text;
}

class PesoraTyping : public KeysTest {
  protected:
    static void SetUpTestSuite() {
        s_scale = std::make_unique<e2e::Scale>(e2e::Scale::Options("7731", {}, 0x8373));
        ASSERT_TRUE(s_scale->Set(4, 3, -2, 125));  // 1.25 kg, stable
        e2e::WaitOutRawInputCache();               // a Pesora started sooner could miss the scale
    }
    static void TearDownTestSuite() { s_scale.reset(); }

    static e2e::PesoraOptions Options(std::vector<std::pair<std::string, std::string>> settings,
                                      std::string switches = {}) {
        settings.emplace_back("SelectedScale", s_scale->Path());
        e2e::PesoraOptions options;
        options.name = "KeysTyping";
        options.settings = e2e::SettingsText(settings);
        options.switches = std::move(switches);
        return options;
    }
    static inline std::unique_ptr<e2e::Scale> s_scale;
};

// Started hidden at log-on (-h), with Shift+Ctrl+F9: the send waits until the hand has let go
// (under Ctrl the letters would be shortcuts). File > Exit handled in one of the send's pauses
// ends Pesora with Shift up and Caps Lock on again, as the user had them.
TEST_F(PesoraTyping, ExitDuringASendGivesBackShiftAndCapsLock) {
    e2e::Pesora pesora(Options({{"HotKey", "888"}, {"InterCharacterDelay", "50"}, {"Preamble", "+(abcdefgh)"}}, "-h"));
    ASSERT_TRUE(pesora.Started());
    ASSERT_TRUE(pesora.WaitWeight("1.25 kg", 10s)) << pesora.Weight() << " / " << pesora.Status();
    CapsLockOnForThisTest();
    ASSERT_TRUE(target.Focus());
    e2e::PressHotkey(VK_F9, {VK_SHIFT, VK_CONTROL});
    ASSERT_TRUE(e2e::WaitUntil([&] { return !target.Text().empty(); }, 5s)) << "the send did not start";
    EXPECT_TRUE(pesora.Exit());
    const std::string typed = target.Text();
    EXPECT_TRUE(typed.size() < 8 && std::string("ABCDEFGH").rfind(typed, 0) == 0) << "typed '" << typed << "'";
    const bool shiftDown = (::GetAsyncKeyState(VK_SHIFT) & 0x8000) != 0;
    if (shiftDown) {
        e2e::Key(VK_SHIFT, false);  // for the tests after this one
    }
    EXPECT_FALSE(shiftDown) << "Shift left down";
    EXPECT_TRUE(CapsLockOn()) << "Caps Lock left off";
}

// StableOnly: a press on a stable weight types it at once. On a moving weight the press waits for
// the first stable report and types that one, once, though pressed twice; a weight still moving
// when the wait is over types nothing, and the status line says why.
TEST_F(PesoraTyping, StableOnlyTypesASettledWeightOnly) {
    e2e::Pesora pesora(
        Options({{"InterCharacterDelay", "0"}, {"Postamble", "|"}, {"StableOnly", "True"}, {"StableWaitMs", "1500"}}));
    ASSERT_TRUE(pesora.Started());
    ASSERT_TRUE(s_scale->Set(4, 3, -2, 125));
    ASSERT_TRUE(pesora.WaitWeight("1.25 kg", 10s)) << pesora.Weight() << " / " << pesora.Status();
    target.Clear();
    ASSERT_TRUE(target.Focus());
    EXPECT_EQ(Press(
                  target, [] { e2e::PressHotkey(); }, "1.25 kg|"),
              "1.25 kg|");

    ASSERT_TRUE(s_scale->Set(3, 3, -2, 110));
    ASSERT_TRUE(pesora.WaitWeight("1.1 kg"));
    target.Clear();
    bool waited = false;
    EXPECT_EQ(Press(
                  target,
                  [&] {
                      e2e::PressHotkey();
                      waited = pesora.WaitStatus("Waiting for a stable weight...", 1s) && target.Text().empty();
                      e2e::PressHotkey();
                      ::Sleep(300);
                      (void)s_scale->Set(4, 3, -2, 130);
                  },
                  "1.3 kg|"),
              "1.3 kg|");
    EXPECT_TRUE(waited) << "the first press did not wait";

    ASSERT_TRUE(s_scale->Set(3, 3, -2, 150));
    ASSERT_TRUE(pesora.WaitWeight("1.5 kg"));
    target.Clear();
    recorder.Clear();
    e2e::PressHotkey();
    EXPECT_TRUE(pesora.WaitStatus("Not sent: the weight did not settle", 5s)) << pesora.Status();
    EXPECT_EQ(recorder.Count(), 0u);
    EXPECT_EQ(target.Text(), "");
    ASSERT_TRUE(s_scale->Set(4, 3, -2, 125));
    EXPECT_TRUE(pesora.Exit());
}

// The preamble and postamble of the settings file frame the weight as shown: today's date,
// special keys, letters in the script's case under Caps Lock, on again afterwards. Each press
// types the latest reading; the parentheses of a negative format group keys, they are not typed.
// Nothing is typed with Pesora's own window in front.
TEST_F(PesoraTyping, TypesTheWeightAsShownAndNothingWhenItMayNot) {
    e2e::Pesora pesora(Options({{"InterCharacterDelay", "0"},
                                {"WeightFormat", "0.0#;(-0.0#)"},
                                {"Preamble", "{YEAR}{month}{DAY}-Ab+c"},
                                {"Postamble", "{TAB}x{ENTER}"}}));
    ASSERT_TRUE(pesora.Started());
    CapsLockOnForThisTest();
    // The scale's status and weight, what Pesora shows, what is typed after the date.
    const std::tuple<uint8_t, int16_t, std::string, std::string> steps[] = {
        {4, 125, "1.25 kg", "-AbC1.25 kg\tx\r\n"},
        {5, 150, "(-1.5) kg", "-AbC-1.5 kg\tx\r\n"},
    };
    for (const auto& [status, weight, shown, typed] : steps) {
        SCOPED_TRACE(shown);
        ASSERT_TRUE(s_scale->Set(status, 3, -2, weight));
        ASSERT_TRUE(pesora.WaitWeight(shown, 10s)) << pesora.Weight() << " / " << pesora.Status();
        target.Clear();
        ASSERT_TRUE(target.Focus());
        const std::string day = Today();
        const std::string seen = Press(
            target, [] { e2e::PressHotkey(); }, day + typed);
        EXPECT_TRUE(seen == day + typed || seen == Today() + typed) << "typed '" << seen << "'";  // or midnight passed
    }
    EXPECT_TRUE(CapsLockOn()) << "Caps Lock is not on again after the send";
    // With Pesora's own window in front the press injects nothing.
    target.Clear();
    HWND own = pesora.Main();
    ASSERT_TRUE(e2e::WaitUntil([&] { return ::SetForegroundWindow(own) && ::GetForegroundWindow() == own; }, 3s));
    recorder.Clear();
    e2e::PressHotkey();
    EXPECT_FALSE(e2e::WaitUntil([&] { return recorder.Count() > 0 || !target.Text().empty(); }, 500ms))
        << recorder.Count() << " key events injected; the target has '" << target.Text() << "'";
    EXPECT_TRUE(pesora.Exit());
}

}  // namespace
