#include "app/SettingsFileText.h"
#include "app/FileReplace.h"

#include <gtest/gtest.h>

#include <map>
#include <tuple>

#include "base/TextUtil.h"

namespace {

using namespace std::string_literals;

// A code page that holds U+0000 to U+00FF, byte for byte (Latin-1).
class Latin1 final : public app::IAnsiCodePage {
  public:
    std::string ToUtf8(std::string_view ansi) const override {
        std::string out;
        for (const char byte : ansi) {
            base::AppendUtf8(out, static_cast<unsigned char>(byte));
        }
        return out;
    }
    std::optional<std::string> FromUtf8(std::string_view utf8) const override {
        std::string out;
        for (std::optional<base::DecodedChar> c; !utf8.empty(); utf8.remove_prefix(c->length)) {
            c = base::DecodeUtf8(utf8);
            if (!c || c->codePoint > 0xFF) {
                return std::nullopt;
            }
            out += static_cast<char>(c->codePoint);
        }
        return out;
    }
};

std::string Utf16(std::u16string_view text) {
    std::string out = "\xFF\xFE";
    for (const char16_t unit : text) {
        out += static_cast<char>(unit & 0xFF);
        out += static_cast<char>(unit >> 8);
    }
    return out;
}

const Latin1 kCodePage;

TEST(SettingsFileText, AnsiValuesAreReadAndWrittenAsUtf8) {
    app::SettingsFileText file("[Settings]\r\nPreamble=\xE4\xDF{TAB}\r\n", kCodePage);
    EXPECT_FALSE(file.IsUtf16());
    EXPECT_EQ(file.Get("Settings", "Preamble"), "\u00E4\u00DF{TAB}");
    file.Set("Settings", "Postamble", "\u00B5g");
    EXPECT_EQ(file.Bytes(), "[Settings]\r\nPreamble=\xE4\xDF{TAB}\r\nPostamble=\xB5g\r\n");
}

TEST(SettingsFileText, Utf16FileIsReadAndWrittenBackAsUtf16WithEveryLineKept) {
    const std::u16string head =
        u"; \u6CE8\u91C8 \U0001F600\r\n[Other]\r\nName=\u00C5se\r\n[Settings]\r\nPreamble=\u4E2D{TAB}\r\n";
    app::SettingsFileText file(Utf16(head + u"HotKey=120\r\n"), kCodePage);
    EXPECT_TRUE(file.IsUtf16());
    EXPECT_EQ(file.Get("Settings", "Preamble"), "\u4E2D{TAB}");
    file.Set("Settings", "HotKey", "121");
    file.Set("Settings", "Postamble", "\u00E4\u20AC");
    EXPECT_EQ(file.Bytes(), Utf16(head + u"HotKey=121\r\nPostamble=\u00E4\u20AC\r\n"));
}

TEST(SettingsFileText, Utf16FileOddBytesSurviveUnchanged) {
    // An unpaired surrogate in a foreign line and a last odd byte: not text, but not ours.
    const std::string bytes = Utf16(u"; \xD800 x\r\n[Settings]\r\nA=1\r\n") + "\x41";
    app::SettingsFileText file(bytes, kCodePage);
    file.Set("Settings", "A", "1");
    EXPECT_EQ(file.Bytes(), bytes);
}

// A value the code page cannot hold turns the file into UTF-16 rather than into "?".
TEST(SettingsFileText, ValueBeyondTheCodePageMakesTheFileUtf16) {
    app::SettingsFileText file("; caf\xE9\r\n[Settings]\r\nHotKey=120\r\n", kCodePage);
    file.Set("Settings", "Preamble", "\u4E2D");
    EXPECT_TRUE(file.IsUtf16());
    EXPECT_EQ(file.Bytes(), Utf16(u"; caf\u00E9\r\n[Settings]\r\nHotKey=120\r\nPreamble=\u4E2D\r\n"));
    EXPECT_EQ(app::SettingsFileText(file.Bytes(), kCodePage).Get("Settings", "Preamble"), "\u4E2D");
}

// A file saved as UTF-8 (Notepad, with or without the byte-order mark) is read as UTF-8 and
// written back so; a file that is not UTF-8 stays in the code page.
TEST(SettingsFileText, Utf8FilesAreReadAndWrittenAsUtf8) {
    const std::string mark = "\xEF\xBB\xBF";
    const std::tuple<std::string, std::string, std::string> rows[] = {
        {mark + "[Settings]\r\nPreamble=\xC5\x81\xC3\xB3\r\n", "\u0141\u00F3",
         mark + "[Settings]\r\nPreamble=\xC5\x81\xC3\xB3\r\nPostamble=\u00E9\r\n"},
        {"[Settings]\r\nPreamble=\xC3\xA9t\r\n", "\u00E9t", "[Settings]\r\nPreamble=\xC3\xA9t\r\nPostamble=\u00E9\r\n"},
        {"[Settings]\r\nPreamble=\xE9t\r\n", "\u00E9t", "[Settings]\r\nPreamble=\xE9t\r\nPostamble=\xE9\r\n"},
        {mark, "", mark + "[Settings]\r\nPostamble=\u00E9\r\n"}};
    for (const auto& [bytes, preamble, after] : rows) {
        app::SettingsFileText file(bytes, kCodePage);
        EXPECT_EQ(file.Get("Settings", "Preamble").value_or(""), preamble) << bytes;
        file.Set("Settings", "Postamble", "\u00E9");
        EXPECT_EQ(file.Bytes(), after);
    }
}

TEST(Utf16Le, ConvertsBothWays) {
    const std::pair<std::string, std::string> rows[] = {
        {"A\0"s, "A"},
        {"\xE4\0"s, "\u00E4"},
        {"\x2D\x4E", "\u4E2D"},
        {"\x00\xD8"s, "\xED\xA0\x80"},  // unpaired, kept in its three-byte form
        {"\x00\xD8\x00\xDC"s, "\U00010000"},
        {"\xFF\xDB\xFF\xDF"s, "\U0010FFFF"}};
    for (const auto& [utf16, utf8] : rows) {
        EXPECT_EQ(app::Utf16LeToUtf8(utf16), utf8);
        EXPECT_EQ(app::Utf8ToUtf16Le(utf8), utf16);
    }
    EXPECT_EQ(app::Utf8ToUtf16Le("a\xFF\xC0\x80"), "a\0\xFD\xFF\xFD\xFF\xFD\xFF"s);  // not UTF-8: U+FFFD each
}

// Files in memory. A write that is told to fail stores only the first half of the bytes, the way
// a full disk or a lost share leaves a file.
class FakeFiles final : public app::IReplaceFileSystem {
  public:
    std::map<std::string, std::string> files;
    bool failCreate = false, failWrite = false, failReplace = false;

    std::optional<std::string> CreateTempBeside(const std::string& path) override {
        return failCreate ? std::nullopt : std::optional(files.emplace(path + ".tmp", "").first->first);
    }
    bool WriteAll(const std::string& file, std::string_view bytes) override {
        files[file] = bytes.substr(0, failWrite ? bytes.size() / 2 : bytes.size());
        return !failWrite;
    }
    bool ReplaceWith(const std::string& path, const std::string& temp) override {
        if (!failReplace) {
            files[path] = files.at(temp);
            files.erase(temp);
        }
        return !failReplace;
    }
    void Remove(const std::string& file) override { files.erase(file); }
};

TEST(WriteFileReplacing, OldFileStaysWholeWhateverStepFails) {
    for (const int failing : {0, 1, 2, 3}) {
        SCOPED_TRACE(failing);
        FakeFiles fs;
        fs.files["C:\\P\\Pesora.Ini"] = "[Settings]\r\nHotKey=120\r\n";
        fs.failCreate = failing == 1;
        fs.failWrite = failing == 2;
        fs.failReplace = failing == 3;
        EXPECT_EQ(app::WriteFileReplacing(fs, "C:\\P\\Pesora.Ini", "HotKey=121"), failing == 0);
        EXPECT_EQ(fs.files, (std::map<std::string, std::string>{
                                {"C:\\P\\Pesora.Ini", failing == 0 ? "HotKey=121" : "[Settings]\r\nHotKey=120\r\n"}}));
    }
}

}  // namespace
