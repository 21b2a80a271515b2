#pragma once
// Number-to-text conversion for weights: the user's format expressions ("0.00", "#,##0.0",
// "0.0#;(-0.0#);\"ZERO\"") and the default conversion used when no expression is set.
//
// An expression is parsed once into a FormatSpec and then applied to any number of values.
// Parsing never fails: every text is some expression, and anything unusual about it is reported
// in FormatSpec::issue for callers that want to warn (the text produced is defined regardless).
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace weighing {

// The locale's separators. Defaults are those of the "C" locale; on Windows the program reads
// the user's (UserNumberSeparators in weighing/System_win.h).
struct NumberSeparators {
    std::string decimal = ".";
    std::string thousands = ",";
};

enum class FormatIssue : uint8_t {
    None,
    UnclosedQuote,      // a '"' without its partner: the rest of the expression is literal text
    TrailingBackslash,  // a '\' at the very end: copied as a literal backslash
    ExtraSections,      // more than three ';'-separated sections: the fourth and later are ignored
};

// One ';'-separated part of an expression, parsed into items in their order of appearance.
struct FormatSection {
    enum class Kind : uint8_t { Literal, DigitOrZero, DigitOrNothing, DecimalPoint };
    struct Item {
        Kind kind = Kind::Literal;
        std::string text;  // Literal only
    };
    std::vector<Item> items;
    bool empty = true;      // the section's text was empty (such a section counts as absent)
    bool grouping = false;  // thousands separators between the integer digits
    bool hasDecimalPoint = false;
    int integerPlaceholders = 0;  // "0" and "#" before the decimal point
    int integerMinDigits = 0;     // from the leftmost "0" before the point to the point
    int decimalPlaceholders = 0;  // "0" and "#" after it: the number of decimals rounded to
    int decimalMinDigits = 0;     // up to the rightmost "0" after it: decimals always shown
    [[nodiscard]] bool ShowsNumber() const { return integerPlaceholders > 0 || hasDecimalPoint; }
};

struct FormatSpec {
    std::vector<FormatSection> sections;  // at most three; none for an empty expression
    FormatIssue issue = FormatIssue::None;
};

[[nodiscard]] FormatSpec ParseFormat(std::string_view expression);

// Formats `value` with a parsed expression. Values that are not finite, and values whose section
// is empty or missing altogether, get the default conversion.
[[nodiscard]] std::string FormatNumber(const FormatSpec& parsed, double value, const NumberSeparators& separators);

// The default conversion: at most 15 significant digits, shortest form ("0.5", "12.5", "3"),
// exponent notation below 1E-04 and from 1E+15 on ("1E-05", "1.23456789012346E+17").
[[nodiscard]] std::string DefaultNumberText(double value, std::string_view decimalSeparator);

}  // namespace weighing
