#include "app/LaunchAtStartup.h"

#include <gtest/gtest.h>

namespace {

TEST(LaunchAtStartup, CommandIsFolderSeparatorNameAndCapitalExtension) {
    struct Row {
        int line;
        const char* folder;
        const char* exeName;
        const char* expected;
    } rows[] = {
        {__LINE__, "C:\\Tools", "Scale2", "C:\\Tools\\Scale2.EXE"},
        {__LINE__, "D:\\", "Pesora", "D:\\Pesora.EXE"},
        // A blank anywhere in the path: quoted, or C:\Program.exe would be tried first.
        {__LINE__, "C:\\Program Files\\My Scale", "Pesora", "\"C:\\Program Files\\My Scale\\Pesora.EXE\""},
        {__LINE__, "C:\\Tools", "Scale 2", "\"C:\\Tools\\Scale 2.EXE\""},
        {__LINE__, "\\\\server\\share", "pesora", "\\\\server\\share\\pesora.EXE"},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.line);
        EXPECT_EQ(app::RunOnceCommand(r.folder, r.exeName), r.expected);
    }
}

TEST(LaunchAtStartup, RunOnceUnlessEveryLogOn) {
    EXPECT_EQ(app::StartupKeyPath(false), "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\RunOnce");
    EXPECT_EQ(app::StartupKeyPath(true), "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run");
}

}  // namespace
