// The main window of one running Pesora, reading a virtual scale, as a user and other programs
// meet it. The tests run in the order written, each leaving the program as the next expects; the user
// locale's separators are set before the start, as the program reads them once.
#include <gtest/gtest.h>

#include <algorithm>
#include <memory>

#include "Fixture.h"
#include "app/TrayIconMessage.h"
#include "dialogs/DialogIds.h"

namespace {

using namespace std::chrono_literals;

constexpr char kName[] = "AppWindow";
constexpr char kSerial[] = "5301";
// A name in two scripts, as the scale reports it: the rows carry whatever the product string holds.
constexpr char kScale[] = "K\u00FCchenwaage \u7535\u5B50\u79E4 5 kg";

class Window : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        separators = std::make_unique<e2e::LocaleSeparators>(L",", L"\u202F");
        // Wine does not report the product string as the bus-reported description, which names
        // the row on Windows; the device node's friendly name, which comes first, carries it here.
        e2e::ScaleOptions options = e2e::Scale::Options(kSerial, kScale, 0x8531);
        options.product = kScale;
        options.intervalMs = 100;  // twice the default read interval: every other tick finds nothing
        scale = std::make_unique<e2e::Scale>(options);
        ASSERT_TRUE(scale->Set(4, 3, -2, 125));  // 1.25 kg, stable
        e2e::WaitOutRawInputCache();
        pesora = std::make_unique<e2e::Pesora>(
            e2e::PesoraOptions{.name = kName, .settings = e2e::SettingsText({{"WeightFormat", "#,##0.00"}})});
        ASSERT_TRUE(pesora->Started());
        ASSERT_TRUE(e2e::WaitUntil([] { return e2e::Visible(pesora->Main()); }));
        const std::string chm = e2e::JoinPath(e2e::WinBuildDir(), "PesoraHelp.chm");
        (void)::CopyFileA(chm.c_str(), e2e::JoinPath(e2e::FolderOf(pesora->Exe()), "PesoraHelp.chm").c_str(), FALSE);
    }
    static void TearDownTestSuite() {
        pesora.reset();
        scale.reset();
        separators.reset();
    }
    void SetUp() override {
        ASSERT_TRUE(pesora && pesora->process().Running());
        main = pesora->Main();
    }
    // The suite's scale chosen as the user does, showing 1.25 kg whatever a test before left.
    static bool Reading() {
        return scale->Set(4, 3, -2, 125) && (!pesora->Weight().empty() || pesora->ClickRow(kScale)) &&
               pesora->WaitWeight("1.25 kg", 10s);
    }
    bool SetWeightAndWait(int16_t hundredths, std::string_view shown) {
        return scale->Set(4, 3, -2, hundredths) && pesora->WaitWeight(shown, 10s);
    }
    static HWND WaitAbout(e2e::Millis timeout = 5s) {
        HWND about = nullptr;
        (void)e2e::WaitUntil(
            [&] { return (about = e2e::FindTopLevel(pesora->process().Pid(), "About Pesora")) && e2e::Visible(about); },
            timeout);
        return about;
    }
    static void CloseAbout(HWND about) {
        e2e::Post(about, WM_COMMAND, IDOK);
        EXPECT_TRUE(e2e::WaitUntil([&] { return !::IsWindow(about); }, 5s));
    }
    // F9 (or the chord) with the target in front; true when `typed` arrived, false when nothing
    // did within a quiet second.
    static bool TypesInto(e2e::Target& target, std::vector<BYTE> modifiers, const std::wstring& typed) {
        target.Clear();
        EXPECT_TRUE(target.Focus());
        e2e::PressHotkey(VK_F9, std::move(modifiers));
        if (typed.empty()) {
            return !e2e::WaitUntil([&] { return !target.WideText().empty(); }, 1s);
        }
        return e2e::WaitUntil([&] { return target.WideText() == typed; }, 5s);
    }
    static void Choose(HWND dialog, int comboId, int index) {
        HWND combo = e2e::Control(dialog, comboId);
        e2e::Send(combo, CB_SETCURSEL, static_cast<WPARAM>(index));
        e2e::Send(dialog, WM_COMMAND, MAKEWPARAM(comboId, CBN_SELCHANGE), reinterpret_cast<LPARAM>(combo));
    }

    static inline std::unique_ptr<e2e::LocaleSeparators> separators;
    static inline std::unique_ptr<e2e::Scale> scale;
    static inline std::unique_ptr<e2e::Pesora> pesora;
    HWND main = nullptr;
};

// Before a scale is chosen: caption, frame, icons, client size, every control at its place
// with its text and visibility, the menu bar, and the scales listed by their names in any script.
TEST_F(Window, LayoutMenuBarAndScaleNamesBeforeAReading) {
    EXPECT_EQ(e2e::Text(main), "Pesora");
    const LONG style = ::GetWindowLongA(main, GWL_STYLE);
    EXPECT_EQ(style & (WS_THICKFRAME | WS_MINIMIZEBOX | WS_MAXIMIZEBOX),
              WS_THICKFRAME | WS_MINIMIZEBOX | WS_MAXIMIZEBOX);
    EXPECT_NE(e2e::Send(main, WM_GETICON, ICON_BIG), 0);
    EXPECT_NE(e2e::Send(main, WM_GETICON, ICON_SMALL), 0);
    EXPECT_EQ(e2e::ClientRectOf(main).right, e2e::Px(5445));
    EXPECT_EQ(e2e::ClientRectOf(main).bottom, e2e::Px(3810));
    struct Row {
        int line, id;
        const char *className, *text;  // text nullptr: not checked (the status line)
        int left, top, width, height;  // width -1: follows the window
        bool visible;
    } rows[] = {
        {__LINE__, IDC_SELECT_SCALE_LABEL, "Static", "Select Scale:", 120, 360, 1155, 195, true},
        {__LINE__, IDC_SCALE_LIST, "ListBox", "", 120, 600, -1, 1035, true},
        {__LINE__, IDC_ZERO_BUTTON, "Button", "Zero Scale", 2040, 1680, 1215, 375, true},
        {__LINE__, IDC_WEIGHT_CAPTION, "Static", "Weight:", 120, 1920, 675, 195, true},
        {__LINE__, IDC_WEIGHT, "Edit", "", 120, 2160, -1, 930, true},
        {__LINE__, IDC_STATUS, "Static", nullptr, 120, 3240, 6375, 375, true},
        {__LINE__, IDC_REFRESH_BUTTON, "Button", "Refresh Device List", 720, 6960, 1575, 495, false},
        {__LINE__, IDC_SPARE_LIST, "ListBox", "", 2520, 6840, 2415, 645, false},
        {__LINE__, IDC_CONTINUOUS_READ, "Button", "Continuous weight display", 720, 6240, 3975, 375, false},
        {__LINE__, IDC_READ_INPUT, "Button", "Read Input", 600, 5520, 1452, 375, false},
        {__LINE__, IDC_TIMEOUT_COUNT, "Static", "0", 5760, 4080, 1095, 375, false},
        {__LINE__, IDC_CONNECTION_LABEL, "Static", "Connection:", 1440, 8280, 1335, 255, false},
        {__LINE__, IDC_DEVICE_STATUS, "Static", "USB Device Not Found", 1440, 8520, 3135, 375, false},
        {__LINE__, IDC_SERIAL, "Static", "", 720, 4800, 4095, 255, false},
        {__LINE__, IDC_MANUFACTURER, "Static", "Manufact", 720, 4080, 4095, 255, false},
        {__LINE__, IDC_DEVICE, "Static", "Device", 720, 4440, 2775, 255, false},
        {__LINE__, IDC_DEVICE_VERSION, "Static", "DevVersion", 3480, 4440, 1335, 255, false},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.line);
        HWND c = e2e::Control(main, r.id);
        ASSERT_NE(c, nullptr);
        EXPECT_STRCASEEQ(e2e::ClassName(c).c_str(), r.className);
        if (r.text != nullptr) {
            EXPECT_EQ(e2e::Text(c), r.text);
        }
        EXPECT_EQ(e2e::Visible(c), r.visible);
        const RECT rc = e2e::RectInParent(c);
        EXPECT_EQ(rc.left, e2e::Px(r.left));
        EXPECT_EQ(rc.top, e2e::Px(r.top));
        EXPECT_EQ(rc.right - rc.left, r.width >= 0 ? e2e::Px(r.width) : rc.right - rc.left);
        EXPECT_EQ(rc.bottom - rc.top, e2e::Px(r.height));
    }
    // Wine keeps a live menu in its own process: the menu bar the program loads holds these items.
    EXPECT_NE(::GetMenu(main), nullptr);
    HMENU bar = e2e::LoadMenuFromExe(pesora->Exe(), IDR_MAINMENU);
    ASSERT_NE(bar, nullptr);
    EXPECT_EQ(e2e::MenuItemTexts(bar), (std::vector<std::string>{"File", "Edit", "Settings...", "Help"}));
    EXPECT_EQ(::GetMenuItemID(bar, 2), static_cast<UINT>(IDM_SETTINGS));  // a command on the bar itself
    const std::pair<std::vector<std::string>, std::vector<UINT>> menus[] = {
        {{"Exit"}, {IDM_EXIT}},
        {{"Copy"}, {IDM_EDITCOPY}},
        {},
        {{"Contents", "-", "About..."}, {IDM_CONTENTS, 0, IDM_ABOUT}}};
    for (int i : {0, 1, 3}) {
        EXPECT_EQ(e2e::MenuItemTexts(::GetSubMenu(bar, i)), menus[i].first);
        EXPECT_EQ(e2e::MenuItemIds(::GetSubMenu(bar, i)), menus[i].second);
    }
    ::DestroyMenu(bar);
    EXPECT_TRUE(pesora->WaitRow(kScale)) << ::testing::PrintToString(pesora->Rows());
    // Chosen, the scale's reading shows; the caption carries the unit and is seen whole, without
    // running under the zero button.
    ASSERT_TRUE(Reading()) << pesora->Weight() << " / " << pesora->Status();
    EXPECT_TRUE(e2e::WaitUntil([&] { return pesora->Caption() == "Weight (kg):"; }, 5s)) << pesora->Caption();
    const RECT label = e2e::RectInParent(pesora->Control(IDC_WEIGHT_CAPTION));
    EXPECT_GT(label.right - label.left, e2e::Px(675));
    EXPECT_LE(label.right, e2e::RectInParent(pesora->Control(IDC_ZERO_BUTTON)).left);
}

// Service "Pesora", topic the executable's name (in any case), item "Weight" only: a request
// and an advise loop follow the weight.
TEST_F(Window, DdeServesTheWeightAndRefusesOtherNames) {
    ASSERT_TRUE(Reading());
    const std::pair<const char*, const char*> refused[] = {{"Pesora", "Pesora"}, {"Pesora", "Scale"}, {"Scale", kName}};
    for (const auto& [service, topic] : refused) {
        EXPECT_FALSE(e2e::DdeClient(service, topic).Connected()) << service << "|" << topic;
    }
    e2e::DdeClient other("pesora", "APPWINDOW");  // DDE names do not differ by case
    ASSERT_TRUE(other.Connected());
    EXPECT_EQ(other.Request("Status"), std::nullopt);
    EXPECT_FALSE(other.StartAdvise("Status"));
    EXPECT_EQ(other.Request("weight"), "1.25 kg");

    e2e::DdeClient client("Pesora", kName);
    ASSERT_TRUE(client.StartAdvise("Weight"));
    ASSERT_TRUE(scale->Set(4, 3, -2, 250));
    EXPECT_TRUE(e2e::PumpUntil([&] { return !client.Advised().empty() && client.Advised().back() == "2.50 kg"; }, 10s))
        << ::testing::PrintToString(client.Advised());
    EXPECT_EQ(pesora->Weight(), "2.50 kg");
    // Every other read tick finds no report and re-opens the scale: neither the box nor the link
    // may show the blank that re-opening leaves for a moment.
    ASSERT_TRUE(scale->Set(4, 3, -2, 150));
    int samples = 0, blanks = 0;
    (void)e2e::PumpUntil(
        [&] {
            ++samples;
            blanks += pesora->Weight().empty() ? 1 : 0;
            return false;  // samples for the whole second
        },
        1s);
    EXPECT_GT(samples, 20);
    EXPECT_EQ(blanks, 0) << "of " << samples << " samples";
    const auto advised = client.Advised();
    EXPECT_EQ(std::count(advised.begin(), advised.end(), std::string()), 0) << ::testing::PrintToString(advised);
    EXPECT_EQ(advised.back(), "1.50 kg");

    // A client that ends without saying goodbye, as a crashing one does, in the middle of its
    // advise loop: later advises to it go nowhere, and the link goes on serving.
    char self[MAX_PATH] = {};
    ::GetModuleFileNameA(nullptr, self, MAX_PATH);
    ::SetEnvironmentVariableA("PESORA_DDE_VANISH", "1");
    e2e::Process child = e2e::Start(self, "--gtest_filter=DdeVanishingClient.Child");
    ::SetEnvironmentVariableA("PESORA_DDE_VANISH", nullptr);
    // The client's connect is a broadcast that this thread's windows answer too: pump.
    EXPECT_TRUE(e2e::PumpUntil([&] { return !child.Running(); }, 20s));
    ASSERT_EQ(child.Wait(1s), std::optional<DWORD>(7)) << "the client did not get as far as its advise loop";
    ASSERT_TRUE(SetWeightAndWait(333, "3.33 kg"));
    EXPECT_EQ(e2e::DdeClient("Pesora", kName).Request("Weight"), "3.33 kg");
    ASSERT_TRUE(SetWeightAndWait(125, "1.25 kg"));
}

// The vanishing DDE client: this program again, run with PESORA_DDE_VANISH set.
TEST(DdeVanishingClient, Child) {
    char flag[8] = {};
    if (::GetEnvironmentVariableA("PESORA_DDE_VANISH", flag, sizeof flag) == 0) {
        GTEST_SKIP() << "runs only as the vanishing client";
    }
    e2e::DdeClient client("Pesora", kName);
    ASSERT_TRUE(client.StartAdvise("Weight"));
    ::TerminateProcess(::GetCurrentProcess(), 7);
}

// Separators the ANSI code page may lack (U+202F) reach the weight box, the clipboard's Unicode
// text and the keys typed exactly; CF_TEXT and DDE carry the code page's form. The decimal
// separator is the program's own choice, whatever the locale's. Edit > Copy leaves a DDE link too;
// text typed into the editable weight box never stands for the weight, and the next read cycle
// shows the weight again.
TEST_F(Window, CopyDdeAndTypingCarryTheWeightWithTheLocaleSeparators) {
    ASSERT_TRUE(Reading());
    const std::wstring weight = L"1\u202F234.50 kg";
    ASSERT_TRUE(scale->Set(4, 3, -1, 12345));
    ASSERT_TRUE(pesora->WaitWeight(e2e::Utf8(weight), 10s)) << pesora->Weight();
    std::string ansi(64, '\0');
    ansi.resize(::WideCharToMultiByte(CP_ACP, 0, weight.c_str(), -1, ansi.data(), 64, nullptr, nullptr) - 1);
    (void)e2e::Send(pesora->Control(IDC_WEIGHT), WM_SETTEXT, 0, reinterpret_cast<LPARAM>("typed 99"));
    ASSERT_TRUE(e2e::EmptyTheClipboard());
    ASSERT_TRUE(pesora->Menu(IDM_EDITCOPY));
    ASSERT_TRUE(e2e::WaitUntil([] { return ::IsClipboardFormatAvailable(CF_UNICODETEXT) != FALSE; }, 5s));
    const std::string link = std::string("Pesora\0", 7) + kName + std::string("\0Weight\0\0", 9);
    EXPECT_EQ(e2e::ClipboardBytes(::RegisterClipboardFormatA("Link")).value_or("").substr(0, link.size()), link);
    EXPECT_EQ(std::wstring(reinterpret_cast<const wchar_t*>(e2e::ClipboardBytes(CF_UNICODETEXT).value_or("").c_str())),
              weight);
    EXPECT_EQ(std::string(e2e::ClipboardBytes(CF_TEXT).value_or("").c_str()), ansi);
    EXPECT_EQ(e2e::DdeClient("Pesora", kName).Request("Weight"), ansi);
    EXPECT_TRUE(pesora->WaitWeight(e2e::Utf8(weight), 2s)) << pesora->Weight();
    e2e::Target target("Separators Target");
    EXPECT_TRUE(TypesInto(target, {}, weight)) << target.Text();
    ASSERT_TRUE(SetWeightAndWait(125, "1.25 kg"));
}

// What the user types into the Weight box stays only until the next reading: the box does not
// change with the scale's report here, and still shows the weight again.
TEST_F(Window, TextTypedIntoTheWeightBoxGivesWayToTheWeight) {
    ASSERT_TRUE(Reading());
    HWND box = pesora->Control(IDC_WEIGHT);
    for (wchar_t c : std::wstring(L"x7")) {
        (void)e2e::Send(box, WM_CHAR, c, 1);
    }
    EXPECT_TRUE(pesora->WaitWeight("1.25 kg", 2s)) << pesora->Weight();
}

// Help > Contents opens the help file in the HTML Help viewer; F1 in the main window asks for
// it too, and without the file says which file is missing. From the menu the about box is modal
// (its text is the dialog program's); the icon's right click opens it modeless, during which
// the hotkey types nothing. Minimised, the window hides into its icon; the icon's left click
// brings it back. A restarting shell gets the icon again. The mouse moving over the window at an
// x equal to a button message's number is no click on the icon.
TEST_F(Window, HelpAboutAndNotificationIcon) {
    const std::string chm = e2e::JoinPath(e2e::FolderOf(pesora->Exe()), "PesoraHelp.chm");
    ASSERT_TRUE(e2e::FileExists(chm)) << "the build did not compile PesoraHelp.chm";
    ASSERT_TRUE(pesora->Menu(IDM_CONTENTS));
    HWND viewer = nullptr;
    EXPECT_TRUE(e2e::WaitUntil(
        [&] {
            for (HWND w : e2e::TopLevelWindows(pesora->process().Pid())) {
                viewer = e2e::Visible(w) && e2e::ClassName(w) == "HH Parent" ? w : viewer;
            }
            return viewer != nullptr;
        },
        15s));
    // The viewer's own caption is the help file's title; a complaint would be a message box.
    EXPECT_EQ(e2e::FindTopLevel(pesora->process().Pid(), "Pesora Help", "#32770"), nullptr);
    if (viewer != nullptr) {
        e2e::CloseMessage(viewer);
        EXPECT_TRUE(e2e::WaitUntil([&] { return !::IsWindow(viewer) || !e2e::Visible(viewer); }, 5s));
    }

    const std::string aside = chm + ".aside";
    ASSERT_TRUE(::MoveFileA(chm.c_str(), aside.c_str()));
    (void)::SetForegroundWindow(main);
    ASSERT_TRUE(e2e::WaitUntil([&] { return ::GetForegroundWindow() == main; }, 3s));
    e2e::Tap(VK_F1);
    HWND box = e2e::WaitForMessageBox(pesora->process().Pid(), "Pesora Help", 10s);
    EXPECT_TRUE(::MoveFileA(aside.c_str(), chm.c_str()));
    ASSERT_NE(box, nullptr);
    EXPECT_NE(e2e::MessageBoxText(box).find("PesoraHelp.chm"), std::string::npos) << e2e::MessageBoxText(box);
    EXPECT_TRUE(e2e::PressOk(box));
    EXPECT_TRUE(e2e::WaitUntil([&] { return !::IsWindow(box); }, 5s));

    ASSERT_TRUE(pesora->Menu(IDM_ABOUT));
    HWND about = WaitAbout();
    ASSERT_NE(about, nullptr);
    EXPECT_FALSE(e2e::Enabled(main));
    CloseAbout(about);
    EXPECT_TRUE(e2e::WaitUntil([&] { return e2e::Enabled(main); }, 5s));

    ASSERT_TRUE(Reading());
    e2e::Target target("Icon Target");
    e2e::Post(main, app::kTrayIconMessage, 0, WM_RBUTTONUP);
    about = WaitAbout();
    ASSERT_NE(about, nullptr);
    EXPECT_TRUE(e2e::Enabled(main));  // modeless
    EXPECT_TRUE(TypesInto(target, {}, L"")) << target.Text();
    CloseAbout(about);
    EXPECT_TRUE(TypesInto(target, {}, L"1.25 kg")) << target.Text();

    e2e::Post(main, WM_SYSCOMMAND, SC_MINIMIZE);
    EXPECT_TRUE(e2e::WaitUntil([&] { return !e2e::Visible(main); }, 5s));
    e2e::Post(main, WM_MOUSEMOVE, 0, MAKELPARAM(WM_RBUTTONUP, 20));
    e2e::Post(main, app::kTrayIconMessage, 0, WM_LBUTTONDOWN);
    EXPECT_TRUE(e2e::WaitUntil([&] { return e2e::Visible(main) && !e2e::Minimized(main); }, 5s));
    // Handled in the order posted: an about box opened by the mouse move would be there now.
    EXPECT_EQ(e2e::FindTopLevel(pesora->process().Pid(), "About Pesora"), nullptr) << "a mouse move opened it";

    ASSERT_TRUE(e2e::WaitUntil([&] { return e2e::TrayIcon(main, NIM_MODIFY); }, 5s));
    ASSERT_TRUE(e2e::TrayIcon(main, NIM_DELETE));  // what a shell restart does to every icon
    e2e::Post(main, ::RegisterWindowMessageA("TaskbarCreated"));
    EXPECT_TRUE(e2e::WaitUntil([&] { return e2e::TrayIcon(main, NIM_MODIFY); }, 5s));
}

TEST_F(Window, RightClickInTheWeightBoxPopsUpTheEditMenu) {
    HWND weight = pesora->Control(IDC_WEIGHT);
    (void)::SetForegroundWindow(main);
    auto popupShown = [] {
        HWND popup = ::FindWindowA("#32768", nullptr);
        return popup != nullptr && e2e::Visible(popup);
    };
    e2e::Post(weight, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(10, 10));
    e2e::Post(weight, WM_LBUTTONUP, 0, MAKELPARAM(10, 10));
    e2e::Send(weight, WM_NULL);  // the click has been handled
    EXPECT_FALSE(popupShown()) << "a left click popped it up";
    e2e::Post(weight, WM_RBUTTONDOWN, MK_RBUTTON, MAKELPARAM(10, 10));
    e2e::Post(weight, WM_RBUTTONUP, 0, MAKELPARAM(10, 10));
    ASSERT_TRUE(e2e::WaitUntil(popupShown, 5s));
    // Esc as the menu's own loop reads it: posted, whichever window is in front.
    e2e::Post(::FindWindowA("#32768", nullptr), WM_KEYDOWN, VK_ESCAPE, 1);
    EXPECT_TRUE(e2e::WaitUntil([&] { return !popupShown(); }, 5s));
}

// Wider than 3550 twips, the scale list and weight box follow the window's outer width less 500
// twips; at 3550 or narrower they keep their last widths.
TEST_F(Window, ListAndWeightFollowTheWidthAbove3550Twips) {
    const RECT original = e2e::WindowRect(main);
    // outer width, the list's and the box's width (twips)
    for (const auto& [outerTwips, expectedTwips] :
         {std::pair(6000, 5500), {3600, 3100}, {3525, 3100}, {3000, 3100}, {9000, 8500}}) {
        SCOPED_TRACE(outerTwips);
        ::SetWindowPos(main, nullptr, 0, 0, e2e::Px(outerTwips), original.bottom - original.top,
                       SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
        e2e::Send(main, WM_NULL);  // the resize has been handled
        const RECT outer = e2e::WindowRect(main);
        ASSERT_EQ(outer.right - outer.left, e2e::Px(outerTwips)) << "the window refused the width";
        for (int id : {IDC_SCALE_LIST, IDC_WEIGHT}) {
            const RECT rc = e2e::RectInParent(pesora->Control(id));
            EXPECT_NEAR(rc.right - rc.left, e2e::Px(expectedTwips), 1) << id;
        }
    }
    ::SetWindowPos(main, nullptr, 0, 0, original.right - original.left, original.bottom - original.top,
                   SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
}

// A token list inserts only a choice committed from the open list, once. Then real key presses
// into the hotkey box: a letter becomes the hotkey rather than typed text, a modifier alone
// changes nothing, system keys (F10, anything with Alt) are captured and do not start the
// dialog's menu mode. While the dialog is open the hotkey is released; confirmed with OK, the
// units, the format, the hotkey and the read interval take effect at once and are written at
// exit, the last thing this program does. (Cancel and Esc are the dialog program's.)
TEST_F(Window, SettingsOkTakesEffectAtOnceAndAtExit) {
    ASSERT_TRUE(Reading());
    ASSERT_TRUE(pesora->Menu(IDM_SETTINGS));
    HWND dialog = e2e::WaitForWindow(pesora->process().Pid(), "Pesora Settings", 10s);
    ASSERT_TRUE(dialog != nullptr && e2e::WaitUntil([&] { return e2e::Visible(dialog); }, 5s));
    HWND combo = e2e::Control(dialog, IDC_SET_PREAMBLE_TOKENS);
    HWND preamble = e2e::Control(dialog, IDC_SET_PREAMBLE);
    e2e::Post(combo, WM_KEYDOWN, VK_DOWN, 0);
    e2e::Post(combo, WM_KEYDOWN, VK_DOWN, 0);
    e2e::Post(combo, WM_MOUSEWHEEL, MAKEWPARAM(0, static_cast<WORD>(-WHEEL_DELTA)), 0);
    ASSERT_TRUE(e2e::WaitUntil([&] { return e2e::Send(combo, CB_GETCURSEL) == 2; }, 5s));
    EXPECT_FALSE(e2e::WaitUntil([&] { return !e2e::Text(preamble).empty(); }, 500ms)) << e2e::Text(preamble);
    e2e::Send(combo, CB_SHOWDROPDOWN, TRUE);
    ASSERT_TRUE(e2e::WaitUntil([&] { return e2e::Send(combo, CB_GETDROPPEDSTATE) != FALSE; }, 3s));
    e2e::Post(combo, WM_KEYDOWN, VK_DOWN, 0);
    e2e::Post(combo, WM_KEYDOWN, VK_RETURN, 0);
    ASSERT_TRUE(e2e::WaitUntil([&] { return e2e::Send(combo, CB_GETDROPPEDSTATE) == FALSE; }, 3s));
    EXPECT_TRUE(e2e::WaitUntil([&] { return e2e::Text(preamble) == "{UP}"; }, 2s)) << e2e::Text(preamble);

    e2e::Send(preamble, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(""));
    EXPECT_FALSE(e2e::Enabled(main));  // modal
    HWND box = e2e::Control(dialog, IDC_SET_HOTKEY);
    (void)::SetForegroundWindow(dialog);
    e2e::Send(box, WM_LBUTTONDOWN, MK_LBUTTON);
    e2e::Send(box, WM_LBUTTONUP);
    ASSERT_TRUE(e2e::WaitUntil([&] { return ::GetForegroundWindow() == dialog; }, 3s));
    // A key that started menu mode or moved the focus would leave every later step's text unchanged.
    const std::pair<std::vector<BYTE>, std::string> steps[] = {
        {{'Q'}, "Q"},
        {{VK_CONTROL}, "Q"},
        {{VK_F10}, "F10"},
        {{VK_SHIFT, '7'}, "SHIFT+7"},
        {{VK_MENU, 'A'}, "ALT+A"},
        {{VK_MENU, VK_CONTROL, VK_SHIFT, 'X'}, "SHIFT+CTRL+ALT+X"},
        {{VK_BACK}, "BACKSPACE"},
        {{VK_DELETE}, "DELETE"},
        {{VK_CONTROL, VK_F9}, "CTRL+F9"}};
    for (const auto& [keys, text] : steps) {
        e2e::Chord(keys);
        e2e::Send(box, WM_NULL);  // the presses have been handled
        EXPECT_TRUE(e2e::WaitUntil([&] { return e2e::Text(box) == text; }, 3s)) << e2e::Text(box);
    }
    Choose(dialog, IDC_SET_UNITS, 2);        // Grams
    Choose(dialog, IDC_SET_SAMPLE_RATE, 5);  // 500 ms
    e2e::Send(e2e::Control(dialog, IDC_SET_FORMAT), WM_SETTEXT, 0, reinterpret_cast<LPARAM>("0"));
    {
        e2e::Target target("Dialog Target");
        EXPECT_TRUE(TypesInto(target, {}, L"")) << "the hotkey typed while the dialog was open: " << target.Text();
    }
    e2e::Send(e2e::Control(dialog, IDOK), BM_CLICK);
    ASSERT_TRUE(e2e::WaitUntil([&] { return !::IsWindow(dialog); }, 5s));
    EXPECT_TRUE(pesora->WaitWeight("1250 g")) << pesora->Weight();
    e2e::Target target("Dialog Target");
    EXPECT_TRUE(TypesInto(target, {}, L"")) << "F9 still types: " << target.Text();
    EXPECT_TRUE(TypesInto(target, {VK_CONTROL}, L"1250 g")) << target.Text();
    EXPECT_TRUE(SetWeightAndWait(200, "2000 g")) << pesora->Weight();  // read at the 500 ms interval

    // Last, File > Exit ends the process and writes what OK confirmed.
    ASSERT_TRUE(pesora->Exit());
    const std::pair<std::string, std::string> expected[] = {
        {"HotKey", "632"},      {"Hotkeystr", "CTRL+F9"}, {"HotkeyEnabled", "True"},    {"WeightFormat", "0"},
        {"SelectedUnits", "2"}, {"IncludeUnits", "True"}, {"CommaSeparator", "False"},  {"MinimizeAtStartup", "False"},
        {"Preamble", ""},       {"SampleRate", "500"},    {"InterCharacterDelay", "1"},
    };
    for (const auto& [key, value] : expected) {
        EXPECT_EQ(pesora->Setting(key).value_or("<missing>"), value) << key;
    }
}

}  // namespace
