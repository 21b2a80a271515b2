#pragma once
// Small text helpers shared by the device code: ASCII case folding (device identifiers and
// paths are ASCII in practice; other bytes pass through unchanged) and UTF-16 to UTF-8.
#include <cstddef>
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

// Converts UTF-16 code units to UTF-8. Unpaired surrogates become U+FFFD, so any input gives
// valid UTF-8.
[[nodiscard]] std::string Utf16ToUtf8(std::u16string_view text);

}  // namespace base
