#include "weighing/DateTokens.h"

#include <array>

namespace weighing {
namespace {

using Field = int (*)(const DateTime&);

struct Token {
    std::string_view name;  // upper case
    Field field;
};

// Handled in this order; the order matters only to which moment each one sees.
constexpr std::array<Token, 7> kTokens{{
    {"{CENTURY}", [](const DateTime& t) { return t.year / 100; }},
    {"{YEAR}", [](const DateTime& t) { return t.year; }},
    {"{MONTH}", [](const DateTime& t) { return t.month; }},
    {"{DAY}", [](const DateTime& t) { return t.day; }},
    {"{HOUR}", [](const DateTime& t) { return t.hour; }},
    {"{MINUTE}", [](const DateTime& t) { return t.minute; }},
    {"{SECOND}", [](const DateTime& t) { return t.second; }},
}};

// Always two digits: the last two of whatever the clock gives, so a field out of its range
// cannot lengthen the text or put a sign into the keystrokes.
std::string TwoDigits(int value) {
    int lastTwo = value % 100;
    if (lastTwo < 0) {
        lastTwo = -lastTwo;
    }
    return {static_cast<char>('0' + lastTwo / 10), static_cast<char>('0' + lastTwo % 10)};
}

// ASCII only, so that positions in the copy are positions in the text whatever its encoding.
std::string UpperAscii(std::string_view text) {
    std::string upper(text);
    for (char& c : upper) {
        if (c >= 'a' && c <= 'z') {
            c = static_cast<char>(c - 'a' + 'A');
        }
    }
    return upper;
}

}  // namespace

std::string ExpandDateTimeTokens(std::string_view text, const std::function<DateTime()>& clock) {
    std::string result(text);
    for (const Token& token : kTokens) {
        const size_t at = UpperAscii(result).find(token.name);
        if (at == std::string::npos) {
            continue;
        }
        result.replace(at, token.name.size(), TwoDigits(token.field(clock())));
    }
    return result;
}

}  // namespace weighing
