#include "app/CommandLine.h"

#include <gtest/gtest.h>

namespace {

TEST(CommandLine, HideSwitchAnywhereInAnyCase) {
    struct Row {
        int line;
        const char* arguments;
        bool hidden;
    } rows[] = {
        {__LINE__, "-h", true},  {__LINE__, "-H", true},       {__LINE__, "/x -HIDE", true}, {__LINE__, "abc-hx", true},
        {__LINE__, "H", false},  {__LINE__, "", false},        {__LINE__, "-", false},       {__LINE__, "- H", false},
        {__LINE__, "/h", false}, {__LINE__, "-x -y -h", true}, {__LINE__, "h-", false},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.line);
        EXPECT_EQ(app::HasHideSwitch(r.arguments), r.hidden) << r.arguments;
    }
}

TEST(CommandLine, ArgumentsFollowTheProgramName) {
    struct Row {
        int line;
        const char* commandLine;
        const char* arguments;
    } rows[] = {
        {__LINE__, "\"C:\\My-Hidden\\Pesora.exe\" H", "H"},
        {__LINE__, "\"C:\\My-Hidden\\Pesora.exe\"", ""},
        {__LINE__, "C:\\Tools\\Pesora.exe   -h", "-h"},
        {__LINE__, "Pesora.exe", ""},
        {__LINE__, "\"C:\\a b\\Pesora.exe\"/x -HIDE", "/x -HIDE"},
        {__LINE__, "\"unterminated -h", ""},
        {__LINE__, "", ""},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.line);
        EXPECT_EQ(app::ArgumentsOf(r.commandLine), r.arguments);
    }
}

TEST(CommandLine, ProgramFolderNamedLikeTheSwitchDoesNotHide) {
    EXPECT_FALSE(app::HasHideSwitch(app::ArgumentsOf("\"C:\\x-Hidden\\Pesora.exe\" H")));
    EXPECT_TRUE(app::HasHideSwitch(app::ArgumentsOf("\"C:\\x\\Pesora.exe\" -H")));
}

}  // namespace
