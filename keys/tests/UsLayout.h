#pragma once
// What VkKeyScanA answers on a US keyboard layout, for tests that need a known layout.
#include <cstdint>
#include <optional>
#include <string_view>

namespace keys::testing {

inline std::optional<int16_t> UsLayout(unsigned char c) {
    constexpr int16_t kShift = 0x100;
    if (c >= 'a' && c <= 'z') {
        return static_cast<int16_t>('A' + (c - 'a'));
    }
    if (c >= 'A' && c <= 'Z') {
        return static_cast<int16_t>(kShift | c);
    }
    if (c >= '0' && c <= '9') {
        return static_cast<int16_t>(c);
    }
    constexpr std::string_view kShiftedDigits = ")!@#$%^&*(";
    if (const auto at = kShiftedDigits.find(static_cast<char>(c)); at != std::string_view::npos) {
        return static_cast<int16_t>(kShift | ('0' + at));
    }
    struct Row {
        char plain, shifted;
        int16_t vk;
    };
    constexpr Row kPunctuation[] = {{';', ':', 0xBA},  {'=', '+', 0xBB}, {',', '<', 0xBC}, {'-', '_', 0xBD},
                                    {'.', '>', 0xBE},  {'/', '?', 0xBF}, {'`', '~', 0xC0}, {'[', '{', 0xDB},
                                    {'\\', '|', 0xDC}, {']', '}', 0xDD}, {'\'', '"', 0xDE}};
    for (const Row& row : kPunctuation) {
        if (c == static_cast<unsigned char>(row.plain)) {
            return row.vk;
        }
        if (c == static_cast<unsigned char>(row.shifted)) {
            return static_cast<int16_t>(kShift | row.vk);
        }
    }
    switch (c) {
        case ' ':
            return 0x20;
        case '\t':
            return 0x09;
        case '\r':
            return 0x0D;
        case '\b':
            return 0x08;
        case '\n':
            return 0x20D;  // Ctrl+Enter
        default:
            return -1;  // the layout cannot produce it
    }
}

}  // namespace keys::testing
