// What the real Pesora.exe leaves behind and finds at its start: the settings file (created,
// written in full at exit, hand-edited while it runs, broken, saved as UTF-16 or UTF-8, held open
// by another program), one copy per executable name, folders beyond the ANSI code page, the -H
// switch and the start-with-Windows entry; and no weight without a reporting scale. Every test
// here is about a start or an end, so each start is a fresh process.
#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <set>

#include "Fixture.h"
#include "app/AnsiCodePage_win.h"

namespace {

using namespace e2e;
using namespace std::chrono_literals;

// Once start-up has finished (a late show would come with the next message), the window stays
// hidden; the notification-area icon is there or not as `icon` says.
void ExpectHiddenAfterStart(const e2e::Pesora& p, bool icon) {
    e2e::Send(p.Main(), WM_NULL);
    ::Sleep(500);
    EXPECT_FALSE(e2e::Visible(p.Main()));
    EXPECT_EQ(e2e::TrayIcon(p.Main(), NIM_MODIFY), icon);
}

TEST(SettingsFile, FirstStartCreatesAnEmptyFileAndExitWritesEveryKey) {
    ASSERT_TRUE(e2e::RemoveTree(e2e::JoinPath(e2e::CommonAppData(), "Pesora")));
    ASSERT_TRUE(e2e::WriteRegString(HKEY_CURRENT_USER, e2e::kRunOnceKey, "First", "stale"));
    e2e::Pesora p({.name = "First"});
    ASSERT_TRUE(p.Started());
    // The start-up makes the file once its window is up: wait for it rather than race it.
    EXPECT_TRUE(e2e::WaitUntil([&] { return e2e::FileExists(p.SettingsFile()); }, 5s));
    EXPECT_EQ(e2e::ReadFileBytes(p.SettingsFile()).value_or("<none>"), "");
    const RECT rect = e2e::WindowRect(p.Main());
    ASSERT_TRUE(p.Exit());
    const int twipsPerPixel = 1440 / e2e::ScreenDpi();
    std::string written;
    for (const std::string& line : e2e::IniSectionLines(p.SettingsFile(), "Settings")) {
        written += line + "\n";
    }
    EXPECT_EQ(
        written,
        "HotKey=120\nHotkeyStr=F9\nHotkeyEnabled=True\nWeightFormat=\nSelectedUnits=0\nIncludeUnits=True\n"
        "CommaSeparator=False\nLoadWithWindows=False\nMinimizeAtStartup=False\nSelectedScale=\n"
        "Preamble=\nPostamble=\nWindowLeft=" +
            std::to_string(rect.left * twipsPerPixel) + "\nWindowTop=" + std::to_string(rect.top * twipsPerPixel) +
            "\nSampleRate=50\nInterCharacterDelay=1\nWebPort=0\nWebOrigins=\nStableOnly=False\nStableWaitMs=2000\n"
            "AutoSend=False\nSettleMs=500\nAutoSendMin=0\n");
    // Start with Windows is off by default: the shutdown removes a stale entry.
    EXPECT_EQ(e2e::ReadRegString(HKEY_CURRENT_USER, e2e::kRunOnceKey, "First"), std::nullopt);
}

// The file is replaced by a new one written beside it, never overwritten in place. Held open by
// another program from before the start, the exit ends normally, leaves no temporary file, and
// the file is the old one or the complete new one, never a mix. Windows lets the new file replace
// one held with delete sharing (as most editors hold theirs); Wine refuses to replace any open
// file, so there the old one stays whole. (A write failing part way, a full disk or a lost share,
// cannot be made to happen here.)
TEST(SettingsFile, HeldOpenByAnotherProgramIsLeftWholeWithoutATemporaryFile) {
    const std::string ini = e2e::SettingsFileFor("Held");
    // Another program's section, big enough that a file written in place could be caught half done.
    std::vector<std::string> other;
    std::string content = "[Settings]\r\nHotKey=777\r\n[Other]\r\n";
    for (int i = 0; i < 2000; ++i) {
        content += other.emplace_back("key" + std::to_string(i) + "=value number " + std::to_string(i)) + "\r\n";
    }
    ASSERT_TRUE(e2e::MakeFolders(e2e::FolderOf(ini)));
    ASSERT_TRUE(e2e::WriteFileBytes(ini, content));
    {  // another program (an editor, a virus scanner) with the file open
        const std::unique_ptr<void, decltype(&::CloseHandle)> holder(
            ::CreateFileA(ini.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                          OPEN_EXISTING, 0, nullptr),
            &::CloseHandle);
        ASSERT_NE(holder.get(), INVALID_HANDLE_VALUE);
        e2e::Pesora p({.name = "Held", .keepSettingsFile = true});
        ASSERT_TRUE(p.Started());
        ASSERT_TRUE(p.Exit());
    }
    const bool old = e2e::ReadFileBytes(ini) == content;
    const bool replaced = !old && e2e::ReadIni(ini, "Settings", "HotKey") == "777" &&
                          e2e::IniSectionLines(ini, "Settings").size() == 23u &&
                          e2e::IniSectionLines(ini, "Other") == other;
    EXPECT_TRUE(e2e::RunningUnderWine() ? old : replaced) << "old " << old << ", replaced " << replaced;
    WIN32_FIND_DATAA found{};
    HANDLE tmp = ::FindFirstFileA(e2e::JoinPath(e2e::FolderOf(ini), "*.tmp").c_str(), &found);
    EXPECT_EQ(tmp, INVALID_HANDLE_VALUE) << "a temporary file is left: " << found.cFileName;
    (void)::FindClose(tmp);
    e2e::DeleteFileAt(ini);
}

// A file saved as UTF-16 is read (minimise-at-start hides the window into its icon) and written
// back as UTF-16, its foreign line and non-ASCII text kept. The close box shuts down as File > Exit
// does: the settings are written and the start-with-Windows entry removed, the setting being off.
TEST(SettingsFile, Utf16FileIsReadAndWrittenBackAsUtf16ByTheCloseBox) {
    const std::wstring foreign = L"; Notizen f\u00FCr die Waage \u2013 \u6CE8\u91CA\r\n";
    const std::wstring preamble = L"Preamble=\u00E4\u20AC\u00DF\u4E2D{{}\r\n";
    const std::wstring text = foreign + L"[Settings]\r\nMinimizeAtStartup=True\r\n" + preamble;
    std::string bytes = "\xFF\xFE";
    bytes.append(reinterpret_cast<const char*>(text.data()), text.size() * sizeof(wchar_t));
    ASSERT_TRUE(e2e::WriteRegString(HKEY_CURRENT_USER, e2e::kRunOnceKey, "Utf16", "stale"));
    e2e::Pesora p({.name = "Utf16", .settings = bytes});
    ASSERT_TRUE(p.Started());
    ExpectHiddenAfterStart(p, true);
    ASSERT_TRUE(e2e::CloseBox(p.Main()));
    EXPECT_EQ(p.process().Wait(), std::optional<DWORD>(0));
    EXPECT_EQ(e2e::ReadRegString(HKEY_CURRENT_USER, e2e::kRunOnceKey, "Utf16"), std::nullopt);
    const std::string after = e2e::ReadFileBytes(p.SettingsFile()).value_or("");
    ASSERT_GE(after.size(), 2u);
    EXPECT_EQ(after.substr(0, 2), "\xFF\xFE");
    EXPECT_EQ(after.size() % 2, 0u) << "bytes of another encoding were appended";
    const std::wstring wide(reinterpret_cast<const wchar_t*>(after.data() + 2), (after.size() - 2) / 2);
    EXPECT_EQ(wide.rfind(foreign, 0), 0u) << "the foreign line is gone";
    EXPECT_NE(wide.find(L"\r\n" + preamble), std::wstring::npos);
    EXPECT_NE(wide.find(L"\r\nWindowLeft="), std::wstring::npos) << "the shutdown wrote nothing";
}

// "-H" anywhere among the arguments, in any case, starts without window and icon, minimise-at-start
// or not; hidden, WM_CLOSE still ends the program as File > Exit does and writes its
// start-with-Windows entry, named after the executable, with the path it runs from (a drive root).
TEST(Switches, MinusHHidesWindowAndIconAndWmCloseWritesTheRunOnceEntry) {
    ASSERT_TRUE(e2e::FolderExists("R:\\")) << "the bench did not map drive R:";  // an empty folder
    ASSERT_TRUE(e2e::WriteRegString(HKEY_CURRENT_USER, e2e::kRunOnceKey, "RootCopy", "stale"));
    e2e::Pesora p({.name = "RootCopy",
                   .settings = "[Settings]\r\nLoadWithWindows=True\r\nMinimizeAtStartup=True\r\n",
                   .switches = "/x -h",
                   .folder = "R:\\"});
    ASSERT_TRUE(p.Started());
    ExpectHiddenAfterStart(p, false);
    ASSERT_TRUE(e2e::CloseMessage(p.Main()));
    EXPECT_EQ(p.process().Wait(), std::optional<DWORD>(0));
    EXPECT_EQ(e2e::ReadRegString(HKEY_CURRENT_USER, e2e::kRunOnceKey, "RootCopy").value_or("<none>"),
              "R:\\RootCopy.EXE");
    EXPECT_EQ(e2e::IniSectionLines(p.SettingsFile(), "Settings").size(), 23u) << "not written by the same end";
    e2e::DeleteRegValue(HKEY_CURRENT_USER, e2e::kRunOnceKey, "RootCopy");
}

std::string Refusal(const std::string& name) {
    return name +
           " is already running.\r\rNote:\rIf you want to input data from multiple USB HID scales, copy the "
           "Pesora.EXE program file and save it with a different file name and then run the renamed copy and "
           "configure it for the scale that you want to input data from.\rBe sure to select a different Hotkey in "
           "the settings for each scale that you want to input data from.";
}

// One copy per executable name, whatever its folder or letter case, and across log-on sessions:
// a refused copy changes no setting, whether the user answers its box or the log-on ends under it;
// as start at log-on is on, it writes its run-once entry back (Windows deleted it to run it).
// A copy saved under another name runs beside, with its own settings file and entry. The entries
// name the folders as they are, beyond the ANSI code page too.
TEST(Instances, OneCopyPerNameAndRenamedCopiesBeside) {
    const std::string ini = e2e::SettingsFileFor("Dup");
    const std::string settings = "[Settings]\r\nHotKey=121\r\nLoadWithWindows=True\r\n";
    ASSERT_TRUE(e2e::MakeFolders(e2e::FolderOf(ini)));
    ASSERT_TRUE(e2e::WriteFileBytes(ini, settings));
    ASSERT_TRUE(e2e::WriteRegString(HKEY_CURRENT_USER, e2e::kRunOnceKey, "Dup", "marker"));
    auto expectUntouched = [&](const std::string& entry) {
        EXPECT_EQ(e2e::ReadFileBytes(ini).value_or("?"), settings);
        EXPECT_EQ(e2e::ReadRegString(HKEY_CURRENT_USER, e2e::kRunOnceKey, "Dup").value_or("<none>"), entry);
    };
    {  // a copy of the name in another session holds its marker in the machine-wide namespace
        HANDLE otherSession = ::CreateMutexA(nullptr, FALSE, "Global\\Pesora.Instance.DUP");
        ASSERT_NE(otherSession, nullptr);
        const std::string refusedExe = e2e::InstallPesora(e2e::FreshFolder("dup_\xC5\x81ukasz"), "dUp.exe");
        e2e::Process refused = e2e::Start(refusedExe);
        HWND box = e2e::WaitForMessageBox(refused.Pid(), "dUp - Error!", 10s);
        (void)::CloseHandle(otherSession);
        ASSERT_NE(box, nullptr) << "not refused";
        EXPECT_EQ(e2e::MessageBoxText(box), Refusal("dUp"));
        EXPECT_EQ(e2e::MessageBoxButtons(box), std::vector<std::string>{"OK"});
        EXPECT_TRUE(refused.Running());  // it waits for the user
        ASSERT_TRUE(e2e::PressOk(box));
        EXPECT_TRUE(refused.Wait().has_value());
        expectUntouched(e2e::FolderOf(refusedExe) + "\\dUp.EXE");
    }
    e2e::Pesora first({.name = "Dup", .settings = settings});  // the name starts again
    ASSERT_TRUE(first.Started());
    {  // the refused copy's hidden window exists while its box is open: the log-on ends under it
        e2e::Process second = e2e::Start(first.Exe());
        HWND box = e2e::WaitForMessageBox(second.Pid(), "Dup - Error!");
        ASSERT_NE(box, nullptr);
        HWND secondMain = e2e::FindTopLevel(second.Pid(), "Pesora");
        ASSERT_NE(secondMain, nullptr);
        (void)e2e::Send(secondMain, WM_QUERYENDSESSION, 0, 0);
        (void)e2e::Send(secondMain, WM_ENDSESSION, TRUE, 0);
        if (second.Running()) {
            ASSERT_TRUE(e2e::PressOk(box));
        }
        ASSERT_TRUE(second.Wait().has_value());
        EXPECT_TRUE(first.process().Running());
        EXPECT_TRUE(e2e::Visible(first.Main()));
        expectUntouched(e2e::FolderOf(first.Exe()) + "\\Dup.EXE");
    }
    {
        e2e::Pesora beside({.name = "Blank Name",
                            .settings = "[Settings]\r\nLoadWithWindows=True\r\n",
                            .folder = "C:\\e2e\\run once\\\xC5\x81ukasz"});
        ASSERT_TRUE(beside.Started());
        ASSERT_TRUE(beside.Exit());
        EXPECT_EQ(e2e::IniSectionLines(beside.SettingsFile(), "Settings").size(), 23u);
        EXPECT_EQ(e2e::ReadRegString(HKEY_CURRENT_USER, e2e::kRunOnceKey, "Blank Name").value_or("<none>"),
                  "\"C:\\e2e\\run once\\\xC5\x81ukasz\\Blank Name.EXE\"");
        e2e::DeleteRegValue(HKEY_CURRENT_USER, e2e::kRunOnceKey, "Blank Name");
    }
    EXPECT_TRUE(first.process().Running());
    expectUntouched(e2e::FolderOf(first.Exe()) + "\\Dup.EXE");
    ASSERT_TRUE(first.Exit());
    EXPECT_EQ(first.Setting("HotKey").value_or("?"), "121");
    EXPECT_EQ(e2e::ReadRegString(HKEY_CURRENT_USER, e2e::kRunOnceKey, "Dup").value_or("<none>"),
              e2e::FolderOf(first.Exe()) + "\\Dup.EXE");
    e2e::DeleteRegValue(HKEY_CURRENT_USER, e2e::kRunOnceKey, "Dup");
}

// ---- files the program did not write ------------------------------------------------------------

// Hand-edited values, garbage, numbers beyond 32 bits, 5 MB, and bytes of the ANSI code page (the
// ones it leaves undefined too): start-up completes, the values are read (after 5 MB) and converted
// or fall back, the program ends normally, and every line that is not the program's own, and the
// preamble's bytes, are kept.
TEST(BadInput, GarbageHugeAndHighBytesStartEndAndKeepWhatIsNotItsOwn) {
    // Lines the parser does not understand are the unit tests' concern; these prove they are kept.
    std::vector<std::string> foreign = {"; \xC4nderungen \x80 \x81", "[Settings", "x=1", "[Big]"};
    std::string content;
    for (const std::string& line : foreign) {
        content += line + "\r\n";
    }
    for (int i = 0; content.size() < 5u * 1024 * 1024; ++i) {
        foreign.push_back("key" + std::to_string(i) + "=value number " + std::to_string(i) + " of a big section");
        content += foreign.back() + "\r\n";
    }
    std::string high;
    for (int b = 0x80; b <= 0xFF; ++b) {
        high += static_cast<char>(b);
    }
    std::string blanks(254, 'q');  // the longest text read back, with a blank at each end
    blanks.front() = blanks.back() = ' ';
    content +=
        "[settings]\r\nHOTKEY=888.5\r\nhotkeystr=CTRL+F9\r\nHotkeyEnabled=true\r\nSampleRate=-99999999999\r\n"
        "SelectedUnits=1e20\r\nInterCharacterDelay=4294967296\r\nPreamble=" +
        high + "\r\nPostamble=\"" + blanks + "\"\r\nLater=kept\r\n";
    foreign.push_back("Later=kept");
    e2e::Pesora p({.name = "BadIni", .settings = content});
    ASSERT_TRUE(p.Started());
    EXPECT_TRUE(e2e::WaitUntil([&] { return e2e::Visible(p.Main()); }));
    ASSERT_TRUE(p.Exit());
    const std::pair<std::string, std::string> expected[] = {{"HotKey", "888"},          {"Hotkeystr", "CTRL+F9"},
                                                            {"HotkeyEnabled", "False"}, {"SampleRate", "50"},
                                                            {"SelectedUnits", "0"},     {"InterCharacterDelay", "1"}};
    for (const auto& [key, value] : expected) {
        EXPECT_EQ(p.Setting(key).value_or("<missing>"), value) << key;
    }
    // The blanks at both ends survive as the system's own profile reading sees the value.
    EXPECT_EQ(e2e::ReadIni(p.SettingsFile(), "Settings", "Postamble").value_or("<missing>"), blanks);
    const auto lines = e2e::IniSectionLines(p.SettingsFile(), "Settings");
    EXPECT_EQ(std::count_if(lines.begin(), lines.end(),
                            [](const std::string& l) { return _strnicmp(l.c_str(), "hotkeystr=", 10) == 0; }),
              1)
        << "the differently spelled key was not rewritten in place";
    const std::string after = e2e::ReadFileBytes(p.SettingsFile()).value_or("");
    EXPECT_EQ(after.rfind(foreign[0] + "\r\n", 0), 0u) << "the first line changed";
    EXPECT_NE(after.find("\r\nPreamble=" + high + "\r\n"), std::string::npos) << "the preamble's bytes changed";
    const auto afterLines = e2e::ReadLines(p.SettingsFile());
    const std::set<std::string> kept(afterLines.begin(), afterLines.end());
    for (const std::string& line : foreign) {
        EXPECT_EQ(kept.count(line), 1u) << "lost: " << line;
    }
}

// A binary file starts with the defaults and keeps its bytes; a folder where the file should be
// is left alone and the program runs on its defaults.
TEST(BadInput, BinaryFileOrAFolderInItsPlaceStartsOnTheDefaults) {
    std::string bytes;
    for (int i = 0; i < 4096; ++i) {
        bytes += static_cast<char>((i * 37 + 11) % 256);
    }
    {
        e2e::Pesora p({.name = "BinIni", .settings = bytes});
        ASSERT_TRUE(p.Started());
        EXPECT_TRUE(e2e::WaitUntil([&] { return e2e::Visible(p.Main()); }));
        ASSERT_TRUE(p.Exit());
        const std::string after = e2e::ReadFileBytes(p.SettingsFile()).value_or("");
        ASSERT_GT(after.size(), bytes.size());
        EXPECT_TRUE(after.substr(0, bytes.size()) == bytes) << "the original bytes were changed";
        EXPECT_EQ(p.Setting("HotKey").value_or("<missing>"), "120");
    }
    const std::string ini = e2e::SettingsFileFor("DirIni");
    e2e::RemoveTree(ini);
    ASSERT_TRUE(e2e::MakeFolders(ini));
    {
        e2e::Pesora p({.name = "DirIni", .keepSettingsFile = true});
        ASSERT_TRUE(p.Started());
        EXPECT_TRUE(e2e::WaitUntil([&] { return e2e::Visible(p.Main()); }));
        ASSERT_TRUE(p.Exit());
    }
    EXPECT_TRUE(e2e::FolderExists(ini));
    e2e::RemoveTree(ini);
}

constexpr int kWebPort = 18093;

// Stays true for a moment: proves that something does not come back.
bool StaysTrue(const std::function<bool()>& condition) {
    return !WaitUntil([&] { return !condition(); }, 600ms);
}

// No weight without a reporting scale, a UTF-8 file with its mark (kept, with its one section),
// and a hand edit that survives the exit, on one running copy.
TEST(Reading, NoWeightWithoutAScaleAndTheFileKeepsItsEdits) {
    Scale a(Scale::Options("2201"));
    ASSERT_TRUE(a.SetGrams(1250));
    ScaleOptions silent = Scale::Options("2202", {}, 0x8004);  // its own product: its own name
    silent.onChangeOnly = true;
    silent.refuseInputRequests = true;
    Scale b(silent);
    PesoraOptions options;
    options.name = "FaultsScale";
    options.settings = "\xEF\xBB\xBF" + SettingsText({{"SelectedScale", a.Path()},
                                                      {"Preamble", "\xC5\x81"},  // Ł, UTF-8 beyond the ANSI code page
                                                      {"WebPort", std::to_string(kWebPort)},
                                                      {"SampleRate", "50"}});
    Pesora p(options);
    ASSERT_TRUE(p.Started());
    ASSERT_TRUE(WaitUntil([&] { return p.Weight().find("1250") != std::string::npos; }, 10s)) << p.Weight();
    Target target;
    ASSERT_TRUE(target.Focus());
    {
        SCOPED_TRACE("another scale chosen: nothing shown or typed until it reports");
        ASSERT_TRUE(p.WaitRow("2202")) << ::testing::PrintToString(p.Rows());
        ASSERT_TRUE(p.ClickRow("2202"));
        EXPECT_TRUE(StaysTrue([&] { return p.Weight().empty(); })) << p.Weight();
        PressHotkey();
        EXPECT_TRUE(StaysTrue([&] { return target.Text().empty(); })) << target.Text();
    }
    {
        SCOPED_TRACE("its weight once it reports, with the UTF-8 preamble");
        ASSERT_TRUE(b.SetGrams(700));
        ASSERT_TRUE(WaitUntil([&] { return p.Weight().find("700") != std::string::npos; }, 5s)) << p.Weight();
        PressHotkey();
        EXPECT_TRUE(WaitUntil([&] { return target.Text().find("700") != std::string::npos; }, 5s));
        EXPECT_EQ(target.Text().substr(0, 2), "\xC5\x81") << target.Text();
    }
    {
        SCOPED_TRACE("the scale unplugged: no weight on screen or on the web");
        ASSERT_TRUE(b.Unplug());
        EXPECT_TRUE(StaysTrue([&] { return p.Weight().empty(); })) << p.Weight();
        const std::string json = HttpGet(kWebPort, "/weight");
        EXPECT_NE(json.find(R"("weight":null)"), std::string::npos) << json;
        EXPECT_NE(json.find(R"("stable":false)"), std::string::npos) << json;
    }
    {
        SCOPED_TRACE("a key edited by hand while it runs keeps the edit at exit");
        std::string text = ReadFileBytes(p.SettingsFile()).value_or("");
        const size_t at = text.find("SampleRate=50");
        ASSERT_NE(at, std::string::npos) << text;
        ASSERT_TRUE(WriteFileBytes(p.SettingsFile(), text.replace(at, 13, "SampleRate=100")));
        ASSERT_TRUE(p.Exit());
        EXPECT_EQ(p.Setting("SampleRate"), "100");
        text = ReadFileBytes(p.SettingsFile()).value_or("");
        EXPECT_EQ(text.substr(0, 3), "\xEF\xBB\xBF");
        EXPECT_EQ(text.find("[Settings]"), text.rfind("[Settings]")) << text;
        EXPECT_EQ(p.Setting("Preamble"), "\xC5\x81");
    }
}

// The lossless conversion to the ANSI code page takes no look-alikes.
TEST(AnsiCodePage, TheConversionRefusesLookAlikes) {
    const app::AnsiCodePageWin ansi;
    ASSERT_EQ(::GetACP(), 1252U);
    struct Row {
        const char* utf8;
        std::optional<std::string> expected;
    };
    const Row rows[] = {
        {"\xC5\x82", std::nullopt},                            // ł, which best fit would make "l"
        {"\xE2\x80\x9E\xC3\xA9\xE2\x82\xAC", "\x84\xE9\x80"},  // „ é €: where 1252 is not Latin-1 too
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.utf8);
        EXPECT_EQ(ansi.FromUtf8(row.utf8), row.expected);
    }
}

}  // namespace
