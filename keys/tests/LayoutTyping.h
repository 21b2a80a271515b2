#pragma once
// The characters tried on every layout, and what typing them arrives as: with today's mapping
// on a layout, and with the mapping the program used before (each UTF-8 byte taken as a
// Windows-1252 character, VkKeyScanA's Ctrl and Alt dropped), for the figures.
#include <string>
#include <string_view>
#include <vector>

#include "base/TextUtil.h"
#include "keys/tests/FakeInjector.h"
#include "keys/tests/FakeLayouts.h"

namespace keys::testing {

// Symbols that need AltGr on European layouts, letters and signs that some layouts lack, the
// characters of their dead keys, a CJK character and two thousands separators (U+202F French,
// U+2019 Swiss).
inline const std::u32string kTriedCharacters = U"@{}[]\\\u20AC\u00E4\u00DF^`~'\"\u00B4\u00A8\u4E2D\u202F\u2019";

inline std::string ToUtf8(std::u32string_view text) {
    std::string out;
    for (const char32_t c : text) {
        base::AppendUtf8(out, c);
    }
    return out;
}

// Characters with a meaning in the script language go in braces.
inline std::string AsScript(std::u32string_view text) {
    std::string out;
    for (const char32_t c : text) {
        const std::string one = ToUtf8(std::u32string(1, c));
        out += std::u32string_view(U"{}()+^%~").find(c) != std::u32string_view::npos ? "{" + one + "}" : one;
    }
    return out;
}

// What `text` arrives as when played on `layout` by the program now.
inline std::u32string TypedNow(std::u32string_view text, const TableLayout& layout) {
    FakeInjector injector;
    if (SendKeyScript(AsScript(text), MappingOn(layout), injector, 0) != kParseOk) {
        return U"<parse failed>";
    }
    return TypedText(injector.events, layout);
}

// Windows-1252, the ANSI code page the old mapping read every byte in.
inline char32_t FromWindows1252(unsigned char b) {
    static constexpr char16_t k80[32] = {0x20AC, 0,      0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
                                         0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0,      0x017D, 0,
                                         0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
                                         0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0,      0x017E, 0x0178};
    return b >= 0x80 && b < 0xA0 ? k80[b - 0x80] : b;
}

// What `text` arrived as with the old mapping: every UTF-8 byte looked up on the layout as a
// Windows-1252 character, Shift kept, Ctrl and Alt dropped, a character without a key sent
// as key 255 (nothing), a dead key pressed as a key.
inline std::u32string TypedBefore(std::u32string_view text, const TableLayout& layout) {
    std::vector<KeyEvent> events;
    for (const char b : ToUtf8(text)) {
        const std::optional<LayoutKey> key = layout.KeyFor(FromWindows1252(static_cast<unsigned char>(b)));
        const uint8_t vk = key ? key->vk : 255;
        const bool shift = !key || (key->shiftState & kStateShift) != 0;
        if (shift) {
            events.push_back({kVkShift, 0, 0});
        }
        events.push_back({vk, 0, 0});
        events.push_back({vk, 0, kKeyEventKeyUp});
        if (shift) {
            events.push_back({kVkShift, 0, kKeyEventKeyUp});
        }
    }
    return TypedText(events, layout);
}

// A character arrived right when it and the letter after it arrive as they are: a dead key
// would have joined that letter or swallowed it.
template <typename Typed>
int ArrivedRight(const TableLayout& layout, Typed typed) {
    int right = 0;
    for (const char32_t c : kTriedCharacters) {
        const std::u32string text{c, U'a'};
        right += typed(text, layout) == text ? 1 : 0;
    }
    return right;
}

}  // namespace keys::testing
