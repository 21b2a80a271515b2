// The settings file of the real program: created on first start, written in full at exit, and
// a hand-edited file read and written back by the conversion rules, leaving alone what is not
// the program's.
#include "AppE2e.h"

namespace {

using namespace appe2e;

TEST(SettingsFile, FirstStartCreatesFolderAndEmptyFileAndExitWritesEveryKey) {
    const std::string folder = e2e::JoinPath(e2e::CommonAppData(), "Pesora");
    const std::string ini = e2e::SettingsFileFor("First");
    ASSERT_TRUE(e2e::RemoveTree(folder));
    const std::string exe = e2e::InstallPesora(e2e::FreshFolder("first"), "First.exe");
    Running r = StartAndWait(exe);
    ASSERT_NE(r.main, nullptr);
    EXPECT_TRUE(e2e::FolderExists(folder));
    ASSERT_TRUE(e2e::FileExists(ini));
    EXPECT_EQ(e2e::ReadFileBytes(ini).value_or("?"), "");
    const RECT rect = e2e::WindowRect(r.main);
    ASSERT_TRUE(ExitThroughMenu(r));

    const int twipsPerPixel = 1440 / ScreenDpi();
    const std::vector<std::string> expected = {
        "HotKey=120",
        "HotkeyStr=F9",
        "HotkeyEnabled=True",
        "WeightFormat=",
        "SelectedUnits=0",
        "IncludeUnits=True",
        "CommaSeparator=False",
        "LoadWithWindows=False",
        "MinimizeAtStartup=False",
        "SelectedScale=",
        "Preamble=",
        "Postamble=",
        "WindowLeft=" + std::to_string(rect.left * twipsPerPixel),
        "WindowTop=" + std::to_string(rect.top * twipsPerPixel),
        "SampleRate=50",
        "InterCharacterDelay=1",
        "WebPort=0",
        "WebOrigins=",
    };
    EXPECT_EQ(e2e::IniSectionLines(ini, "Settings"), expected);
}

TEST(SettingsFile, HandEditedValuesAreConvertedAndOtherLinesKept) {
    const std::string p300(300, 'p');
    struct Row {
        int line;
        std::string content;
        std::vector<std::pair<std::string, std::string>> expected;  // key -> value after exit
    } rows[] = {
        {__LINE__,
         "[Settings]\r\nhotkey=abc\r\nhotkeystr=CTRL+F9\r\nHotkeyEnabled=true\r\nPreamble=" + p300 +
             "\r\nPostamble=\"{ENTER}\"\r\nUnknownKey=keep me\r\nTareCommand=1,2,3\r\n[Other]\r\nx=1\r\n",
         {{"HotKey", "0"},
          {"Hotkeystr", "CTRL+F9"},
          {"HotkeyEnabled", "False"},
          {"Preamble", std::string(254, 'p')},
          {"Postamble", "{ENTER}"},
          {"UnknownKey", "keep me"},
          {"TareCommand", "1,2,3"},
          {"SampleRate", "50"}}},
        {__LINE__,
         "[Settings]\r\nHotKey=888.5\r\nHotkeyEnabled=True\r\nSampleRate=0\r\n",
         {{"HotKey", "888"}, {"HotkeyEnabled", "True"}, {"SampleRate", "0"}}},
        {__LINE__,
         "[settings]\r\nHOTKEY=889.5\r\nMinimizeAtStartup=False\r\nInterCharacterDelay= 12 \r\n",
         {{"HotKey", "890"}, {"InterCharacterDelay", "12"}}},
    };
    const std::string exe = e2e::InstallPesora(e2e::FreshFolder("edited"), "Edited.exe");
    const std::string ini = e2e::SettingsFileFor("Edited");
    for (const Row& row : rows) {
        SCOPED_TRACE(row.line);
        ASSERT_TRUE(e2e::MakeFolders(e2e::FolderOf(ini)));
        ASSERT_TRUE(e2e::WriteFileBytes(ini, row.content));
        Running r = StartAndWait(exe);
        ASSERT_NE(r.main, nullptr);
        ASSERT_TRUE(ExitThroughMenu(r));
        const auto lines = e2e::IniSectionLines(ini, "Settings");
        for (const auto& [key, value] : row.expected) {
            SCOPED_TRACE(key);
            EXPECT_EQ(ValueIn(lines, key).value_or("<missing>"), value);
        }
        // One line per key: the differently spelled key was rewritten in place.
        EXPECT_EQ(std::count_if(lines.begin(), lines.end(),
                                [](const std::string& l) { return _strnicmp(l.c_str(), "hotkeystr=", 10) == 0; }),
                  1);
        EXPECT_EQ(e2e::ReadIni(ini, "Other", "x").value_or("<missing>"),
                  row.content.find("[Other]") != std::string::npos ? "1" : "<missing>");
    }
}

// A text of the longest length that is read back, with a blank at one end, is what the next start
// reads, as the system's own profile reading sees it.
TEST(SettingsFile, LongestTextsKeepTheirOuterBlanks) {
    const std::string preamble = " " + std::string(253, 'p');
    const std::string postamble = std::string(253, 'q') + " ";
    const std::string exe = e2e::InstallPesora(e2e::FreshFolder("blanks"), "Blanks.exe");
    const std::string ini = e2e::SettingsFileFor("Blanks");
    ASSERT_TRUE(e2e::MakeFolders(e2e::FolderOf(ini)));
    ASSERT_TRUE(
        e2e::WriteFileBytes(ini, "[Settings]\r\nPreamble=\"" + preamble + "\"\r\nPostamble=\"" + postamble + "\"\r\n"));
    Running r = StartAndWait(exe);
    ASSERT_NE(r.main, nullptr);
    ASSERT_TRUE(ExitThroughMenu(r));
    EXPECT_EQ(e2e::ReadIni(ini, "Settings", "Preamble").value_or("<missing>"), preamble);
    EXPECT_EQ(e2e::ReadIni(ini, "Settings", "Postamble").value_or("<missing>"), postamble);
}

// The file is replaced by a new one written beside it, never overwritten in place. With the
// file held open by another program (an editor, a virus scanner) the exit leaves either the old
// file whole or the complete new one, never a mix, and no temporary file beside it. (A write
// that fails part way, a full disk or a lost share, cannot be made to happen here.)
TEST(SettingsFile, ExitWithTheFileHeldOpenLeavesAWholeFileAndNoTemporaryFile) {
    const std::string exe = e2e::InstallPesora(e2e::FreshFolder("locked"), "Locked.exe");
    const std::string ini = e2e::SettingsFileFor("Locked");
    ASSERT_TRUE(e2e::MakeFolders(e2e::FolderOf(ini)));
    std::string content = "[Settings]\r\nHotKey=888.5\r\n[Other]\r\n";
    std::vector<std::string> other;
    for (int i = 0; i < 2000; ++i) {
        other.push_back("key" + std::to_string(i) + "=value number " + std::to_string(i));
        content += other.back() + "\r\n";
    }
    ASSERT_TRUE(e2e::WriteFileBytes(ini, content));
    Running r = StartAndWait(exe);
    ASSERT_NE(r.main, nullptr);

    HANDLE holder = ::CreateFileA(ini.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                                  FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(holder, INVALID_HANDLE_VALUE);
    const bool exited = ExitThroughMenu(r);
    (void)::CloseHandle(holder);
    ASSERT_TRUE(exited);

    const std::string after = e2e::ReadFileBytes(ini).value_or("?");
    if (after != content) {
        EXPECT_EQ(ValueIn(e2e::IniSectionLines(ini, "Settings"), "HotKey").value_or("?"), "888");
        EXPECT_TRUE(e2e::IniSectionLines(ini, "Other") == other) << "the file mixes new and old bytes";
    }
    // No temporary file is left beside it.
    WIN32_FIND_DATAA found{};
    HANDLE find = ::FindFirstFileA(e2e::JoinPath(e2e::FolderOf(ini), "*.tmp").c_str(), &found);
    EXPECT_EQ(find, INVALID_HANDLE_VALUE) << found.cFileName;
    if (find != INVALID_HANDLE_VALUE) {
        ::FindClose(find);
    }
    e2e::DeleteFileAt(ini);
}

}  // namespace
