// The harness itself, under Wine: paths, files, INI and registry helpers, and the target
// window that the tests type into.
#include <gtest/gtest.h>

#include "Fixture.h"

namespace {

using namespace std::chrono_literals;

TEST(HarnessPaths, JoinAndSplit) {
    struct Row {
        int line;
        const char* path;
        const char* folder;
        const char* file;
    } rows[] = {
        {__LINE__, "C:\\e2e\\x\\Scale2.exe", "C:\\e2e\\x", "Scale2.exe"},
        {__LINE__, "R:\\Pesora.exe", "R:\\", "Pesora.exe"},
        {__LINE__, "Pesora.exe", "", "Pesora.exe"},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.line);
        EXPECT_EQ(e2e::FolderOf(r.path), r.folder);
        EXPECT_EQ(e2e::FileNameOf(r.path), r.file);
    }
    EXPECT_EQ(e2e::JoinPath("C:\\a", "b.exe"), "C:\\a\\b.exe");
    EXPECT_EQ(e2e::JoinPath("C:\\", "b.exe"), "C:\\b.exe");
    EXPECT_TRUE(e2e::FileExists(e2e::PesoraExe())) << e2e::PesoraExe();
}

TEST(HarnessFiles, FoldersFilesAndIni) {
    const std::string folder = e2e::FreshFolder("harness\\deep");
    ASSERT_TRUE(e2e::FolderExists(folder));
    const std::string ini = e2e::JoinPath(folder, "t.ini");
    ASSERT_TRUE(e2e::WriteFileBytes(ini, "[A]\r\nk = v \r\n\r\n[B]\nx=1\n"));
    EXPECT_EQ(e2e::ReadIni(ini, "a", "K"), "v");
    EXPECT_EQ(e2e::ReadIni(ini, "A", "missing"), std::nullopt);
    EXPECT_EQ(e2e::IniSectionLines(ini, "b"), std::vector<std::string>{"x=1"});
    ASSERT_TRUE(e2e::WriteIni(ini, "B", "y", "2"));
    EXPECT_EQ(e2e::ReadIni(ini, "B", "y"), "2");
    EXPECT_TRUE(e2e::RemoveTree("C:\\e2e\\harness"));
    EXPECT_FALSE(e2e::FolderExists(folder));
}

TEST(HarnessRegistry, WriteReadDelete) {
    const char* key = "Software\\PesoraE2E";
    ASSERT_TRUE(e2e::WriteRegString(HKEY_CURRENT_USER, key, "v", "C:\\a b\\x.EXE"));
    EXPECT_EQ(e2e::ReadRegString(HKEY_CURRENT_USER, key, "v"), "C:\\a b\\x.EXE");
    EXPECT_TRUE(e2e::DeleteRegValue(HKEY_CURRENT_USER, key, "v"));
    EXPECT_EQ(e2e::ReadRegString(HKEY_CURRENT_USER, key, "v"), std::nullopt);
    EXPECT_TRUE(e2e::DeleteRegValue(HKEY_CURRENT_USER, key, "v"));  // absent already
}

TEST(HarnessWine, PathsConvertBothWays) {
    if (!e2e::RunningUnderWine()) {
        GTEST_SKIP() << "Wine only";
    }
    const std::string unix = e2e::UnixPathOf("C:\\windows");
    ASSERT_FALSE(unix.empty());
    EXPECT_EQ(unix.front(), '/');
    EXPECT_TRUE(_stricmp(e2e::WindowsPathOf(unix).c_str(), "\\\\?\\C:\\windows") == 0 ||
                _stricmp(e2e::WindowsPathOf(unix).c_str(), "C:\\windows") == 0)
        << e2e::WindowsPathOf(unix);
}

// The application with the focus receives real key events; the recorder, which counts what
// Pesora types, leaves out the events the test itself sends.
TEST(FixtureTarget, ReceivesTypedKeysAndTheRecorderLeavesOurOwnOut) {
    const e2e::KeyRecorder recorder;
    ASSERT_TRUE(recorder.Installed());
    const e2e::Target target("Harness Target");
    ASSERT_TRUE(target.Focus());
    for (BYTE vk : {BYTE{'O'}, BYTE{'K'}}) {
        e2e::Tap(vk);
    }
    EXPECT_TRUE(e2e::WaitUntil([&] { return target.Text() == "ok"; }, 5s)) << target.Text();
    EXPECT_EQ(recorder.Count(), 0u);
    target.Clear();
    EXPECT_EQ(target.Text(), "");
}

}  // namespace
