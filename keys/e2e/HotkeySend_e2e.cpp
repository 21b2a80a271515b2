// The send on a hotkey press with the real hotkey, window procedure, key states and injector:
// a stand-in for the application with the focus (an edit box on a thread of its own, so it has
// its own input state, as another program would) receives what the hotkey types.
#include <windows.h>

#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include "base/model/AppState.h"
#include "base/model/Views.h"
#include "keys/HotKeys_win.h"
#include "keys/KbdHook.h"
#include "keys/KeyInjector_win.h"

#include "InProcessTarget.h"

namespace {

class ReadTimer : public base::IReadTimer {
  public:
    void SetTimerEnabled(bool enabled) override { timerEnabled = enabled; }
    bool TimerEnabled() const override { return timerEnabled; }
    void SetTimerInterval(int32_t) override {}
    bool timerEnabled = true;
};

// The real host, counting the sends it plays.
class CountingHost : public keys::IHotkeyHost {
  public:
    explicit CountingHost(HWND mainWindow) : _real(mainWindow) {}
    int16_t GetKeyState(int32_t vk) const override { return _real.GetKeyState(vk); }
    void Beep() override { ++beeps; }
    bool IsOwnWindowForeground() const override { return _real.IsOwnWindowForeground(); }
    void WaitForMessages(int32_t timeoutMs) override { _real.WaitForMessages(timeoutMs); }
    void DoEvents() override { _real.DoEvents(); }
    int16_t SendKeyScript(std::string_view script, int32_t delayMs) override {
        ++sends;
        return _real.SendKeyScript(script, delayMs);
    }
    int sends = 0;
    int beeps = 0;

  private:
    keys::HotkeyHostWin _real;
};

using Target = e2e::InProcessTarget;

// The user presses the hotkey and lets go of it a little later, from another thread, so that
// the send really waits for the release.
void PressHotkey(int32_t hotKey, int holdMs) {
    std::thread([hotKey, holdMs] {
        const int mask = hotKey / 256;
        const BYTE vk = static_cast<BYTE>(hotKey & 0xFF);
        const BYTE modifiers[] = {VK_SHIFT, VK_CONTROL, VK_MENU};
        for (int i = 0; i < 3; ++i) {
            if (mask & (1 << i)) {
                ::keybd_event(modifiers[i], 0, 0, 0);
            }
        }
        ::keybd_event(vk, 0, 0, 0);
        ::Sleep(holdMs);
        ::keybd_event(vk, 0, KEYEVENTF_KEYUP, 0);
        for (int i = 2; i >= 0; --i) {
            if (mask & (1 << i)) {
                ::keybd_event(modifiers[i], 0, KEYEVENTF_KEYUP, 0);
            }
        }
    }).detach();
}

void PumpFor(int ms) {
    keys::PumpMessagesUntil(keys::QpcMicroseconds() + int64_t{ms} * 1000);
}

class HotkeySend : public ::testing::Test {
  protected:
    void SetUp() override {
        _main = ::CreateWindowExA(0, "STATIC", "Pesora", WS_OVERLAPPEDWINDOW, 0, 0, 200, 100, nullptr, nullptr,
                                  ::GetModuleHandleA(nullptr), nullptr);
        ASSERT_NE(_main, nullptr);
        state.weightText = "1.25";
        state.unitsSuffix = " kg";
        state.settings.Preamble = "w=";
        state.settings.Postamble = "~";
        state.settings.InterCharacterDelay = 1;
        host = std::make_unique<CountingHost>(_main);
        sender =
            std::make_unique<keys::HotkeySender>(state, view, *host, [](std::string_view t) { return std::string(t); });
        hotKeys = std::make_unique<keys::HotKeys>(_main, state.settings, [this](int32_t id) { sender->KbdHook(id); });
    }
    void TearDown() override {
        hotKeys.reset();
        ::DestroyWindow(_main);
    }
    // Presses the hotkey and waits until the target shows `expected` or two seconds passed.
    std::string PressAndRead(Target& target, const std::string& expected, int holdMs = 150) {
        PressHotkey(state.settings.HotKey, holdMs);
        for (int i = 0; i < 40 && target.Text() != expected; ++i) {
            PumpFor(50);
        }
        PumpFor(300);  // anything typed twice would arrive now
        return target.Text();
    }

    HWND _main = nullptr;
    base::AppState state;
    ReadTimer view;
    std::unique_ptr<CountingHost> host;
    std::unique_ptr<keys::HotkeySender> sender;
    std::unique_ptr<keys::HotKeys> hotKeys;
};

TEST_F(HotkeySend, TypesTheWeightIntoTheForegroundWindow) {
    struct Case {
        int line;
        int32_t hotKey;
        std::string postamble;
        std::string typed;
    };
    const Case cases[] = {
        {__LINE__, 120, "~", "w=1.25 kg\r\n"},
        {__LINE__, 888, "{TAB 0}", ""},             // a script that does not parse types nothing
        {__LINE__, 0x278, "^{F9}x", "w=1.25 kgx"},  // holds the hotkey itself: typed once
        {__LINE__, 120, "{F9}{F9}+x", "w=1.25 kgX"},
    };
    Target target;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.line);
        target.Clear();
        host->sends = 0;
        hotKeys->UnregisterSendHotkey();
        state.settings.HotKey = c.hotKey;
        state.settings.Postamble = c.postamble;
        hotKeys->RegisterSendHotkey();
        hotKeys->InstallWindowProc();
        ASSERT_NE(hotKeys->HotkeyRegistered(), 0);
        (void)::SetForegroundWindow(target.window());
        EXPECT_EQ(PressAndRead(target, c.typed), c.typed);
        EXPECT_EQ(host->sends, 1);
    }
}

TEST_F(HotkeySend, CapsLockIsRestoredAndDoesNotChangeTheCase) {
    Target target;
    state.settings.Postamble = "Ab";
    hotKeys->RegisterSendHotkey();
    hotKeys->InstallWindowProc();
    ::keybd_event(VK_CAPITAL, 0x3A, 0, 0);
    ::keybd_event(VK_CAPITAL, 0x3A, KEYEVENTF_KEYUP, 0);
    PumpFor(100);
    ASSERT_EQ(::GetKeyState(VK_CAPITAL) & 1, 1);
    EXPECT_EQ(PressAndRead(target, "w=1.25 kgAb"), "w=1.25 kgAb");
    EXPECT_EQ(::GetKeyState(VK_CAPITAL) & 1, 1);
    ::keybd_event(VK_CAPITAL, 0x3A, 0, 0);
    ::keybd_event(VK_CAPITAL, 0x3A, KEYEVENTF_KEYUP, 0);
    PumpFor(100);
}

TEST_F(HotkeySend, NothingTypedWhenNotAllowed) {
    struct Case {
        int line;
        bool suppressed, timerOn, ownForeground;
        int beeps;
    };
    const Case cases[] = {
        {__LINE__, true, true, false, 0},
        {__LINE__, false, false, false, 1},
        {__LINE__, false, true, true, 0},
    };
    Target target;
    hotKeys->RegisterSendHotkey();
    hotKeys->InstallWindowProc();
    for (const Case& c : cases) {
        SCOPED_TRACE(c.line);
        target.Clear();
        host->beeps = 0;
        state.sendSuppressed = c.suppressed;
        view.timerEnabled = c.timerOn;
        (void)::SetForegroundWindow(c.ownForeground ? _main : target.window());
        if (c.ownForeground) {
            ::ShowWindow(_main, SW_SHOW);
            (void)::SetForegroundWindow(_main);
        }
        EXPECT_EQ(PressAndRead(target, "never"), "");
        EXPECT_EQ(host->beeps, c.beeps);
        ::ShowWindow(_main, SW_HIDE);
    }
}

// The hotkey's subclass keeps the window's character set (a Unicode window's title with
// characters outside the ANSI code page survives) and gives the window its own procedure back.
TEST(HotkeyWindowProc, RoutesHotkeysAndRestoresTheProcedure) {
    struct Case {
        int line;
        bool unicode;
    };
    const Case cases[] = {{__LINE__, false}, {__LINE__, true}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.line);
        const wchar_t* title = L"Pesora \u2696\u4E2D";
        HWND window = c.unicode ? ::CreateWindowExW(0, L"STATIC", title, WS_OVERLAPPEDWINDOW, 0, 0, 200, 100, nullptr,
                                                    nullptr, ::GetModuleHandleW(nullptr), nullptr)
                                : ::CreateWindowExA(0, "STATIC", "Pesora", WS_OVERLAPPEDWINDOW, 0, 0, 200, 100, nullptr,
                                                    nullptr, ::GetModuleHandleA(nullptr), nullptr);
        ASSERT_NE(window, nullptr);
        base::Settings settings;
        std::vector<int32_t> hooked;
        {
            keys::HotKeys hotKeys(window, settings, [&](int32_t id) { hooked.push_back(id); });
            const auto original = ::GetWindowLongPtrW(window, GWLP_WNDPROC);
            hotKeys.InstallWindowProc();
            EXPECT_EQ(::IsWindowUnicode(window) != FALSE, c.unicode);
            EXPECT_EQ(::SendMessageA(window, WM_HOTKEY, 1, 0), 1);
            EXPECT_EQ(::SendMessageW(window, WM_HOTKEY, 7, 0), 1);
            EXPECT_EQ(hooked, (std::vector<int32_t>{1, 7}));
            // Other messages still reach the old procedure, texts intact.
            wchar_t text[32] = {};
            EXPECT_GT(::GetWindowTextW(window, text, 32), 0);
            EXPECT_EQ(std::wstring(text), c.unicode ? std::wstring(title) : std::wstring(L"Pesora"));
            hotKeys.RemoveWindowProc();
            EXPECT_EQ(::GetWindowLongPtrW(window, GWLP_WNDPROC), original);
            EXPECT_EQ(::SendMessageA(window, WM_HOTKEY, 1, 0), 0);  // the static control's own answer
            hotKeys.InstallWindowProc();                            // left in place: the destructor takes it out
        }
        EXPECT_EQ(::SendMessageA(window, WM_HOTKEY, 1, 0), 0);
        EXPECT_EQ(hooked.size(), 2u);
        ::DestroyWindow(window);
    }
}

}  // namespace
