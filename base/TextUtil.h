#pragma once
// Small text helpers shared by the device code: ASCII case folding (device identifiers and
// paths are ASCII in practice; other bytes pass through unchanged) and UTF-16 to UTF-8.
#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace base {

[[nodiscard]] std::string UpperAscii(std::string_view text);
[[nodiscard]] bool EqualsIgnoreCase(std::string_view a, std::string_view b) noexcept;

// Orders texts without regard to ASCII letter case; for the keyed collections.
struct LessIgnoreCase {
    using is_transparent = void;
    bool operator()(std::string_view a, std::string_view b) const noexcept;
};

// Appends `codePoint` to `out` in UTF-8.
void AppendUtf8(std::string& out, char32_t codePoint);

// The code point at the start of UTF-8 `text` and the number of bytes it takes; std::nullopt
// when the bytes are not UTF-8 (stray or missing continuation bytes, overlong forms,
// surrogates, beyond U+10FFFF).
struct DecodedChar {
    char32_t codePoint;
    size_t length;
};
[[nodiscard]] std::optional<DecodedChar> DecodeUtf8(std::string_view text);

// Converts UTF-16 code units to UTF-8. Unpaired surrogates become U+FFFD, so any input gives
// valid UTF-8.
[[nodiscard]] std::string Utf16ToUtf8(std::u16string_view text);

// The shortest decimal text ("." as the separator, no exponent for everyday sizes) that reads
// back as exactly `value`: 0.25, not 0.25000000000000000.
[[nodiscard]] std::string ShortestDecimal(double value);

}  // namespace base
