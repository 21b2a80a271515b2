// The settings dialog, the about box and the help viewer opened on their own and driven from a
// second thread with injected keys, as a user would: load, widths, hotkey capture, token
// insertion, OK, Esc and the close box, odd stored values, the about box modal and modeless,
// and a missing help file.
#include <windows.h>

#include <commctrl.h>

#include <atomic>
#include <cstdio>
#include <string>
#include <thread>

#include <gtest/gtest.h>

#include "base/win/MessagePump_win.h"
#include "dialogs/About_win.h"
#include "dialogs/DialogIds.h"
#include "dialogs/Help_win.h"
#include "dialogs/ProgramInfo.h"
#include "dialogs/SettingsDialog_win.h"
#include "dialogs/SettingsModel.h"

namespace {

bool g_sendSuppressed = false;  // read by the driver thread while the about box is open

// Checks run on the driver thread as well as the dialog's, so they are plain non-fatal
// failures that name what was expected.
void Expect(bool ok, const std::string& what) {
    EXPECT_TRUE(ok) << what;
}

void ExpectText(const std::string& actual, const std::string& expected, const std::string& what) {
    Expect(actual == expected, what + ": \"" + actual + "\" (want \"" + expected + "\")");
}

HWND WaitWindow(const char* caption) {
    for (int i = 0; i < 200; ++i) {
        if (HWND hwnd = ::FindWindowA(nullptr, caption)) {
            return hwnd;
        }
        ::Sleep(50);
    }
    Expect(false, std::string("window appears: ") + caption);
    return nullptr;
}

std::string Text(HWND hwnd) {
    char buffer[1024]{};
    (void)::SendMessageA(hwnd, WM_GETTEXT, sizeof(buffer), reinterpret_cast<LPARAM>(buffer));
    return buffer;
}

int Width(HWND hwnd) {
    RECT rect{};
    (void)::GetWindowRect(hwnd, &rect);
    return rect.right - rect.left;
}

void Key(BYTE vk, bool up) {
    ::keybd_event(vk, static_cast<BYTE>(::MapVirtualKeyA(vk, MAPVK_VK_TO_VSC)), up ? KEYEVENTF_KEYUP : 0, 0);
    ::Sleep(30);
}

// Presses the modifiers in order, taps the key, releases them in reverse.
void Chord(std::initializer_list<BYTE> modifiers, BYTE key) {
    for (BYTE m : modifiers) {
        Key(m, false);
    }
    if (key != 0) {
        Key(key, false);
        Key(key, true);
    }
    for (auto it = std::rbegin(modifiers); it != std::rend(modifiers); ++it) {
        Key(*it, true);
    }
    ::Sleep(250);
}

HWND Focused(HWND anyWindowOfThread) {
    GUITHREADINFO info{};
    info.cbSize = sizeof(info);
    (void)::GetGUIThreadInfo(::GetWindowThreadProcessId(anyWindowOfThread, nullptr), &info);
    return info.hwndFocus;
}

void FocusControl(HWND dialog, int id) {
    (void)::SetForegroundWindow(dialog);
    (void)::SendMessageA(dialog, WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(::GetDlgItem(dialog, id)), TRUE);
    ::Sleep(150);
}

int ScreenDpi() {
    HDC dc = ::GetDC(nullptr);
    const int dpi = ::GetDeviceCaps(dc, LOGPIXELSX);
    (void)::ReleaseDC(nullptr, dc);
    return dpi;
}

// First opening: checks load, widths, hotkey capture, token insertion, the hotkey check box, then OK
// through the Enter key.
void DriveSettingsOk() {
    const HWND dlg = WaitWindow("Pesora Settings");
    if (dlg == nullptr) {
        return;
    }
    ::Sleep(300);
    auto item = [dlg](int id) { return ::GetDlgItem(dlg, id); };
    const int dpi = ScreenDpi();
    const int narrow = dialogs::TwipsToPixels(dialogs::kNarrowWidthTwips, dpi);
    const int wide = dialogs::TwipsToPixels(dialogs::kWideWidthTwips, dpi);
    Expect(Width(dlg) == narrow, "opens " + std::to_string(narrow) + " px wide");
    Expect(!::IsWindowVisible(item(IDC_SET_SAMPLE_RATE)), "advanced column hidden when narrow");
    Expect(::SendMessageA(dlg, WM_GETICON, ICON_BIG, 0) != 0, "dialog has the owner's icon");
    ExpectText(Text(item(IDC_SET_SAMPLE_RATE)), "100 ms", "SampleRate 75 shows");
    ExpectText(Text(item(IDC_SET_KEY_DELAY)), "1 ms", "InterCharacterDelay 7 shows");
    ExpectText(Text(item(IDC_SET_UNITS)), "Pounds and Ounces", "SelectedUnits 13 shows");
    ExpectText(Text(item(IDC_SET_HOTKEY)), "F9", "hotkey box shows Hotkeystr");
    ExpectText(Text(item(IDC_SET_FORMAT)), "0.00", "format box shows WeightFormat");
    Expect(::SendMessageA(item(IDC_SET_PREAMBLE_TOKENS), CB_GETCOUNT, 0, 0) == 13,
           "the preamble token list holds 13 tokens");
    Expect(::SendMessageA(item(IDC_SET_FORMAT), CB_GETCOUNT, 0, 0) == 5, "cboFormat holds 5 expressions");
    // The three tooltips, and one of them shown by moving the mouse over the hotkey box.
    HWND tooltip = nullptr;
    while ((tooltip = ::FindWindowExA(nullptr, tooltip, TOOLTIPS_CLASSA, nullptr)) != nullptr &&
           ::GetWindow(tooltip, GW_OWNER) != dlg) {
    }
    Expect(tooltip != nullptr && ::SendMessageA(tooltip, TTM_GETTOOLCOUNT, 0, 0) == 3, "three tooltips");
    RECT box{};
    (void)::GetWindowRect(item(IDC_SET_HOTKEY), &box);
    const int sx = ::GetSystemMetrics(SM_CXSCREEN);
    const int sy = ::GetSystemMetrics(SM_CYSCREEN);
    for (int step = 0; step < 3; ++step) {
        ::mouse_event(MOUSEEVENTF_MOVE | MOUSEEVENTF_ABSOLUTE, ((box.left + 20 + step * 4) * 65535) / sx,
                      (((box.top + box.bottom) / 2) * 65535) / sy, 0, 0);
        ::Sleep(100);
    }
    ::Sleep(1500);
    Expect(tooltip != nullptr && ::IsWindowVisible(tooltip), "hovering the hotkey box shows its tooltip");
    ::mouse_event(MOUSEEVENTF_MOVE | MOUSEEVENTF_ABSOLUTE, 65000, 65000, 0, 0);

    (void)::SendMessageA(item(IDC_SET_ADVANCED), BM_CLICK, 0, 0);
    ::Sleep(200);
    Expect(Width(dlg) == wide, "Advanced... widens to " + std::to_string(wide) + " px");
    Expect(::IsWindowVisible(item(IDC_SET_SAMPLE_RATE)) != FALSE, "advanced column shown when wide");
    (void)::SendMessageA(item(IDC_SET_ADVANCED), BM_CLICK, 0, 0);
    ::Sleep(200);
    Expect(Width(dlg) == narrow, "Advanced... twice returns to the narrow width");
    {
        RECT work{};
        (void)::SystemParametersInfoA(SPI_GETWORKAREA, 0, &work, 0);
        (void)::SetWindowPos(dlg, nullptr, work.right - narrow - 4, 10, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
        (void)::SendMessageA(item(IDC_SET_ADVANCED), BM_CLICK, 0, 0);
        ::Sleep(200);
        RECT rect{};
        (void)::GetWindowRect(dlg, &rect);
        Expect(rect.right <= work.right && Width(dlg) == wide, "widening at the screen's right edge stays on screen");
        (void)::SendMessageA(item(IDC_SET_ADVANCED), BM_CLICK, 0, 0);
        (void)::SetWindowPos(dlg, nullptr, 60, 10, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
        ::Sleep(200);
    }

    // Hotkey capture with injected keys.
    FocusControl(dlg, IDC_SET_HOTKEY);
    Expect(Focused(dlg) == item(IDC_SET_HOTKEY), "hotkey box has the focus");
    DWORD selStart = 1;
    DWORD selEnd = 0;
    (void)::SendMessageA(item(IDC_SET_HOTKEY), EM_GETSEL, reinterpret_cast<WPARAM>(&selStart),
                         reinterpret_cast<LPARAM>(&selEnd));
    Expect(selStart == 0 && selEnd == 2, "focus selects the whole hotkey text");
    Chord({}, VK_F1);
    ExpectText(Text(item(IDC_SET_HOTKEY)), "F1", "F1 in the hotkey box becomes the hotkey");
    Chord({VK_CONTROL}, VK_F9);
    ExpectText(Text(item(IDC_SET_HOTKEY)), "CTRL+F9", "Ctrl then F9");
    Chord({VK_CONTROL}, 0);
    ExpectText(Text(item(IDC_SET_HOTKEY)), "CTRL+F9", "Ctrl alone changes nothing");
    Chord({VK_MENU, VK_CONTROL, VK_SHIFT}, 'X');
    ExpectText(Text(item(IDC_SET_HOTKEY)), "SHIFT+CTRL+ALT+X", "Alt+Ctrl+Shift+X");
    Chord({}, VK_BACK);
    ExpectText(Text(item(IDC_SET_HOTKEY)), "BACKSPACE", "Backspace");
    Chord({}, VK_DELETE);
    ExpectText(Text(item(IDC_SET_HOTKEY)), "DELETE", "Delete");
    Chord({}, VK_F10);
    ExpectText(Text(item(IDC_SET_HOTKEY)), "F10", "F10 (a system key)");
    Chord({VK_MENU}, VK_F4);
    ExpectText(Text(item(IDC_SET_HOTKEY)), "ALT+F4", "Alt+F4 is captured");
    Expect(::IsWindow(dlg) != FALSE, "Alt+F4 in the hotkey box does not close the dialog");
    Chord({}, VK_RETURN);
    ExpectText(Text(item(IDC_SET_HOTKEY)), "ENTER", "Enter in the hotkey box is captured");
    Expect(::IsWindow(dlg) != FALSE, "Enter in the hotkey box does not close the dialog");
    Chord({}, 'Q');
    ExpectText(Text(item(IDC_SET_HOTKEY)), "Q", "a typed letter becomes the key, not text");
    (void)::SendMessageA(item(IDC_SET_HOTKEY), WM_PASTE, 0, 0);
    ExpectText(Text(item(IDC_SET_HOTKEY)), "Q", "paste does not reach the box");
    Chord({VK_CONTROL}, VK_F9);
    Chord({}, VK_TAB);
    // The editable combo box takes the focus in its own edit child.
    const HWND afterTab = Focused(dlg);
    Expect(afterTab == item(IDC_SET_FORMAT) || ::GetParent(afterTab) == item(IDC_SET_FORMAT),
           "Tab moves on from the hotkey box to the format box");
    ExpectText(Text(item(IDC_SET_HOTKEY)), "CTRL+F9", "Tab leaves the hotkey as it was");

    // Token insertion: {YEAR} between A and B, then the same item once more.
    (void)::SendMessageA(item(IDC_SET_PREAMBLE), EM_SETSEL, 1, 1);
    FocusControl(dlg, IDC_SET_PREAMBLE_TOKENS);
    (void)::SendMessageA(item(IDC_SET_PREAMBLE_TOKENS), CB_SETCURSEL, 6, 0);
    Chord({}, VK_F4);
    Chord({}, VK_DOWN);
    Chord({}, VK_RETURN);
    ExpectText(Text(item(IDC_SET_PREAMBLE)), "A{YEAR}B",
               "{YEAR} chosen in the preamble token list goes in at the caret");
    ExpectText(Text(item(IDC_SET_PREAMBLE_TOKENS)), "{YEAR}", "the preamble token list keeps showing the chosen item");
    Chord({}, VK_F4);
    Chord({}, VK_RETURN);
    ExpectText(Text(item(IDC_SET_PREAMBLE)), "A{YEAR}{YEAR}B", "choosing the same item again inserts again");
    (void)::SendMessageA(item(IDC_SET_POSTAMBLE), WM_SETTEXT, 0, reinterpret_cast<LPARAM>("12345"));
    (void)::SendMessageA(item(IDC_SET_POSTAMBLE), EM_SETSEL, 1, 4);
    FocusControl(dlg, IDC_SET_POSTAMBLE_TOKENS);
    (void)::SendMessageA(item(IDC_SET_POSTAMBLE_TOKENS), CB_SETCURSEL, 0, 0);
    Chord({}, VK_F4);
    Chord({}, VK_DOWN);
    Chord({}, VK_RETURN);
    ExpectText(Text(item(IDC_SET_POSTAMBLE)), "1{TAB}5",
               "{TAB} chosen in the postamble token list replaces the selection");

    // the hotkey check box greys out exactly its six controls.
    (void)::SendMessageA(item(IDC_SET_HOTKEY_ENABLED), BM_CLICK, 0, 0);
    ::Sleep(100);
    bool allOff = true;
    for (int id : {IDC_SET_PREAMBLE_LABEL, IDC_SET_POSTAMBLE_LABEL, IDC_SET_HOTKEY_LABEL, IDC_SET_HOTKEY,
                   IDC_SET_PREAMBLE, IDC_SET_POSTAMBLE}) {
        allOff = allOff && !::IsWindowEnabled(item(id));
    }
    Expect(allOff, "unchecking the hotkey check box disables its six controls");
    Expect(::IsWindowEnabled(item(IDC_SET_PREAMBLE_TOKENS)) && ::IsWindowEnabled(item(IDC_SET_FORMAT)),
           "the other controls stay enabled");
    (void)::SendMessageA(item(IDC_SET_HOTKEY_ENABLED), BM_CLICK, 0, 0);
    ::Sleep(100);
    Expect(::IsWindowEnabled(item(IDC_SET_HOTKEY)) != FALSE, "checking the hotkey check box enables them again");

    (void)::SendMessageA(item(IDC_SET_FORMAT), WM_SETTEXT, 0,
                         reinterpret_cast<LPARAM>("0.000;\"minus \"0.000;\"empty\""));
    (void)::SendMessageA(item(IDC_SET_UNITS), CB_SETCURSEL, 3, 0);
    (void)::SendMessageA(item(IDC_SET_LOAD_WITH_WINDOWS), BM_CLICK, 0, 0);
    FocusControl(dlg, IDC_SET_INCLUDE_UNITS);
    Chord({}, VK_RETURN);  // Enter on a check box presses the default button, "OK"
}

// Second opening: change everything, then Esc.
void DriveSettingsCancel(int how) {
    const HWND dlg = WaitWindow("Pesora Settings");
    if (dlg == nullptr) {
        return;
    }
    ::Sleep(300);
    auto item = [dlg](int id) { return ::GetDlgItem(dlg, id); };
    (void)::SendMessageA(item(IDC_SET_PREAMBLE), WM_SETTEXT, 0, reinterpret_cast<LPARAM>("changed"));
    (void)::SendMessageA(item(IDC_SET_FORMAT), WM_SETTEXT, 0, reinterpret_cast<LPARAM>("#"));
    (void)::SendMessageA(item(IDC_SET_SAMPLE_RATE), CB_SETCURSEL, 5, 0);
    (void)::SendMessageA(item(IDC_SET_KEY_DELAY), CB_SETCURSEL, 6, 0);
    (void)::SendMessageA(item(IDC_SET_UNITS), CB_SETCURSEL, 1, 0);
    for (int id : {IDC_SET_HOTKEY_ENABLED, IDC_SET_INCLUDE_UNITS, IDC_SET_COMMA_SEPARATOR, IDC_SET_LOAD_WITH_WINDOWS,
                   IDC_SET_MINIMIZE_AT_STARTUP}) {
        (void)::SendMessageA(item(id), BM_CLICK, 0, 0);
    }
    (void)::SendMessageA(item(IDC_SET_HOTKEY_ENABLED), BM_CLICK, 0, 0);  // back on, so the box takes keys
    FocusControl(dlg, IDC_SET_HOTKEY);
    Chord({VK_SHIFT}, 'A');
    ExpectText(Text(item(IDC_SET_HOTKEY)), "SHIFT+A", "Shift+A captured before cancelling");
    if (how == 0) {
        // F1 outside the hotkey box asks for help; beside the probe there is no help file.
        FocusControl(dlg, IDC_SET_PREAMBLE);
        Chord({}, VK_F1);
        if (HWND box = WaitWindow("Pesora Help")) {
            ::Sleep(200);
            const std::string message = Text(::GetDlgItem(box, 0xFFFF));
            Expect(message.find("PesoraHelp.chm") != std::string::npos, "F1 in the dialog asks for the help file");
            (void)::SendMessageA(box, WM_COMMAND, IDOK, 0);
            ::Sleep(200);
        }
        FocusControl(dlg, IDC_SET_PREAMBLE);
        Chord({}, VK_ESCAPE);
    } else {
        (void)::PostMessageA(dlg, WM_SYSCOMMAND, SC_CLOSE, 0);
    }
}

void DriveAbout(bool modal) {
    const HWND box = WaitWindow("About Pesora");
    if (box == nullptr) {
        return;
    }
    ::Sleep(300);
    ExpectText(Text(::GetDlgItem(box, IDC_ABOUT_VERSION)), "Pesora v2.5.7",
               modal ? "modal about box states the version" : "modeless about box states the version");
    Expect(g_sendSuppressed, "SendSuppressed is set while the about box is open");
    if (modal) {
        (void)::SetForegroundWindow(box);
        ::Sleep(100);
        Chord({}, VK_ESCAPE);
    } else {
        (void)::SetForegroundWindow(box);
        ::Sleep(100);
        Chord({}, VK_RETURN);
    }
}

void DriveHelpMissing() {
    const HWND box = WaitWindow("Pesora Help");
    if (box == nullptr) {
        return;
    }
    ::Sleep(300);
    const HWND text = ::GetDlgItem(box, 0xFFFF);
    const std::string message = text != nullptr ? Text(text) : std::string();
    Expect(message.find("could not be found") != std::string::npos, "missing help file gives a message");
    (void)::PostMessageA(box, WM_COMMAND, IDOK, 0);
}

LRESULT CALLBACK OwnerProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    return ::DefWindowProcA(hwnd, msg, wParam, lParam);
}

}  // namespace

TEST(Dialogs, SettingsAboutAndHelpAnswerKeysAndKeepValues) {
    const HINSTANCE instance = ::GetModuleHandleA(nullptr);
    // The help file is built beside Pesora.exe, one folder above the test programs.
    const std::string helpFile = dialogs::HelpFilePath(dialogs::RunningProgramFolder() + "\\..");

    WNDCLASSA wc{};
    wc.lpfnWndProc = &OwnerProc;
    wc.hInstance = instance;
    wc.hIcon = ::LoadIconA(nullptr, IDI_INFORMATION);
    wc.hCursor = ::LoadCursorA(nullptr, IDC_ARROW);
    wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
    wc.lpszClassName = "PesoraProbeOwner";
    (void)::RegisterClassA(&wc);
    const HWND owner = ::CreateWindowExA(0, wc.lpszClassName, "Pesora", WS_OVERLAPPEDWINDOW, 40, 40, 380, 300, nullptr,
                                         nullptr, instance, nullptr);
    (void)::ShowWindow(owner, SW_SHOW);

    base::Settings settings;
    settings.SampleRate = 75;
    settings.InterCharacterDelay = 7;
    settings.SelectedUnits = 13;
    settings.Preamble = "AB";
    settings.WeightFormat = "0.00";
    dialogs::HelpViewer help;

    // 1. OK after changes.
    std::thread driver(DriveSettingsOk);
    const bool ok = dialogs::ShowSettingsDialog(owner, settings, &help);
    driver.join();
    Expect(ok, "Enter on a check box confirms (returns true)");
    Expect(settings.HotKey == 632, "HotKey stored: " + std::to_string(settings.HotKey));
    ExpectText(settings.Hotkeystr, "CTRL+F9", "Hotkeystr stored");
    Expect(settings.SampleRate == 100, "SampleRate 75 stored as " + std::to_string(settings.SampleRate));
    Expect(settings.InterCharacterDelay == 1,
           "InterCharacterDelay 7 stored as " + std::to_string(settings.InterCharacterDelay));
    ExpectText(settings.Preamble, "A{YEAR}{YEAR}B", "Preamble stored");
    ExpectText(settings.Postamble, "1{TAB}5", "Postamble stored");
    ExpectText(settings.WeightFormat, "0.000;\"minus \"0.000;\"empty\"", "own format expression stored exactly");
    Expect(settings.SelectedUnits == 3, "SelectedUnits stored: " + std::to_string(settings.SelectedUnits));
    Expect(settings.LoadWithWindows, "LoadWithWindows stored");
    Expect(settings.HotkeyEnabled, "HotkeyEnabled stored");

    // 2. Esc, 3. the close box: nothing changes.
    for (int how = 0; how < 2; ++how) {
        const base::Settings before = settings;
        std::thread cancel(DriveSettingsCancel, how);
        const bool confirmed = dialogs::ShowSettingsDialog(owner, settings, &help);
        cancel.join();
        const std::string label = how == 0 ? "Esc" : "close box";
        Expect(!confirmed, label + " returns false");
        Expect(settings.HotKey == before.HotKey && settings.Hotkeystr == before.Hotkeystr &&
                   settings.Preamble == before.Preamble && settings.WeightFormat == before.WeightFormat &&
                   settings.SampleRate == before.SampleRate &&
                   settings.InterCharacterDelay == before.InterCharacterDelay &&
                   settings.SelectedUnits == before.SelectedUnits && settings.HotkeyEnabled == before.HotkeyEnabled &&
                   settings.IncludeUnits == before.IncludeUnits && settings.CommaSeparator == before.CommaSeparator &&
                   settings.LoadWithWindows == before.LoadWithWindows &&
                   settings.MinimizeAtStartup == before.MinimizeAtStartup,
               label + " leaves every setting unchanged");
    }

    // 4. A hand-edited settings record with values no list holds and a very long text.
    {
        base::Settings odd;
        odd.Preamble = std::string(600, 'p');
        odd.Hotkeystr = std::string(400, 'h');
        odd.SelectedUnits = 99;
        odd.SampleRate = -5;
        odd.InterCharacterDelay = 1000000;
        std::thread closer([] {
            if (HWND dlg = WaitWindow("Pesora Settings")) {
                ::Sleep(300);
                (void)::PostMessageA(dlg, WM_COMMAND, IDOK, 0);
            }
        });
        const bool confirmed = dialogs::ShowSettingsDialog(owner, odd, &help);
        closer.join();
        Expect(confirmed && odd.SelectedUnits == -1 && odd.SampleRate == 100 && odd.InterCharacterDelay == 1,
               "odd values: units -1, SampleRate 100, delay 1 after OK");
        Expect(odd.Preamble == std::string(600, 'p') && odd.Hotkeystr == std::string(400, 'h'),
               "long texts survive OK unchanged");
    }

    // 5. About box, modal then modeless.
    dialogs::AboutBox about(g_sendSuppressed);
    std::thread aboutDriver(DriveAbout, true);
    about.ShowModal(owner);
    aboutDriver.join();
    Expect(!g_sendSuppressed, "closing the modal about box clears SendSuppressed");

    // From the notification area the main window is minimised and hidden.
    (void)::ShowWindow(owner, SW_MINIMIZE);
    (void)::ShowWindow(owner, SW_HIDE);
    std::thread modelessDriver(DriveAbout, false);
    about.ShowModeless(owner);
    Expect(about.Hwnd() != nullptr && ::IsWindowVisible(about.Hwnd()),
           "modeless about box shows while the main window is hidden");
    MSG msg{};
    const DWORD start = ::GetTickCount();
    while (about.Hwnd() != nullptr && ::GetTickCount() - start < 15000) {
        (void)base::win::DispatchPendingMessages();
        ::Sleep(10);
    }
    modelessDriver.join();
    Expect(about.Hwnd() == nullptr, "Enter closes the modeless about box");
    Expect(!g_sendSuppressed, "closing the modeless about box clears SendSuppressed");
    (void)::ShowWindow(owner, SW_RESTORE);

    // 6. Help: a missing file, then the real one.
    std::thread helpDriver(DriveHelpMissing);
    Expect(!help.Show(owner, "C:\\nowhere\\PesoraHelp.chm"), "missing help file reports failure");
    helpDriver.join();
    const bool shown = help.Show(owner, helpFile);
    if (shown) {
        const DWORD until = ::GetTickCount() + 3000;
        while (::GetTickCount() < until) {
            while (::PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
                (void)::TranslateMessage(&msg);
                (void)::DispatchMessageA(&msg);
            }
            ::Sleep(10);
        }
    }
}
