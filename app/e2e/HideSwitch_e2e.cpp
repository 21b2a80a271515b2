// "-H" anywhere in the arguments, in any case, starts the program without window and icon; the
// minimise-at-start setting leaves only the icon.
#include "AppE2e.h"

#include <shellapi.h>

namespace {

using namespace appe2e;

// Whether the shell holds an icon for this window: modifying an icon that does not exist fails.
bool IconPresent(HWND main) {
    NOTIFYICONDATAA nid{};
    nid.cbSize = NOTIFYICONDATAA_V1_SIZE;
    nid.hWnd = main;
    nid.uID = 0;
    nid.uFlags = NIF_TIP;
    lstrcpynA(nid.szTip, "Pesora", sizeof nid.szTip);
    return ::Shell_NotifyIconA(NIM_MODIFY, &nid) != FALSE;
}

TEST(HideSwitch, HiddenWithoutIconOnlyWithMinusH) {
    struct Row {
        int line;
        const char* arguments;
        bool minimizeAtStartup;
        bool windowVisible;
        bool iconPresent;
    } rows[] = {
        {__LINE__, "-h", false, false, false},       {__LINE__, "-H", false, false, false},
        {__LINE__, "/x -HIDE", false, false, false}, {__LINE__, "H", false, true, true},
        {__LINE__, "", false, true, true},           {__LINE__, "", true, false, true},
        {__LINE__, "-H", true, false, false},
    };
    const std::string exe = e2e::InstallPesora(e2e::FreshFolder("hide"), "Hide.exe");
    const std::string ini = e2e::SettingsFileFor("Hide");
    for (const Row& r : rows) {
        SCOPED_TRACE(r.line);
        ASSERT_TRUE(e2e::MakeFolders(e2e::FolderOf(ini)));
        ASSERT_TRUE(e2e::WriteFileBytes(
            ini, std::string("[Settings]\r\nMinimizeAtStartup=") + (r.minimizeAtStartup ? "True" : "False") + "\r\n"));
        Running run = StartAndWait(exe, r.arguments);
        ASSERT_NE(run.main, nullptr);
        // Start-up has finished once the window answers; give a late show a moment to happen.
        e2e::Send(run.main, WM_NULL);
        ::Sleep(500);
        EXPECT_EQ(e2e::Visible(run.main), r.windowVisible);
        EXPECT_EQ(IconPresent(run.main), r.iconPresent);
        ASSERT_TRUE(ExitThroughMenu(run));  // hidden, it still ends through its menu command
    }
}

}  // namespace
