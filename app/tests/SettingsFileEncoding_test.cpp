// A settings file saved as UTF-8 (Notepad, with or without the byte-order mark) is read as
// UTF-8 and written back so; an ANSI file stays ANSI.
#include <gtest/gtest.h>

#include "app/SettingsFileText.h"
#include "base/TextUtil.h"

namespace {

// Latin-1 stands in for the ANSI code page: bytes are code points up to U+00FF.
struct Latin1 final : app::IAnsiCodePage {
    std::string ToUtf8(std::string_view ansi) const override {
        std::string out;
        for (const char c : ansi) {
            base::AppendUtf8(out, static_cast<unsigned char>(c));
        }
        return out;
    }
    std::optional<std::string> FromUtf8(std::string_view utf8) const override {
        std::string out;
        for (size_t i = 0; i < utf8.size();) {
            const auto c = base::DecodeUtf8(utf8.substr(i));
            if (!c || c->codePoint > 0xFF) {
                return std::nullopt;
            }
            out += static_cast<char>(c->codePoint);
            i += c->length;
        }
        return out;
    }
};

TEST(SettingsFileEncoding, Utf8FilesAreReadAndWrittenAsUtf8) {
    struct Row {
        int line;
        std::string bytes, preamble, after;
    };
    const std::string mark = "\xEF\xBB\xBF";
    const Row rows[] = {
        {__LINE__,
         mark + "[Settings]\r\nPreamble=\xC5\x81\xC3\xB3"
                "d\xC5\xBA\r\n",
         "Łódź",
         mark + "[Settings]\r\nPreamble=\xC5\x81\xC3\xB3"
                "d\xC5\xBA\r\nPostamble=é\r\n"},
        {__LINE__, "[Settings]\r\nPreamble=\xC3\xA9t\xC3\xA9\r\n", "été",
         "[Settings]\r\nPreamble=\xC3\xA9t\xC3\xA9\r\nPostamble=é\r\n"},
        // Not UTF-8: the ANSI code page, and é is written back in it.
        {__LINE__, "[Settings]\r\nPreamble=\xE9t\xE9\r\n", "été",
         "[Settings]\r\nPreamble=\xE9t\xE9\r\nPostamble=\xE9\r\n"},
        {__LINE__, mark, "", mark + "[Settings]\r\nPostamble=é\r\n"},
    };
    const Latin1 codePage;
    for (const Row& row : rows) {
        SCOPED_TRACE(row.line);
        app::SettingsFileText file(row.bytes, codePage);
        EXPECT_EQ(file.Get("Settings", "Preamble").value_or(""), row.preamble);
        file.Set("Settings", "Postamble", "é");
        EXPECT_EQ(file.Bytes(), row.after);
    }
}

}  // namespace
