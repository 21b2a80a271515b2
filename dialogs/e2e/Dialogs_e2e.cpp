// The settings dialog and the about box run on this thread, each driven from a second one with
// injected keys and clicks as a user would: what the dialog shows and stores, its two widths
// (expected from the twips figures, not from the conversion under test), the keys the hotkey box
// keeps from the dialog, a token over a selection, the greyed hotkey controls, OK and Esc, and the
// about box modal and modeless. The hotkey capture itself is the application's settings test.
#include <windows.h>

#include <commctrl.h>

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <thread>
#include <tuple>
#include <vector>

#include "Fixture.h"
#include "base/win/MessagePump_win.h"
#include "dialogs/About_win.h"
#include "dialogs/DialogIds.h"
#include "dialogs/Help_win.h"
#include "dialogs/SettingsDialog_win.h"

namespace {

using namespace std::chrono_literals;

// Runs `drive` on a thread of its own once the window titled `caption` shows, while `show` runs
// it here; a window the drive left open is closed, so that a failure does not hang the test.
template <typename Show>
auto Driven(const char* caption, const std::function<void(HWND)>& drive, Show show) {
    std::thread driver([&] {
        HWND window = nullptr;
        if (!e2e::WaitUntil([&] { return e2e::Visible(window = ::FindWindowA(nullptr, caption)); }, 10s)) {
            ADD_FAILURE() << caption << " did not show";
            return;
        }
        drive(window);
        if (!e2e::WaitUntil([&] { return !::IsWindow(window); }, 5s)) {
            ADD_FAILURE() << caption << " is still open";
            (void)::PostMessageA(window, WM_COMMAND, IDCANCEL, 0);
        }
    });
    auto result = show();
    driver.join();
    return result;
}

LRESULT Send(HWND dialog, int id, UINT msg, WPARAM wParam = 0, LPARAM lParam = 0) {
    return ::SendDlgItemMessageA(dialog, id, msg, wParam, lParam);
}

HWND Focused(HWND window) {
    GUITHREADINFO info{};
    info.cbSize = sizeof info;
    (void)::GetGUIThreadInfo(::GetWindowThreadProcessId(window, nullptr), &info);
    return info.hwndFocus;
}

bool FocusOn(HWND dialog, int id) {
    (void)::SendMessageA(dialog, WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(::GetDlgItem(dialog, id)), TRUE);
    // Typed keys go to the foreground window: under load a first SetForegroundWindow may not
    // have taken yet when the keys are sent, so ask until it has.
    return e2e::WaitUntil(
        [&] {
            if (::GetForegroundWindow() != dialog) {
                (void)::SetForegroundWindow(dialog);
                return false;
            }
            return Focused(dialog) == ::GetDlgItem(dialog, id);
        },
        2s);
}

// Keys pressed into the focused control; true once control `id` shows `text`.
bool Keys(const std::vector<BYTE>& keys, HWND dialog, int id, const std::string& text) {
    e2e::Chord(keys);
    return e2e::WaitUntil([&] { return e2e::Text(::GetDlgItem(dialog, id)) == text; }, 2s);
}

int Width(HWND window) {
    const RECT rect = e2e::WindowRect(window);
    return rect.right - rect.left;
}

auto Tie(const base::Settings& s) {
    return std::tie(s.HotKey, s.Hotkeystr, s.HotkeyEnabled, s.WeightFormat, s.SelectedUnits, s.IncludeUnits,
                    s.CommaSeparator, s.LoadWithWindows, s.MinimizeAtStartup, s.SelectedScale, s.Preamble, s.Postamble,
                    s.TareCommand, s.SampleRate, s.InterCharacterDelay, s.WebPort, s.WebOrigins);
}

// The main window the dialogs belong to, with an icon of its own, and a hidden one (the program
// in the notification area). Made once and never taken down: Wine waits two seconds for a window
// manager (the bench runs none) to take a visible window down.
class Dialogs : public ::testing::Test {
  protected:
    static HWND Owner(DWORD visible) {
        HWND owner =
            ::CreateWindowExA(0, "STATIC", "Pesora", WS_OVERLAPPEDWINDOW | visible, 40, 40, 380, 300, {}, {}, {}, {});
        (void)::SendMessageA(owner, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(::LoadIconA({}, IDI_INFORMATION)));
        return owner;
    }
    bool Settings(base::Settings& settings, const std::function<void(HWND)>& drive) {
        return Driven("Pesora Settings", drive, [&] { return dialogs::ShowSettingsDialog(s_owner, settings, &help); });
    }

    static inline const HWND s_owner = Owner(WS_VISIBLE);
    static inline const HWND s_hidden = Owner(0);
    dialogs::HelpViewer help;
};

TEST_F(Dialogs, SettingsShowsAndStoresWhatItShows) {
    // The preamble is longer than the box takes: kept as it is.
    base::Settings settings{.WeightFormat = "0.00",
                            .SelectedUnits = 13,
                            .Preamble = std::string(300, 'p'),
                            .SampleRate = 200,
                            .InterCharacterDelay = 20};
    base::Settings expected = settings;
    const bool ok = Settings(settings, [&](HWND dlg) {
        EXPECT_EQ(::SendMessageA(dlg, WM_GETICON, ICON_BIG, 0), ::SendMessageA(s_owner, WM_GETICON, ICON_BIG, 0));
        for (const auto& [id, text] : {std::pair{IDC_SET_UNITS, "Pounds and Ounces"},
                                       {IDC_SET_HOTKEY, "F9"},
                                       {IDC_SET_FORMAT, "0.00"},
                                       {IDC_SET_SAMPLE_RATE, "200 ms"},
                                       {IDC_SET_KEY_DELAY, "20 ms"}}) {
            EXPECT_EQ(e2e::Text(::GetDlgItem(dlg, id)), text) << id;
        }
        // Narrow with the advanced column hidden; "Advanced..." widens it and narrows it again;
        // at the screen's right edge the wide dialog moves left rather than off the screen.
        RECT work{};
        (void)::SystemParametersInfoA(SPI_GETWORKAREA, 0, &work, 0);
        for (int i = 0; i < 4; ++i) {
            SCOPED_TRACE(i);
            EXPECT_EQ(Width(dlg), e2e::Px(i % 2 == 1 ? 9120 : 4725));
            EXPECT_EQ(e2e::Visible(::GetDlgItem(dlg, IDC_SET_SAMPLE_RATE)), i % 2 == 1);
            EXPECT_LE(e2e::WindowRect(dlg).right, work.right);
            if (i == 2) {
                (void)::SetWindowPos(dlg, nullptr, work.right - Width(dlg) - 4, 10, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
            }
            (void)Send(dlg, IDC_SET_ADVANCED, BM_CLICK);
        }

        // Three tooltips; the mouse resting on the hotkey box shows its own.
        HWND tip = nullptr;
        while ((tip = ::FindWindowExA(nullptr, tip, TOOLTIPS_CLASSA, nullptr)) != nullptr &&
               ::GetWindow(tip, GW_OWNER) != dlg) {
        }
        ASSERT_NE(tip, nullptr);
        EXPECT_EQ(::SendMessageA(tip, TTM_GETTOOLCOUNT, 0, 0), 3);
        const RECT box = e2e::WindowRect(::GetDlgItem(dlg, IDC_SET_HOTKEY));
        for (int step = 0; step < 3; ++step) {
            (void)::SetCursorPos(box.left + 20 + step * 4, (box.top + box.bottom) / 2);
            ::Sleep(50);
        }
        EXPECT_TRUE(e2e::WaitUntil([&] { return e2e::Visible(tip); }, 3s)) << "no tooltip over the hotkey box";
        (void)::SetCursorPos(0, 0);

        // The hotkey box: the focus selects its text, and keys the dialog would act on (F1 asks
        // for help, Alt+F4 and Enter close it) become the hotkey instead; Tab moves on.
        ASSERT_TRUE(FocusOn(dlg, IDC_SET_HOTKEY));
        DWORD from = 1, to = 0;
        (void)Send(dlg, IDC_SET_HOTKEY, EM_GETSEL, reinterpret_cast<WPARAM>(&from), reinterpret_cast<LPARAM>(&to));
        EXPECT_TRUE(from == 0 && to == 2) << from << "-" << to;
        const std::pair<std::vector<BYTE>, const char*> presses[] = {
            {{VK_F1}, "F1"}, {{VK_MENU, VK_F4}, "ALT+F4"}, {{VK_RETURN}, "ENTER"}, {{VK_CONTROL, VK_F9}, "CTRL+F9"}};
        for (const auto& [keys, text] : presses) {
            EXPECT_TRUE(Keys(keys, dlg, IDC_SET_HOTKEY, text)) << text;
            ASSERT_TRUE(::IsWindow(dlg)) << text << " closed the dialog";
        }
        e2e::Chord({VK_TAB});
        EXPECT_TRUE(e2e::WaitUntil([&] { return ::GetParent(Focused(dlg)) == ::GetDlgItem(dlg, IDC_SET_FORMAT); }, 2s));
        EXPECT_EQ(e2e::Text(::GetDlgItem(dlg, IDC_SET_HOTKEY)), "CTRL+F9");

        // A token chosen from the open list replaces the selection; chosen again, it goes in again.
        (void)Send(dlg, IDC_SET_POSTAMBLE, WM_SETTEXT, 0, reinterpret_cast<LPARAM>("12345"));
        (void)Send(dlg, IDC_SET_POSTAMBLE, EM_SETSEL, 1, 4);
        (void)FocusOn(dlg, IDC_SET_POSTAMBLE_TOKENS);
        (void)Send(dlg, IDC_SET_POSTAMBLE_TOKENS, CB_SETCURSEL, 0);
        const auto dropped = [&] { return Send(dlg, IDC_SET_POSTAMBLE_TOKENS, CB_GETDROPPEDSTATE) != 0; };
        e2e::Chord({VK_F4});
        EXPECT_TRUE(e2e::WaitUntil(dropped, 2s));
        e2e::Chord({VK_DOWN});
        EXPECT_TRUE(Keys({VK_RETURN}, dlg, IDC_SET_POSTAMBLE, "1{TAB}5"));
        e2e::Chord({VK_F4});
        EXPECT_TRUE(e2e::WaitUntil(dropped, 2s));
        EXPECT_TRUE(Keys({VK_RETURN}, dlg, IDC_SET_POSTAMBLE, "1{TAB}{TAB}5"));

        // The hotkey check box greys out exactly its six controls.
        (void)Send(dlg, IDC_SET_HOTKEY_ENABLED, BM_CLICK);
        for (int id : {IDC_SET_PREAMBLE_LABEL, IDC_SET_POSTAMBLE_LABEL, IDC_SET_HOTKEY_LABEL, IDC_SET_HOTKEY,
                       IDC_SET_PREAMBLE, IDC_SET_POSTAMBLE, IDC_SET_PREAMBLE_TOKENS, IDC_SET_FORMAT}) {
            EXPECT_EQ(e2e::Enabled(::GetDlgItem(dlg, id)), id == IDC_SET_PREAMBLE_TOKENS || id == IDC_SET_FORMAT) << id;
        }
        (void)Send(dlg, IDC_SET_HOTKEY_ENABLED, BM_CLICK);

        (void)Send(dlg, IDC_SET_FORMAT, WM_SETTEXT, 0, reinterpret_cast<LPARAM>("0.0;\"minus \"0.0"));
        (void)Send(dlg, IDC_SET_UNITS, CB_SETCURSEL, 3);
        (void)Send(dlg, IDC_SET_LOAD_WITH_WINDOWS, BM_CLICK);
        (void)FocusOn(dlg, IDC_SET_INCLUDE_UNITS);
        e2e::Chord({VK_RETURN});  // on a check box: the default button, "OK"
    });
    EXPECT_TRUE(ok);
    expected.HotKey = 632;
    expected.Hotkeystr = "CTRL+F9";
    expected.Postamble = "1{TAB}{TAB}5";
    expected.WeightFormat = "0.0;\"minus \"0.0";
    expected.SelectedUnits = 3;
    expected.LoadWithWindows = true;
    EXPECT_EQ(Tie(settings), Tie(expected));
}

// Changed, a hotkey captured, and F1 outside the hotkey box asks for the help file (which this
// program has not); then Esc: nothing changes.
TEST_F(Dialogs, SettingsEscChangesNothing) {
    base::Settings settings;
    EXPECT_FALSE(Settings(settings, [](HWND dlg) {
        (void)Send(dlg, IDC_SET_POSTAMBLE, WM_SETTEXT, 0, reinterpret_cast<LPARAM>("changed"));
        ASSERT_TRUE(FocusOn(dlg, IDC_SET_HOTKEY));
        EXPECT_TRUE(Keys({VK_SHIFT, 'A'}, dlg, IDC_SET_HOTKEY, "SHIFT+A"))
            << e2e::Text(::GetDlgItem(dlg, IDC_SET_HOTKEY)) << " foreground " << (::GetForegroundWindow() == dlg);
        (void)FocusOn(dlg, IDC_SET_POSTAMBLE);
        e2e::Chord({VK_F1});
        HWND box = nullptr;
        EXPECT_TRUE(e2e::WaitUntil([&] { return (box = ::FindWindowA(nullptr, "Pesora Help")) != nullptr; }, 5s));
        EXPECT_NE(e2e::Text(::GetDlgItem(box, 0xFFFF)).find("PesoraHelp.chm"), std::string::npos);
        (void)::SendMessageA(box, WM_COMMAND, IDOK, 0);
        (void)FocusOn(dlg, IDC_SET_POSTAMBLE);
        e2e::Chord({VK_ESCAPE});
    }));
    EXPECT_EQ(Tie(settings), Tie(base::Settings{}));
}

// The page "More..." in the running program: it shows what the settings file holds, refuses a port
// out of range with a message that names it and stays open, and what its OK and the dialog's OK
// took is in the file after the exit.
TEST_F(Dialogs, MorePageRoundTripsThroughTheSettingsFile) {
    e2e::Pesora pesora({.name = "MorePage",
                        .settings = e2e::SettingsText({{"StableOnly", "True"},
                                                       {"StableWaitMs", "1500"},
                                                       {"SettleMs", "700"},
                                                       {"AutoSendMin", "0.25"},
                                                       {"WebOrigins", "http://a.example"}})});
    ASSERT_TRUE(pesora.Started());
    const DWORD pid = pesora.process().Pid();
    ASSERT_TRUE(pesora.Menu(IDM_SETTINGS));
    HWND dlg = e2e::WaitForWindow(pid, "Pesora Settings", 10s);
    ASSERT_NE(dlg, nullptr);
    ASSERT_TRUE(e2e::WaitUntil([&] { return e2e::Visible(dlg); }, 5s));
    const auto click = [&](int id) {  // posted: the page is modal
        return e2e::Post(dlg, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), reinterpret_cast<LPARAM>(::GetDlgItem(dlg, id)));
    };
    ASSERT_TRUE(click(IDC_SET_ADVANCED));
    ASSERT_TRUE(e2e::WaitUntil([&] { return e2e::Visible(::GetDlgItem(dlg, IDC_SET_MORE)); }, 5s));
    ASSERT_TRUE(click(IDC_SET_MORE));
    HWND page = e2e::WaitForWindow(pid, "More Settings", 10s);
    ASSERT_NE(page, nullptr);
    std::string shown;
    for (int id : {IDC_MORE_STABLE_WAIT, IDC_MORE_SETTLE, IDC_MORE_MIN, IDC_MORE_WEB_PORT, IDC_MORE_WEB_ORIGINS}) {
        shown += e2e::Text(::GetDlgItem(page, id)) + " ";
    }
    for (int id : {IDC_MORE_STABLE_ONLY, IDC_MORE_AUTO_SEND}) {
        shown += std::to_string(e2e::Send(::GetDlgItem(page, id), BM_GETCHECK)) + " ";
    }
    EXPECT_EQ(shown, "1500 700 0.25 0 http://a.example 1 0 ");

    const auto setText = [&](int id, const char* text) {
        (void)::SendMessageA(::GetDlgItem(page, id), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text));
    };
    setText(IDC_MORE_WEB_PORT, "70000");
    (void)e2e::Send(::GetDlgItem(page, IDC_MORE_AUTO_SEND), BM_CLICK);
    ASSERT_TRUE(e2e::Post(page, WM_COMMAND, IDOK));
    HWND box = e2e::WaitForWindow(pid, "Pesora", 5s, "#32770");
    ASSERT_NE(box, nullptr) << "no refusal";
    EXPECT_EQ(e2e::MessageBoxText(box).rfind("Web port", 0), 0u) << e2e::MessageBoxText(box);
    ASSERT_TRUE(e2e::PressOk(box));
    ASSERT_TRUE(e2e::WaitUntil([&] { return !::IsWindow(box); }, 5s));
    EXPECT_TRUE(::IsWindow(page)) << "the page closed on a refused value";

    setText(IDC_MORE_WEB_PORT, "47391");
    setText(IDC_MORE_MIN, "1,5");
    ASSERT_TRUE(e2e::Post(page, WM_COMMAND, IDOK));
    ASSERT_TRUE(e2e::WaitUntil([&] { return !::IsWindow(page); }, 5s));
    ASSERT_TRUE(e2e::Post(dlg, WM_COMMAND, IDOK));
    ASSERT_TRUE(e2e::WaitUntil([&] { return !::IsWindow(dlg); }, 5s));
    ASSERT_TRUE(pesora.Exit());
    std::string stored;
    for (const char* key :
         {"StableOnly", "StableWaitMs", "AutoSend", "SettleMs", "AutoSendMin", "WebPort", "WebOrigins"}) {
        stored += pesora.Setting(key).value_or("none") + " ";
    }
    EXPECT_EQ(stored, "True 1500 True 700 1.5 47391 http://a.example ");
}

// The about box states the version of the running program (this one's own resource) and holds
// the hotkey while it is open: modal from the menu (Esc closes it), modeless from the
// notification area with the main window hidden (Enter closes it).
TEST_F(Dialogs, AboutBoxStatesTheVersionAndHoldsTheHotkeyWhileOpen) {
    bool suppressed = false;
    dialogs::AboutBox about(suppressed);
    for (const bool modal : {true, false}) {
        SCOPED_TRACE(modal ? "modal" : "modeless");
        auto drive = [&](HWND box) {
            EXPECT_EQ(e2e::Text(::GetDlgItem(box, IDC_ABOUT_VERSION)), "Pesora v2.5.7");
            EXPECT_TRUE(suppressed);
            (void)::SetForegroundWindow(box);
            e2e::Chord({static_cast<BYTE>(modal ? VK_ESCAPE : VK_RETURN)});
        };
        Driven("About Pesora", drive, [&] {
            if (modal) {
                about.ShowModal(s_owner);
                return 0;
            }
            // The program's own pump gives the modeless box its keyboard navigation.
            for (about.ShowModeless(s_hidden); about.Hwnd() != nullptr; ::Sleep(10)) {
                (void)base::win::DispatchPendingMessages();
            }
            return 0;
        });
        EXPECT_FALSE(suppressed);
    }
}

}  // namespace
