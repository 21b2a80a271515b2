// Settings files the program did not write: garbage, binary, huge, numbers beyond 32 bits, a
// file that cannot be written, a folder where the file should be. Start-up completes, the
// program ends normally, and nothing in the file that is not the program's own is lost.
#include "AppE2e.h"

#include <functional>
#include <set>

namespace {

using namespace appe2e;

std::string Binary() {
    std::string bytes;
    for (int i = 0; i < 4096; ++i) {
        bytes += static_cast<char>((i * 37 + 11) % 256);
    }
    return bytes;
}

std::string Huge() {
    std::string text = "[Settings]\r\nHotKey=130\r\n[Big]\r\n";
    for (int i = 0; text.size() < 5u * 1024 * 1024; ++i) {
        text += "key" + std::to_string(i) + "=value number " + std::to_string(i) + " of a big section\r\n";
    }
    return text;
}

// Lines of the original that are not [Settings] lines of the program's own keys.
std::vector<std::string> ForeignLines(const std::string& content) {
    static const char* const kOwn[] = {
        "hotkey",         "hotkeystr",       "hotkeyenabled",     "weightformat",       "selectedunits", "includeunits",
        "commaseparator", "loadwithwindows", "minimizeatstartup", "selectedscale",      "preamble",      "postamble",
        "windowleft",     "windowtop",       "samplerate",        "intercharacterdelay"};
    std::vector<std::string> out;
    bool inSettings = false;
    size_t start = 0;
    while (start < content.size()) {
        size_t end = content.find("\r\n", start);
        if (end == std::string::npos) {
            end = content.size();
        }
        const std::string line = content.substr(start, end - start);
        start = end + 2;
        if (!line.empty() && line[0] == '[') {
            inSettings = _strnicmp(line.c_str(), "[settings]", 10) == 0;
        }
        bool own = false;
        if (inSettings) {
            for (const char* key : kOwn) {
                const size_t n = strlen(key);
                own = own || (_strnicmp(line.c_str(), key, n) == 0 && line.size() > n && line[n] == '=');
            }
        }
        if (!own && !line.empty()) {
            out.push_back(line);
        }
    }
    return out;
}

TEST(BadInput, StartsEndsAndKeepsWhatIsNotItsOwn) {
    struct Row {
        int line;
        const char* what;
        std::string content;
        bool locked;  // another program holds the file open against writing
        std::vector<std::pair<std::string, std::string>> expected;  // [Settings] values after exit
    } rows[] = {
        {__LINE__,
         "garbage",
         "this is not a settings file\r\n=== \r\n[[[\r\nHotKey\r\n;comment\r\n[Settings\r\nx=1\r\n",
         false,
         {{"HotKey", "120"}, {"SampleRate", "50"}}},
        {__LINE__,
         "beyond 32 bits",
         "[Settings]\r\nHotKey=99999999999\r\nSampleRate=-99999999999\r\nSelectedUnits=1e20\r\n"
         "InterCharacterDelay=4294967296\r\nLater=kept\r\n",
         false,
         {{"HotKey", "120"}, {"SampleRate", "50"}, {"SelectedUnits", "0"}, {"InterCharacterDelay", "1"}}},
        {__LINE__, "5 MB", Huge(), false, {{"HotKey", "130"}}},
        {__LINE__, "cannot be written", "[Settings]\r\nHotKey=777\r\nOther=1\r\n", true, {{"HotKey", "777"}}},
    };
    const std::string exe = e2e::InstallPesora(e2e::FreshFolder("bad"), "BadIni.exe");
    const std::string ini = e2e::SettingsFileFor("BadIni");
    for (const Row& r : rows) {
        SCOPED_TRACE(r.what);
        SCOPED_TRACE(r.line);
        ASSERT_TRUE(e2e::MakeFolders(e2e::FolderOf(ini)));
        e2e::DeleteFileAt(ini);
        ASSERT_TRUE(e2e::WriteFileBytes(ini, r.content));
        HANDLE lock = INVALID_HANDLE_VALUE;
        if (r.locked) {
            lock = ::CreateFileA(ini.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
            ASSERT_NE(lock, INVALID_HANDLE_VALUE);
        }
        Running run = StartAndWait(exe);
        ASSERT_NE(run.main, nullptr);
        EXPECT_TRUE(e2e::WaitUntil([&] { return e2e::Visible(run.main); }));
        ASSERT_TRUE(ExitThroughMenu(run));
        const std::string after = e2e::ReadFileBytes(ini).value_or("");
        if (r.locked) {
            ::CloseHandle(lock);
            EXPECT_EQ(after, r.content);
        }
        const auto lines = e2e::IniSectionLines(ini, "Settings");
        for (const auto& [key, value] : r.expected) {
            SCOPED_TRACE(key);
            EXPECT_EQ(ValueIn(lines, key).value_or("<missing>"), value);
        }
        const auto afterLines = e2e::ReadLines(ini);
        const std::set<std::string> kept(afterLines.begin(), afterLines.end());
        for (const std::string& foreign : ForeignLines(r.content)) {
            EXPECT_EQ(kept.count(foreign), 1u) << "lost: " << foreign.substr(0, 80);
        }
    }
}

TEST(BadInput, BinaryFileStartsAndKeepsItsBytes) {
    const std::string exe = e2e::InstallPesora(e2e::FreshFolder("binary"), "BinIni.exe");
    const std::string ini = e2e::SettingsFileFor("BinIni");
    ASSERT_TRUE(e2e::MakeFolders(e2e::FolderOf(ini)));
    const std::string bytes = Binary();
    ASSERT_TRUE(e2e::WriteFileBytes(ini, bytes));
    Running run = StartAndWait(exe);
    ASSERT_NE(run.main, nullptr);
    EXPECT_TRUE(e2e::WaitUntil([&] { return e2e::Visible(run.main); }));
    ASSERT_TRUE(ExitThroughMenu(run));
    const std::string after = e2e::ReadFileBytes(ini).value_or("");
    ASSERT_GT(after.size(), bytes.size());
    EXPECT_TRUE(after.substr(0, bytes.size()) == bytes) << "the original bytes were changed";
    EXPECT_EQ(ValueIn(e2e::IniSectionLines(ini, "Settings"), "HotKey").value_or("<missing>"), "120");
}

TEST(BadInput, AFolderWhereTheFileShouldBeLeavesDefaultsAndNoFile) {
    const std::string exe = e2e::InstallPesora(e2e::FreshFolder("dirini"), "DirIni.exe");
    const std::string ini = e2e::SettingsFileFor("DirIni");
    e2e::RemoveTree(ini);
    ASSERT_TRUE(e2e::MakeFolders(ini));
    Running run = StartAndWait(exe);
    ASSERT_NE(run.main, nullptr);
    EXPECT_TRUE(e2e::WaitUntil([&] { return e2e::Visible(run.main); }));
    ASSERT_TRUE(ExitThroughMenu(run));
    EXPECT_TRUE(e2e::FolderExists(ini));
    e2e::RemoveTree(ini);
}

}  // namespace
