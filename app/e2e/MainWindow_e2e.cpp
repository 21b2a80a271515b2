// The main window as the user meets it: caption, frame, client size, every control at its
// place with its text and visibility, the menu bar, hiding into the notification area and
// coming back, widening, and File > Exit.
#include <gtest/gtest.h>

#include "Harness.h"
#include "app/TrayIconMessage.h"
#include "app/resource.h"

#include <shellapi.h>

namespace {

using namespace std::chrono_literals;

int ScreenDpi() {
    HDC dc = ::GetDC(nullptr);
    const int dpi = ::GetDeviceCaps(dc, LOGPIXELSX);
    ::ReleaseDC(nullptr, dc);
    return dpi;
}

int Px(int twips) {
    return static_cast<int>((static_cast<long long>(twips) * ScreenDpi() + 720) / 1440);
}

// Asks the shell about the window's icon: a call on an icon that does not exist fails.
bool TrayIcon(HWND main, DWORD what) {
    NOTIFYICONDATAA nid{};
    nid.cbSize = NOTIFYICONDATAA_V1_SIZE;
    nid.hWnd = main;
    nid.uID = 0;
    nid.uFlags = NIF_TIP;
    lstrcpynA(nid.szTip, "Pesora", sizeof nid.szTip);
    return ::Shell_NotifyIconA(what, &nid) != FALSE;
}

class MainWindow : public ::testing::Test {
  protected:
    void SetUp() override {
        _exe = e2e::InstallPesora(e2e::FreshFolder("window"), "Window.exe");
        ASSERT_FALSE(_exe.empty());
        e2e::DeleteFileAt(e2e::SettingsFileFor("Window"));
        _process = e2e::Start(_exe);
        ASSERT_TRUE(_process.Started());
        _main = e2e::WaitForMainWindow(_process);
        ASSERT_NE(_main, nullptr);
        ASSERT_TRUE(e2e::WaitUntil([&] { return e2e::Visible(_main); }));
    }
    void TearDown() override {
        if (_process.Running() && _main != nullptr) {
            e2e::ClickMenu(_main, IDM_EXIT);
        }
        EXPECT_TRUE(_process.WaitOrKill());
    }

    std::string _exe;
    e2e::Process _process;
    HWND _main = nullptr;
};

TEST_F(MainWindow, HasCaptionFrameIconAndClientSize) {
    EXPECT_EQ(e2e::Text(_main), "Pesora");
    const LONG style = ::GetWindowLongA(_main, GWL_STYLE);
    EXPECT_TRUE(style & WS_THICKFRAME);
    EXPECT_TRUE(style & WS_MINIMIZEBOX);
    EXPECT_TRUE(style & WS_MAXIMIZEBOX);
    EXPECT_NE(e2e::Send(_main, WM_GETICON, ICON_BIG), 0);
    EXPECT_NE(e2e::Send(_main, WM_GETICON, ICON_SMALL), 0);
    const RECT client = e2e::ClientRectOf(_main);
    EXPECT_EQ(client.right, Px(5445));
    EXPECT_EQ(client.bottom, Px(3810));
}

TEST_F(MainWindow, ControlsSitAtTheirPlacesWithTheirTexts) {
    struct Row {
        int line;
        int id;
        const char* className;
        const char* text;
        int left, top, width, height;
        bool visible;
    } rows[] = {
        {__LINE__, IDC_SELECT_SCALE_LABEL, "Static", "Select Scale:", 120, 360, 1155, 195, true},
        {__LINE__, IDC_SCALE_LIST, "ListBox", "", 120, 600, -1, 1035, true},
        {__LINE__, IDC_ZERO_BUTTON, "Button", "Zero Scale", 2040, 1680, 1215, 375, true},
        {__LINE__, IDC_WEIGHT_CAPTION, "Static", "Weight:", 120, 1920, 675, 195, true},
        {__LINE__, IDC_WEIGHT, "Edit", "", 120, 2160, -1, 930, true},
        // Start-up ends with the list refresh, which rewrites the status line.
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
        HWND c = e2e::Control(_main, r.id);
        ASSERT_NE(c, nullptr);
        EXPECT_STRCASEEQ(e2e::ClassName(c).c_str(), r.className);
        if (r.text != nullptr) {
            EXPECT_EQ(e2e::Text(c), r.text);
        } else {
            const std::string status = e2e::Text(c);
            EXPECT_TRUE(status.empty() || status == "No USB HID Scales Found") << status;
        }
        EXPECT_EQ(e2e::Visible(c), r.visible);
        const RECT rc = e2e::RectInParent(c);
        EXPECT_EQ(rc.left, Px(r.left));
        EXPECT_EQ(rc.top, Px(r.top));
        if (r.width >= 0) {  // the scale list and Weight follow the window's width
            EXPECT_EQ(rc.right - rc.left, Px(r.width));
        }
        EXPECT_EQ(rc.bottom - rc.top, Px(r.height));
    }
}

// The live menu of another process cannot be read under Wine; the window has a menu bar, and
// the one the program loads holds these items.
TEST_F(MainWindow, MenuBarHoldsItsItemsInOrder) {
    EXPECT_NE(::GetMenu(_main), nullptr);
    HMENU bar = e2e::LoadMenuFromExe(_exe, IDR_MAINMENU);
    ASSERT_NE(bar, nullptr);
    const std::vector<std::string> items = {"File", "Edit", "Settings...", "Help"};
    EXPECT_EQ(e2e::MenuItemTexts(bar), items);
    EXPECT_EQ(::GetSubMenu(bar, 2), nullptr);  // a command on the bar itself
    EXPECT_EQ(::GetMenuItemID(bar, 2), static_cast<UINT>(IDM_SETTINGS));
    struct Row {
        int line;
        int barIndex;
        std::vector<std::string> texts;
        std::vector<UINT> ids;
    } rows[] = {
        {__LINE__, 0, {"Exit"}, {IDM_EXIT}},
        {__LINE__, 1, {"Copy"}, {IDM_EDITCOPY}},
        {__LINE__, 3, {"Contents", "-", "About..."}, {IDM_CONTENTS, 0, IDM_ABOUT}},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.line);
        HMENU sub = ::GetSubMenu(bar, r.barIndex);
        ASSERT_NE(sub, nullptr);
        EXPECT_EQ(e2e::MenuItemTexts(sub), r.texts);
        EXPECT_EQ(e2e::MenuItemIds(sub), r.ids);
    }
    ::DestroyMenu(bar);
}

TEST_F(MainWindow, MinimisedItHidesAndTheIconBringsItBack) {
    e2e::Post(_main, WM_SYSCOMMAND, SC_MINIMIZE);
    EXPECT_TRUE(e2e::WaitUntil([&] { return !e2e::Visible(_main); }, 5s));
    // The mouse moving over the labels of a wide window reaches the window itself: at an x of
    // 517 it is no right click on the icon, which would open the about box.
    e2e::Post(_main, WM_MOUSEMOVE, 0, MAKELPARAM(WM_RBUTTONUP, 20));
    // The icon's callback: its own message carrying the left-button-down event.
    e2e::Post(_main, app::kTrayIconMessage, 0, WM_LBUTTONDOWN);
    EXPECT_TRUE(e2e::WaitUntil([&] { return e2e::Visible(_main) && !e2e::Minimized(_main); }, 5s));
    // Handled in the order posted: an about box opened by the mouse move would be there now.
    EXPECT_EQ(e2e::FindTopLevel(_process.Pid(), "About Pesora"), nullptr) << "a mouse move opened the about box";
}

TEST_F(MainWindow, IconComesBackWhenTheShellRestarts) {
    ASSERT_TRUE(e2e::WaitUntil([&] { return TrayIcon(_main, NIM_MODIFY); }, 5s));
    ASSERT_TRUE(TrayIcon(_main, NIM_DELETE));  // what a shell restart does to every icon
    EXPECT_FALSE(TrayIcon(_main, NIM_MODIFY));
    e2e::Post(_main, ::RegisterWindowMessageA("TaskbarCreated"));
    EXPECT_TRUE(e2e::WaitUntil([&] { return TrayIcon(_main, NIM_MODIFY); }, 5s));
}

TEST_F(MainWindow, WideningStretchesListAndWeightNarrowingLeavesThem) {
    const RECT before = e2e::WindowRect(_main);
    const int height = before.bottom - before.top;
    ::SetWindowPos(_main, nullptr, 0, 0, Px(6000), height, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    for (int id : {IDC_SCALE_LIST, IDC_WEIGHT}) {
        SCOPED_TRACE(id);
        HWND c = e2e::Control(_main, id);
        EXPECT_TRUE(e2e::WaitUntil(
            [&] {
                const RECT rc = e2e::RectInParent(c);
                return rc.right - rc.left == Px(5500);
            },
            5s));
    }
    ::SetWindowPos(_main, nullptr, 0, 0, Px(3000), height, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    e2e::Send(_main, WM_NULL);  // let the resize be handled
    for (int id : {IDC_SCALE_LIST, IDC_WEIGHT}) {
        SCOPED_TRACE(id);
        const RECT rc = e2e::RectInParent(e2e::Control(_main, id));
        EXPECT_EQ(rc.right - rc.left, Px(5500));
    }
}

TEST_F(MainWindow, FileExitEndsTheProgram) {
    ASSERT_TRUE(e2e::ClickMenu(_main, IDM_EXIT));
    const auto code = _process.Wait();
    ASSERT_TRUE(code.has_value());
    EXPECT_EQ(*code, 0u);
}

}  // namespace
