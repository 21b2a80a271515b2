#pragma once
// Keyboard layouts as tables from the published charts of the Windows layouts (US 00000409,
// German 00000407, US International 00020409): Wine cannot switch layouts, so these tables are
// what the layout logic is tested against. Then a recording injector.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <functional>
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

// One key: what it types plain, with Shift, with AltGr and with Shift+AltGr (a blank: nothing).
struct ChartKey {
    uint8_t vk;
    std::u32string_view levels;
};

// Answers like VkKeyScanExW: the first row that types the character.
class TableLayout final : public IKeyboardLayout {
  public:
    // Letters, the blank and the control keys are the same on all these layouts.
    TableLayout(std::string name, std::initializer_list<ChartKey> keys, std::u32string_view deadChars)
        : name(std::move(name)) {
        for (char32_t c = 'a'; c <= 'z'; ++c) {
            rows.push_back({c, static_cast<uint8_t>(c - 'a' + 'A'), 0});
            rows.push_back({c - 'a' + 'A', static_cast<uint8_t>(c - 'a' + 'A'), kStateShift});
        }
        rows.insert(rows.end(), {{U' ', 0x20, 0}, {U'\r', 0x0D, 0}, {U'\t', 0x09, 0}, {U'\b', 0x08, 0}});
        rows.push_back({U'\n', 0x0D, kStateCtrl});
        constexpr uint8_t kLevels[] = {0, kStateShift, kStateCtrl | kStateAlt, kStateShift | kStateCtrl | kStateAlt};
        for (const ChartKey& key : keys) {
            for (size_t i = 0; i < key.levels.size(); ++i) {
                const char32_t c = key.levels[i];
                if (c != U' ') {
                    rows.push_back({c, key.vk, kLevels[i], deadChars.find(c) != std::u32string_view::npos});
                }
            }
        }
    }

    std::optional<LayoutKey> KeyFor(char32_t c) const override {
        for (const LayoutRow& row : rows) {
            if (row.ch == c) {
                return LayoutKey{row.vk, row.state, row.dead};
            }
        }
        return std::nullopt;
    }
    std::string name;
    std::vector<LayoutRow> rows;
};

// clang-format off
inline TableLayout UsLayoutTable() {
    return {"US 00000409",
            {{'1', U"1!"}, {'2', U"2@"}, {'3', U"3#"}, {'4', U"4$"}, {'5', U"5%"}, {'6', U"6^"}, {'7', U"7&"},
             {'8', U"8*"}, {'9', U"9("}, {'0', U"0)"}, {0xBA, U";:"}, {0xBB, U"=+"}, {0xBC, U",<"}, {0xBD, U"-_"},
             {0xBE, U".>"}, {0xBF, U"/?"}, {0xC0, U"`~"}, {0xDB, U"[{"}, {0xDC, U"\\|"}, {0xDD, U"]}"},
             {0xDE, U"'\""}},
            U""};
}

// QWERTZ. Dead: ^ (the key left of 1), ´ and ` (the key left of Backspace).
inline TableLayout GermanLayoutTable() {
    return {"German 00000407",
            {{'1', U"1!"}, {'2', U"2\"\u00B2"}, {'3', U"3\u00A7\u00B3"}, {'4', U"4$"}, {'5', U"5%"}, {'6', U"6&"},
             {'7', U"7/{"}, {'8', U"8(["}, {'9', U"9)]"}, {'0', U"0=}"}, {'Q', U"qQ@"}, {'E', U"eE\u20AC"},
             {'M', U"mM\u00B5"}, {0xDB, U"\u00DF?\\"}, {0xDC, U"^\u00B0"}, {0xDD, U"\u00B4`"},
             {0xBA, U"\u00FC\u00DC"}, {0xBB, U"+*~"}, {0xC0, U"\u00F6\u00D6"}, {0xDE, U"\u00E4\u00C4"},
             {0xBF, U"#'"}, {0xBC, U",;"}, {0xBE, U".:"}, {0xBD, U"-_"}, {0xE2, U"<>|"}},
            U"^\u00B4`"};
}

// US positions, with ' " ` ~ ^ as dead keys and an AltGr level; the keys the tests use.
inline TableLayout UsInternationalLayoutTable() {
    return {"US International 00020409", {{'S', U"sS\u00DF"}, {0xDE, U"'\"\u00B4\u00A8"}}, U"^`~'\""};
}
// clang-format on

// A CharMapping on a table layout.
inline CharMapping MappingOn(const TableLayout& layout) {
    return [&layout](char32_t c) { return MapCharacter(c, layout); };
}

// The US layout as a CharMapping, for tests that need a known layout.
inline int32_t UsLayout(char32_t c) {
    static const TableLayout us = UsLayoutTable();
    return MapCharacter(c, us);
}

// A recording injector: every event and every wait lands in one log, on a fake clock.
// "+vk" press, "-vk" release, "x" extended, "/scan" when not the layout's, "Uxxxx" a Unicode
// character event, "wN" a pause; "?" marks a field the player must not set.
class FakeInjector : public IKeyInjector {
  public:
    // What the layout gives as scan code: anything the player could not have made up.
    static uint32_t ScanOf(uint32_t vk) { return (vk ^ 0x55) & 0xFF; }

    void Inject(const KeyEvent& e) override {
        char text[32];
        const char* sign = (e.flags & kKeyEventKeyUp) ? "-" : "+";
        if (e.flags & kKeyEventUnicode) {
            std::snprintf(text, sizeof text, "%sU%04X%s", sign, unsigned{e.scan}, e.vk != 0 ? "?vk" : "");
        } else {
            std::snprintf(text, sizeof text, "%s%u%s", sign, unsigned{e.vk}, (e.flags & kKeyEventExtended) ? "x" : "");
            if (e.scan != ScanOf(e.vk)) {
                std::snprintf(text + std::strlen(text), 8, "/%u", unsigned{e.scan});
            }
        }
        Add(std::string(text) + ((e.flags & ~(kKeyEventKeyUp | kKeyEventExtended | kKeyEventUnicode)) ? "?flags" : ""));
        injectedWithStateSet += state != KeyboardState{} ? 1 : 0;
        now += injectCostMicroseconds;
        if (onInject) {
            onInject(e.vk, (e.flags & kKeyEventKeyUp) == 0);
        }
    }
    uint32_t MapVirtualKey(uint32_t vk) override { return ScanOf(vk); }
    KeyboardState GetKeyboardState() override {
        ++stateReads;
        return state;
    }
    void SetKeyboardState(const KeyboardState& s) override {
        ++stateWrites;
        state = s;
    }
    int64_t NowMicroseconds() override { return now; }
    void WaitUntil(int64_t deadline) override {
        const int64_t length = deadline - now;
        Add("w" + (length % 1000 == 0 ? std::to_string(length / 1000) + "ms" : std::to_string(length) + "us"));
        if (onWait) {
            onWait();
        }
        now = std::max(now, deadline) + oversleepMicroseconds;
    }

    std::string log;
    KeyboardState state{};
    int stateReads = 0;
    int stateWrites = 0;
    int injectedWithStateSet = 0;  // events sent while the thread's key state was not cleared
    int64_t now = 1'000'000;
    int64_t injectCostMicroseconds = 0;
    int64_t oversleepMicroseconds = 0;
    std::function<void(uint16_t vk, bool down)> onInject;
    std::function<void()> onWait;

  private:
    void Add(const std::string& item) { log += (log.empty() ? "" : " ") + item; }
};

}  // namespace keys::testing
