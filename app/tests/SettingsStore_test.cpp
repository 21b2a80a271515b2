#include "app/SettingsStore.h"
#include "app/IniDocument.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <map>
#include <vector>

namespace {

std::string Repeat(std::string_view part, size_t times) {
    std::string out;
    for (size_t i = 0; i < times; ++i) {
        out += part;
    }
    return out;
}

std::string Lower(std::string_view s) {
    std::string out(s);
    std::transform(out.begin(), out.end(), out.begin(), [](unsigned char c) { return std::tolower(c); });
    return out;
}

// An initialisation file in memory: keys without regard to case, every call recorded.
class FakeIni final : public app::IIniStore {
  public:
    std::map<std::string, std::string> values;  // lower-cased key -> value
    std::vector<std::string> reads;             // "key=fallback"
    std::vector<std::string> writes;            // "key=value"

    void Set(std::string_view key, std::string_view value) { values[Lower(key)] = std::string(value); }
    std::string Read(std::string_view section, std::string_view key, std::string_view fallback) override {
        EXPECT_EQ(section, "Settings");
        reads.push_back(std::string(key) + "=" + std::string(fallback));
        const auto it = values.find(Lower(key));
        return it == values.end() ? std::string(fallback) : it->second;
    }
    void Write(std::string_view section, std::string_view key, std::string_view value) override {
        EXPECT_EQ(section, "Settings");
        writes.push_back(std::string(key) + "=" + std::string(value));
        values[Lower(key)] = std::string(value);
    }
};

TEST(SettingsNumber, ConvertsTheNumberAtTheStartLikeStoredFilesExpect) {
    struct Row {
        int line;
        const char* text;
        std::optional<int32_t> expected;
    } rows[] = {
        {__LINE__, "120", 120},
        {__LINE__, "abc", 0},
        {__LINE__, "", 0},
        {__LINE__, "888.5", 888},
        {__LINE__, "889.5", 890},
        {__LINE__, "0.5", 0},
        {__LINE__, "1.5", 2},
        {__LINE__, "2.5", 2},
        {__LINE__, "-1.5", -2},
        {__LINE__, "-2.5", -2},
        {__LINE__, "-0.5", 0},
        {__LINE__, ".6", 1},
        {__LINE__, "888.51", 889},
        {__LINE__, "  42", 42},
        {__LINE__, "\t-7", -7},
        {__LINE__, "+5", 5},
        {__LINE__, "1 2", 12},
        {__LINE__, " - 3", -3},
        {__LINE__, "12abc", 12},
        {__LINE__, "1e3", 1000},
        {__LINE__, "1.5E1", 15},
        {__LINE__, "25e-1", 2},
        {__LINE__, "1e", 1},
        {__LINE__, "1e+", 1},
        {__LINE__, "e5", 0},
        {__LINE__, "-", 0},
        {__LINE__, "0x10", 0},
        {__LINE__, "2147483647", 2147483647},
        {__LINE__, "-2147483648", INT32_MIN},
        {__LINE__, "2147483647.4", 2147483647},
        {__LINE__, "2147483647.5", std::nullopt},
        {__LINE__, "2147483648", std::nullopt},
        {__LINE__, "-2147483649", std::nullopt},
        {__LINE__, "99999999999", std::nullopt},
        {__LINE__, "1e400", std::nullopt},
        {__LINE__, "-1e400", std::nullopt},
        {__LINE__, "00000000000000000000000000000000000000000000000000007", 7},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.line);
        EXPECT_EQ(app::ParseSettingNumber(r.text), r.expected) << r.text;
    }
}

TEST(SettingsBool, OnlyExactTrueIsTrue) {
    struct Row {
        int line;
        const char* text;
        bool expected;
    } rows[] = {
        {__LINE__, "True", true}, {__LINE__, "true", false},  {__LINE__, "TRUE", false},  {__LINE__, "-1", false},
        {__LINE__, "1", false},   {__LINE__, "True ", false}, {__LINE__, "False", false}, {__LINE__, "", false},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.line);
        EXPECT_EQ(app::ParseSettingBool(r.text), r.expected);
    }
}

TEST(SettingsText, MatchingQuotesAreStrippedOnce) {
    struct Row {
        int line;
        const char* text;
        const char* expected;
    } rows[] = {
        {__LINE__, "\"abc\"", "abc"}, {__LINE__, "'abc'", "abc"}, {__LINE__, "\"abc'", "\"abc'"},
        {__LINE__, "\"", "\""},       {__LINE__, "\"\"", ""},     {__LINE__, "a\"b\"", "a\"b\""},
        {__LINE__, "\"'x'\"", "'x'"}, {__LINE__, "", ""},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.line);
        EXPECT_EQ(app::StripMatchingQuotes(r.text), r.expected);
    }
}

TEST(SettingsText, TwipsAreWrittenWithoutDecimalSeparatorWhenWhole) {
    struct Row {
        int line;
        double twips;
        const char* expected;
    } rows[] = {
        {__LINE__, 1500, "1500"},
        {__LINE__, 0, "0"},
        {__LINE__, -480000, "-480000"},
        {__LINE__, 1234.5, "1234.5"},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.line);
        EXPECT_EQ(app::FormatTwips(r.twips), r.expected);
    }
}

TEST(SettingsFile, PathIsUnderPesoraFolderNamedAfterExe) {
    EXPECT_EQ(app::SettingsFileFullPath("C:\\ProgramData", "Scale2"), "C:\\ProgramData\\Pesora\\Scale2.Ini");
    EXPECT_EQ(app::SettingsFileFullPath("", "Pesora"), "C:\\Pesora\\Pesora.Ini");
    EXPECT_EQ(app::SettingsFileFullPath("D:\\", "Pesora"), "D:\\Pesora\\Pesora.Ini");
}

// Records what locating the file does; files "exist" once created.
class FakeFs final : public app::ISettingsFileSystem {
  public:
    std::string folder = "C:\\ProgramData";
    bool writable = true;
    std::vector<std::string> existing;
    std::vector<std::string> calls;

    std::string CommonDataFolder() override { return folder; }
    std::string ShortPathOf(const std::string& path) override {
        calls.push_back("short " + path);
        const bool exists = std::find(existing.begin(), existing.end(), path) != existing.end();
        return exists ? "SHORT(" + path + ")" : std::string();
    }
    void CreateFolder(const std::string& path) override { calls.push_back("mkdir " + path); }
    void CreateEmptyFile(const std::string& path) override {
        calls.push_back("touch " + path);
        if (writable) {
            existing.push_back(path);
        }
    }
};

TEST(SettingsFile, LocatingCreatesFolderAndFileOnlyWhenMissing) {
    const std::string file = "C:\\ProgramData\\Pesora\\Scale2.Ini";
    struct Row {
        int line;
        bool exists;
        bool writable;
        std::string expectedPath;
        std::vector<std::string> expectedCalls;
    } rows[] = {
        {__LINE__, true, true, "SHORT(" + file + ")", {"short " + file}},
        {__LINE__,
         false,
         true,
         "SHORT(" + file + ")",
         {"short " + file, "mkdir C:\\ProgramData\\Pesora", "touch " + file, "short " + file}},
        {__LINE__,
         false,
         false,
         "",
         {"short " + file, "mkdir C:\\ProgramData\\Pesora", "touch " + file, "short " + file}},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.line);
        FakeFs fs;
        fs.writable = r.writable;
        if (r.exists) {
            fs.existing.push_back(file);
        }
        EXPECT_EQ(app::LocateSettingsFile(fs, "Scale2"), r.expectedPath);
        EXPECT_EQ(fs.calls, r.expectedCalls);
    }
}

TEST(SettingsLoad, ReadsEveryKeyInOrderWithItsDefault) {
    FakeIni ini;
    base::Settings s;
    app::LoadSettings(ini, s);
    const std::vector<std::string> expected = {
        "HotKey=120",
        "Hotkeystr=F9",
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
        "TareCommand=2,2,0,0,0,0",
        "SampleRate=50",
        "InterCharacterDelay=1",
        "WebPort=0",
        "WebOrigins=",
    };
    EXPECT_EQ(ini.reads, expected);
    EXPECT_EQ(s.HotKey, 120);
    EXPECT_EQ(s.Hotkeystr, "F9");
    EXPECT_TRUE(s.HotkeyEnabled);
    EXPECT_TRUE(s.IncludeUnits);
    EXPECT_FALSE(s.LoadWithWindows);
    EXPECT_EQ(s.SampleRate, 50);
    EXPECT_EQ(s.InterCharacterDelay, 1);
    EXPECT_EQ(s.TareCommand, "2,2,0,0,0,0");
}

TEST(SettingsLoad, ConvertsHandEditedValues) {
    struct Row {
        int line;
        const char* key;
        std::string value;
        std::string (*field)(const base::Settings&);
        std::string expected;
    } rows[] = {
        {__LINE__, "hotkey", "abc", [](const base::Settings& s) { return std::to_string(s.HotKey); }, "0"},
        {__LINE__, "HOTKEY", "888.5", [](const base::Settings& s) { return std::to_string(s.HotKey); }, "888"},
        {__LINE__, "HotKey", "99999999999", [](const base::Settings& s) { return std::to_string(s.HotKey); }, "120"},
        {__LINE__, "SampleRate", "-1e12", [](const base::Settings& s) { return std::to_string(s.SampleRate); }, "50"},
        {__LINE__, "hotkeystr", "CTRL+F9", [](const base::Settings& s) { return s.Hotkeystr; }, "CTRL+F9"},
        {__LINE__, "HotkeyEnabled", "true",
         [](const base::Settings& s) { return std::string(s.HotkeyEnabled ? "T" : "F"); }, "F"},
        {__LINE__, "MinimizeAtStartup", "True",
         [](const base::Settings& s) { return std::string(s.MinimizeAtStartup ? "T" : "F"); }, "T"},
        {__LINE__, "Preamble", std::string(300, 'p'), [](const base::Settings& s) { return s.Preamble; },
         std::string(254, 'p')},
        // The limit counts characters: a value of two-byte characters is not cut inside one.
        {__LINE__, "Preamble", "x" + Repeat("\u00E4", 300), [](const base::Settings& s) { return s.Preamble; },
         "x" + Repeat("\u00E4", 253)},
        {__LINE__, "Postamble", Repeat("\u4E2D", 254), [](const base::Settings& s) { return s.Postamble; },
         Repeat("\u4E2D", 254)},
        {__LINE__, "TareCommand", "1,2", [](const base::Settings& s) { return s.TareCommand; }, "1,2"},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.line);
        FakeIni ini;
        ini.Set(r.key, r.value);
        base::Settings s;
        app::LoadSettings(ini, s);
        EXPECT_EQ(r.field(s), r.expected);
    }
}

TEST(SettingsLoad, TimerGetsSampleRateBeforeTheNextKeyIsRead) {
    FakeIni ini;
    ini.Set("SampleRate", "0");
    base::Settings s;
    std::vector<std::string> seen;
    app::LoadSettings(
        ini, s, [&](int32_t rate) { seen.push_back("rate " + std::to_string(rate) + " after " + ini.reads.back()); });
    ASSERT_EQ(seen.size(), 1u);
    EXPECT_EQ(seen[0], "rate 0 after SampleRate=50");
    EXPECT_EQ(ini.reads.back(), "WebOrigins=");
}

TEST(SettingsSave, WritesSixteenKeysInOrderAndNeverTareCommand) {
    FakeIni ini;
    base::Settings s;
    s.HotKey = -5;
    s.Hotkeystr = "CTRL+F9";
    s.HotkeyEnabled = false;
    s.LoadWithWindows = true;
    s.TareCommand = "9,9";
    s.Preamble = "{TAB}";
    app::SaveSettings(ini, s, 1500, -480000);
    const std::vector<std::string> expected = {
        "HotKey=-5",
        "HotkeyStr=CTRL+F9",
        "HotkeyEnabled=False",
        "WeightFormat=",
        "SelectedUnits=0",
        "IncludeUnits=True",
        "CommaSeparator=False",
        "LoadWithWindows=True",
        "MinimizeAtStartup=False",
        "SelectedScale=",
        "Preamble={TAB}",
        "Postamble=",
        "WindowLeft=1500",
        "WindowTop=-480000",
        "SampleRate=50",
        "InterCharacterDelay=1",
        "WebPort=0",
        "WebOrigins=",
    };
    EXPECT_EQ(ini.writes, expected);
}

TEST(SettingsSave, WhatIsReadIsWrittenBackUnchanged) {
    FakeIni ini;
    ini.Set("HotKey", "888");
    ini.Set("hotkeystr", "SHIFT+CTRL+F9");
    ini.Set("WeightFormat", "0.000");
    ini.Set("SelectedUnits", "3");
    ini.Set("CommaSeparator", "True");
    ini.Set("SelectedScale", "\\\\?\\hid#vid_0922&pid_8003#1");
    ini.Set("Postamble", "{ENTER}");
    ini.Set("SampleRate", "200");
    ini.Set("InterCharacterDelay", "5");
    ini.Set("WebPort", "8080");
    ini.Set("WebOrigins", "https://ship.example http://localhost:3000");
    const auto before = ini.values;
    base::Settings s;
    app::LoadSettings(ini, s);
    app::SaveSettings(ini, s, 0, 0);
    for (const auto& [key, value] : before) {
        SCOPED_TRACE(key);
        EXPECT_EQ(ini.values.at(key), value);
    }
}

// The settings file itself, held in memory with the same reading rules as on disk.
class DocumentIni final : public app::IIniStore {
  public:
    app::IniDocument document;
    std::string Read(std::string_view section, std::string_view key, std::string_view fallback) override {
        const auto value = document.Get(section, key);
        return value ? *value : std::string(fallback);
    }
    void Write(std::string_view section, std::string_view key, std::string_view value) override {
        document.Set(section, key, value);
    }
};

TEST(SettingsSave, TextsSurviveTheNextStartExactly) {
    struct Row {
        int line;
        std::string value;
    } rows[] = {
        {__LINE__, " {DAY}"},  // blanks around a value are dropped on reading
        {__LINE__, "{TAB} "},
        {__LINE__, "\"ZERO\""},  // so is one pair of matching quotes
        {__LINE__, "'x'"},
        {__LINE__, "\"0.0\";x"},  // quotes that do not pair up stay as they are
        {__LINE__, "{ENTER}"},
        {__LINE__, ""},
        // The longest texts that are read back: the quotes must not cost them a blank.
        {__LINE__, " " + std::string(253, 'p')},
        {__LINE__, std::string(253, 'p') + " "},
        {__LINE__, " " + std::string(252, 'p')},
        {__LINE__, "\"" + std::string(252, 'p') + "\""},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.line);
        DocumentIni ini;
        base::Settings s;
        s.Preamble = r.value;
        s.Postamble = r.value;
        s.WeightFormat = r.value;
        app::SaveSettings(ini, s, 0, 0);
        base::Settings back;
        app::LoadSettings(ini, back);
        EXPECT_EQ(back.Preamble, r.value);
        EXPECT_EQ(back.Postamble, r.value);
        EXPECT_EQ(back.WeightFormat, r.value);
    }
    EXPECT_EQ(app::ProtectForProfile("{ENTER}"), "{ENTER}");  // plain values are written as they stand
}

}  // namespace
