#pragma once
// Keyboard layouts as tables, written down from the published charts of the Windows layouts
// (US 00000409, German 00000407, French 0000040C, Swiss German 00000807, US International
// 00020409), and a model of the receiving program that turns key events back into text the
// way those layouts do, dead keys included. Only the keys the tests need are listed: letters,
// digits, the blank, the control keys and the punctuation and AltGr characters.
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "keys/KeyLayout.h"
#include "keys/KeyPlayer.h"

namespace keys::testing {

struct LayoutRow {
    char32_t ch;
    uint8_t vk;
    uint8_t state;  // kState* bits
    bool dead = false;
};

// Answers like VkKeyScanExW: the first row that types the character.
class TableLayout final : public IKeyboardLayout {
  public:
    TableLayout(std::string name, std::vector<LayoutRow> rows) : name(std::move(name)), rows(std::move(rows)) {}

    std::optional<LayoutKey> KeyFor(char32_t c) const override {
        for (const LayoutRow& row : rows) {
            if (row.ch == c) {
                return LayoutKey{row.vk, row.state, row.dead};
            }
        }
        return std::nullopt;
    }
    // What pressing `vk` with `state` held types on this layout.
    std::optional<LayoutRow> Produces(uint8_t vk, uint8_t state) const {
        for (const LayoutRow& row : rows) {
            if (row.vk == vk && row.state == state) {
                return row;
            }
        }
        return std::nullopt;
    }

    std::string name;
    std::vector<LayoutRow> rows;
};

inline constexpr uint8_t kS = kStateShift;
inline constexpr uint8_t kAltGr = kStateCtrl | kStateAlt;
inline constexpr uint8_t kSAltGr = kStateShift | kStateCtrl | kStateAlt;

// Letters, the blank and the control keys, the same on all five layouts. Digits come
// unshifted unless `shiftedDigits` (French).
inline std::vector<LayoutRow> CommonRows(bool shiftedDigits) {
    std::vector<LayoutRow> rows;
    for (char32_t c = 'a'; c <= 'z'; ++c) {
        rows.push_back({c, static_cast<uint8_t>('A' + (c - 'a')), 0});
        rows.push_back({c - 'a' + 'A', static_cast<uint8_t>('A' + (c - 'a')), kS});
    }
    for (char32_t c = '0'; c <= '9'; ++c) {
        rows.push_back({c, static_cast<uint8_t>(c), shiftedDigits ? kS : uint8_t{0}});
    }
    rows.push_back({U' ', 0x20, 0});
    rows.push_back({U'\r', 0x0D, 0});
    rows.push_back({U'\t', 0x09, 0});
    rows.push_back({U'\b', 0x08, 0});
    rows.push_back({U'\n', 0x0D, kStateCtrl});
    return rows;
}

inline std::vector<LayoutRow> Join(std::vector<LayoutRow> rows, std::initializer_list<LayoutRow> more) {
    rows.insert(rows.end(), more);
    return rows;
}

// Several keys per line, so that the tables read like the charts they were taken from.
// clang-format off
inline TableLayout UsLayoutTable() {
    return {"US 00000409",
            Join(CommonRows(false),
                 {{U')', '0', kS},    {U'!', '1', kS},    {U'@', '2', kS},    {U'#', '3', kS},    {U'$', '4', kS},
                  {U'%', '5', kS},    {U'^', '6', kS},    {U'&', '7', kS},    {U'*', '8', kS},    {U'(', '9', kS},
                  {U';', 0xBA, 0},    {U':', 0xBA, kS},   {U'=', 0xBB, 0},    {U'+', 0xBB, kS},   {U',', 0xBC, 0},
                  {U'<', 0xBC, kS},   {U'-', 0xBD, 0},    {U'_', 0xBD, kS},   {U'.', 0xBE, 0},    {U'>', 0xBE, kS},
                  {U'/', 0xBF, 0},    {U'?', 0xBF, kS},   {U'`', 0xC0, 0},    {U'~', 0xC0, kS},   {U'[', 0xDB, 0},
                  {U'{', 0xDB, kS},   {U'\\', 0xDC, 0},   {U'|', 0xDC, kS},   {U']', 0xDD, 0},    {U'}', 0xDD, kS},
                  {U'\'', 0xDE, 0},   {U'"', 0xDE, kS}})};
}

// QWERTZ. Dead: ^ (the key left of 1), ´ and ` (the key left of Backspace).
inline TableLayout GermanLayoutTable() {
    return {"German 00000407",
            Join(CommonRows(false),
                 {{U'!', '1', kS},       {U'"', '2', kS},      {U'\u00A7', '3', kS}, {U'$', '4', kS},
                  {U'%', '5', kS},       {U'&', '6', kS},      {U'/', '7', kS},      {U'(', '8', kS},
                  {U')', '9', kS},       {U'=', '0', kS},      {U'\u00B2', '2', kAltGr},
                  {U'\u00B3', '3', kAltGr}, {U'{', '7', kAltGr}, {U'[', '8', kAltGr}, {U']', '9', kAltGr},
                  {U'}', '0', kAltGr},   {U'@', 'Q', kAltGr},  {U'\u20AC', 'E', kAltGr}, {U'\u00B5', 'M', kAltGr},
                  {U'\u00DF', 0xDB, 0},  {U'?', 0xDB, kS},     {U'\\', 0xDB, kAltGr}, {U'^', 0xDC, 0, true},
                  {U'\u00B0', 0xDC, kS}, {U'\u00B4', 0xDD, 0, true}, {U'`', 0xDD, kS, true},
                  {U'\u00FC', 0xBA, 0},  {U'\u00DC', 0xBA, kS}, {U'+', 0xBB, 0},     {U'*', 0xBB, kS},
                  {U'~', 0xBB, kAltGr},  {U'\u00F6', 0xC0, 0},  {U'\u00D6', 0xC0, kS}, {U'\u00E4', 0xDE, 0},
                  {U'\u00C4', 0xDE, kS}, {U'#', 0xBF, 0},      {U'\'', 0xBF, kS},    {U',', 0xBC, 0},
                  {U';', 0xBC, kS},      {U'.', 0xBE, 0},      {U':', 0xBE, kS},     {U'-', 0xBD, 0},
                  {U'_', 0xBD, kS},      {U'<', 0xE2, 0},      {U'>', 0xE2, kS},     {U'|', 0xE2, kAltGr}})};
}

// AZERTY: the digits need Shift. Dead: ^ and ¨ (the key right of P), ~ (AltGr+2), ` (AltGr+7).
// No key types ä or ß.
inline TableLayout FrenchLayoutTable() {
    return {"French 0000040C",
            Join(CommonRows(true),
                 {{U'&', '1', 0},        {U'\u00E9', '2', 0},  {U'"', '3', 0},       {U'\'', '4', 0},
                  {U'(', '5', 0},        {U'-', '6', 0},       {U'\u00E8', '7', 0},  {U'_', '8', 0},
                  {U'\u00E7', '9', 0},   {U'\u00E0', '0', 0},  {U'~', '2', kAltGr, true}, {U'#', '3', kAltGr},
                  {U'{', '4', kAltGr},   {U'[', '5', kAltGr},  {U'|', '6', kAltGr},  {U'`', '7', kAltGr, true},
                  {U'\\', '8', kAltGr},  {U'@', '0', kAltGr},  {U')', 0xDB, 0},      {U'\u00B0', 0xDB, kS},
                  {U']', 0xDB, kAltGr},  {U'=', 0xBB, 0},      {U'+', 0xBB, kS},     {U'}', 0xBB, kAltGr},
                  {U'\u20AC', 'E', kAltGr}, {U'^', 0xDD, 0, true}, {U'\u00A8', 0xDD, kS, true},
                  {U'$', 0xBA, 0},       {U'\u00A3', 0xBA, kS}, {U'\u00A4', 0xBA, kAltGr}, {U'\u00F9', 0xC0, 0},
                  {U'%', 0xC0, kS},      {U'*', 0xDC, 0},      {U'\u00B5', 0xDC, kS}, {U',', 0xBC, 0},
                  {U'?', 0xBC, kS},      {U';', 0xBE, 0},      {U'.', 0xBE, kS},     {U':', 0xBF, 0},
                  {U'/', 0xBF, kS},      {U'!', 0xDF, 0},      {U'\u00A7', 0xDF, kS}, {U'\u00B2', 0xDE, 0},
                  {U'<', 0xE2, 0},       {U'>', 0xE2, kS}})};
}

// QWERTZ with its own AltGr level. Dead: ^ and ` (the key left of Backspace),
// ¨ (right of ü), ~ (AltGr on the ^ key), ´ (AltGr on the ' key). No key types ß.
inline TableLayout SwissGermanLayoutTable() {
    return {"Swiss German 00000807",
            Join(CommonRows(false),
                 {{U'+', '1', kS},       {U'"', '2', kS},      {U'*', '3', kS},      {U'\u00E7', '4', kS},
                  {U'%', '5', kS},       {U'&', '6', kS},      {U'/', '7', kS},      {U'(', '8', kS},
                  {U')', '9', kS},       {U'=', '0', kS},      {U'\u00A6', '1', kAltGr}, {U'@', '2', kAltGr},
                  {U'#', '3', kAltGr},   {U'\u00AC', '6', kAltGr}, {U'|', '7', kAltGr}, {U'\u00A2', '8', kAltGr},
                  {U'\'', 0xDB, 0},      {U'?', 0xDB, kS},     {U'\u00B4', 0xDB, kAltGr, true},
                  {U'^', 0xDD, 0, true}, {U'`', 0xDD, kS, true}, {U'~', 0xDD, kAltGr, true},
                  {U'\u00FC', 0xBA, 0},  {U'\u00E8', 0xBA, kS}, {U'[', 0xBA, kAltGr}, {U'\u00A8', 0xC0, 0, true},
                  {U'!', 0xC0, kS},      {U']', 0xC0, kAltGr}, {U'\u00F6', 0xDE, 0}, {U'\u00E9', 0xDE, kS},
                  {U'\u00E4', 0xDC, 0},  {U'\u00E0', 0xDC, kS}, {U'{', 0xDC, kAltGr}, {U'$', 0xDF, 0},
                  {U'\u00A3', 0xDF, kS}, {U'}', 0xDF, kAltGr}, {U'\u20AC', 'E', kAltGr}, {U'\u00A7', 0xBF, 0},
                  {U'\u00B0', 0xBF, kS}, {U',', 0xBC, 0},      {U';', 0xBC, kS},     {U'.', 0xBE, 0},
                  {U':', 0xBE, kS},      {U'-', 0xBD, 0},      {U'_', 0xBD, kS},     {U'<', 0xE2, 0},
                  {U'>', 0xE2, kS},      {U'\\', 0xE2, kAltGr}})};
}

// US positions, with ' " ` ~ ^ as dead keys and an AltGr level of accented letters and signs.
inline TableLayout UsInternationalLayoutTable() {
    return {"US International 00020409",
            Join(CommonRows(false),
                 {{U')', '0', kS},       {U'!', '1', kS},      {U'@', '2', kS},      {U'#', '3', kS},
                  {U'$', '4', kS},       {U'%', '5', kS},      {U'^', '6', kS, true}, {U'&', '7', kS},
                  {U'*', '8', kS},       {U'(', '9', kS},      {U'\u00A1', '1', kAltGr}, {U'\u20AC', '5', kAltGr},
                  {U'\u00E4', 'Q', kAltGr}, {U'\u00E5', 'W', kAltGr}, {U'\u00E9', 'E', kAltGr},
                  {U'\u00DF', 'S', kAltGr}, {U'\u00F6', 'P', kAltGr}, {U'\u00FC', 'Y', kAltGr},
                  {U';', 0xBA, 0},       {U':', 0xBA, kS},     {U'=', 0xBB, 0},      {U'+', 0xBB, kS},
                  {U',', 0xBC, 0},       {U'<', 0xBC, kS},     {U'-', 0xBD, 0},      {U'_', 0xBD, kS},
                  {U'.', 0xBE, 0},       {U'>', 0xBE, kS},     {U'/', 0xBF, 0},      {U'?', 0xBF, kS},
                  {U'`', 0xC0, 0, true}, {U'~', 0xC0, kS, true}, {U'[', 0xDB, 0},    {U'{', 0xDB, kS},
                  {U'\\', 0xDC, 0},      {U'|', 0xDC, kS},     {U'\u00AC', 0xDC, kAltGr}, {U']', 0xDD, 0},
                  {U'}', 0xDD, kS},      {U'\'', 0xDE, 0, true}, {U'"', 0xDE, kS, true},
                  {U'\u00B4', 0xDE, kAltGr}, {U'\u00A8', 0xDE, kSAltGr}})};
}

// clang-format on

inline std::vector<TableLayout> AllLayoutTables() {
    return {UsLayoutTable(), GermanLayoutTable(), FrenchLayoutTable(), SwissGermanLayoutTable(),
            UsInternationalLayoutTable()};
}

// The letter a dead key makes of the next character; 0 when they do not join.
inline char32_t Compose(char32_t dead, char32_t base) {
    struct Row {
        char32_t dead, base, result;
    };
    static constexpr Row kRows[] = {
        {U'^', U'a', U'\u00E2'},  {U'^', U'e', U'\u00EA'},  {U'\u00B4', U'a', U'\u00E1'}, {U'\u00B4', U'e', U'\u00E9'},
        {U'\'', U'a', U'\u00E1'}, {U'\'', U'e', U'\u00E9'}, {U'`', U'a', U'\u00E0'},      {U'`', U'e', U'\u00E8'},
        {U'~', U'a', U'\u00E3'},  {U'~', U'n', U'\u00F1'},  {U'\u00A8', U'a', U'\u00E4'}, {U'\u00A8', U'e', U'\u00EB'},
        {U'"', U'a', U'\u00E4'},  {U'"', U'e', U'\u00EB'},
    };
    for (const Row& row : kRows) {
        if (row.dead == dead && row.base == base) {
            return row.result;
        }
    }
    return 0;
}

// The text a program with `layout` receives from `events`: held Shift, Ctrl and Alt select the
// character of each pressed key, a dead key waits for the next one (joining it, or giving
// both characters; the blank gives the accent alone), and Unicode events arrive as they are.
// A key whose shift state types nothing on the layout (Ctrl+C) gives no text.
inline std::u32string TypedText(const std::vector<KeyEvent>& events, const TableLayout& layout) {
    bool shift = false, ctrl = false, alt = false;
    char32_t pendingDead = 0;  // 0: no dead key waiting
    char16_t highSurrogate = 0;
    std::u32string out;
    for (const KeyEvent& e : events) {
        const bool down = (e.flags & kKeyEventKeyUp) == 0;
        if (e.flags & kKeyEventUnicode) {
            if (!down) {
                continue;
            }
            if (e.scan >= 0xD800 && e.scan <= 0xDBFF) {
                highSurrogate = e.scan;
            } else if (e.scan >= 0xDC00 && e.scan <= 0xDFFF && highSurrogate != 0) {
                out += static_cast<char32_t>(0x10000 + ((highSurrogate - 0xD800) << 10) + (e.scan - 0xDC00));
                highSurrogate = 0;
            } else {
                out += e.scan;
            }
            continue;
        }
        switch (e.vk) {
            case 0x10:
            case 0xA0:
            case 0xA1:
                shift = down;
                continue;
            case 0x11:
            case 0xA2:
            case 0xA3:
                ctrl = down;
                continue;
            case 0x12:
            case 0xA4:
            case 0xA5:
                alt = down;
                continue;
            default:
                break;
        }
        if (!down) {
            continue;
        }
        const uint8_t state = (shift ? kStateShift : 0) | (ctrl ? kStateCtrl : 0) | (alt ? kStateAlt : 0);
        const std::optional<LayoutRow> row = layout.Produces(static_cast<uint8_t>(e.vk), state);
        if (!row) {
            continue;
        }
        if (row->dead) {
            if (pendingDead != 0) {
                out += pendingDead;
                out += row->ch;
                pendingDead = 0;
            } else {
                pendingDead = row->ch;
            }
            continue;
        }
        if (pendingDead != 0) {
            const char32_t joined = Compose(pendingDead, row->ch);
            if (joined != 0) {
                out += joined;
            } else {
                out += pendingDead;
                if (row->ch != U' ') {
                    out += row->ch;
                }
            }
            pendingDead = 0;
            continue;
        }
        out += row->ch;
    }
    return out;
}

// A CharMapping on a table layout.
inline CharMapping MappingOn(const TableLayout& layout) {
    return [&layout](char32_t c) { return MapCharacter(c, layout); };
}

// The US layout as a CharMapping, for tests that need a known layout.
inline int32_t UsLayout(char32_t c) {
    static const TableLayout us = UsLayoutTable();
    return MapCharacter(c, us);
}

}  // namespace keys::testing
