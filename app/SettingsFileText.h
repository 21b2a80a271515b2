#pragma once
// The settings file's bytes as text. Inside, the program holds UTF-8; on disk the file stays in
// the encoding it has: the system's ANSI code page (what the profile calls read and write),
// UTF-16 LE when it starts with that byte-order mark (a file saved as "Unicode" by Notepad,
// which the profile calls also read and write back as UTF-16), or UTF-8 with or without its
// byte-order mark (Notepad's "UTF-8"; without the mark, a file whose bytes beyond ASCII all
// form UTF-8, which ANSI text practically never does).
#include <optional>
#include <string>
#include <string_view>

#include "app/IniDocument.h"

namespace app {

// The system's ANSI code page.
class IAnsiCodePage {
  public:
    virtual ~IAnsiCodePage() = default;
    [[nodiscard]] virtual std::string ToUtf8(std::string_view ansi) const = 0;
    // std::nullopt when a character of `utf8` has no form in the code page.
    [[nodiscard]] virtual std::optional<std::string> FromUtf8(std::string_view utf8) const = 0;
};

class SettingsFileText {
  public:
    SettingsFileText(std::string bytes, const IAnsiCodePage& codePage);

    // The value in UTF-8; std::nullopt when there is none (IniDocument::Get).
    [[nodiscard]] std::optional<std::string> Get(std::string_view section, std::string_view key) const;
    // Sets a UTF-8 value (IniDocument::Set). A value that the ANSI code page cannot hold turns
    // an ANSI file into a UTF-16 one rather than losing characters.
    void Set(std::string_view section, std::string_view key, std::string_view value);
    // The keys of a section in UTF-8 (IniDocument::Keys).
    [[nodiscard]] std::vector<std::string> Keys(std::string_view section) const;
    // The file's bytes in its encoding.
    [[nodiscard]] std::string Bytes() const;
    enum class Encoding { Ansi, Utf8, Utf8WithMark, Utf16 };
    [[nodiscard]] Encoding GetEncoding() const noexcept { return _encoding; }
    [[nodiscard]] bool IsUtf16() const noexcept { return _encoding == Encoding::Utf16; }

  private:
    const IAnsiCodePage& _codePage;
    Encoding _encoding = Encoding::Ansi;
    // The ANSI or UTF-8 file's own bytes (without the mark), or the UTF-16 file's text in UTF-8
    // (unpaired surrogates kept in their three-byte form, so that they are written back as they
    // were).
    IniDocument _document;
    std::string _oddByte;  // the last byte of a UTF-16 file with an odd length, kept
};

// UTF-16 LE bytes (without byte-order mark) to UTF-8, and back; unpaired surrogates survive the
// round trip. Text that is not UTF-8 is written as U+FFFD.
[[nodiscard]] std::string Utf16LeToUtf8(std::string_view bytes);
[[nodiscard]] std::string Utf8ToUtf16Le(std::string_view text);

}  // namespace app
