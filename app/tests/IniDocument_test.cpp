#include "app/IniDocument.h"

#include <gtest/gtest.h>

namespace {

using namespace std::string_literals;

TEST(IniDocument, ReadsLikeTheSystemProfileCalls) {
    struct Row {
        int line;
        std::string text;
        const char* section;
        const char* key;
        std::optional<std::string> expected;
    } rows[] = {
        {__LINE__, "[Settings]\r\nHotKey=120\r\n", "Settings", "HotKey", "120"},
        {__LINE__, "[settings]\nhotkey = 121 \n", "Settings", "HOTKEY", "121"},
        {__LINE__, "  [ Settings ]  \r\n\tHotKey\t=\t\"q x\"\r\n", "Settings", "HotKey", "q x"},
        {__LINE__, "[Settings]\r\nHotKey='x'\r\n", "Settings", "HotKey", "x"},
        {__LINE__, "[Settings]\r\nHotKey=\"x'\r\n", "Settings", "HotKey", "\"x'"},
        {__LINE__, "[Other]\r\nHotKey=1\r\n", "Settings", "HotKey", std::nullopt},
        {__LINE__, "HotKey=1\r\n[Settings]\r\n", "Settings", "HotKey", std::nullopt},
        {__LINE__, "[Settings]\r\nHotKey=1\r\nHotKey=2\r\n", "Settings", "HotKey", "1"},
        {__LINE__, "[Settings]\r\n;HotKey=1\r\n", "Settings", "HotKey", std::nullopt},
        {__LINE__, "[Settings]\r\nHotKey\r\n", "Settings", "HotKey", std::nullopt},
        {__LINE__, "[Settings]\r\nHotKey=\r\n", "Settings", "HotKey", ""},
        {__LINE__, "[Settings\r\nHotKey=5", "Settings", "HotKey", std::nullopt},
        {__LINE__, "[Settings]\r\n[Broken\r\nHotKey=5", "Settings", "HotKey", "5"},
        {__LINE__, "[Settings]\r\nHotKey=5\0junk\r\n"s, "Settings", "HotKey", "5"},
        {__LINE__, "[Settings]\r\n[Settings]\r\nHotKey=5\r\n", "Settings", "HotKey", std::nullopt},
        {__LINE__, "", "Settings", "HotKey", std::nullopt},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.line);
        EXPECT_EQ(app::IniDocument(r.text).Get(r.section, r.key), r.expected);
    }
}

TEST(IniDocument, WritingChangesOnlyTheKeysLine) {
    struct Row {
        int line;
        std::string before;
        const char* key;
        const char* value;
        std::string after;
    } rows[] = {
        {__LINE__, "", "HotKey", "120", "[Settings]\r\nHotKey=120\r\n"},
        {__LINE__, "junk", "HotKey", "1", "junk\r\n[Settings]\r\nHotKey=1\r\n"},
        {__LINE__, "[Settings]\r\nhotkeystr = CTRL+F9 \r\nx=1\r\n", "HotkeyStr", "F9",
         "[Settings]\r\nHotkeyStr=F9\r\nx=1\r\n"},
        {__LINE__, "[Settings]\r\na=1\r\n\r\n[Next]\r\nb=2\r\n", "HotKey", "7",
         "[Settings]\r\na=1\r\nHotKey=7\r\n\r\n[Next]\r\nb=2\r\n"},
        {__LINE__, "[Settings]\r\na=1", "HotKey", "7", "[Settings]\r\na=1\r\nHotKey=7"},
        {__LINE__, "[Settings]", "HotKey", "7", "[Settings]\r\nHotKey=7"},
        {__LINE__, "\x01\xff\0\n[Settings]\n=== \nHotKey=1\n\0\0"s, "HotKey", "2",
         "\x01\xff\0\n[Settings]\n=== \nHotKey=2\n\0\0"s},
        {__LINE__, "[Settings]\r\nPreamble=a\r\n", "Preamble", "x\r\n[Evil]\r\ny=1", "[Settings]\r\nPreamble=x\r\n"},
        {__LINE__, "[Settings]\r\nTareCommand=1,2\r\n", "HotKey", "1", "[Settings]\r\nTareCommand=1,2\r\nHotKey=1\r\n"},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.line);
        app::IniDocument doc(r.before);
        doc.Set("Settings", r.key, r.value);
        EXPECT_EQ(doc.Bytes(), r.after);
    }
}

TEST(IniDocument, WhatIsWrittenReadsBack) {
    app::IniDocument doc("[Other]\r\nk=v\r\n");
    for (const char* value : {"", "a b", "{ENTER}", "-5", "CTRL+F9"}) {
        SCOPED_TRACE(value);
        doc.Set("Settings", "Key", value);
        EXPECT_EQ(doc.Get("settings", "KEY"), value);
        EXPECT_EQ(doc.Get("Other", "k"), "v");
    }
}

}  // namespace
