#include "dialogs/ProgramInfo.h"

#include <gtest/gtest.h>

namespace {

TEST(ProgramInfo, HelpFileSitsBesideTheProgram) {
    struct Row {
        int line;
        std::string_view folder;
        std::string_view path;
    };
    const Row rows[] = {
        {__LINE__, "C:\\Program Files\\Pesora", "C:\\Program Files\\Pesora\\PesoraHelp.chm"},
        {__LINE__, "C:\\", "C:\\PesoraHelp.chm"},
        {__LINE__, "\\\\server\\share\\scales", "\\\\server\\share\\scales\\PesoraHelp.chm"},
        {__LINE__, "", "PesoraHelp.chm"},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.line);
        EXPECT_EQ(dialogs::HelpFilePath(r.folder), r.path);
        EXPECT_NE(dialogs::HelpMissingMessage(dialogs::HelpFilePath(r.folder)).find(r.path), std::string::npos);
    }
}

TEST(ProgramInfo, AboutStatesMajorMinorRevision) {
    struct Row {
        int line;
        uint16_t major, minor, revision;
        std::string_view text;
    };
    const Row rows[] = {
        {__LINE__, 1, 0, 0, "Pesora v1.0.0"},
        {__LINE__, 2, 5, 7, "Pesora v2.5.7"},
        {__LINE__, 10, 12, 345, "Pesora v10.12.345"},
        {__LINE__, 65535, 65535, 65535, "Pesora v65535.65535.65535"},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.line);
        EXPECT_EQ(dialogs::AboutVersionText(r.major, r.minor, r.revision), r.text);
    }
}

}  // namespace
