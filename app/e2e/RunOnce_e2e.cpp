// Start with Windows: at every shutdown the run-once entry named after the executable is
// written with the program's path (setting on) or removed (setting off); the close box shuts
// down the same way as File > Exit.
#include "AppE2e.h"

namespace {

using namespace appe2e;

enum class Ending { Menu, CloseBox, CloseMessage };

TEST(RunOnce, WrittenWithTheSettingOnAndRemovedWithItOff) {
    // The bench maps R: to an empty folder, so that a program can sit in a drive root.
    ASSERT_TRUE(e2e::FolderExists("R:\\")) << "the bench did not map drive R:";
    struct Row {
        int line;
        std::string folder;
        std::string file;
        bool loadWithWindows;
        Ending ending;
        std::optional<std::string> expected;
    } rows[] = {
        {__LINE__, "C:\\e2e\\runonce", "RunOn.exe", true, Ending::Menu, "C:\\e2e\\runonce\\RunOn.EXE"},
        {__LINE__, "C:\\e2e\\runonce", "RunOn.exe", false, Ending::Menu, std::nullopt},
        {__LINE__, "C:\\e2e\\run once\\with blanks", "Blank Name.exe", true, Ending::Menu,
         "\"C:\\e2e\\run once\\with blanks\\Blank Name.EXE\""},
        {__LINE__, "R:\\", "RootCopy.exe", true, Ending::Menu, "R:\\RootCopy.EXE"},
        {__LINE__, "C:\\e2e\\runonce", "RunOn.exe", true, Ending::CloseBox, "C:\\e2e\\runonce\\RunOn.EXE"},
        {__LINE__, "C:\\e2e\\runonce", "RunOn.exe", false, Ending::CloseBox, std::nullopt},
        {__LINE__, "C:\\e2e\\runonce", "RunOn.exe", true, Ending::CloseMessage, "C:\\e2e\\runonce\\RunOn.EXE"},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.line);
        const std::string exeName = r.file.substr(0, r.file.size() - 4);
        const std::string exe = e2e::InstallPesora(r.folder, r.file);
        ASSERT_FALSE(exe.empty());
        const std::string ini = e2e::SettingsFileFor(exeName);
        ASSERT_TRUE(e2e::MakeFolders(e2e::FolderOf(ini)));
        ASSERT_TRUE(e2e::WriteFileBytes(
            ini, std::string("[Settings]\r\nLoadWithWindows=") + (r.loadWithWindows ? "True" : "False") + "\r\n"));
        // A stale entry must be replaced or removed.
        ASSERT_TRUE(e2e::WriteRegString(HKEY_CURRENT_USER, e2e::kRunOnceKey, exeName, "stale"));
        Running run = StartAndWait(exe);
        ASSERT_NE(run.main, nullptr);
        switch (r.ending) {
            case Ending::Menu:
                ASSERT_TRUE(ExitThroughMenu(run));
                break;
            case Ending::CloseBox:
            case Ending::CloseMessage:
                ASSERT_TRUE(r.ending == Ending::CloseBox ? e2e::CloseBox(run.main) : e2e::CloseMessage(run.main));
                ASSERT_TRUE(run.process.WaitOrKill());
                break;
        }
        EXPECT_EQ(e2e::ReadRegString(HKEY_CURRENT_USER, e2e::kRunOnceKey, exeName), r.expected);
        // The settings were written by the same shutdown.
        EXPECT_EQ(e2e::IniSectionLines(ini, "Settings").size(), 18u);  // the sixteen keys and the web endpoint's two
        e2e::DeleteRegValue(HKEY_CURRENT_USER, e2e::kRunOnceKey, exeName);
    }
}

TEST(RunOnce, TwoCopiesLeaveOneEntryEach) {
    const std::string a = e2e::InstallPesora(e2e::FreshFolder("twoA"), "CopyA.exe");
    const std::string b = e2e::InstallPesora(e2e::FreshFolder("twoB"), "CopyB.exe");
    for (const char* name : {"CopyA", "CopyB"}) {
        const std::string ini = e2e::SettingsFileFor(name);
        ASSERT_TRUE(e2e::MakeFolders(e2e::FolderOf(ini)));
        ASSERT_TRUE(e2e::WriteFileBytes(ini, "[Settings]\r\nLoadWithWindows=True\r\n"));
    }
    Running ra = StartAndWait(a);
    Running rb = StartAndWait(b);
    ASSERT_NE(ra.main, nullptr);
    ASSERT_NE(rb.main, nullptr);
    ASSERT_TRUE(ExitThroughMenu(ra));
    ASSERT_TRUE(ExitThroughMenu(rb));
    EXPECT_EQ(e2e::ReadRegString(HKEY_CURRENT_USER, e2e::kRunOnceKey, "CopyA").value_or("<none>"),
              "C:\\e2e\\twoA\\CopyA.EXE");
    EXPECT_EQ(e2e::ReadRegString(HKEY_CURRENT_USER, e2e::kRunOnceKey, "CopyB").value_or("<none>"),
              "C:\\e2e\\twoB\\CopyB.EXE");
    e2e::DeleteRegValue(HKEY_CURRENT_USER, e2e::kRunOnceKey, "CopyA");
    e2e::DeleteRegValue(HKEY_CURRENT_USER, e2e::kRunOnceKey, "CopyB");
}

}  // namespace
