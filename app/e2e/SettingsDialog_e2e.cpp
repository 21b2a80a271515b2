// The settings dialog opened from the running Pesora's menu: the hotkey captured from real key
// events, changes confirmed with "OK" taking effect at once (weight units, the hotkey, the read
// interval) and reaching the settings file at exit, and "Cancel" leaving everything as it was.
#include <gtest/gtest.h>

#include "AppE2e.h"
#include "E2eUi.h"
#include "VirtualScale.h"
#include "dialogs/DialogIds.h"

namespace {

using namespace std::chrono_literals;

int Px(int twips) {
    return (twips * appe2e::ScreenDpi() + 720) / 1440;
}

// A copy of Pesora under its own name with a fresh settings file.
struct Copy {
    std::string name;
    std::string exe;
    appe2e::Running running;

    explicit Copy(std::string exeName) : name(std::move(exeName)) {
        exe = e2e::InstallPesora(e2e::FreshFolder(name), name + ".exe");
        e2e::DeleteFileAt(e2e::SettingsFileFor(name));
    }
    bool Start() {
        running = appe2e::StartAndWait(exe);
        return running.main != nullptr && e2e::WaitUntil([&] { return e2e::Visible(running.main); }, 10s);
    }
    HWND Main() const { return running.main; }
    // Settings... on the menu bar; the dialog, or nullptr.
    HWND OpenSettings() {
        if (!e2e::ClickMenu(running.main, IDM_SETTINGS)) {
            return nullptr;
        }
        HWND dialog = e2e::WaitForWindow(running.process.Pid(), "Pesora Settings", 10s);
        if (dialog != nullptr) {
            (void)e2e::WaitUntil([&] { return e2e::Visible(dialog); }, 5s);
        }
        return dialog;
    }
    std::vector<std::string> ExitAndReadSettings() {
        EXPECT_TRUE(appe2e::ExitThroughMenu(running));
        return e2e::IniSectionLines(e2e::SettingsFileFor(name), "Settings");
    }
    ~Copy() {
        if (running.process.Running() && running.main != nullptr) {
            e2e::ClickMenu(running.main, IDM_EXIT);
        }
        (void)running.process.WaitOrKill();
        e2e::DeleteFileAt(e2e::SettingsFileFor(name));
    }
};

bool Press(HWND dialog, int buttonId) {
    e2e::Send(e2e::Control(dialog, buttonId), BM_CLICK);
    return e2e::WaitUntil([&] { return !::IsWindow(dialog); }, 5s);
}

void Choose(HWND dialog, int comboId, int index) {
    HWND combo = e2e::Control(dialog, comboId);
    e2e::Send(combo, CB_SETCURSEL, static_cast<WPARAM>(index));
    e2e::Send(dialog, WM_COMMAND, MAKEWPARAM(comboId, CBN_SELCHANGE), reinterpret_cast<LPARAM>(combo));
}

int Selected(HWND dialog, int comboId) {
    return static_cast<int>(e2e::Send(e2e::Control(dialog, comboId), CB_GETCURSEL));
}

bool Checked(HWND dialog, int id) {
    return e2e::Send(e2e::Control(dialog, id), BM_GETCHECK) == BST_CHECKED;
}

// Real key presses into the hotkey box of the open dialog.
TEST(SettingsDialog, HotkeyCapturedFromKeyPresses) {
    struct Case {
        int line;
        std::vector<BYTE> keys;
        std::string text;
        std::string code;
    } cases[] = {
        {__LINE__, {VK_CONTROL, VK_F9}, "CTRL+F9", "632"},
        {__LINE__, {VK_MENU, VK_CONTROL, VK_SHIFT, 'X'}, "SHIFT+CTRL+ALT+X", "1880"},
        {__LINE__, {VK_BACK}, "BACKSPACE", "8"},
        {__LINE__, {VK_DELETE}, "DELETE", "46"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.line);
        Copy copy("DlgKeys");
        ASSERT_TRUE(copy.Start());
        HWND dialog = copy.OpenSettings();
        ASSERT_NE(dialog, nullptr);
        HWND box = e2e::Control(dialog, IDC_SET_HOTKEY);
        ASSERT_EQ(e2e::Text(box), "F9");
        ASSERT_TRUE(uie2e::ClickInto(box));
        // A letter becomes the hotkey rather than typed text; a modifier on its own changes nothing.
        uie2e::Chord({'Q'});
        EXPECT_TRUE(e2e::WaitUntil([&] { return e2e::Text(box) == "Q"; }, 3s)) << e2e::Text(box);
        uie2e::Chord({VK_CONTROL});
        e2e::Send(box, WM_NULL);  // the presses have been handled
        EXPECT_EQ(e2e::Text(box), "Q");
        uie2e::Chord(c.keys);
        EXPECT_TRUE(e2e::WaitUntil([&] { return e2e::Text(box) == c.text; }, 3s)) << e2e::Text(box);
        ASSERT_TRUE(Press(dialog, IDOK));
        const auto lines = copy.ExitAndReadSettings();
        EXPECT_EQ(appe2e::ValueIn(lines, "HotKey"), c.code);
        EXPECT_EQ(appe2e::ValueIn(lines, "Hotkeystr"), c.text);
    }
}

// Keys that arrive as system keys (F10, anything with Alt) are captured like any other and do
// not go on to the dialog's menu handling. Then a token from the list into the postamble.
TEST(SettingsDialog, SystemKeysAreCapturedLikeAnyOther) {
    Copy copy("DlgSysKeys");
    ASSERT_TRUE(copy.Start());
    HWND dialog = copy.OpenSettings();
    ASSERT_NE(dialog, nullptr);
    HWND box = e2e::Control(dialog, IDC_SET_HOTKEY);
    ASSERT_TRUE(uie2e::ClickInto(box));
    struct Step {
        int line;
        std::vector<BYTE> keys;
        std::string text;
    } steps[] = {
        {__LINE__, {VK_F10}, "F10"},
        {__LINE__, {VK_SHIFT, '7'}, "SHIFT+7"},
        {__LINE__, {VK_MENU, 'A'}, "ALT+A"},
    };
    for (const Step& s : steps) {
        SCOPED_TRACE(s.line);
        uie2e::Chord(s.keys);
        EXPECT_TRUE(e2e::WaitUntil([&] { return e2e::Text(box) == s.text; }, 3s)) << e2e::Text(box);
        EXPECT_EQ(uie2e::FocusOf(dialog), box);  // still in the box, no menu mode
    }

    // A token chosen from the list with the keyboard lands at the caret of the postamble.
    HWND postamble = e2e::Control(dialog, IDC_SET_POSTAMBLE);
    e2e::Send(postamble, WM_SETTEXT, 0, reinterpret_cast<LPARAM>("AB"));
    e2e::Send(postamble, EM_SETSEL, 1, 1);
    HWND tokens = e2e::Control(dialog, IDC_SET_POSTAMBLE_TOKENS);
    ASSERT_TRUE(uie2e::ClickInto(tokens));  // a click opens the drop-down list
    for (int i = 0; i < 8; ++i) {           // to the eighth item, "{YEAR}"
        uie2e::Chord({VK_DOWN});
    }
    uie2e::Chord({VK_RETURN});
    EXPECT_TRUE(e2e::WaitUntil([&] { return e2e::Text(postamble) == "A{YEAR}B"; }, 3s)) << e2e::Text(postamble);
    ASSERT_TRUE(::IsWindow(dialog)) << "Enter in the list closed the dialog";

    ASSERT_TRUE(Press(dialog, IDOK));
    const auto lines = copy.ExitAndReadSettings();
    EXPECT_EQ(appe2e::ValueIn(lines, "HotKey"), "1089");  // Alt (4) * 256 + 'A' (65)
    EXPECT_EQ(appe2e::ValueIn(lines, "Hotkeystr"), "ALT+A");
    EXPECT_EQ(appe2e::ValueIn(lines, "Postamble"), "A{YEAR}B");
}

// With a scale being read: units, hotkey and read interval changed in the dialog and confirmed.
TEST(SettingsDialog, ConfirmedChangesTakeEffectAtOnceAndAreSaved) {
    constexpr char kSerial[] = "5401";
    e2e::ScaleOptions options;
    options.serial = kSerial;
    options.friendlyName = "Dialog Scale";
    options.productId = 0x8541;
    std::string error;
    ASSERT_TRUE(e2e::Plug(options, &error)) << error;
    struct Unplugger {
        ~Unplugger() { (void)e2e::Unplug("5401"); }
    } unplug;
    ASSERT_TRUE(e2e::SetWeight(kSerial, 4, 3, -2, 125));  // 1.25 kg
    // Wine refreshes a process's raw-input device list at most every 2 s: a Pesora started
    // sooner could enumerate without the new scale.
    ::Sleep(2500);

    Copy copy("DlgApply");
    ASSERT_TRUE(copy.Start());
    HWND list = e2e::Control(copy.Main(), IDC_SCALE_LIST);
    HWND weight = e2e::Control(copy.Main(), IDC_WEIGHT);
    int row = -1;
    ASSERT_TRUE(e2e::WaitUntil(
        [&] {
            const auto rows = uie2e::ListRowsW(list);
            for (size_t i = 0; i < rows.size(); ++i) {
                if (rows[i].find("Dialog Scale") != std::string::npos) {
                    row = static_cast<int>(i);
                }
            }
            return row >= 0;
        },
        10s));
    e2e::Send(list, LB_SETCURSEL, static_cast<WPARAM>(row));
    e2e::Send(copy.Main(), WM_COMMAND, MAKEWPARAM(IDC_SCALE_LIST, LBN_SELCHANGE), reinterpret_cast<LPARAM>(list));
    ASSERT_TRUE(e2e::WaitUntil([&] { return e2e::Text(weight) == "1.25 kg"; }, 10s)) << e2e::Text(weight);

    HWND dialog = copy.OpenSettings();
    ASSERT_NE(dialog, nullptr);
    EXPECT_FALSE(e2e::Enabled(copy.Main()));  // modal
    EXPECT_EQ(Selected(dialog, IDC_SET_UNITS), 0);
    EXPECT_EQ(Selected(dialog, IDC_SET_SAMPLE_RATE), 0);  // 50 ms
    Choose(dialog, IDC_SET_UNITS, 2);                     // Grams
    Choose(dialog, IDC_SET_SAMPLE_RATE, 5);               // 500 ms
    ASSERT_TRUE(uie2e::ClickInto(e2e::Control(dialog, IDC_SET_HOTKEY)));
    uie2e::Chord({VK_CONTROL, VK_F9});
    ASSERT_TRUE(e2e::WaitUntil([&] { return e2e::Text(e2e::Control(dialog, IDC_SET_HOTKEY)) == "CTRL+F9"; }, 3s));
    // The hotkey is released while the dialog is open: F9 types nothing into another program.
    {
        uie2e::Target target;
        ASSERT_TRUE(target.Start("DialogTarget"));
        ASSERT_TRUE(target.Focus());
        uie2e::Chord({VK_F9});
        EXPECT_FALSE(e2e::WaitUntil([&] { return !target.Text().empty(); }, 2s)) << target.Text();
    }
    ASSERT_TRUE(Press(dialog, IDOK));

    // Units: the next read cycle shows grams.
    EXPECT_TRUE(e2e::WaitUntil([&] { return e2e::Text(weight) == "1250 g"; }, 5s)) << e2e::Text(weight);

    // The hotkey: F9 no longer sends, Ctrl+F9 does.
    {
        uie2e::Target target;
        ASSERT_TRUE(target.Start("DialogTarget"));
        ASSERT_TRUE(target.Focus());
        uie2e::Chord({VK_F9});
        EXPECT_FALSE(e2e::WaitUntil([&] { return !target.Text().empty(); }, 2s)) << target.Text();
        ASSERT_TRUE(target.Focus());
        uie2e::Chord({VK_CONTROL, VK_F9});
        EXPECT_TRUE(e2e::WaitUntil([&] { return target.Text() == "1250 g"; }, 5s)) << target.Text();
    }

    // The read interval: a figure, not a check; each tick now waits up to 450 ms for a report.
    const DWORD t0 = ::GetTickCount();
    ASSERT_TRUE(e2e::SetWeight(kSerial, 4, 3, -2, 200));
    EXPECT_TRUE(e2e::WaitUntil([&] { return e2e::Text(weight) == "2000 g"; }, 5s)) << e2e::Text(weight);
    std::printf("[ figure ] weight change shown after %lu ms at a 500 ms read interval\n",
                static_cast<unsigned long>(::GetTickCount() - t0));

    const auto lines = copy.ExitAndReadSettings();
    EXPECT_EQ(appe2e::ValueIn(lines, "SelectedUnits"), "2");
    EXPECT_EQ(appe2e::ValueIn(lines, "SampleRate"), "500");
    EXPECT_EQ(appe2e::ValueIn(lines, "HotKey"), "632");
    EXPECT_EQ(appe2e::ValueIn(lines, "Hotkeystr"), "CTRL+F9");
}

// Everything changed, then "Cancel": the dialog shows the old values again and the file gets
// what an untouched run writes. The dialog's two widths are photographed on the way.
TEST(SettingsDialog, CancelLeavesEverythingUnchanged) {
    std::vector<std::string> untouched;
    {
        Copy copy("DlgCancel");
        ASSERT_TRUE(copy.Start());
        untouched = copy.ExitAndReadSettings();
        ASSERT_FALSE(untouched.empty());
    }
    Copy copy("DlgCancel");
    ASSERT_TRUE(copy.Start());
    HWND dialog = copy.OpenSettings();
    ASSERT_NE(dialog, nullptr);
    const int narrow = e2e::WindowRect(dialog).right - e2e::WindowRect(dialog).left;
    EXPECT_EQ(narrow, Px(4725));
    (void)uie2e::Screenshot(dialog, "settings-basic");
    e2e::Send(e2e::Control(dialog, IDC_SET_ADVANCED), BM_CLICK);  // Advanced...
    EXPECT_TRUE(e2e::WaitUntil(
        [&] {
            const RECT r = e2e::WindowRect(dialog);
            return r.right - r.left == Px(9120);
        },
        3s));
    e2e::Send(dialog, WM_NULL);
    ::RedrawWindow(dialog, nullptr, nullptr, RDW_INVALIDATE | RDW_ALLCHILDREN | RDW_UPDATENOW);
    (void)uie2e::Screenshot(dialog, "settings-advanced");

    e2e::Send(e2e::Control(dialog, IDC_SET_PREAMBLE), WM_SETTEXT, 0, reinterpret_cast<LPARAM>("pre"));
    e2e::Send(e2e::Control(dialog, IDC_SET_FORMAT), WM_SETTEXT, 0, reinterpret_cast<LPARAM>("0.000"));
    Choose(dialog, IDC_SET_UNITS, 13);
    Choose(dialog, IDC_SET_SAMPLE_RATE, 3);
    Choose(dialog, IDC_SET_KEY_DELAY, 6);
    for (int id :
         {IDC_SET_HOTKEY_ENABLED, IDC_SET_INCLUDE_UNITS, IDC_SET_COMMA_SEPARATOR, IDC_SET_MINIMIZE_AT_STARTUP}) {
        const bool before = Checked(dialog, id);
        e2e::Send(e2e::Control(dialog, id), BM_CLICK);
        EXPECT_NE(Checked(dialog, id), before) << id;
    }
    // Unchecked, the hotkey function greys out its box.
    EXPECT_FALSE(e2e::Enabled(e2e::Control(dialog, IDC_SET_HOTKEY)));
    ASSERT_TRUE(Press(dialog, IDCANCEL));
    EXPECT_TRUE(e2e::WaitUntil([&] { return e2e::Enabled(copy.Main()); }, 3s));

    dialog = copy.OpenSettings();
    ASSERT_NE(dialog, nullptr);
    EXPECT_EQ(e2e::Text(e2e::Control(dialog, IDC_SET_PREAMBLE)), "");
    EXPECT_EQ(e2e::Text(e2e::Control(dialog, IDC_SET_HOTKEY)), "F9");
    EXPECT_EQ(Selected(dialog, IDC_SET_UNITS), 0);
    EXPECT_EQ(Selected(dialog, IDC_SET_SAMPLE_RATE), 0);
    EXPECT_TRUE(Checked(dialog, IDC_SET_HOTKEY_ENABLED));
    EXPECT_TRUE(e2e::Enabled(e2e::Control(dialog, IDC_SET_HOTKEY)));
    ASSERT_TRUE(Press(dialog, IDCANCEL));

    auto lines = copy.ExitAndReadSettings();
    // Where the window stood is not a setting the dialog touches.
    auto withoutPosition = [](std::vector<std::string> v) {
        std::erase_if(
            v, [](const std::string& l) { return l.rfind("WindowLeft=", 0) == 0 || l.rfind("WindowTop=", 0) == 0; });
        return v;
    };
    EXPECT_EQ(withoutPosition(lines), withoutPosition(untouched));
}

// A token list inserts its item when a choice is committed from the open list, once; stepping
// through the closed list with the arrow keys or the mouse wheel inserts nothing.
TEST(SettingsDialog, TokenListInsertsOnlyAChoiceCommittedFromTheOpenList) {
    Copy copy("DlgTokens");
    ASSERT_TRUE(copy.Start());
    HWND dialog = copy.OpenSettings();
    ASSERT_NE(dialog, nullptr);
    HWND combo = e2e::Control(dialog, IDC_SET_PREAMBLE_TOKENS);
    HWND preamble = e2e::Control(dialog, IDC_SET_PREAMBLE);
    ASSERT_EQ(e2e::Text(preamble), "");
    ASSERT_EQ(e2e::Send(combo, CB_GETDROPPEDSTATE), FALSE);

    e2e::Post(combo, WM_KEYDOWN, VK_DOWN, 0);
    e2e::Post(combo, WM_KEYDOWN, VK_DOWN, 0);
    e2e::Post(combo, WM_MOUSEWHEEL, MAKEWPARAM(0, static_cast<WORD>(-WHEEL_DELTA)), 0);
    ASSERT_TRUE(e2e::WaitUntil([&] { return Selected(dialog, IDC_SET_PREAMBLE_TOKENS) == 2; }, 5s))
        << Selected(dialog, IDC_SET_PREAMBLE_TOKENS);
    EXPECT_FALSE(e2e::WaitUntil([&] { return !e2e::Text(preamble).empty(); }, 500ms)) << e2e::Text(preamble);

    // Opened, one step down and Enter: the item chosen goes in, once.
    e2e::Send(combo, CB_SHOWDROPDOWN, TRUE);
    ASSERT_TRUE(e2e::WaitUntil([&] { return e2e::Send(combo, CB_GETDROPPEDSTATE) != FALSE; }, 3s));
    e2e::Post(combo, WM_KEYDOWN, VK_DOWN, 0);
    e2e::Post(combo, WM_KEYDOWN, VK_RETURN, 0);
    ASSERT_TRUE(e2e::WaitUntil([&] { return e2e::Send(combo, CB_GETDROPPEDSTATE) == FALSE; }, 3s));
    EXPECT_TRUE(e2e::WaitUntil([&] { return e2e::Text(preamble) == "{UP}"; }, 2s)) << e2e::Text(preamble);
    EXPECT_EQ(Selected(dialog, IDC_SET_PREAMBLE_TOKENS), 3);
    ASSERT_TRUE(Press(dialog, IDCANCEL));
}

}  // namespace
