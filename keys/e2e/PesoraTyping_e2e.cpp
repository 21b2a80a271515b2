// The program's main action end to end: the real Pesora.exe reads a virtual scale, the user
// presses the global hotkey (real key events) while another program has the focus, and the
// weight lands in that program's edit box, framed by the preamble and postamble.
//
// Every event Pesora injects is also seen by a low-level keyboard hook of this program, so
// "nothing typed" is checked where it happens (in the system's input stream) as well as in
// the target window: Pesora's own window in front would swallow keys the target never sees.
#include <windows.h>

#include <gtest/gtest.h>

#include <atomic>
#include <cstdio>
#include <map>
#include <string>
#include <thread>
#include <utility>

#include "Harness.h"
#include "PesoraIds.h"
#include "VirtualScale.h"

namespace {

using namespace std::chrono_literals;

constexpr char kSerial[] = "7731";
constexpr char kExeName[] = "KeysTyping";
constexpr int kTargetEditId = 100;
// Marks the events this program injects, so that the hook tells them from Pesora's.
constexpr ULONG_PTR kOwnEventMark = 0x7E57;
// How long a press that must type nothing is watched; a send starts within a few tens of ms.
constexpr auto kQuietWindow = 1500ms;

// ---- the low-level hook: counts key events injected by anyone but this program -----------------

std::atomic<int> g_foreignInjected{0};

LRESULT CALLBACK CountInjected(int code, WPARAM wParam, LPARAM lParam) {
    if (code == HC_ACTION) {
        const auto* info = reinterpret_cast<const KBDLLHOOKSTRUCT*>(lParam);
        if ((info->flags & LLKHF_INJECTED) != 0 && info->dwExtraInfo != kOwnEventMark) {
            ++g_foreignInjected;
        }
    }
    return ::CallNextHookEx(nullptr, code, wParam, lParam);
}

// The hook runs on a thread of its own with its own message loop: the system calls it there.
class InjectionWatch {
  public:
    InjectionWatch() {
        _thread = std::thread([this] {
            _threadId = ::GetCurrentThreadId();
            HHOOK hook = ::SetWindowsHookExW(WH_KEYBOARD_LL, &CountInjected, ::GetModuleHandleW(nullptr), 0);
            _installed = hook != nullptr;
            _ready = true;
            MSG msg;
            while (::GetMessageW(&msg, nullptr, 0, 0) > 0) {
                ::DispatchMessageW(&msg);
            }
            if (hook != nullptr) {
                (void)::UnhookWindowsHookEx(hook);
            }
        });
        while (!_ready) {
            ::Sleep(5);
        }
    }
    ~InjectionWatch() {
        (void)::PostThreadMessageW(_threadId, WM_QUIT, 0, 0);
        _thread.join();
    }
    bool Installed() const { return _installed; }

  private:
    std::thread _thread;
    std::atomic<DWORD> _threadId{0};
    std::atomic<bool> _ready{false};
    std::atomic<bool> _installed{false};
};

// ---- the user's hands ---------------------------------------------------------------------------

void Key(BYTE vk, bool down) {
    ::keybd_event(vk, static_cast<BYTE>(::MapVirtualKeyW(vk, 0)), down ? 0 : KEYEVENTF_KEYUP, kOwnEventMark);
}

// Presses the hotkey code's modifiers and key, holds them a moment as a hand does, lets go.
void PressHotkey(int hotKey) {
    const int mask = hotKey / 256;
    const BYTE vk = static_cast<BYTE>(hotKey & 0xFF);
    const BYTE modifiers[] = {VK_SHIFT, VK_CONTROL, VK_MENU};
    for (int i = 0; i < 3; ++i) {
        if ((mask & (1 << i)) != 0) {
            Key(modifiers[i], true);
        }
    }
    if (vk != 0) {
        Key(vk, true);
    }
    ::Sleep(80);  // a real press lasts a moment; the send must wait for the release
    if (vk != 0) {
        Key(vk, false);
    }
    for (int i = 2; i >= 0; --i) {
        if ((mask & (1 << i)) != 0) {
            Key(modifiers[i], false);
        }
    }
}

void TapKey(BYTE vk) {
    Key(vk, true);
    Key(vk, false);
}

// ---- the fixture ---------------------------------------------------------------------------------

e2e::ScaleOptions ScaleOptions() {
    e2e::ScaleOptions options;
    options.serial = kSerial;
    options.productId = 0x8373;  // a name of its own among the rows other tests leave behind
    return options;
}

std::string TwoDigits(int value) {
    char text[8];
    std::snprintf(text, sizeof text, "%02d", value % 100);
    return text;
}

SYSTEMTIME Today() {
    SYSTEMTIME now{};
    ::GetLocalTime(&now);
    return now;
}

bool SameDay(const SYSTEMTIME& a, const SYSTEMTIME& b) {
    return a.wYear == b.wYear && a.wMonth == b.wMonth && a.wDay == b.wDay;
}

class PesoraTyping : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        std::string error;
        s_plugged = e2e::Plug(ScaleOptions(), &error);
        ASSERT_TRUE(s_plugged) << error;
        // 1.25 kg, stable.
        ASSERT_TRUE(e2e::SetWeight(kSerial, 4, 3, -2, 125, &error)) << error;
        // Wine refreshes a process's raw-input device list at most every 2 s: a Pesora started
        // sooner could miss the scale that was just plugged.
        ::Sleep(2500);
        s_exe = e2e::InstallPesora(e2e::FreshFolder("keys_typing"), std::string(kExeName) + ".exe");
        s_target = e2e::Start(e2e::TestProgram("TargetWindow.exe"), "\"\" \"Keys Typing Target\"");
        ASSERT_TRUE(s_target.Started());
        s_targetWindow = e2e::WaitForWindow(s_target.Pid(), "Keys Typing Target");
        ASSERT_NE(s_targetWindow, nullptr);
        s_targetEdit = e2e::Control(s_targetWindow, kTargetEditId);
        ASSERT_NE(s_targetEdit, nullptr);
    }
    static void TearDownTestSuite() {
        if (s_targetWindow != nullptr) {
            (void)e2e::CloseMessage(s_targetWindow);
            (void)s_target.WaitOrKill(5s);
        }
        s_target = {};
        if (s_plugged) {
            (void)e2e::Unplug(kSerial);
        }
        (void)e2e::DeleteFileAt(e2e::SettingsFileFor(kExeName));
    }

    void TearDown() override {
        if (_main != nullptr && _pesora.Running()) {
            (void)e2e::ClickMenu(_main, IDM_EXIT);
            if (!_pesora.WaitOrKill()) {
                ADD_FAILURE() << "Pesora did not end after File > Exit";
            }
        }
        _pesora.Kill();
        if (_capsTurnedOn && CapsLockOn()) {
            TapKey(VK_CAPITAL);
        }
        if (s_plugged) {
            (void)e2e::SetWeight(kSerial, 4, 3, -2, 125);  // the reading the next test expects
        }
    }

    // Starts Pesora with these settings on top of a reading of the test scale; waits until
    // the Weight box shows `shownWeight` (empty: whatever it shows, for no reading).
    void StartPesora(std::map<std::string, std::string> settings,
                     const std::string& shownWeight,
                     const std::string& arguments = {}) {
        const std::string ini = e2e::SettingsFileFor(kExeName);
        (void)e2e::DeleteFileAt(ini);
        ASSERT_TRUE(e2e::MakeFolders(e2e::FolderOf(ini))) << ini;  // a fresh prefix has no settings folder yet
        settings.try_emplace("SelectedScale", e2e::HidPath(ScaleOptions()));
        settings.try_emplace("InterCharacterDelay", "0");
        for (const auto& [key, value] : settings) {
            ASSERT_TRUE(e2e::WriteIni(ini, "Settings", key, value)) << key;
        }
        _pesora = e2e::Start(s_exe, arguments);
        ASSERT_TRUE(_pesora.Started()) << s_exe << ": error " << ::GetLastError();
        _main = e2e::WaitForMainWindow(_pesora);
        ASSERT_NE(_main, nullptr);
        HWND weight = e2e::Control(_main, IDC_WEIGHT);
        if (!shownWeight.empty()) {
            ASSERT_TRUE(e2e::WaitUntil([&] { return e2e::Text(weight) == shownWeight; }, 10s))
                << "Weight box shows '" << e2e::Text(weight) << "', status '"
                << e2e::Text(e2e::Control(_main, IDC_STATUS)) << "'";
        }
    }

    static void ClearTarget() { (void)e2e::Send(s_targetEdit, WM_SETTEXT, 0, reinterpret_cast<LPARAM>("")); }
    static std::string TargetText() { return e2e::Text(s_targetEdit); }

    static ::testing::AssertionResult BringToFront(HWND window) {
        if (e2e::WaitUntil(
                [&] {
                    (void)::SetForegroundWindow(window);
                    return ::GetForegroundWindow() == window;
                },
                5s)) {
            return ::testing::AssertionSuccess();
        }
        return ::testing::AssertionFailure() << "could not bring window " << window << " to the front";
    }

    // The target's edit box ends up with exactly `expected`.
    static ::testing::AssertionResult TargetReceives(const std::string& expected) {
        if (!e2e::WaitUntil([&] { return TargetText().size() >= expected.size(); }, 10s)) {
            return ::testing::AssertionFailure() << "target has only '" << TargetText() << "'";
        }
        // A send that types more than expected must show: look again once it has settled.
        std::string seen = TargetText();
        (void)e2e::WaitUntil(
            [&] {
                const std::string now = TargetText();
                const bool settled = now == seen;
                seen = now;
                return !settled;
            },
            300ms);
        if (seen != expected) {
            return ::testing::AssertionFailure() << "target has '" << seen << "', expected '" << expected << "'";
        }
        return ::testing::AssertionSuccess();
    }

    // Nothing reaches the input stream or the target for the whole quiet window.
    static ::testing::AssertionResult NothingTyped(int injectedBefore) {
        const bool something = e2e::WaitUntil(
            [&] { return g_foreignInjected.load() != injectedBefore || !TargetText().empty(); }, kQuietWindow);
        if (something) {
            return ::testing::AssertionFailure() << (g_foreignInjected.load() - injectedBefore)
                                                 << " key events injected; target has '" << TargetText() << "'";
        }
        return ::testing::AssertionSuccess();
    }

    static bool CapsLockOn() {
        // The toggle as the system holds it, not as this thread last saw it.
        BYTE state[256] = {};
        (void)::GetKeyState(0);  // brings this thread's key state up to date
        (void)::GetKeyboardState(state);
        return (state[VK_CAPITAL] & 1) != 0;
    }

    static inline bool s_plugged = false;
    static inline std::string s_exe;
    static inline e2e::Process s_target;
    static inline HWND s_targetWindow = nullptr;
    static inline HWND s_targetEdit = nullptr;

    e2e::Process _pesora;
    HWND _main = nullptr;
    bool _capsTurnedOn = false;
    InjectionWatch _watch;
};

// ---- the weight typed, table-driven ---------------------------------------------------------------

struct TypingCase {
    int line;
    std::map<std::string, std::string> settings;
    int status;
    int weight;            // hundredths of a kilogram
    std::string shown;     // what the Weight box shows once the reading is in
    int hotKey;            // what the user presses
    std::string expected;  // what the target keeps; <YY>, <MM>, <DD>: this test's own date
    std::string arguments = {};
};

std::string WithDate(std::string text, const SYSTEMTIME& date) {
    const std::pair<std::string, int> tokens[] = {{"<YY>", date.wYear}, {"<MM>", date.wMonth}, {"<DD>", date.wDay}};
    for (const auto& [token, value] : tokens) {
        for (size_t at = text.find(token); at != std::string::npos; at = text.find(token)) {
            text.replace(at, token.size(), TwoDigits(value));
        }
    }
    return text;
}

TEST_F(PesoraTyping, HotkeyTypesTheWeightIntoTheForegroundProgram) {
    ASSERT_TRUE(_watch.Installed());
    const TypingCase cases[] = {
        {__LINE__, {}, 4, 125, "1.25 kg", VK_F9, "1.25 kg"},
        {__LINE__, {{"IncludeUnits", "False"}}, 4, 125, "1.25", VK_F9, "1.25"},
        // The edit box keeps the Tab as a character and the Enter as a line break.
        {__LINE__,
         {{"Preamble", "w{TAB}"}, {"Postamble", "{TAB}x{ENTER}"}},
         4,
         125,
         "1.25 kg",
         VK_F9,
         "w\t1.25 kg\tx\r\n"},
        {__LINE__,
         {{"Preamble", "{YEAR}{MONTH}{DAY}-"}, {"IncludeUnits", "False"}},
         4,
         125,
         "1.25",
         VK_F9,
         "<YY><MM><DD>-1.25"},
        {__LINE__,
         {{"Postamble", "_{day}/{month}/{year}"}, {"IncludeUnits", "False"}},
         4,
         125,
         "1.25",
         VK_F9,
         "1.25_<DD>/<MM>/<YY>"},
        // Under zero, shown in parentheses: the parentheses group the keys, so -1.5 is typed.
        {__LINE__, {{"WeightFormat", "0.0#;(-0.0#)"}, {"IncludeUnits", "False"}}, 5, 150, "(-1.5)", VK_F9, "-1.5"},
        // The letters keep the case the script gives them.
        {__LINE__, {{"Preamble", "Ab+c"}, {"IncludeUnits", "False"}}, 4, 125, "1.25", VK_F9, "AbC1.25"},
        // Started at log-on without a window or icon, or minimised: the hotkey is all there is.
        {__LINE__, {}, 4, 125, "1.25 kg", VK_F9, "1.25 kg", "-h"},
        {__LINE__, {{"MinimizeAtStartup", "True"}}, 4, 125, "1.25 kg", VK_F9, "1.25 kg"},
        // The script presses the hotkey itself: that press must not start another send.
        {__LINE__, {{"Postamble", "{F9}"}}, 4, 125, "1.25 kg", VK_F9, "1.25 kg"},
        {__LINE__, {{"Postamble", "{F9}"}, {"InterCharacterDelay", "5"}}, 4, 125, "1.25 kg", VK_F9, "1.25 kg"},
        // Shift+Ctrl+F9, typed with a pause after every key event.
        {__LINE__, {{"HotKey", "888"}, {"InterCharacterDelay", "5"}}, 4, 125, "1.25 kg", 888, "1.25 kg"},
    };
    for (const TypingCase& c : cases) {
        SCOPED_TRACE(testing::Message() << "case at line " << c.line);
        ASSERT_TRUE(e2e::SetWeight(kSerial, static_cast<uint8_t>(c.status), 3, -2, static_cast<int16_t>(c.weight)));
        StartPesora(c.settings, c.shown, c.arguments);
        if (HasFatalFailure()) {
            return;
        }
        ClearTarget();
        ASSERT_TRUE(BringToFront(s_targetWindow));
        const SYSTEMTIME before = Today();
        const int injectedBefore = g_foreignInjected.load();
        PressHotkey(c.hotKey);
        const ::testing::AssertionResult received = TargetReceives(WithDate(c.expected, before));
        const SYSTEMTIME after = Today();
        if (received || SameDay(before, after)) {
            EXPECT_TRUE(received);
        } else {
            // Midnight passed during the send: the date is the new day's.
            EXPECT_TRUE(TargetReceives(WithDate(c.expected, after)));
        }
        // The hook that checks the silent presses sees Pesora's events: a press and a release
        // for every character at least.
        EXPECT_GE(g_foreignInjected.load() - injectedBefore,
                  2 * static_cast<int>(WithDate(c.expected, before).size()) - 4);
        TearDown();
        _main = nullptr;
    }
    ASSERT_TRUE(e2e::SetWeight(kSerial, 4, 3, -2, 125));
}

// Each press types the weight of the latest reading, not the one read when Pesora started.
TEST_F(PesoraTyping, EachPressTypesTheLatestReading) {
    StartPesora({{"Postamble", ";"}}, "1.25 kg");
    ASSERT_FALSE(HasFatalFailure());
    ClearTarget();
    ASSERT_TRUE(BringToFront(s_targetWindow));
    PressHotkey(VK_F9);
    ASSERT_TRUE(TargetReceives("1.25 kg;"));

    ASSERT_TRUE(e2e::SetWeight(kSerial, 4, 3, -2, 250));
    HWND weight = e2e::Control(_main, IDC_WEIGHT);
    ASSERT_TRUE(e2e::WaitUntil([&] { return e2e::Text(weight) == "2.5 kg"; }, 5s)) << e2e::Text(weight);
    PressHotkey(VK_F9);
    EXPECT_TRUE(TargetReceives("1.25 kg;2.5 kg;"));
}

// A hotkey with modifiers needs all of them, and the send waits until every key of it is up: typed under a held Ctrl,
// the weight would turn into shortcuts in the target.
TEST_F(PesoraTyping, ModifierHotkeyNeedsItsModifiersAndTypesOnlyOnceTheyAreReleased) {
    StartPesora({{"HotKey", "888"}}, "1.25 kg");
    ASSERT_FALSE(HasFatalFailure());
    ClearTarget();
    ASSERT_TRUE(BringToFront(s_targetWindow));
    // F9 alone is not the hotkey Shift+Ctrl+F9.
    const int beforePlain = g_foreignInjected.load();
    PressHotkey(VK_F9);
    EXPECT_TRUE(NothingTyped(beforePlain)) << "F9 alone typed";

    const int before = g_foreignInjected.load();
    Key(VK_SHIFT, true);
    Key(VK_CONTROL, true);
    TapKey(VK_F9);
    const ::testing::AssertionResult quiet = NothingTyped(before);
    Key(VK_CONTROL, false);
    Key(VK_SHIFT, false);
    EXPECT_TRUE(quiet) << "typed while Shift and Ctrl were still held";
    EXPECT_TRUE(TargetReceives("1.25 kg"));
}

// With Caps Lock on, the letters still come out in the script's case, and Caps Lock is on
// again once the weight has been typed.
TEST_F(PesoraTyping, CapsLockDoesNotChangeTheCaseAndIsOnAgainAfterwards) {
    StartPesora({{"Preamble", "Ab"}, {"Postamble", "z"}}, "1.25 kg");
    ASSERT_FALSE(HasFatalFailure());
    ClearTarget();
    ASSERT_TRUE(BringToFront(s_targetWindow));
    if (!CapsLockOn()) {
        TapKey(VK_CAPITAL);
        _capsTurnedOn = true;
    }
    // Caps Lock really acts on what the target receives.
    TapKey('Q');
    ASSERT_TRUE(TargetReceives("Q"));
    ClearTarget();

    PressHotkey(VK_F9);
    ASSERT_TRUE(TargetReceives("Ab1.25 kgz"));
    // A plain letter typed by hand afterwards comes out in capitals again.
    TapKey('Q');
    EXPECT_TRUE(TargetReceives("Ab1.25 kgzQ"));
}

// A hotkey held down repeats like any key (here every 33 ms for a second): one press, one send.
// Two separate presses afterwards still give two sends.
TEST_F(PesoraTyping, HeldHotkeyTypesOnceAndSeparatePressesEachType) {
    StartPesora({{"Postamble", ";"}}, "1.25 kg");
    ASSERT_FALSE(HasFatalFailure());
    ClearTarget();
    ASSERT_TRUE(BringToFront(s_targetWindow));
    for (int i = 0; i < 30; ++i) {
        Key(VK_F9, true);
        ::Sleep(33);
    }
    Key(VK_F9, false);
    EXPECT_TRUE(TargetReceives("1.25 kg;"));
    PressHotkey(VK_F9);
    EXPECT_TRUE(TargetReceives("1.25 kg;1.25 kg;"));
    PressHotkey(VK_F9);
    EXPECT_TRUE(TargetReceives("1.25 kg;1.25 kg;1.25 kg;"));
}

// File > Exit handled in a pause of a send that holds Shift: the program ends, and Shift is up
// again and Caps Lock on again, as the user had them, not as the script left them.
TEST_F(PesoraTyping, ExitDuringASendLeavesNoKeyDownAndCapsLockOn) {
    StartPesora({{"Preamble", "+(abcdefgh)"}, {"InterCharacterDelay", "150"}}, "1.25 kg");
    ASSERT_FALSE(HasFatalFailure());
    ClearTarget();
    ASSERT_TRUE(BringToFront(s_targetWindow));
    if (!CapsLockOn()) {
        TapKey(VK_CAPITAL);
        _capsTurnedOn = true;
    }
    PressHotkey(VK_F9);
    ASSERT_TRUE(e2e::WaitUntil([&] { return !TargetText().empty(); }, 5s)) << "the send did not start";
    ASSERT_TRUE(e2e::ClickMenu(_main, IDM_EXIT));
    ASSERT_TRUE(_pesora.WaitOrKill());
    _main = nullptr;
    EXPECT_LT(TargetText().size(), 8u) << "the send was not cut short: " << TargetText();
    const bool shiftDown = (::GetAsyncKeyState(VK_SHIFT) & 0x8000) != 0;
    if (shiftDown) {
        Key(VK_SHIFT, false);  // for the tests after this one
    }
    EXPECT_FALSE(shiftDown) << "Shift left down";
    EXPECT_TRUE(CapsLockOn()) << "Caps Lock left off";
}

// Presses that must type nothing at all.
TEST_F(PesoraTyping, ScriptThatFailsToParseTypesNothing) {
    StartPesora({{"Postamble", "{BOGUS}"}}, "1.25 kg");
    ASSERT_FALSE(HasFatalFailure());
    ClearTarget();
    ASSERT_TRUE(BringToFront(s_targetWindow));
    const int before = g_foreignInjected.load();
    PressHotkey(VK_F9);
    EXPECT_TRUE(NothingTyped(before));
}

TEST_F(PesoraTyping, NothingIsTypedWhilePesorasOwnWindowIsInFront) {
    StartPesora({}, "1.25 kg");
    ASSERT_FALSE(HasFatalFailure());
    ClearTarget();
    ASSERT_TRUE(BringToFront(_main));
    const int before = g_foreignInjected.load();
    PressHotkey(VK_F9);
    EXPECT_TRUE(NothingTyped(before));

    // The hotkey itself works: with the target in front the same press types the weight once.
    ASSERT_TRUE(BringToFront(s_targetWindow));
    PressHotkey(VK_F9);
    EXPECT_TRUE(TargetReceives("1.25 kg"));
}

// While the about box is open the hotkey is silenced; once it is closed the hotkey types again.
TEST_F(PesoraTyping, NothingIsTypedWhileTheAboutBoxIsOpen) {
    StartPesora({}, "1.25 kg");
    ASSERT_FALSE(HasFatalFailure());
    ASSERT_TRUE(e2e::ClickMenu(_main, IDM_ABOUT));
    HWND about = e2e::WaitForWindow(_pesora.Pid(), "About Pesora", 10s);
    ASSERT_NE(about, nullptr);
    ClearTarget();
    ASSERT_TRUE(BringToFront(s_targetWindow));
    const int before = g_foreignInjected.load();
    PressHotkey(VK_F9);
    EXPECT_TRUE(NothingTyped(before));

    ASSERT_TRUE(e2e::Post(about, WM_COMMAND, IDOK, 0));
    ASSERT_TRUE(e2e::WaitUntil([&] { return !::IsWindow(about); }, 5s));
    ASSERT_TRUE(BringToFront(s_targetWindow));
    PressHotkey(VK_F9);
    EXPECT_TRUE(TargetReceives("1.25 kg"));
}

TEST_F(PesoraTyping, NothingIsTypedWithoutAScaleSelected) {
    StartPesora({{"SelectedScale", ""}}, "");
    ASSERT_FALSE(HasFatalFailure());
    ClearTarget();
    ASSERT_TRUE(BringToFront(s_targetWindow));
    // The hotkey is registered (a second registration of F9 fails) although no scale is read.
    const bool takenByUs = ::RegisterHotKey(nullptr, 7, 0, VK_F9) != FALSE;
    if (takenByUs) {
        (void)::UnregisterHotKey(nullptr, 7);
    }
    EXPECT_FALSE(takenByUs) << "F9 is not registered";
    const int before = g_foreignInjected.load();
    PressHotkey(VK_F9);
    EXPECT_TRUE(NothingTyped(before));
}

TEST_F(PesoraTyping, NothingIsTypedOnceTheScaleIsUnplugged) {
    StartPesora({}, "1.25 kg");
    ASSERT_FALSE(HasFatalFailure());
    ClearTarget();
    ASSERT_TRUE(BringToFront(s_targetWindow));
    PressHotkey(VK_F9);
    ASSERT_TRUE(TargetReceives("1.25 kg"));
    ClearTarget();

    ASSERT_TRUE(e2e::Unplug(kSerial));
    s_plugged = false;
    HWND weight = e2e::Control(_main, IDC_WEIGHT);
    ASSERT_TRUE(e2e::WaitUntil([&] { return e2e::Text(weight).empty(); }, 10s))
        << "Weight box still shows '" << e2e::Text(weight) << "'";
    ASSERT_TRUE(BringToFront(s_targetWindow));
    const int before = g_foreignInjected.load();
    PressHotkey(VK_F9);
    EXPECT_TRUE(NothingTyped(before));

    // Back again: Wine's device list must have been refreshed since the unplug (2 s cache).
    ::Sleep(2500);
    std::string error;
    ASSERT_TRUE(e2e::Plug(ScaleOptions(), &error)) << error;
    s_plugged = true;
    ASSERT_TRUE(e2e::SetWeight(kSerial, 4, 3, -2, 125, &error)) << error;
    ASSERT_TRUE(e2e::WaitUntil([&] { return e2e::Text(weight) == "1.25 kg"; }, 10s))
        << "Weight box shows '" << e2e::Text(weight) << "'";
    ASSERT_TRUE(BringToFront(s_targetWindow));
    PressHotkey(VK_F9);
    EXPECT_TRUE(TargetReceives("1.25 kg"));
}

// Hotkey codes that register nothing: the press types nothing, and the combination is free for
// another program.
TEST_F(PesoraTyping, UnregisteredHotkeyTypesNothingAndLeavesTheCombinationFree) {
    struct Case {
        int line;
        std::map<std::string, std::string> settings;
        int press;
        UINT modifiers;
        UINT vk;
    };
    const Case cases[] = {
        {__LINE__, {{"HotkeyEnabled", "False"}}, VK_F9, 0, VK_F9},
        {__LINE__, {{"HotKey", "512"}}, 512, MOD_CONTROL, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "case at line " << c.line);
        StartPesora(c.settings, "1.25 kg");
        if (HasFatalFailure()) {
            return;
        }
        ClearTarget();
        ASSERT_TRUE(BringToFront(s_targetWindow));
        const int before = g_foreignInjected.load();
        PressHotkey(c.press);
        EXPECT_TRUE(NothingTyped(before));
        EXPECT_TRUE(::RegisterHotKey(nullptr, 8, c.modifiers, c.vk)) << "error " << ::GetLastError();
        (void)::UnregisterHotKey(nullptr, 8);
        TearDown();
        _main = nullptr;
    }
}

}  // namespace
