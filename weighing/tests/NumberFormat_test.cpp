#include "weighing/NumberFormat.h"

#include <gtest/gtest.h>

#include "base/tests/Rows.h"

#include <cmath>
#include <limits>
#include <string>

namespace weighing {
namespace {

using base::testing::ExpectRows;

struct FormatCase {
    std::string expression;
    double value;
    std::string expected;
};

template <size_t N>
void ExpectFormats(const FormatCase (&cases)[N], const NumberSeparators& separators = {}) {
    for (const FormatCase& c : cases) {
        EXPECT_EQ(FormatNumber(ParseFormat(c.expression), c.value, separators), c.expected)
            << "expression " << c.expression << " value " << c.value;
    }
}

// Rounding is half away from zero on the 15-digit decimal text (1.005 is 1.00499999... in
// binary), with carries into new digits and exact ties at the sixteenth digit.
TEST(FormatNumber, PlaceholdersRoundingGroupingLiteralsAndSections) {
    // clang-format off
    const FormatCase cases[] = {
        {"0.000", 1.2346, "1.235"}, {"0.0", 1.25, "1.3"}, {"0", 2.5, "3"}, {"0", -2.5, "-3"}, {"0.00", 1.005, "1.01"},
        {"0.0", 0.04999, "0.0"}, {"000", 0.5, "001"}, {"000", 0.4, "000"}, {"000", 1234, "1234"},
        {"0.0", 9.96, "10.0"}, {"0.00", 99.999, "100.00"}, {"00.0", 3.5, "03.5"}, {"#.00", 0.5, ".50"}, {"#", 0.4, ""},
        {"#", 7.0, "7"}, {"##", 123.0, "123"}, {"#.##", 1.0, "1."}, {"#.##", 1.256, "1.26"}, {".00", 1.5, "1.50"},
        {"0.0#", 1.25, "1.25"}, {"0.0#", 1.2, "1.2"}, {"0.0#", 1.0, "1.0"}, {"0.0#", 1.999, "2.0"}, {"0#", 5.0, "05"},
        {"#0#", 5.0, "05"}, {"0", 123456789012345678.0, "123456789012346000"}, {"0.00", 1e-300, "0.00"},
        {"0.0000000000", 1.5e-10, "0.0000000002"}, {"0.00000", 0.000012345, "0.00001"}, {"0.0000", 0.000095, "0.0001"},
        {"0", 100000000000000.5, "100000000000001"},
        {"0.00000000000000000000", 2.384185791015625E-07, "0.00000023841857910156"},
                // only between digit placeholders of the integer part; quotes and backslashes make text,
        // an unclosed quote takes the rest, a second point is text. With one section the minus
        // sign stands directly before the number, after leading text; a section without a digit
        // placeholder shows no sign.
        {"#,##0.00", 1234.5, "1,234.50"}, {"#,##0", 1234567.0, "1,234,567"}, {"#,##0", 123.0, "123"},
        {"#,#", 1000.0, "1,000"}, {"0,0", 1234567.0, "1,234,567"}, {"00,000", 5.0, "00,005"}, {",0", 1234.0, ",1234"},
        {"0,", 1234.0, "1234,"}, {"0.0,0", 1.25, "1.2,5"}, {"0\" kg\"", 12.0, "12 kg"}, {"0-0", 12345.0, "1234-5"},
        {"\\#0", 5.0, "#5"}, {"0\"", 5.0, "5"}, {"0\";0.00", -5.0, "-5;0.00"}, {"0\\", 5.0, "5\\"},
        {"0.0.0", 1.25, "1.2.5"}, {",,,", 5.0, ",,,"}, {"...", 5.4, "5..."}, {"\"kg \"0.0", -1.5, "kg -1.5"},
        {"(#,##0)", -1234.0, "(-1,234)"}, {"x.00", -0.5, "x-.50"}, {"ABC", -5.0, "ABC"},
        {"0.0\" kg\"", -1.5, "-1.5 kg"}, {"(0.0)", -0.04, "(-0.0)"},
        // The section follows the value before rounding; only an exact zero (either sign) takes
        // the zero section; an empty section counts as absent, a fourth is ignored.
        {"0.0#;(-0.0#)", -1.25, "(-1.25)"}, {"0.0#;(-0.0#)", 0.0, "0.0"}, {"0.0#;(-0.0#);\"ZERO\"", 0.0, "ZERO"},
        {"0.0#;(-0.0#);\"ZERO\"", -0.0, "ZERO"}, {"0.0#;(-0.0#);\"ZERO\"", 0.001, "0.0"},
        {"0.0#;(-0.0#);\"ZERO\"", -0.001, "(-0.0)"}, {"0.0", -0.04, "-0.0"}, {"0.0", -0.0, "0.0"},
        {"0.0;;\"Z\"", -1.5, "-1.5"}, {"0.0;;\"Z\"", 0.0, "Z"}, {"0.0;(0.0);", 0.0, "0.0"}, {";(0)", 2.5, "2.5"},
        {";(0)", -2.5, "(3)"}, {";", -2.5, "-2.5"}, {"0;1;2;3", 5.0, "5"}, {"0;(0);\"Z\";\"FOURTH\"", 0.0, "Z"},
        {"0.00", std::numeric_limits<double>::infinity(), "Infinity"},
        {"0.00", -std::numeric_limits<double>::infinity(), "-Infinity"}, {"0.00", std::nan(""), "NaN"},
    };
    // clang-format on
    ExpectFormats(cases);
}

TEST(FormatNumber, LocaleSeparatorsReplaceTheExpressionsOwn) {
    const FormatCase german[] = {{"#,##0.00", 1234.5, "1.234,50"}, {"", 2.25, "2,25"}, {"", 1.5e-7, "1,5E-07"}};
    ExpectFormats(german, {",", "."});
    const FormatCase french[] = {{"#,##0.0", 1234567.25, "1\u202F234\u202F567 3"}};
    ExpectFormats(french, {" ", "\u202F"});
}

TEST(ParseFormat, ReportsWhatIsUnusualAboutAnExpression) {
    // clang-format off
    struct Case { std::string expression; size_t sections; FormatIssue issue; };
    const Case cases[] = {
        {"", 0, FormatIssue::None}, {"0;", 2, FormatIssue::None}, {"0;0;0;", 3, FormatIssue::None},
        {"0;0;0;0", 3, FormatIssue::ExtraSections}, {"\";;;;", 1, FormatIssue::UnclosedQuote},
        {"0\\", 1, FormatIssue::TrailingBackslash}, {"\";\";\";\"", 2, FormatIssue::None},
    };
    // clang-format on
    for (const Case& c : cases) {
        const FormatSpec parsed = ParseFormat(c.expression);
        EXPECT_EQ(parsed.sections.size(), c.sections) << c.expression;
        EXPECT_EQ(parsed.issue, c.issue) << c.expression;
    }
}

// Thousands of characters of each kind: the output grows with the expression, no more; both
// ends of the double range with decimals far beyond the 15 digits kept.
TEST(FormatNumber, HugeExpressionsGiveTheirTextInOnePass) {
    std::string hundredSections = "0.0";
    for (int i = 0; i < 100; ++i) {
        hundredSections += ";\"S" + std::to_string(i) + "\"";
    }
    // clang-format off
    const FormatCase cases[] = {
        {"0", 1.7976931348623157e308, "17976931348623200" + std::string(292, '0')},
        {"0." + std::string(340, '0'), 4.9406564584124654e-324, "0." + std::string(323, '0') + "49406564584124700"},
        {"0." + std::string(324, '#'), 4.9406564584124654e-324, "0." + std::string(323, '0') + "5"},
        {"0." + std::string(323, '#'), 4.9406564584124654e-324, "0."},
        {std::string(5000, '0'), 7.0, std::string(4999, '0') + "7"},
        {"0" + std::string(5000, ',') + "0", 1234.0, "1,234"}, {std::string(5000, 'x'), -1.0, std::string(5000, 'x')},
        {hundredSections, -1.0, "S0"}, {hundredSections, 0.0, "S1"},
    };
    // clang-format on
    ExpectFormats(cases);
}

// Rounding up into the next decade; exact binary ties at the sixteenth digit round away from
// zero; a sixteenth digit 5 over an exact value below half rounds down.
TEST(DefaultNumberText, ShortestTextToFifteenDigits) {
    // clang-format off
    ExpectRows<double, const char*>([](const auto& in) { return DefaultNumberText(in, "."); }, {
        {12.5, "12.5"}, {3.0, "3"}, {-0.5, "-0.5"}, {-0.0, "0"}, {0.1 + 0.2, "0.3"}, {1e-4, "0.0001"},
        {0.00012345, "0.00012345"}, {1e-5, "1E-05"}, {-1.5e-7, "-1.5E-07"}, {1e-128, "1E-128"},
        {999999999999999.0, "999999999999999"}, {1e15, "1E+15"}, {999999999999999.9, "1E+15"},
        {123456789012345678.0, "1.23456789012346E+17"}, {1.7976931348623157e308, "1.79769313486232E+308"},
        {4.9406564584124654e-324, "4.94065645841247E-324"}, {100.0, "100"}, {2.0 / 3.0, "0.666666666666667"},
        {100000000000000.5, "100000000000001"}, {-100000000000000.5, "-100000000000001"},
        {2.384185791015625E-07, "2.38418579101563E-07"}, {999999999999999.5, "1E+15"},
        {100000000000000.25, "100000000000000"}, {1.4773894590841445, "1.47738945908414"},
        {62970.13845923725, "62970.1384592372"},
    });
    // clang-format on
}

}  // namespace
}  // namespace weighing
