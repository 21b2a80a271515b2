#include "keys/KeyScript.h"

#include "base/TextUtil.h"

#include <string>
#include <vector>

namespace keys {

const std::array<KeyName, 41> KeyNames = {{
    {20, "CAPSLOCK"}, {144, "NUMLOCK"}, {145, "SCROLLOCK"}, {27, "ESCAPE"}, {27, "ESC"},    {13, "ENTER"},
    {47, "HELP"},     {44, "PRTSC"},    {9, "TAB"},         {19, "BREAK"},  {12, "CLEAR"},  {8, "BACKSPACE"},
    {8, "BS"},        {8, "BKSP"},      {46, "DELETE"},     {46, "DEL"},    {45, "INSERT"}, {37, "LEFT"},
    {39, "RIGHT"},    {38, "UP"},       {40, "DOWN"},       {33, "PGUP"},   {34, "PGDN"},   {36, "HOME"},
    {35, "END"},      {112, "F1"},      {113, "F2"},        {114, "F3"},    {115, "F4"},    {116, "F5"},
    {117, "F6"},      {118, "F7"},      {119, "F8"},        {120, "F9"},    {121, "F10"},   {122, "F11"},
    {123, "F12"},     {124, "F13"},     {125, "F14"},       {126, "F15"},   {127, "F16"},
}};

std::optional<int32_t> LookupKeyName(std::string_view name, const CharMapping& mapping) {
    if (!name.empty() && static_cast<unsigned char>(name[0]) >= 0x80) {
        // Key names are ASCII: anything else must be exactly one character.
        const std::optional<base::DecodedChar> c = base::DecodeUtf8(name);
        if (!c) {
            return std::nullopt;
        }
        return c->length == name.size() ? mapping(c->codePoint) : 0;
    }
    if (name.size() == 1) {
        return mapping(static_cast<unsigned char>(name[0]));
    }
    const auto first = name.find_first_not_of(' ');
    if (first == std::string_view::npos) {
        return 0;
    }
    name = name.substr(first, name.find_last_not_of(' ') - first + 1);
    std::string upper(name);
    for (char& c : upper) {
        // Only ASCII letters: no key name holds anything else, and the result must not
        // depend on the process locale.
        if (c >= 'a' && c <= 'z') {
            c = static_cast<char>(c - 'a' + 'A');
        }
    }
    for (const KeyName& row : KeyNames) {
        if (row.name == upper) {
            return row.code;
        }
    }
    return 0;
}

namespace {

// Any count above this cannot fit the queue, so reading stops growing the number there: a
// count of 10^12 (or a thousand digits) behaves like any other count that overflows the queue.
constexpr int64_t kCountCeiling = int64_t{KeyQueue::kCapacity} * 4;

// Reads the repeat count at the start of `text`: leading blanks, an optional sign, digits, an
// optional fraction; rounded to the nearest whole number with halves going to the even
// neighbour. Text that does not start with a number reads as 0.
int64_t ReadRepeatCount(std::string_view text) {
    size_t i = 0;
    while (i < text.size() && text[i] == ' ') {
        ++i;
    }
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
        negative = text[i] == '-';
        ++i;
    }
    int64_t whole = 0;
    while (i < text.size() && text[i] >= '0' && text[i] <= '9') {
        if (whole < kCountCeiling) {
            whole = whole * 10 + (text[i] - '0');
        }
        ++i;
    }
    // The fraction only decides the rounding: below, exactly at or above one half.
    int firstDigit = -1;
    bool restNonZero = false;
    if (i < text.size() && text[i] == '.') {
        ++i;
        while (i < text.size() && text[i] >= '0' && text[i] <= '9') {
            if (firstDigit < 0) {
                firstDigit = text[i] - '0';
            } else if (text[i] != '0') {
                restNonZero = true;
            }
            ++i;
        }
    }
    if (firstDigit > 5 || (firstDigit == 5 && (restNonZero || whole % 2 == 1))) {
        ++whole;
    }
    return negative ? -whole : whole;
}

// The parser proper. Groups and modifier prefixes nest; instead of recursing (a script of a
// hundred thousand "(" would overflow the stack) the open groups and prefixes are kept on an
// explicit stack, and the parse moves between three states.
class Parser {
  public:
    Parser(std::string_view script, const CharMapping& mapping, KeyQueue& queue)
        : _script(script), _mapping(mapping), _queue(queue) {}

    int16_t Run();

  private:
    enum class State {
        kItem,       // about to read one item after _pos
        kGroupLoop,  // inside a group: read another item or its ")"
        kItemDone,   // one item finished with `result`
    };
    // Stack entries: kGroup for an open "(", otherwise the modifier code to append again once
    // the prefix's item is done.
    static constexpr int16_t kGroup = 0;

    bool PastEnd() const { return _pos > _script.size(); }
    int16_t Append(int32_t code);
    // Appends the character that starts at _pos - 1 and moves _pos past its last byte.
    int16_t AppendCharacter();
    int16_t ParseBraced();

    std::string_view _script;
    const CharMapping& _mapping;
    KeyQueue& _queue;
    // Number of characters consumed: the 1-based index of the last one, 0 before the first.
    size_t _pos = 0;
    std::vector<int16_t> _open;
};

int16_t Parser::Append(int32_t code) {
    if (_queue.count >= KeyQueue::kCapacity) {
        return kParseQueueFull;
    }
    _queue.entries[static_cast<size_t>(_queue.count++)] = code;
    return kParseOk;
}

// Shift is wrapped around the key as entries of its own (so that "+" prefixes and Shift-needing
// characters toggle the one Shift the way they always have); Ctrl and Alt stay on the entry,
// for the player to hold around that key alone.
int16_t AppendWrapped(const std::function<int16_t(int32_t)>& append, int32_t mapped, int64_t count) {
    const bool shift = !IsUnicodeEntry(mapped) && (mapped & kShiftFlag) != 0;
    const int32_t entry = shift ? mapped & ~int32_t{kShiftFlag} : mapped;
    int16_t result = shift ? append(kVkShift) : int16_t{kParseOk};
    // The queue fills after at most kCapacity appends, so a huge count ends quickly.
    for (int64_t n = 0; n < count && result == kParseOk; ++n) {
        result = append(entry);
    }
    if (result == kParseOk && shift) {
        result = append(kVkShift);
    }
    return result;
}

int16_t Parser::AppendCharacter() {
    const std::optional<base::DecodedChar> c = base::DecodeUtf8(_script.substr(_pos - 1));
    if (!c) {
        return kParseUnmappableChar;
    }
    _pos += c->length - 1;
    return AppendWrapped([this](int32_t code) { return Append(code); }, _mapping(c->codePoint), 1);
}

// "{" has just been consumed at _pos.
int16_t Parser::ParseBraced() {
    const size_t open = _pos - 1;  // 0-based index of the "{"
    size_t start = open;
    std::optional<int32_t> key;
    if (open + 1 < _script.size() && _script[open + 1] == '}') {
        // "{}}" types a closing brace: the first "}" is the key, not the end of the name.
        key = _mapping('}');
        start = open + 1;
    }
    size_t stop = start + 1;
    while (stop < _script.size() && _script[stop] != ' ' && _script[stop] != '}') {
        ++stop;
    }
    if (stop >= _script.size()) {
        return kParseUnclosedBrace;
    }
    if (!key) {
        key = LookupKeyName(_script.substr(open + 1, stop - open - 1), _mapping);
        if (!key) {
            return kParseUnmappableChar;
        }
        if (*key == 0) {
            return kParseUnknownKeyName;
        }
    }
    int64_t count = 1;
    if (_script[stop] == ' ') {
        count = ReadRepeatCount(_script.substr(stop + 1));
        if (count == 0) {
            return kParseBadRepeatCount;
        }
        if (count < 0) {
            return kParseQueueFull;  // a negative count can never be played
        }
    }
    const int16_t result = AppendWrapped([this](int32_t code) { return Append(code); }, *key, count);
    if (result != kParseOk) {
        return result;
    }
    // Text between the count and the "}" is ignored.
    const size_t close = _script.find('}', stop);
    if (close == std::string_view::npos) {
        return kParseUnclosedBrace;
    }
    _pos = close + 1;
    return kParseOk;
}

int16_t Parser::Run() {
    State state = State::kItem;
    int16_t result = kParseOk;
    for (;;) {
        switch (state) {
            case State::kItem: {
                ++_pos;
                state = State::kItemDone;
                if (PastEnd()) {
                    result = kParseOk;  // nothing left: an empty item
                    break;
                }
                const char c = _script[_pos - 1];
                switch (c) {
                    case '{':
                        result = ParseBraced();
                        break;
                    case '(':
                        _open.push_back(kGroup);
                        state = State::kGroupLoop;
                        break;
                    case '~':
                        result = Append(kVkReturn);
                        break;
                    case '+':
                    case '^':
                    case '%': {
                        const int16_t modifier = c == '+' ? kVkShift : c == '^' ? kVkControl : kVkMenu;
                        result = Append(modifier);
                        if (result == kParseOk) {
                            _open.push_back(modifier);
                            state = State::kItem;
                        }
                        break;
                    }
                    default:  // ")" and "}" included: outside their constructs they type themselves
                        result = AppendCharacter();
                        break;
                }
                break;
            }
            case State::kGroupLoop:
                if (PastEnd()) {
                    _open.pop_back();
                    result = kParseUnclosedGroup;
                    state = State::kItemDone;
                } else if (_pos < _script.size() && _script[_pos] == ')') {
                    ++_pos;
                    _open.pop_back();
                    result = kParseOk;
                    state = State::kItemDone;
                } else {
                    state = State::kItem;
                }
                break;
            case State::kItemDone:
                if (result != kParseOk) {
                    return result;  // the first failure ends the whole parse
                }
                if (_open.empty()) {
                    if (PastEnd()) {
                        return kParseOk;
                    }
                    state = State::kItem;
                } else if (_open.back() == kGroup) {
                    state = State::kGroupLoop;
                } else {
                    result = Append(_open.back());
                    _open.pop_back();
                }
                break;
        }
    }
}

}  // namespace

int16_t ParseKeys(std::string_view script, const CharMapping& mapping, KeyQueue& queue) {
    queue.count = 0;
    queue.readPosition = 0;
    return Parser(script, mapping, queue).Run();
}

}  // namespace keys
