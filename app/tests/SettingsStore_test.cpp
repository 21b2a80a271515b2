#include "app/SettingsStore.h"

#include <gtest/gtest.h>

#include <map>
#include <vector>

#include "app/IniDocument.h"

namespace {

using namespace std::string_literals;

std::string Repeat(std::string_view part, size_t times) {
    std::string out;
    while (times-- > 0) {
        out += part;
    }
    return out;
}

// The settings file in memory, with the same reading rules as on disk; every call recorded.
class FakeIni final : public app::IIniStore {
  public:
    app::IniDocument document;
    std::string reads, writes;  // "key=fallback; ", "key=value; "

    std::string Read(std::string_view section, std::string_view key, std::string_view fallback) override {
        reads += std::string(key) + "=" + std::string(fallback) + "; ";
        return document.Get(section, key).value_or(std::string(fallback));
    }
    void Write(std::string_view section, std::string_view key, std::string_view value) override {
        writes += std::string(key) + "=" + std::string(value) + "; ";
        document.Set(section, key, value);
    }
    std::vector<std::string> Keys(std::string_view section) override { return document.Keys(section); }
};

// Halves go to the even neighbour; blanks inside are dropped; out of 32 bits is no number.
TEST(SettingsNumber, ConvertsTheNumberAtTheStartLikeStoredFilesExpect) {
    std::string got;
    for (const char* text :
         {"120",         "abc",          "888.5",      "889.5",       "0.5",  "-2.5",  "-1.5", ".6",
          "888.51",      "\t-7",         "+5",         "1 2",         " - 3", "12abc", "1e3",  "1.5E1",
          "1D2",         "25e-1",        "1e 2",       "1e",          "1e+",  "e5",    "-",    "2147483647",
          "-2147483648", "2147483647.5", "2147483648", "-2147483649", "1e400"}) {
        const std::optional<int32_t> n = app::ParseSettingNumber(text);
        got += std::string(text) + "=" + (n ? std::to_string(*n) : "none") + " ";
    }
    EXPECT_EQ(got,
              "120=120 abc=0 888.5=888 889.5=890 0.5=0 -2.5=-2 -1.5=-2 .6=1 888.51=889 \t-7=-7 +5=5 1 2=12  - 3=-3 "
              "12abc=12 1e3=1000 1.5E1=15 1D2=100 25e-1=2 1e 2=100 1e=1 1e+=1 e5=0 -=0 2147483647=2147483647 "
              "-2147483648=-2147483648 2147483647.5=none 2147483648=none -2147483649=none 1e400=none ");
}

TEST(SettingsText, QuotesBoolsAndTwips) {
    const std::pair<const char*, const char*> quoted[] = {{"\"abc\"", "abc"}, {"'abc'", "abc"}, {"\"abc'", "\"abc'"},
                                                          {"\"", "\""},       {"\"\"", ""},     {"a\"b\"", "a\"b\""}};
    for (const auto& [text, expected] : quoted) {
        EXPECT_EQ(app::StripMatchingQuotes(text), expected) << text;
    }
    EXPECT_TRUE(app::ParseSettingBool("True"));
    EXPECT_FALSE(app::ParseSettingBool("true"));
    EXPECT_FALSE(app::ParseSettingBool("True "));
    EXPECT_EQ(app::FormatTwips(1234.5), "1234.5");
}

// Records what locating the file does; files "exist" once created.
class FakeFs final : public app::ISettingsFileSystem {
  public:
    std::string folder = "C:\\ProgramData";
    bool writable = true;
    std::vector<std::string> existing;
    std::string calls;

    std::string CommonDataFolder() override { return folder; }
    std::string ShortPathOf(const std::string& path) override {
        calls += "short " + path + "; ";
        const bool exists = std::find(existing.begin(), existing.end(), path) != existing.end();
        return exists ? "SHORT(" + path + ")" : std::string();
    }
    void CreateFolder(const std::string& path) override { calls += "mkdir " + path + "; "; }
    void CreateEmptyFile(const std::string& path) override {
        calls += "touch " + path + "; ";
        if (writable) {
            existing.push_back(path);
        }
    }
};

TEST(SettingsFile, LocatingCreatesFolderAndFileOnlyWhenMissing) {
    const struct {
        std::string folder;
        bool exists, writable;
        std::string expected;
    } rows[] = {
        {"C:\\Data", true, true, "SHORT(C:\\Data\\Pesora\\S2.Ini) short C:\\Data\\Pesora\\S2.Ini; "},
        {"D:\\", false, true,
         "SHORT(D:\\Pesora\\S2.Ini) short D:\\Pesora\\S2.Ini; mkdir D:\\Pesora; touch D:\\Pesora\\S2.Ini; short "
         "D:\\Pesora\\S2.Ini; "},
        {"", false, false,
         " short C:\\Pesora\\S2.Ini; mkdir C:\\Pesora; touch C:\\Pesora\\S2.Ini; short C:\\Pesora\\S2.Ini; "}};
    for (const auto& r : rows) {
        SCOPED_TRACE(&r - rows);
        FakeFs fs;
        fs.folder = r.folder;
        fs.writable = r.writable;
        if (r.exists) {
            fs.existing.push_back(app::SettingsFileFullPath(r.folder, "S2"));
        }
        EXPECT_EQ(app::LocateSettingsFile(fs, "S2") + " " + fs.calls, r.expected);
    }
}

// An empty file gives the defaults; a shutdown writes them back in the file's order, never TareCommand.
TEST(SettingsLoad, EmptyFileGivesTheDefaultsAndSavingWritesThemInOrder) {
    FakeIni ini;
    base::Settings s;
    std::string rateSeen;
    app::LoadSettings(ini, s, [&](int32_t rate) { rateSeen = std::to_string(rate) + " after " + ini.reads; });
    EXPECT_EQ(rateSeen.substr(0, 9) + rateSeen.substr(rateSeen.size() - 15), "50 after SampleRate=50; ");
    EXPECT_EQ(s.TareCommand, "2,2,0,0,0,0");
    app::SaveSettings(ini, s, 1500, -480000);
    EXPECT_EQ(ini.writes,
              "HotKey=120; HotkeyStr=F9; HotkeyEnabled=True; WeightFormat=; SelectedUnits=0; IncludeUnits=True; "
              "CommaSeparator=False; LoadWithWindows=False; MinimizeAtStartup=False; SelectedScale=; Preamble=; "
              "Postamble=; WindowLeft=1500; WindowTop=-480000; SampleRate=50; InterCharacterDelay=1; WebPort=0; "
              "WebOrigins=; StableOnly=False; StableWaitMs=2000; AutoSend=False; SettleMs=500; AutoSendMin=0; ");
}

// Every key read is written back unchanged; the bools take patterns that tell each one apart.
TEST(SettingsSave, WhatIsReadIsWrittenBackUnchanged) {
    for (const char* bools : {"FTFTF", "TFFTT", "FFTFT"}) {
        SCOPED_TRACE(bools);
        const auto b = [&](int i) { return bools[i] == 'T' ? "True" : "False"; };
        FakeIni ini;
        const std::map<std::string, std::string> values = {
            {"HotKey", "888"},           {"HotkeyStr", "SHIFT+CTRL+F9"},
            {"HotkeyEnabled", b(0)},     {"WeightFormat", "0.000"},
            {"SelectedUnits", "3"},      {"IncludeUnits", b(1)},
            {"CommaSeparator", b(2)},    {"LoadWithWindows", b(3)},
            {"MinimizeAtStartup", b(4)}, {"SelectedScale", "\\\\?\\hid#vid_0922&pid_8003#1"},
            {"Preamble", "{TAB}"},       {"Postamble", "{ENTER}"},
            {"WindowLeft", "7"},         {"WindowTop", "9"},
            {"SampleRate", "200"},       {"InterCharacterDelay", "5"},
            {"WebPort", "8080"},         {"WebOrigins", "https://ship.example http://localhost:3000"},
            {"StableOnly", b(1)},        {"StableWaitMs", "3000"},
            {"AutoSend", b(2)},          {"SettleMs", "750"},
            {"AutoSendMin", "0.25"}};
        for (const auto& [key, value] : values) {
            ini.document.Set("settings", key, value);
        }
        base::Settings s;
        app::LoadSettings(ini, s);
        app::SaveSettings(ini, s, 7, 9);
        for (const auto& [key, value] : values) {
            EXPECT_EQ(ini.document.Get("Settings", key), value) << key;
        }
    }
}

// An edit made by hand while the program runs survives its end for every key the program did not
// change itself; keys not edited meanwhile are written as the program read them.
TEST(SettingsSave, KeysEditedWhileRunningKeepTheEditOthersAreWrittenAsRead) {
    FakeIni file;
    file.document = app::IniDocument("[Settings]\r\nSampleRate=50\r\nWebPort=8080.4\r\nPreamble=a\r\n");
    app::SettingsAsLoaded loaded;
    app::RecordingIniStore recording(file, loaded.fileText);
    app::LoadSettings(recording, loaded.settings);
    base::Settings now = loaded.settings;
    now.Preamble = "b";                                  // changed in the program
    file.document.Set("Settings", "SampleRate", "100");  // edited by hand meanwhile
    app::SaveSettings(file, now, 15, 30, &loaded);
    std::string got;
    for (const char* key : {"SampleRate", "WebPort", "Preamble", "HotKey", "WindowLeft"}) {
        got += file.document.Get("Settings", key).value_or("none") + " ";
    }
    EXPECT_EQ(got, "100 8080 b 120 15 ");  // HotKey: a key the file lacks is written
}

TEST(SettingsLoad, HandEditedValuesAreConvertedAndCut) {
    const struct {
        const char* key;
        std::string value, written;
    } rows[] = {{"hotkey", "abc", "0"},
                {"HotKey", "99999999999", "120"},  // out of range: the field keeps its value
                {"HotkeyEnabled", "true", "False"},
                // The settled-weight numbers are clamped into their ranges; the minimum is a decimal.
                {"StableWaitMs", "20000", "10000"},
                {"SettleMs", "-5", "0"},
                {"AutoSendMin", "-2", "0"},
                {"AutoSendMin", "0.1", "0.1"},
                {"AutoSendMin", "2.5e7", "1000000"},
                {"Preamble", std::string(300, 'p'), std::string(254, 'p')},
                // The limit counts characters: a value of two-byte characters is not cut inside one.
                {"Preamble", "x" + Repeat("\u00E4", 300), "x" + Repeat("\u00E4", 253)},
                {"Postamble", Repeat("\u4E2D", 254), Repeat("\u4E2D", 254)}};
    for (const auto& r : rows) {
        SCOPED_TRACE(&r - rows);
        FakeIni ini;
        ini.document.Set("Settings", r.key, r.value);
        base::Settings s;
        app::LoadSettings(ini, s);
        app::SaveSettings(ini, s, 0, 0);
        EXPECT_EQ(ini.document.Get("Settings", r.key), r.written);
    }
}

// Each port's scale is found under the port's name in any case; comments, keys without a value
// line and the keys of the next section are no ports.
TEST(SettingsLoad, SerialScalesAreTheirSectionsKeys) {
    FakeIni ini;
    ini.document = app::IniDocument(
        "[SerialScales]\r\ncom5 = NCI 9600 7E1\r\n;COM6=SMA 9600 8N1\r\nCOM7\r\nCOM5=SMA 9600 8N1\r\n"
        "COM8=\r\n[Settings]\r\nCOM9=x\r\n[SerialScales]\r\nCOM10=x\r\n");
    base::Settings s;
    app::LoadSettings(ini, s);
    std::string got;
    for (const auto& [port, entry] : s.SerialScales) {
        got += port + "=" + entry + "; ";
    }
    EXPECT_EQ(got, "COM5=NCI 9600 7E1; COM8=; ");
    EXPECT_EQ(s.SerialScales.count("Com5"), 1u);
}

TEST(SettingsSave, TextsSurviveTheNextStartExactly) {
    // Blanks around a value and one pair of matching quotes are dropped on reading; quotes that do
    // not pair up stay. The longest texts that are read back must not lose a blank to the quotes.
    const std::string p253(253, 'p');
    for (const std::string& value : {" {DAY}"s, "{TAB} "s, "\"ZERO\""s, "'x'"s, "\"0.0\";x"s, ""s, " " + p253,
                                     p253 + " ", "\"" + p253.substr(1) + "\""}) {
        SCOPED_TRACE(value);
        FakeIni ini;
        base::Settings s;
        s.Preamble = s.Postamble = s.WeightFormat = value;
        app::SaveSettings(ini, s, 0, 0);
        base::Settings back;
        app::LoadSettings(ini, back);
        EXPECT_EQ(back.Preamble + "|" + back.Postamble + "|" + back.WeightFormat, value + "|" + value + "|" + value);
    }
    EXPECT_EQ(app::ProtectForProfile("{ENTER}"), "{ENTER}");  // plain values are written as they stand
}

TEST(IniDocument, ReadsLikeTheSystemProfileCalls) {
    const std::pair<std::string, std::optional<std::string>> rows[] = {
        {"[Settings]\r\nHotKey=120\r\n", "120"},
        {"[settings]\nHOTKEY = 121 \n", "121"},
        {"  [ Settings ]  \r\n\tHotKey\t=\t\"q x\"\r\n", "q x"},
        {"[Settings]\r\nHotKey='x'\r\n", "x"},
        {"[Settings]\r\nHotKey=\"x'\r\n", "\"x'"},
        {"[Other]\r\nHotKey=1\r\n", std::nullopt},
        {"HotKey=1\r\n[Settings]\r\n", std::nullopt},
        {"[Settings]\r\nHotKey=1\r\nHotKey=2\r\n", "1"},
        {"[Settings]\r\n;HotKey=1\r\n", std::nullopt},
        {"[Settings]\r\nHotKey\r\n", std::nullopt},
        {"[Settings]\r\nHotKey=\r\n", ""},
        {"[Settings\r\nHotKey=5", std::nullopt},
        {"[Settings]\r\n[Broken\r\nHotKey=5", "5"},
        {"[Settings]\r\nHotKey=5\0junk\r\n"s, "5"},
        {"[Settings]\r\n[Settings]\r\nHotKey=5\r\n", std::nullopt},
        {"", std::nullopt}};
    for (const auto& [text, expected] : rows) {
        EXPECT_EQ(app::IniDocument(text).Get("Settings", "HotKey"), expected) << text;
    }
}

TEST(IniDocument, WritingChangesOnlyTheKeysLine) {
    struct Row {
        std::string before;
        const char* key;
        const char* value;
        std::string after;
    } rows[] = {
        {"", "HotKey", "120", "[Settings]\r\nHotKey=120\r\n"},
        {"junk", "HotKey", "1", "junk\r\n[Settings]\r\nHotKey=1\r\n"},
        {"[Settings]\r\nhotkeystr = CTRL+F9 \r\nx=1\r\n", "HotkeyStr", "F9", "[Settings]\r\nHotkeyStr=F9\r\nx=1\r\n"},
        {"[Settings]\r\na=1\r\n\r\n[Next]\r\nb=2\r\n", "HotKey", "7",
         "[Settings]\r\na=1\r\nHotKey=7\r\n\r\n[Next]\r\nb=2\r\n"},
        {"[Settings]\r\na=1", "HotKey", "7", "[Settings]\r\na=1\r\nHotKey=7"},
        {"[Settings]", "HotKey", "7", "[Settings]\r\nHotKey=7"},
        {"\x01\xff\0\n[Settings]\n=== \nHotKey=1\n\0\0"s, "HotKey", "2",
         "\x01\xff\0\n[Settings]\n=== \nHotKey=2\n\0\0"s},
        {"[Settings]\r\nPreamble=a\r\n", "Preamble", "x\r\n[Evil]\r\ny=1", "[Settings]\r\nPreamble=x\r\n"},
        {"[Settings]\r\nTareCommand=1,2\r\n", "HotKey", "1", "[Settings]\r\nTareCommand=1,2\r\nHotKey=1\r\n"}};
    for (const Row& r : rows) {
        SCOPED_TRACE(&r - rows);
        app::IniDocument doc(r.before);
        doc.Set("Settings", r.key, r.value);
        EXPECT_EQ(doc.Bytes(), r.after);
    }
}

}  // namespace
