#include "weighing/NumberFormat.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>

namespace weighing {
namespace {

struct FormatCase {
    int line;
    const char* expression;
    double value;
    std::string expected;
};

void RunFormatCases(std::initializer_list<FormatCase> cases, const NumberSeparators& separators) {
    for (const FormatCase& c : cases) {
        SCOPED_TRACE(c.line);
        EXPECT_EQ(FormatNumber(ParseFormat(c.expression), c.value, separators), c.expected)
            << "expression " << c.expression << " value " << c.value;
    }
}

TEST(FormatNumber, PlaceholdersAndRounding) {
    RunFormatCases(
        {
            {__LINE__, "0.000", 1.2346, "1.235"},
            {__LINE__, "0.0", 1.25, "1.3"},  // half away from zero on the decimal text
            {__LINE__, "0", 2.5, "3"},
            {__LINE__, "0", 3.5, "4"},
            {__LINE__, "0", -2.5, "-3"},
            {__LINE__, "0.00", 0.125, "0.13"},
            {__LINE__, "0.00", 1.005, "1.01"},  // binary 1.00499999..., decimal text 1.005
            {__LINE__, "0.00", 2.675, "2.68"},
            {__LINE__, "0.0", 0.05, "0.1"},
            {__LINE__, "0.0", 0.04999, "0.0"},
            {__LINE__, "000", 0.5, "001"},
            {__LINE__, "000", 0.4, "000"},
            {__LINE__, "000", 2, "002"},
            {__LINE__, "000", 1234, "1234"},
            {__LINE__, "0.0", 9.96, "10.0"},  // carry into a new integer digit
            {__LINE__, "0.00", 99.999, "100.00"},
            {__LINE__, "00.0", 15.984, "16.0"},
            {__LINE__, "00.0", 3.5, "03.5"},
            {__LINE__, "0", 0.0, "0"},
            {__LINE__, "0.00", 0.5, "0.50"},
            {__LINE__, "#.00", 0.5, ".50"},
            {__LINE__, "#", 0.0, ""},
            {__LINE__, "#", 0.4, ""},
            {__LINE__, "#", 7.0, "7"},
            {__LINE__, "##", 123.0, "123"},
            {__LINE__, "#.##", 1.0, "1."},  // the point stays, as the platform shows it
            {__LINE__, "#.##", 1.5, "1.5"},
            {__LINE__, "#.##", 1.256, "1.26"},
            {__LINE__, ".00", 1.5, "1.50"},  // no integer placeholder: the digits go before the point
            {__LINE__, ".00", 0.5, ".50"},
            {__LINE__, "0.0#", 1.25, "1.25"},
            {__LINE__, "0.0#", 1.2, "1.2"},
            {__LINE__, "0.0#", 1.0, "1.0"},
            {__LINE__, "0.0#", 1.999, "2.0"},
            {__LINE__, "0#", 5.0, "05"},  // the leftmost "0" fixes the digits always shown
            {__LINE__, "#0#", 5.0, "05"},
            {__LINE__, "0.", 5.4, "5."},
            {__LINE__, "0", 1e15, "1000000000000000"},
            {__LINE__, "0", 123456789012345678.0, "123456789012346000"},  // 15 significant digits
            {__LINE__, "0.00", 1e-300, "0.00"},
            {__LINE__, "0", 1.7976931348623157e308, "17976931348623200" + std::string(292, '0')},
            {__LINE__, "0.0000000000", 1.5e-10, "0.0000000002"},
            {__LINE__, "0.00000", 0.000012345, "0.00001"},
            {__LINE__, "0.0000", 0.000095, "0.0001"},               // the first kept digit is a new one
            {__LINE__, "0", 100000000000000.5, "100000000000001"},  // an exact tie at digit 16
            {__LINE__, "0.0", 100000000000000.5, "100000000000001.0"},
            {__LINE__, "0.00000000000000000000", 2.384185791015625E-07, "0.00000023841857910156"},
        },
        {});
}

TEST(FormatNumber, ExponentsAtTheLimitsStayInRange) {
    // Both ends of the double range with every number of decimals from 0 to 340: the rounding
    // works on digit positions far beyond the 15 digits kept.
    const FormatSpec tinyFormat = ParseFormat("0." + std::string(340, '0'));
    const std::string tiny = FormatNumber(tinyFormat, 4.9406564584124654e-324, {});
    EXPECT_EQ(tiny, "0." + std::string(323, '0') + "494065645841247" + "00");
    const FormatSpec roundUp = ParseFormat("0." + std::string(324, '#'));
    EXPECT_EQ(FormatNumber(roundUp, 4.9406564584124654e-324, {}), "0." + std::string(323, '0') + "5");
    EXPECT_EQ(FormatNumber(ParseFormat("0." + std::string(323, '#')), 4.9406564584124654e-324, {}), "0.");
}

TEST(FormatNumber, GroupingAndLiterals) {
    RunFormatCases(
        {
            {__LINE__, "#,##0.00", 1234.5, "1,234.50"},
            {__LINE__, "#,##0", 1234567.0, "1,234,567"},
            {__LINE__, "#,##0", 123.0, "123"},
            {__LINE__, "#,##0", 0.0, "0"},
            {__LINE__, "#,#", 1000.0, "1,000"},
            {__LINE__, "0,0", 1234567.0, "1,234,567"},
            {__LINE__, "00,000", 5.0, "00,005"},
            {__LINE__, "#,##0", -1234.0, "-1,234"},
            {__LINE__, ",0", 1234.0, ",1234"},  // no placeholder before it: text
            {__LINE__, "0,", 1234.0, "1234,"},
            {__LINE__, "0.0,0", 1.25, "1.2,5"},
            {__LINE__, "0\" kg\"", 12.0, "12 kg"},
            {__LINE__, "(0.0)", 3.0, "(3.0)"},
            {__LINE__, "0-0", 12345.0, "1234-5"},
            {__LINE__, "\"ZERO\"", 0.0, "ZERO"},
            {__LINE__, "abc", 5.0, "abc"},
            {__LINE__, "\\#0", 5.0, "#5"},
            {__LINE__, "0\"", 5.0, "5"},              // unclosed quote: the rest is text
            {__LINE__, "0\";0.00", -5.0, "-5;0.00"},  // ...even a ';'
            {__LINE__, "0\\", 5.0, "5\\"},
            {__LINE__, "0.0.0", 1.25, "1.2.5"},  // a second point is text between decimal placeholders
            {__LINE__, "\"\"", 5.0, ""},
            {__LINE__, ",,,", 5.0, ",,,"},
            {__LINE__, "...", 5.4, "5..."},
        },
        {});
}

// With one section the minus sign goes directly before the number, after the literal text in front
// of it; a section without a digit placeholder shows no sign at all.
TEST(FormatNumber, MinusSignStandsBeforeTheNumberNotBeforeLeadingText) {
    RunFormatCases(
        {
            {__LINE__, "\"kg \"0.0", -1.5, "kg -1.5"},
            {__LINE__, "(0.0)", -1.5, "(-1.5)"},
            {__LINE__, "[0.0]", -1.5, "[-1.5]"},
            {__LINE__, "\"kg \"0.0", 1.5, "kg 1.5"},
            {__LINE__, "(#,##0)", -1234.0, "(-1,234)"},
            {__LINE__, "x.00", -0.5, "x-.50"},  // the point is the first part of the number
            {__LINE__, "\"X\"", -5.0, "X"},
            {__LINE__, "ABC", -5.0, "ABC"},
            {__LINE__, "0.0\" kg\"", -1.5, "-1.5 kg"},
            {__LINE__, "(0.0)", -0.04, "(-0.0)"},
        },
        {});
}

TEST(FormatNumber, SectionsChosenByTheValueBeforeRounding) {
    RunFormatCases(
        {
            {__LINE__, "0.0#;(-0.0#)", -1.25, "(-1.25)"},
            {__LINE__, "0.0#;(-0.0#)", 1.25, "1.25"},
            {__LINE__, "0.0#;(-0.0#)", 0.0, "0.0"},
            {__LINE__, "0.0#;(-0.0#);\"ZERO\"", 0.0, "ZERO"},
            {__LINE__, "0.0#;(-0.0#);\"ZERO\"", -0.0, "ZERO"},
            {__LINE__, "0.0#;(-0.0#);\"ZERO\"", 0.001, "0.0"},  // rounds to zero, not a zero
            {__LINE__, "0.0#;(-0.0#);\"ZERO\"", -0.001, "(-0.0)"},
            {__LINE__, "0.0#;\"NEGATIVE\";\"ZERO\"", -1.5, "NEGATIVE"},
            {__LINE__, "0.0", -0.04, "-0.0"},
            {__LINE__, "0.0", -0.0, "0.0"},
            {__LINE__, "0.0;;\"Z\"", -1.5, "-1.5"},  // empty second section: absent
            {__LINE__, "0.0;;\"Z\"", 0.0, "Z"},
            {__LINE__, "0.0;(0.0);", 0.0, "0.0"},  // empty third section: absent
            {__LINE__, "0.0;", -2.0, "-2.0"},
            {__LINE__, ";(0)", 2.5, "2.5"},  // empty first section: the default conversion
            {__LINE__, ";(0)", -2.5, "(3)"},
            {__LINE__, ";", -2.5, "-2.5"},
            {__LINE__, "0;1;2;3", 5.0, "5"},
            {__LINE__, "0;(0);\"Z\";\"FOURTH\"", 0.0, "Z"},
        },
        {});
}

TEST(FormatNumber, LocaleSeparatorsReplaceTheExpressionsOwn) {
    RunFormatCases(
        {
            {__LINE__, "#,##0.00", 1234.5, "1.234,50"},
            {__LINE__, "0.0", 2.25, "2,3"},
            {__LINE__, "", 2.25, "2,25"},
            {__LINE__, "", 1.5e-7, "1,5E-07"},
        },
        {",", "."});
    RunFormatCases({{__LINE__, "#,##0.0", 1234567.25,
                     "1\xE2\x80\xAF"
                     "234\xE2\x80\xAF"
                     "567 3"}},
                   {" ", "\xE2\x80\xAF"});
}

TEST(FormatNumber, NonFiniteValuesGetTheDefaultText) {
    const FormatSpec parsed = ParseFormat("0.00");
    EXPECT_EQ(FormatNumber(parsed, std::numeric_limits<double>::infinity(), {}), "Infinity");
    EXPECT_EQ(FormatNumber(parsed, -std::numeric_limits<double>::infinity(), {}), "-Infinity");
    EXPECT_EQ(FormatNumber(parsed, std::nan(""), {}), "NaN");
}

TEST(ParseFormat, ReportsWhatIsUnusualAboutAnExpression) {
    struct Case {
        int line;
        std::string expression;
        size_t sections;
        FormatIssue issue;
    };
    const Case cases[] = {
        {__LINE__, "", 0, FormatIssue::None},
        {__LINE__, "0.00", 1, FormatIssue::None},
        {__LINE__, "0;", 2, FormatIssue::None},
        {__LINE__, "0;0;0", 3, FormatIssue::None},
        {__LINE__, "0;0;0;", 3, FormatIssue::None},
        {__LINE__, "0;0;0;0", 3, FormatIssue::ExtraSections},
        {__LINE__, std::string(99, ';'), 3, FormatIssue::ExtraSections},
        {__LINE__, "\"abc", 1, FormatIssue::UnclosedQuote},
        {__LINE__, "\";;;;", 1, FormatIssue::UnclosedQuote},
        {__LINE__, "0\\", 1, FormatIssue::TrailingBackslash},
        {__LINE__, "\";\";\";\"", 2, FormatIssue::None},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.line);
        const FormatSpec parsed = ParseFormat(c.expression);
        EXPECT_EQ(parsed.sections.size(), c.sections);
        EXPECT_EQ(parsed.issue, c.issue);
    }
}

TEST(FormatNumber, HugeExpressionsGiveTheirTextInOnePass) {
    // Thousands of characters of each kind: the output grows with the expression, no more.
    const std::string zeros(5000, '0');
    EXPECT_EQ(FormatNumber(ParseFormat(zeros), 7.0, {}), std::string(4999, '0') + "7");
    const std::string commas = "0" + std::string(5000, ',') + "0";
    EXPECT_EQ(FormatNumber(ParseFormat(commas), 1234.0, {}), "1,234");
    const std::string text(5000, 'x');
    EXPECT_EQ(FormatNumber(ParseFormat(text), -1.0, {}), text);
    std::string hundredSections = "0.0";
    for (int i = 0; i < 100; ++i) {
        hundredSections += ";\"S" + std::to_string(i) + "\"";
    }
    EXPECT_EQ(FormatNumber(ParseFormat(hundredSections), -1.0, {}), "S0");
    EXPECT_EQ(FormatNumber(ParseFormat(hundredSections), 0.0, {}), "S1");
}

TEST(DefaultNumberText, ShortestTextToFifteenDigits) {
    struct Case {
        int line;
        double value;
        const char* expected;
    };
    const Case cases[] = {
        {__LINE__, 12.5, "12.5"},
        {__LINE__, 3.0, "3"},
        {__LINE__, 0.25, "0.25"},
        {__LINE__, 0.5, "0.5"},
        {__LINE__, -0.5, "-0.5"},
        {__LINE__, 0.0, "0"},
        {__LINE__, -0.0, "0"},
        {__LINE__, 0.1 + 0.2, "0.3"},
        {__LINE__, 1.2346, "1.2346"},
        {__LINE__, 114.7, "114.7"},
        {__LINE__, 1147 * 0.1, "114.7"},
        {__LINE__, 1e-4, "0.0001"},
        {__LINE__, 0.00012345, "0.00012345"},
        {__LINE__, 1e-5, "1E-05"},
        {__LINE__, -1.5e-7, "-1.5E-07"},
        {__LINE__, 1e-128, "1E-128"},
        {__LINE__, 999999999999999.0, "999999999999999"},
        {__LINE__, 1e15, "1E+15"},
        {__LINE__, 999999999999999.9, "1E+15"},  // rounds up into the next decade
        {__LINE__, 123456789012345678.0, "1.23456789012346E+17"},
        {__LINE__, 32767e127, "3.2767E+131"},
        {__LINE__, 1.7976931348623157e308, "1.79769313486232E+308"},
        {__LINE__, 4.9406564584124654e-324, "4.94065645841247E-324"},
        {__LINE__, 100.0, "100"},
        {__LINE__, 123456.789, "123456.789"},
        {__LINE__, 2.0 / 3.0, "0.666666666666667"},
        // Exact binary ties at the sixteenth digit round away from zero.
        {__LINE__, 100000000000000.5, "100000000000001"},
        {__LINE__, -100000000000000.5, "-100000000000001"},
        {__LINE__, 2.384185791015625E-07, "2.38418579101563E-07"},
        {__LINE__, 999999999999999.5, "1E+15"},
        {__LINE__, 100000000000000.25, "100000000000000"},  // not a tie at the sixteenth digit
        // Sixteen correctly rounded digits end in 5, the exact value is below half: rounded down.
        {__LINE__, 1.4773894590841445, "1.47738945908414"},
        {__LINE__, 62970.13845923725, "62970.1384592372"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.line);
        EXPECT_EQ(DefaultNumberText(c.value, "."), c.expected);
    }
}

}  // namespace
}  // namespace weighing
