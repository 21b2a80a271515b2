#include "app/SettingsFileText.h"

#include <gtest/gtest.h>

#include <cstdint>

namespace {

using namespace std::string_literals;

// Windows-1252 as the system converts it: the five bytes the code page leaves undefined
// become U+0081, U+008D, U+008F, U+0090 and U+009D and back.
class Windows1252 final : public app::IAnsiCodePage {
  public:
    std::string ToUtf8(std::string_view ansi) const override {
        std::string out;
        for (const char byte : ansi) {
            Append(out, ToUnicode(static_cast<unsigned char>(byte)));
        }
        return out;
    }
    std::optional<std::string> FromUtf8(std::string_view utf8) const override {
        std::string out;
        for (size_t i = 0; i < utf8.size();) {
            const auto lead = static_cast<unsigned char>(utf8[i]);
            const size_t length = lead < 0x80 ? 1 : lead < 0xE0 ? 2 : lead < 0xF0 ? 3 : 4;
            uint32_t c = length == 1 ? lead : lead & (0x7F >> length);
            for (size_t k = 1; k < length && i + k < utf8.size(); ++k) {
                c = (c << 6) | (static_cast<unsigned char>(utf8[i + k]) & 0x3F);
            }
            i += length;
            bool found = false;
            for (int b = 0; b < 256 && !found; ++b) {
                if (ToUnicode(static_cast<unsigned char>(b)) == c) {
                    out += static_cast<char>(b);
                    found = true;
                }
            }
            if (!found) {
                return std::nullopt;
            }
        }
        return out;
    }

  private:
    static uint32_t ToUnicode(unsigned char b) {
        static constexpr uint16_t k80[32] = {0x20AC, 0x81,   0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
                                             0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x8D,   0x017D, 0x8F,
                                             0x90,   0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
                                             0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x9D,   0x017E, 0x0178};
        return b >= 0x80 && b < 0xA0 ? k80[b - 0x80] : b;
    }
    static void Append(std::string& out, uint32_t c) {
        if (c < 0x80) {
            out += static_cast<char>(c);
        } else if (c < 0x800) {
            out += static_cast<char>(0xC0 | (c >> 6));
            out += static_cast<char>(0x80 | (c & 0x3F));
        } else {
            out += static_cast<char>(0xE0 | (c >> 12));
            out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (c & 0x3F));
        }
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

const Windows1252 kCodePage;

TEST(SettingsFileText, AnsiValuesAreReadAndWrittenAsUtf8) {
    app::SettingsFileText file("[Settings]\r\nPreamble=\xE4\x80\xDF{TAB}\r\n", kCodePage);
    EXPECT_FALSE(file.IsUtf16());
    EXPECT_EQ(file.Get("Settings", "Preamble"), "\u00E4\u20AC\u00DF{TAB}");
    file.Set("Settings", "Postamble", "\u00B5g\u2019");
    EXPECT_EQ(file.Bytes(), "[Settings]\r\nPreamble=\xE4\x80\xDF{TAB}\r\nPostamble=\xB5g\x92\r\n");
}

// Every byte from 0x80 to 0xFF, the code page's undefined ones included, comes back the same
// when the value is read and written again, as a shutdown does with every key.
TEST(SettingsFileText, AnsiFileWithHighBytesRoundTripsExactly) {
    std::string preamble;
    for (int b = 0x80; b <= 0xFF; ++b) {
        preamble += static_cast<char>(b);
    }
    const std::string bytes = "; \x81\x9D foreign\r\n[Settings]\r\nPreamble=" + preamble + "\r\nX=\xFF\r\n";
    app::SettingsFileText file(bytes, kCodePage);
    const std::optional<std::string> value = file.Get("Settings", "Preamble");
    ASSERT_TRUE(value);
    file.Set("Settings", "Preamble", *value);
    EXPECT_EQ(file.Bytes(), bytes);
    EXPECT_FALSE(file.IsUtf16());
}

TEST(SettingsFileText, Utf16FileIsReadAndWrittenBackAsUtf16WithEveryLineKept) {
    const std::string bytes = Utf16(
        u"; \u6CE8\u91C8 \U0001F600\r\n[Other]\r\nName=\u00C5se\r\n"
        u"[Settings]\r\nPreamble=\u4E2D{TAB}\r\nHotKey=120\r\n");
    app::SettingsFileText file(bytes, kCodePage);
    EXPECT_TRUE(file.IsUtf16());
    EXPECT_EQ(file.Get("Settings", "Preamble"), "\u4E2D{TAB}");
    EXPECT_EQ(file.Get("Settings", "HotKey"), "120");
    file.Set("Settings", "HotKey", "121");
    file.Set("Settings", "Postamble", "\u00E4\u20AC");
    EXPECT_EQ(file.Bytes(), Utf16(u"; \u6CE8\u91C8 \U0001F600\r\n[Other]\r\nName=\u00C5se\r\n"
                                  u"[Settings]\r\nPreamble=\u4E2D{TAB}\r\nHotKey=121\r\nPostamble=\u00E4\u20AC\r\n"));
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
    app::SettingsFileText file("; caf\xE9 \x81\r\n[Settings]\r\nHotKey=120\r\n", kCodePage);
    file.Set("Settings", "Preamble", "\u4E2D");
    EXPECT_TRUE(file.IsUtf16());
    EXPECT_EQ(file.Bytes(), Utf16(u"; caf\u00E9 \u0081\r\n[Settings]\r\nHotKey=120\r\nPreamble=\u4E2D\r\n"));
    app::SettingsFileText again(file.Bytes(), kCodePage);
    EXPECT_EQ(again.Get("Settings", "Preamble"), "\u4E2D");
}

TEST(SettingsFileText, EmptyFileStaysAnsi) {
    app::SettingsFileText file("", kCodePage);
    file.Set("Settings", "HotKey", "120");
    EXPECT_EQ(file.Bytes(), "[Settings]\r\nHotKey=120\r\n");
}

TEST(Utf16Le, ConvertsBothWays) {
    struct Row {
        int line;
        std::string utf16;
        std::string utf8;
    } rows[] = {
        {__LINE__, "", ""},
        {__LINE__, "A\0"s, "A"},
        {__LINE__, "\xE4\0"s, "\u00E4"},
        {__LINE__, "\x2D\x4E", "\u4E2D"},
        {__LINE__, "\x3D\xD8\x00\xDE"s, "\U0001F600"},
        {__LINE__, "\x00\xD8"s, "\xED\xA0\x80"},  // unpaired, kept in its three-byte form
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.line);
        EXPECT_EQ(app::Utf16LeToUtf8(r.utf16), r.utf8);
        EXPECT_EQ(app::Utf8ToUtf16Le(r.utf8), r.utf16);
    }
    EXPECT_EQ(app::Utf8ToUtf16Le("a\xFF"), "a\0\xFD\xFF"s);  // not UTF-8: U+FFFD
}

}  // namespace
