// One copy per executable name: a second start of the same name is refused with its message
// and leaves the first alone; a copy saved under another name runs beside it.
#include "AppE2e.h"

namespace {

using namespace appe2e;

std::string Refusal(const std::string& exeName) {
    return exeName +
           " is already running.\r\rNote:\rIf you want to input data from multiple USB HID scales, copy the "
           "Pesora.EXE program file and save it with a different file name and then run the renamed copy and "
           "configure it for the scale that you want to input data from.\rBe sure to select a different Hotkey in "
           "the settings for each scale that you want to input data from.";
}

TEST(Instances, SecondStartOfTheSameNameIsRefusedAndChangesNothing) {
    const std::string folder = e2e::FreshFolder("dup");
    const std::string exe = e2e::InstallPesora(folder, "Dup.exe");
    const std::string ini = e2e::SettingsFileFor("Dup");
    e2e::DeleteFileAt(ini);
    e2e::WriteRegString(HKEY_CURRENT_USER, e2e::kRunOnceKey, "Dup", "marker");
    ASSERT_TRUE(e2e::MakeFolders(e2e::FolderOf(ini)));
    ASSERT_TRUE(e2e::WriteFileBytes(ini, "[Settings]\r\nHotKey=121\r\n"));
    Running first = StartAndWait(exe);
    ASSERT_NE(first.main, nullptr);

    struct Row {
        int line;
        std::string exe;  // the same name, also in other letter case and another folder
    } rows[] = {
        {__LINE__, exe},
        {__LINE__, e2e::InstallPesora(e2e::JoinPath(folder, "other"), "DUP.EXE")},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.line);
        e2e::Process second = e2e::Start(r.exe);
        ASSERT_TRUE(second.Started());
        const std::string name = e2e::FileNameOf(r.exe).substr(0, 3);
        HWND box = e2e::WaitForMessageBox(second.Pid(), name + " - Error!");
        ASSERT_NE(box, nullptr);
        EXPECT_EQ(e2e::MessageBoxText(box), Refusal(name));
        EXPECT_EQ(e2e::MessageBoxButtons(box), std::vector<std::string>{"OK"});
        EXPECT_TRUE(second.Running());  // it waits for the user
        ASSERT_TRUE(e2e::PressOk(box));
        const auto code = second.Wait();
        ASSERT_TRUE(code.has_value());
        EXPECT_TRUE(first.process.Running());
        EXPECT_TRUE(e2e::Visible(first.main));
        EXPECT_EQ(e2e::ReadFileBytes(ini).value_or("?"), "[Settings]\r\nHotKey=121\r\n");
        EXPECT_EQ(e2e::ReadRegString(HKEY_CURRENT_USER, e2e::kRunOnceKey, "Dup").value_or("<none>"), "marker");
    }
    ASSERT_TRUE(ExitThroughMenu(first));
    EXPECT_EQ(ValueIn(e2e::IniSectionLines(ini, "Settings"), "HotKey").value_or("?"), "121");
}

TEST(Instances, RenamedCopyRunsBesideWithItsOwnSettingsFile) {
    const std::string first = e2e::InstallPesora(e2e::FreshFolder("pair"), "PairA.exe");
    const std::string second = e2e::InstallPesora(e2e::FreshFolder("pair2"), "Scale2.exe");
    e2e::DeleteFileAt(e2e::SettingsFileFor("PairA"));
    e2e::DeleteFileAt(e2e::SettingsFileFor("Scale2"));
    Running a = StartAndWait(first);
    ASSERT_NE(a.main, nullptr);
    Running b = StartAndWait(second);
    ASSERT_NE(b.main, nullptr);
    EXPECT_NE(a.main, b.main);
    EXPECT_TRUE(a.process.Running());
    EXPECT_TRUE(b.process.Running());
    EXPECT_TRUE(e2e::FileExists(e2e::SettingsFileFor("PairA")));
    EXPECT_TRUE(e2e::FileExists(e2e::SettingsFileFor("Scale2")));
    ASSERT_TRUE(ExitThroughMenu(b));
    EXPECT_TRUE(a.process.Running());
    EXPECT_EQ(e2e::IniSectionLines(e2e::SettingsFileFor("Scale2"), "Settings").size(), 18u);
    EXPECT_EQ(e2e::IniSectionLines(e2e::SettingsFileFor("PairA"), "Settings").size(), 0u);
    ASSERT_TRUE(ExitThroughMenu(a));
    EXPECT_EQ(e2e::IniSectionLines(e2e::SettingsFileFor("PairA"), "Settings").size(), 18u);
}

// The refused copy's window exists while its box is open: the end of the log-on reaching it then
// must end it without writing its defaults over the first copy's settings or removing the first
// copy's run-once entry.
TEST(Instances, RefusedCopyTouchesNothingWhenTheLogOnEndsWhileItsBoxIsOpen) {
    const std::string exe = e2e::InstallPesora(e2e::FreshFolder("dupend"), "DupEnd.exe");
    const std::string ini = e2e::SettingsFileFor("DupEnd");
    e2e::DeleteFileAt(ini);
    ASSERT_TRUE(e2e::MakeFolders(e2e::FolderOf(ini)));
    ASSERT_TRUE(e2e::WriteFileBytes(ini, "[Settings]\r\nHotKey=121\r\nLoadWithWindows=True\r\n"));
    Running first = StartAndWait(exe);
    ASSERT_NE(first.main, nullptr);
    ASSERT_TRUE(e2e::WriteRegString(HKEY_CURRENT_USER, e2e::kRunOnceKey, "DupEnd", "marker"));

    e2e::Process second = e2e::Start(exe);
    ASSERT_TRUE(second.Started());
    HWND box = e2e::WaitForMessageBox(second.Pid(), "DupEnd - Error!");
    ASSERT_NE(box, nullptr);
    HWND secondMain = e2e::FindTopLevel(second.Pid(), "Pesora");
    ASSERT_NE(secondMain, nullptr);
    (void)e2e::Send(secondMain, WM_QUERYENDSESSION, 0, 0);
    (void)e2e::Send(secondMain, WM_ENDSESSION, TRUE, 0);
    if (second.Running()) {
        ASSERT_TRUE(e2e::PressOk(box));
    }
    ASSERT_TRUE(second.Wait().has_value());
    EXPECT_EQ(e2e::ReadFileBytes(ini).value_or("?"), "[Settings]\r\nHotKey=121\r\nLoadWithWindows=True\r\n");
    // The entry is written again (Windows deletes it before running it), never removed.
    EXPECT_EQ(e2e::ReadRegString(HKEY_CURRENT_USER, e2e::kRunOnceKey, "DupEnd").value_or("<none>"),
              e2e::FolderOf(exe) + "\\DupEnd.EXE");
    EXPECT_TRUE(first.process.Running());
    ASSERT_TRUE(ExitThroughMenu(first));
    e2e::DeleteRegValue(HKEY_CURRENT_USER, e2e::kRunOnceKey, "DupEnd");
}

// The settings file is shared by every log-on session, so the check is too: a copy of the name
// running in another session (its marker in the machine-wide namespace) refuses this one.
TEST(Instances, CopyOfTheNameInAnotherSessionRefusesThisOne) {
    const std::string exe = e2e::InstallPesora(e2e::FreshFolder("global"), "GlobalDup.exe");
    HANDLE otherSession = ::CreateMutexA(nullptr, FALSE, "Global\\Pesora.Instance.GLOBALDUP");
    ASSERT_NE(otherSession, nullptr);
    e2e::Process copy = e2e::Start(exe);
    ASSERT_TRUE(copy.Started());
    HWND box = e2e::WaitForMessageBox(copy.Pid(), "GlobalDup - Error!", 10s);
    EXPECT_NE(box, nullptr) << "not refused";
    if (box != nullptr) {
        EXPECT_EQ(e2e::MessageBoxText(box), Refusal("GlobalDup"));
        ASSERT_TRUE(e2e::PressOk(box));
        EXPECT_TRUE(copy.Wait().has_value());
    } else {
        HWND main = e2e::FindTopLevel(copy.Pid(), "Pesora");
        if (main != nullptr) {
            (void)e2e::ClickMenu(main, IDM_EXIT);
        }
        (void)copy.WaitOrKill();
    }
    (void)::CloseHandle(otherSession);
    // With the other session's copy gone, the name starts again.
    Running again = StartAndWait(exe);
    ASSERT_NE(again.main, nullptr);
    ASSERT_TRUE(ExitThroughMenu(again));
}

}  // namespace
