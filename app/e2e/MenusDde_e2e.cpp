// The main window's commands as a user and other programs meet them, with a virtual scale being
// read: Edit > Copy and the DDE link it offers, Help > Contents, the about box from the menu and
// from the notification-area icon (and the hotkey held back while it is open), the weight box's
// pop-up Edit menu, and File > Exit.
#include <windows.h>

#include <ddeml.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <functional>

#include "AppE2e.h"
#include "E2eUi.h"
#include "VirtualScale.h"
#include "app/TrayIconMessage.h"

namespace {

using namespace std::chrono_literals;

constexpr char kSerial[] = "5301";
constexpr char kExeName[] = "MenuDde";
constexpr char kScaleName[] = "Menu Scale";

// One Pesora reading one scale for the whole suite: every test leaves it running and as found.
class Menus : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        e2e::ScaleOptions options;
        options.serial = kSerial;
        options.friendlyName = kScaleName;
        options.productId = 0x8531;
        std::string error;
        plugged = e2e::Plug(options, &error);
        ASSERT_TRUE(plugged) << error;
        ASSERT_TRUE(e2e::SetWeight(kSerial, 4, 3, -2, 125));  // 1.25 kg, stable
        // Wine refreshes a process's raw-input device list at most every 2 s: a Pesora started
        // sooner could enumerate without the new scale.
        ::Sleep(2500);
        folder = e2e::FreshFolder("menudde");
        exe = e2e::InstallPesora(folder, std::string(kExeName) + ".exe");
        ASSERT_FALSE(exe.empty());
        const std::string chm = e2e::JoinPath(e2e::WinBuildDir(), "PesoraHelp.chm");
        if (e2e::FileExists(chm)) {
            ASSERT_TRUE(::CopyFileA(chm.c_str(), e2e::JoinPath(folder, "PesoraHelp.chm").c_str(), FALSE));
        }
        e2e::DeleteFileAt(e2e::SettingsFileFor(kExeName));
        pesora = new appe2e::Running(appe2e::StartAndWait(exe));
        ASSERT_NE(pesora->main, nullptr);
        HWND list = e2e::Control(pesora->main, IDC_SCALE_LIST);
        int row = -1;
        ASSERT_TRUE(e2e::WaitUntil(
            [&] {
                const auto rows = uie2e::ListRowsW(list);
                for (size_t i = 0; i < rows.size(); ++i) {
                    if (rows[i].find(kScaleName) != std::string::npos) {
                        row = static_cast<int>(i);
                    }
                }
                return row >= 0;
            },
            10s))
            << ::testing::PrintToString(uie2e::ListRowsW(list)) << " / "
            << e2e::Text(e2e::Control(pesora->main, IDC_STATUS));
        // A click on the scale's row, as the user chooses it.
        e2e::Send(list, LB_SETCURSEL, static_cast<WPARAM>(row));
        e2e::Send(pesora->main, WM_COMMAND, MAKEWPARAM(IDC_SCALE_LIST, LBN_SELCHANGE), reinterpret_cast<LPARAM>(list));
        ASSERT_TRUE(e2e::WaitUntil([] { return WeightText().find("1.25") != std::string::npos; }, 10s)) << WeightText();
    }
    static void TearDownTestSuite() {
        if (pesora != nullptr) {
            if (pesora->process.Running()) {
                EXPECT_TRUE(appe2e::ExitThroughMenu(*pesora));
            }
            delete pesora;
            pesora = nullptr;
        }
        if (plugged) {
            (void)e2e::Unplug(kSerial);
        }
    }
    void SetUp() override {
        ASSERT_NE(pesora, nullptr);
        ASSERT_TRUE(pesora->process.Running());
        main = pesora->main;
    }

    static std::string WeightText() { return e2e::Text(e2e::Control(pesora->main, IDC_WEIGHT)); }

    static HWND WaitAbout(e2e::Millis timeout = 5s) {
        HWND about = nullptr;
        e2e::WaitUntil(
            [&] {
                return (about = e2e::FindTopLevel(pesora->process.Pid(), "About Pesora")) != nullptr &&
                       e2e::Visible(about);
            },
            timeout);
        return about;
    }
    static void CloseAbout(HWND about) {
        e2e::Post(about, WM_COMMAND, IDOK);
        EXPECT_TRUE(e2e::WaitUntil([&] { return !::IsWindow(about); }, 5s));
    }

    static inline bool plugged = false;
    static inline std::string folder;
    static inline std::string exe;
    static inline appe2e::Running* pesora = nullptr;
    HWND main = nullptr;
};

std::optional<std::string> ClipboardBytes(UINT format) {
    std::optional<std::string> bytes;
    if (!::OpenClipboard(nullptr)) {
        return bytes;
    }
    if (HANDLE h = ::GetClipboardData(format)) {
        if (const void* p = ::GlobalLock(h)) {
            bytes = std::string(static_cast<const char*>(p), ::GlobalSize(h));
            ::GlobalUnlock(h);
        }
    }
    ::CloseClipboard();
    return bytes;
}

TEST_F(Menus, CopyLeavesTheLinkAndTheWeightText) {
    ASSERT_TRUE(::OpenClipboard(nullptr));
    ::EmptyClipboard();
    ::CloseClipboard();
    const std::string weight = WeightText();
    ASSERT_TRUE(e2e::ClickMenu(main, IDM_EDITCOPY));
    const UINT link = ::RegisterClipboardFormatA("Link");
    ASSERT_TRUE(e2e::WaitUntil([&] { return ::IsClipboardFormatAvailable(CF_TEXT) != FALSE; }, 5s));
    const auto linkBytes = ClipboardBytes(link);
    ASSERT_TRUE(linkBytes.has_value());
    const std::string expected = std::string("Pesora\0", 7) + kExeName + std::string("\0Weight\0\0", 9);
    // The clipboard may round its memory block up: the link ends at its double zero.
    EXPECT_EQ(linkBytes->substr(0, expected.size()), expected);
    const auto text = ClipboardBytes(CF_TEXT);
    ASSERT_TRUE(text.has_value());
    EXPECT_EQ(std::string(text->c_str()), weight);
}

// Text typed or pasted into the editable Weight box is never handed out as the weight, and the
// next read cycle shows the weight again, although the weight itself has not changed.
TEST_F(Menus, TextTypedIntoTheWeightBoxNeverStandsForTheWeight) {
    const std::string weight = WeightText();
    ASSERT_NE(weight.find("1.25"), std::string::npos);
    HWND box = e2e::Control(main, IDC_WEIGHT);
    ASSERT_TRUE(::OpenClipboard(nullptr));
    ::EmptyClipboard();
    ::CloseClipboard();
    (void)e2e::Send(box, WM_SETTEXT, 0, reinterpret_cast<LPARAM>("typed 99"));
    ASSERT_TRUE(e2e::ClickMenu(main, IDM_EDITCOPY));
    ASSERT_TRUE(e2e::WaitUntil([&] { return ::IsClipboardFormatAvailable(CF_TEXT) != FALSE; }, 5s));
    const auto text = ClipboardBytes(CF_TEXT);
    ASSERT_TRUE(text.has_value());
    EXPECT_EQ(std::string(text->c_str()), weight);
    EXPECT_TRUE(e2e::WaitUntil([&] { return WeightText() == weight; }, 2s)) << WeightText();
}

// ---- DDE --------------------------------------------------------------------------------------

struct DdeClient {
    DWORD instance = 0;
    static inline int advises = 0;
    static inline std::string lastAdvise;

    static HDDEDATA CALLBACK Callback(UINT type, UINT, HCONV, HSZ, HSZ, HDDEDATA data, ULONG_PTR, ULONG_PTR) {
        if (type == XTYP_ADVDATA) {
            ++advises;
            lastAdvise = Read(data);
            return reinterpret_cast<HDDEDATA>(DDE_FACK);
        }
        return nullptr;
    }
    static std::string Read(HDDEDATA data) {
        if (data == nullptr) {
            return {};
        }
        const DWORD n = ::DdeGetData(data, nullptr, 0, 0);
        std::string text(n, '\0');
        (void)::DdeGetData(data, reinterpret_cast<LPBYTE>(text.data()), n, 0);
        return std::string(text.c_str());
    }
    DdeClient() {
        advises = 0;
        lastAdvise.clear();
        if (::DdeInitializeA(&instance, &Callback, APPCMD_CLIENTONLY, 0) != DMLERR_NO_ERROR) {
            instance = 0;
        }
    }
    ~DdeClient() {
        if (instance != 0) {
            ::DdeUninitialize(instance);
        }
    }
    HSZ Str(const char* s) const { return ::DdeCreateStringHandleA(instance, s, CP_WINANSI); }
    HCONV Connect(const char* service, const char* topic) const {
        HSZ s = Str(service);
        HSZ t = Str(topic);
        HCONV conv = ::DdeConnect(instance, s, t, nullptr);
        ::DdeFreeStringHandle(instance, s);
        ::DdeFreeStringHandle(instance, t);
        return conv;
    }
    // The item's text, or nullopt when the server refuses.
    std::optional<std::string> Request(HCONV conv, const char* item) const {
        HSZ i = Str(item);
        HDDEDATA data = ::DdeClientTransaction(nullptr, 0, conv, i, CF_TEXT, XTYP_REQUEST, 5000, nullptr);
        ::DdeFreeStringHandle(instance, i);
        if (data == nullptr) {
            return std::nullopt;
        }
        std::string text = Read(data);
        ::DdeFreeDataHandle(data);
        return text;
    }
    bool AdviseStart(HCONV conv, const char* item) const {
        HSZ i = Str(item);
        HDDEDATA ok = ::DdeClientTransaction(nullptr, 0, conv, i, CF_TEXT, XTYP_ADVSTART, 5000, nullptr);
        ::DdeFreeStringHandle(instance, i);
        return ok != nullptr;
    }
};

TEST_F(Menus, DdeRequestAndAdviseFollowTheWeight) {
    DdeClient client;
    ASSERT_NE(client.instance, 0u);
    HCONV conv = client.Connect("Pesora", kExeName);
    ASSERT_NE(conv, nullptr);
    EXPECT_EQ(client.Request(conv, "Weight"), WeightText());
    ASSERT_TRUE(client.AdviseStart(conv, "Weight"));
    ASSERT_TRUE(e2e::SetWeight(kSerial, 4, 3, -2, 250));  // 2.50 kg
    EXPECT_TRUE(uie2e::PumpUntil([] { return DdeClient::lastAdvise.find("2.5") != std::string::npos; }, 10s))
        << "advises: " << DdeClient::advises << ", last: " << DdeClient::lastAdvise;
    EXPECT_EQ(DdeClient::lastAdvise, WeightText());
    ::DdeDisconnect(conv);
    ASSERT_TRUE(e2e::SetWeight(kSerial, 4, 3, -2, 125));
    ASSERT_TRUE(e2e::WaitUntil([] { return WeightText().find("1.25") != std::string::npos; }, 10s));
}

TEST_F(Menus, DdeRefusesOtherTopicsAndItems) {
    DdeClient client;
    ASSERT_NE(client.instance, 0u);
    struct Row {
        int line;
        const char* service;
        const char* topic;
    } refused[] = {
        {__LINE__, "Pesora", "Pesora"},  // another copy's topic
        {__LINE__, "Pesora", "Scale"},
        {__LINE__, "Scale", kExeName},
    };
    for (const Row& r : refused) {
        SCOPED_TRACE(r.line);
        HCONV conv = client.Connect(r.service, r.topic);
        EXPECT_EQ(conv, nullptr);
        if (conv != nullptr) {
            ::DdeDisconnect(conv);
        }
    }
    HCONV conv = client.Connect("pesora", "MENUDDE");  // DDE names do not differ by case
    ASSERT_NE(conv, nullptr);
    EXPECT_EQ(client.Request(conv, "Status"), std::nullopt);
    EXPECT_FALSE(client.AdviseStart(conv, "Status"));
    EXPECT_EQ(client.Request(conv, "weight"), WeightText());
    ::DdeDisconnect(conv);
}

// A copy of this test program, started with PESORA_DDE_VANISH set, connects, starts an advise
// loop and ends without saying goodbye, as a crashing client does.
TEST(DdeVanishingClient, Child) {
    char flag[8] = {};
    if (::GetEnvironmentVariableA("PESORA_DDE_VANISH", flag, sizeof flag) == 0) {
        GTEST_SKIP() << "runs only as the vanishing client";
    }
    DdeClient client;
    HCONV conv = client.Connect("Pesora", kExeName);
    ASSERT_NE(conv, nullptr);
    ASSERT_TRUE(client.AdviseStart(conv, "Weight"));
    ::TerminateProcess(::GetCurrentProcess(), 7);
}

TEST_F(Menus, AClientThatVanishesMidAdviseDoesNotHurt) {
    char self[MAX_PATH] = {};
    ::GetModuleFileNameA(nullptr, self, MAX_PATH);
    ::SetEnvironmentVariableA("PESORA_DDE_VANISH", "1");
    e2e::Process child = e2e::Start(self, "--gtest_filter=DdeVanishingClient.Child");
    ::SetEnvironmentVariableA("PESORA_DDE_VANISH", nullptr);
    ASSERT_TRUE(child.Started());
    // The client's connect is a broadcast that this thread's windows must answer too: pump.
    EXPECT_TRUE(uie2e::PumpUntil([&] { return !child.Running(); }, 20s));
    const auto code = child.Wait(1s);
    ASSERT_TRUE(code.has_value());
    ASSERT_EQ(*code, 7u) << "the client did not get as far as its advise loop";
    // Pesora goes on: the weight changes, advises to the gone client go nowhere, and a new
    // client is served.
    ASSERT_TRUE(e2e::SetWeight(kSerial, 4, 3, -2, 333));
    EXPECT_TRUE(e2e::WaitUntil([] { return WeightText().find("3.33") != std::string::npos; }, 10s));
    DdeClient client;
    HCONV conv = client.Connect("Pesora", kExeName);
    ASSERT_NE(conv, nullptr);
    EXPECT_EQ(client.Request(conv, "Weight"), WeightText());
    ::DdeDisconnect(conv);
    EXPECT_TRUE(pesora->process.Running());
    ASSERT_TRUE(e2e::SetWeight(kSerial, 4, 3, -2, 125));
    ASSERT_TRUE(e2e::WaitUntil([] { return WeightText().find("1.25") != std::string::npos; }, 10s));
}

// The scale repeats its report every 100 ms and the default read interval is 50 ms, so every
// other tick finds nothing and re-opens the scale: neither the box nor an advise link may show
// the blank that re-opening leaves for a moment.
TEST_F(Menus, WeightNeverBlinksEmptyWhileReading) {
    DdeClient client;
    HCONV conv = client.Connect("Pesora", kExeName);
    ASSERT_NE(conv, nullptr);
    ASSERT_TRUE(client.AdviseStart(conv, "Weight"));
    int samples = 0;
    int blanks = 0;
    std::vector<std::string> advised;
    ASSERT_TRUE(e2e::SetWeight(kSerial, 4, 3, -2, 150));
    (void)uie2e::PumpUntil(
        [&] {
            ++samples;
            blanks += WeightText().empty() ? 1 : 0;
            if (DdeClient::advises > static_cast<int>(advised.size())) {
                advised.push_back(DdeClient::lastAdvise);
            }
            return false;  // samples for the whole period
        },
        1500ms);
    ::DdeDisconnect(conv);
    EXPECT_GT(samples, 20);
    EXPECT_EQ(blanks, 0) << "of " << samples << " samples";
    EXPECT_EQ(std::count(advised.begin(), advised.end(), std::string()), 0) << ::testing::PrintToString(advised);
    EXPECT_EQ(DdeClient::lastAdvise, "1.5 kg");
    ASSERT_TRUE(e2e::SetWeight(kSerial, 4, 3, -2, 125));
    ASSERT_TRUE(e2e::WaitUntil([] { return WeightText().find("1.25") != std::string::npos; }, 10s));
}

// The caption carries the unit and must be seen whole, without running under the zero button.
TEST_F(Menus, WeightCaptionShowsItsUnit) {
    HWND caption = e2e::Control(main, IDC_WEIGHT_CAPTION);
    ASSERT_TRUE(e2e::WaitUntil([&] { return e2e::Text(caption) == "Weight (kg):"; }, 5s)) << e2e::Text(caption);
    const RECT label = e2e::RectInParent(caption);
    const RECT zero = e2e::RectInParent(e2e::Control(main, IDC_ZERO_BUTTON));
    const int designWidth = (675 * appe2e::ScreenDpi() + 720) / 1440;
    EXPECT_GT(label.right - label.left, designWidth);
    EXPECT_LE(label.right, zero.left);
}

// ---- help and about ----------------------------------------------------------------------------

// Help > Contents, and F1 in the main window, open the help file in the HTML Help viewer.
TEST_F(Menus, ContentsAndF1OpenTheHelpViewer) {
    const std::string chm = e2e::JoinPath(folder, "PesoraHelp.chm");
    ASSERT_TRUE(e2e::FileExists(chm)) << "the build did not compile PesoraHelp.chm";
    struct Row {
        int line;
        std::function<void()> ask;
    } rows[] = {
        {__LINE__, [&] { ASSERT_TRUE(e2e::ClickMenu(main, IDM_CONTENTS)); }},
        {__LINE__,
         [&] {
             (void)::SetForegroundWindow(main);
             ASSERT_TRUE(e2e::WaitUntil([&] { return ::GetForegroundWindow() == main; }, 3s));
             uie2e::Chord({VK_F1});
         }},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.line);
        r.ask();
        HWND viewer = nullptr;
        EXPECT_TRUE(e2e::WaitUntil(
            [&] {
                for (HWND w : e2e::TopLevelWindows(pesora->process.Pid())) {
                    if (e2e::Visible(w) && e2e::ClassName(w) == "HH Parent") {
                        viewer = w;
                    }
                }
                return viewer != nullptr;
            },
            15s));
        // The viewer's own caption is the help file's title; a complaint would be a message box.
        if (HWND complaint = e2e::FindTopLevel(pesora->process.Pid(), "Pesora Help", "#32770")) {
            ADD_FAILURE() << "complained: " << e2e::MessageBoxText(complaint);
            (void)e2e::PressOk(complaint);
        }
        if (viewer != nullptr) {
            e2e::CloseMessage(viewer);
            EXPECT_TRUE(e2e::WaitUntil([&] { return !::IsWindow(viewer) || !e2e::Visible(viewer); }, 5s));
        }
    }
}

TEST_F(Menus, ContentsWithoutTheHelpFileSaysSo) {
    const std::string chm = e2e::JoinPath(folder, "PesoraHelp.chm");
    const std::string aside = e2e::JoinPath(folder, "PesoraHelp.aside");
    (void)::MoveFileA(chm.c_str(), aside.c_str());
    ASSERT_FALSE(e2e::FileExists(chm));
    ASSERT_TRUE(e2e::ClickMenu(main, IDM_CONTENTS));
    HWND box = e2e::WaitForMessageBox(pesora->process.Pid(), "Pesora Help", 10s);
    ASSERT_NE(box, nullptr);
    const std::string text = e2e::MessageBoxText(box);
    EXPECT_NE(text.find("PesoraHelp.chm"), std::string::npos) << text;
    EXPECT_TRUE(e2e::PressOk(box));
    EXPECT_TRUE(e2e::WaitUntil([&] { return !::IsWindow(box); }, 5s));
    (void)::MoveFileA(aside.c_str(), chm.c_str());
}

TEST_F(Menus, AboutShowsNameAndVersion) {
    const std::string version = uie2e::FileVersion(exe);
    ASSERT_FALSE(version.empty());
    ASSERT_TRUE(e2e::ClickMenu(main, IDM_ABOUT));
    HWND about = WaitAbout();
    ASSERT_NE(about, nullptr);
    // Modal: the main window takes no input while it is open.
    EXPECT_FALSE(e2e::Enabled(main));
    EXPECT_EQ(e2e::Text(e2e::Control(about, 1251)), "Pesora v" + version);
    (void)uie2e::Screenshot(about, "about");
    CloseAbout(about);
    EXPECT_TRUE(e2e::WaitUntil([&] { return e2e::Enabled(main); }, 5s));
}

// Right-button release on the icon: the about box, modeless; the hotkey types nothing while it
// is open and works again once it is closed.
TEST_F(Menus, IconRightClickShowsAboutAndHoldsTheHotkey) {
    uie2e::Target target;
    ASSERT_TRUE(target.Start("MenusTarget"));
    // The mouse moving over the status line at x 517 is no right click on the icon.
    e2e::Post(main, WM_MOUSEMOVE, 0, MAKELPARAM(WM_RBUTTONUP, 20));
    EXPECT_EQ(WaitAbout(1s), nullptr) << "a mouse move opened the about box";
    e2e::Post(main, app::kTrayIconMessage, 0, WM_RBUTTONUP);
    HWND about = WaitAbout();
    ASSERT_NE(about, nullptr);
    EXPECT_TRUE(e2e::Enabled(main));  // modeless
    ASSERT_TRUE(target.Focus());
    uie2e::Chord({VK_F9});
    // Nothing may arrive: give a send the time it would take, then look.
    EXPECT_FALSE(e2e::WaitUntil([&] { return !target.Text().empty(); }, 2s)) << target.Text();
    CloseAbout(about);
    ASSERT_TRUE(target.Focus());
    uie2e::Chord({VK_F9});
    EXPECT_TRUE(e2e::WaitUntil([&] { return target.Text().find("1.25") != std::string::npos; }, 5s)) << target.Text();
}

// ---- the weight box's pop-up menu -------------------------------------------------------------------

TEST_F(Menus, RightClickInTheWeightBoxPopsUpTheEditMenu) {
    HWND weight = e2e::Control(main, IDC_WEIGHT);
    (void)::SetForegroundWindow(main);
    struct Row {
        int line;
        UINT down, up;
        bool menu;
    } rows[] = {
        {__LINE__, WM_LBUTTONDOWN, WM_LBUTTONUP, false},
        {__LINE__, WM_RBUTTONDOWN, WM_RBUTTONUP, true},
    };
    auto popupShown = [] {
        HWND popup = ::FindWindowA("#32768", nullptr);
        return popup != nullptr && e2e::Visible(popup);
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.line);
        e2e::Post(weight, r.down, r.down == WM_RBUTTONDOWN ? MK_RBUTTON : MK_LBUTTON, MAKELPARAM(10, 10));
        e2e::Post(weight, r.up, 0, MAKELPARAM(10, 10));
        if (r.menu) {
            ASSERT_TRUE(e2e::WaitUntil(popupShown, 5s));
            (void)uie2e::Screenshot(main, "weight-popup");
            EXPECT_EQ(uie2e::FocusOf(main), weight);
            // Esc as the menu's own loop reads it: posted, so it does not depend on which
            // window the system made the foreground one.
            e2e::Post(::FindWindowA("#32768", nullptr), WM_KEYDOWN, VK_ESCAPE, 1);
            EXPECT_TRUE(e2e::WaitUntil([&] { return !popupShown(); }, 5s));
        } else {
            e2e::Send(weight, WM_NULL);  // the click has been handled
            EXPECT_FALSE(popupShown());
        }
    }
}

// Wider than 3550 twips, the scale list and Weight follow the window's outer width less 500 twips;
// at 3550 or narrower they keep their last widths.
TEST_F(Menus, ListAndWeightFollowTheWidthAbove3550Twips) {
    const RECT original = e2e::WindowRect(main);
    const int dpi = appe2e::ScreenDpi();
    auto px = [&](int twips) { return (twips * dpi + 720) / 1440; };
    struct Step {
        int line;
        int outerTwips;
        int expectedTwips;  // of the scale list and Weight afterwards
    } steps[] = {
        {__LINE__, 6000, 5500}, {__LINE__, 3600, 3100}, {__LINE__, 3525, 3100},  // not wider than 3550: unchanged
        {__LINE__, 3000, 3100}, {__LINE__, 7200, 6700},
    };
    for (const Step& s : steps) {
        SCOPED_TRACE(s.line);
        ::SetWindowPos(main, nullptr, 0, 0, px(s.outerTwips), original.bottom - original.top,
                       SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
        e2e::Send(main, WM_NULL);  // the resize has been handled
        const RECT outer = e2e::WindowRect(main);
        ASSERT_EQ(outer.right - outer.left, px(s.outerTwips)) << "the window refused the width";
        for (int id : {IDC_SCALE_LIST, IDC_WEIGHT}) {
            const RECT rc = e2e::RectInParent(e2e::Control(main, id));
            EXPECT_NEAR(rc.right - rc.left, px(s.expectedTwips), 1) << id;
        }
    }
    ::SetWindowPos(main, nullptr, 0, 0, original.right - original.left, original.bottom - original.top,
                   SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
}

// ---- width and screenshots -----------------------------------------------------------------------

TEST_F(Menus, ScreenshotsInBothWidths) {
    const RECT before = e2e::WindowRect(main);
    (void)::SetForegroundWindow(main);
    e2e::Send(main, WM_NULL);
    ::RedrawWindow(main, nullptr, nullptr, RDW_INVALIDATE | RDW_ALLCHILDREN | RDW_UPDATENOW);
    ASSERT_TRUE(e2e::WaitUntil([&] { return ::GetForegroundWindow() == main; }, 3s));
    EXPECT_TRUE(uie2e::Screenshot(main, "main-narrow"));
    const int dpi = appe2e::ScreenDpi();
    ::SetWindowPos(main, nullptr, 0, 0, 9000 * dpi / 1440, before.bottom - before.top, SWP_NOMOVE | SWP_NOZORDER);
    const int expected = (9000 - 500) * dpi / 1440;
    HWND weight = e2e::Control(main, IDC_WEIGHT);
    EXPECT_TRUE(e2e::WaitUntil(
        [&] {
            const RECT rc = e2e::RectInParent(weight);
            return std::abs(rc.right - rc.left - expected) <= 1;
        },
        5s));
    e2e::Send(main, WM_NULL);
    ::RedrawWindow(main, nullptr, nullptr, RDW_INVALIDATE | RDW_ALLCHILDREN | RDW_UPDATENOW);
    EXPECT_TRUE(uie2e::Screenshot(main, "main-wide"));
    ::SetWindowPos(main, nullptr, 0, 0, before.right - before.left, before.bottom - before.top,
                   SWP_NOMOVE | SWP_NOZORDER);
}

// Last: File > Exit ends the process and writes the settings file.
TEST_F(Menus, ZzExitEndsTheProcessAndWritesTheSettings) {
    const std::string ini = e2e::SettingsFileFor(kExeName);
    e2e::DeleteFileAt(ini);  // only the shutdown may write it
    ASSERT_TRUE(appe2e::ExitThroughMenu(*pesora));
    const auto lines = e2e::IniSectionLines(ini, "Settings");
    EXPECT_EQ(appe2e::ValueIn(lines, "HotKey"), "120");
    const auto selected = appe2e::ValueIn(lines, "SelectedScale");
    ASSERT_TRUE(selected.has_value());
    EXPECT_NE(selected->find(kSerial), std::string::npos) << *selected;
}

}  // namespace
