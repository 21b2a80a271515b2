#include <gtest/gtest.h>

#include <array>
#include <string>
#include <vector>

#include "base/model/AppState.h"
#include "weighing/DateTokens.h"
#include "weighing/ScaleReport.h"
#include "weighing/WeightFormatting.h"

namespace weighing {
namespace {

// The weight is the double nearest the decimal number the scale means, over the whole exponent
// range; the two trailing bytes play no part, except in the wide report (a serial scale's),
// whose 32-bit weight takes them: sign-extended from bit 31, not from bit 15.
TEST(DecodeReport, ReadsEveryFieldClassOfTheReport) {
    // clang-format off
    struct Case { std::array<uint8_t, kReportSize> report; int exponent; int rawWeight; double weight; };
    const Case cases[] = {
        {{3, 4, 2, 0x01, 0x7B, 0x04, 0, 0}, 1, 1147, 11470.0}, {{3, 4, 2, 0xFF, 0x7B, 0x04, 0, 0}, -1, 1147, 114.7},
        {{3, 4, 2, 0xFE, 0x7B, 0x04, 0, 0}, -2, 1147, 11.47}, {{3, 4, 2, 0x80, 0x01, 0x00, 0, 0}, -128, 1, 1e-128},
        {{3, 4, 2, 0x7F, 0xFF, 0x7F, 0, 0}, 127, 32767, 32767e127},
        {{3, 4, 2, 0x00, 0x00, 0x80, 0, 0}, 0, -32768, -32768.0}, {{3, 4, 2, 0xFF, 0xFF, 0xFF, 0, 0}, -1, -1, -0.1},
        {{3, 4, 2, 0xE9, 0x00, 0x00, 0, 0}, -23, 0, 0.0}, {{3, 4, 2, 0xE9, 0x07, 0x00, 0, 0}, -23, 7, 7e-23},
        {{0xFE, 8, 12, 0x00, 0x05, 0x00, 0xAA, 0x55}, 0, 5, 5.0},
        {{0xFF, 4, 2, 0xFC, 0x80, 0x84, 0x1E, 0x00}, -4, 2000000, 200.0},
        {{0xFF, 5, 12, 0xFD, 0x1E, 0xFB, 0xFF, 0xFF}, -3, -1250, -1.25},
        {{0xFF, 4, 2, 0x00, 0x00, 0x80, 0x00, 0x00}, 0, 32768, 32768.0},
    };
    // clang-format on
    for (const Case& c : cases) {
        const WeightReading r = DecodeReport(c.report);
        EXPECT_EQ(std::tuple(r.reportId, r.status, r.unitCode, int{r.exponent}, int{r.rawWeight}, r.weight),
                  std::tuple(c.report[0], c.report[1], c.report[2], c.exponent, c.rawWeight, c.weight));
    }
}

TEST(StatusCaption, NamesOnlyTheFourConditionsShown) {
    // clang-format off
    const std::pair<uint8_t, std::string_view> cases[] = {
        {3, "Scale In Motion"}, {5, "Negative Weight"}, {6, "Platform Overloaded"}, {8, "Not Initialized"}, {0, ""},
        {2, ""}, {4, ""}, {7, ""}, {9, ""}, {255, ""},
    };
    // clang-format on
    for (const auto& [status, caption] : cases) {
        EXPECT_EQ(StatusCaption(status), caption) << int{status};
    }
}

WeightReading Reading(uint8_t unitCode, double weight, uint8_t status = 4) {
    WeightReading reading;
    reading.status = status;
    reading.unitCode = unitCode;
    reading.weight = weight;
    return reading;
}

base::Settings Options(int32_t selectedUnits, std::string format = "", bool includeUnits = true, bool comma = false) {
    base::Settings settings;
    settings.SelectedUnits = selectedUnits;
    settings.WeightFormat = std::move(format);
    settings.IncludeUnits = includeUnits;
    settings.CommaSeparator = comma;
    return settings;
}

// The weight text, the unit suffix, the Weight box and the caption, joined by "|".
std::string Shown(const WeightReading& reading,
                  const base::Settings& settings,
                  std::string_view previousSuffix = "",
                  const NumberSeparators& separators = {}) {
    const WeightDisplay d = FormatWeight(reading, settings, previousSuffix, separators);
    return d.weightText + "|" + d.unitsSuffix + "|" + d.weightBox + "|" + d.weightCaption;
}

// One gram expressed in each unit and one of each unit in grams; "0.000000" keeps enough
// digits that a wrong factor shows.
TEST(FormatWeight, ConvertsBetweenEveryUnitAndGrams) {
    // clang-format off
    struct UnitCase { uint8_t code; std::string suffix, oneGram, inGrams; };
    const UnitCase units[] = {
        {1, " mg", "1000.000000", "0.001000"}, {2, " g", "1.000000", "1.000000"}, {3, " kg", "0.001000", "1000.000000"},
        {4, " CD", "5.000000", "0.200000"}, {5, " Taels", "0.026455", "37.799400"}, {6, " gr", "15.432361", "0.064799"},
        {7, " DWT", "0.643017", "1.555170"}, {8, " t", "0.000001", "1000000.000000"},
        {9, " at", "0.000001", "907184.200000"}, {10, " oz t", "0.032151", "31.103500"},
        {11, " oz", "0.035274", "28.349500"}, {12, " lb", "0.002205", "453.592000"},
    };
    // clang-format on
    for (const UnitCase& u : units) {
        EXPECT_EQ(Shown(Reading(2, 1.0), Options(u.code, "0.000000")),
                  u.oneGram + "|" + u.suffix + "|" + u.oneGram + u.suffix + "|Weight (" + u.suffix.substr(1) + "):");
        EXPECT_EQ(Shown(Reading(u.code, 1.0), Options(2, "0.000000")).substr(0, u.inGrams.size() + 3),
                  u.inGrams + "| g");
        EXPECT_EQ(Shown(Reading(u.code, 2.5), Options(0)).substr(0, u.suffix.size() + 4), "2.5|" + u.suffix);
    }
}

// The under-zero status makes the value negative, once; not a zero, nor pounds and ounces. A
// unit code outside 1..12 weighs nothing in any chosen unit and keeps the suffix shown;
// SelectedUnits outside 0..13 behaves as 0. The comma setting swaps the text's separators;
// pounds and ounces keep the locale's.
TEST(FormatWeight, UnitsSignsAndSeparators) {
    const NumberSeparators german{",", "."};
    // clang-format off
    struct Case { WeightReading reading; base::Settings settings; const char* previousSuffix; NumberSeparators separators; const char* shown; };
    const Case cases[] = {
        {Reading(2, 1234.6), Options(3, "0.000", true, true), "", {}, "1,235| kg|1,235 kg|Weight (kg):"},
        {Reading(2, 1234.6), Options(3, "0.000", false), "", {}, "1.235| kg|1.235|Weight (kg):"},
        {Reading(12, 2.5), Options(12), "", {}, "2.5| lb|2.5 lb|Weight (lb):"},
        {Reading(12, 2.999), Options(13), "", {}, " 002 LB 16.0 OZ| lb/oz| 002 LB 16.0 OZ|Weight (lb/oz):"},
        {Reading(11, 35.5), Options(13), "", {}, " 002 LB 03.5 OZ| lb/oz| 002 LB 03.5 OZ|Weight (lb/oz):"},
        {Reading(2, 1234.5), Options(0, "#,##0.00", true, true), "", {}, "1,234,50| g|1,234,50 g|Weight (g):"},
        {Reading(2, 1234.5), Options(0, "#,##0.00"), "", {}, "1.234.50| g|1.234.50 g|Weight (g):"},
        {Reading(3, 0.0), Options(0, "0.0#;(-0.0#);\"ZERO\""), "", {}, "ZERO| kg|ZERO kg|Weight (kg):"},
        {Reading(3, 1.5, 5), Options(0, "0.0#;(-0.0#)"), "", {}, "(-1.5)| kg|(-1.5) kg|Weight (kg):"},
        {Reading(3, -1.5, 5), Options(0), "", {}, "-1.5| kg|-1.5 kg|Weight (kg):"},
        {Reading(3, 0.0, 5), Options(0), "", {}, "0| kg|0 kg|Weight (kg):"},
        {Reading(12, 2.5, 5), Options(13), "", {}, " 002 LB 08.0 OZ| lb/oz| 002 LB 08.0 OZ|Weight (lb/oz):"},
        {Reading(3, 1.5, 5), Options(2), "", {}, "-1500| g|-1500 g|Weight (g):"},
        {Reading(0, 7.0), Options(0), "", {}, "7||7|Weight ():"},
        {Reading(0, 7.0), Options(0), " kg", {}, "7| kg|7 kg|Weight (kg):"},
        {Reading(13, 7.0), Options(3), " lb", {}, "0| kg|0 kg|Weight (kg):"},
        {Reading(0, 7.0), Options(13), "", {}, " 000 LB 00.0 OZ| lb/oz| 000 LB 00.0 OZ|Weight (lb/oz):"},
        {Reading(3, 7.0), Options(-1), "", {}, "7| kg|7 kg|Weight (kg):"},
        {Reading(3, 7.0), Options(14), "", {}, "7| kg|7 kg|Weight (kg):"},
        {Reading(3, 1.5), Options(0, "", false, false), "", german, "1.5| kg|1.5|Weight (kg):"},
        {Reading(3, 1234.5), Options(0, "#,##0.0", false, true), "", german, "1,234,5| kg|1,234,5|Weight (kg):"},
        {Reading(11, 35.5), Options(13), "", german, " 002 LB 03,5 OZ| lb/oz| 002 LB 03,5 OZ|Weight (lb/oz):"},
    };
    // clang-format on
    for (const Case& c : cases) {
        EXPECT_EQ(Shown(c.reading, c.settings, c.previousSuffix, c.separators), c.shown);
    }
}

// A serial scale's "0.600" kg shown as "0.6" loses what the scale said; its decimals must not
// follow into another unit, a format of the user's, or a HID report.
TEST(FormatWeight, SerialWeightsKeepTheDecimalsSent) {
    const auto wide = [](uint8_t unit, double weight, int8_t exponent, uint8_t id = base::kWideReportId,
                         uint8_t status = 4) {
        WeightReading r = Reading(unit, weight, status);
        r.reportId = id;
        r.exponent = exponent;
        return r;
    };
    const std::pair<std::string, std::string> rows[] = {
        {Shown(wide(3, 0.6, -3), Options(0)), "0.600| kg|0.600 kg|Weight (kg):"},
        {Shown(wide(3, 0.6, -3), Options(3)), "0.600| kg|0.600 kg|Weight (kg):"},
        {Shown(wide(3, 1.5, -3, base::kWideReportId, 5), Options(0)), "-1.500| kg|-1.500 kg|Weight (kg):"},
        {Shown(wide(3, 0.6, -3), Options(2)), "600| g|600 g|Weight (g):"},
        {Shown(wide(3, 0.6, -3), Options(0, "0.0")), "0.6| kg|0.6 kg|Weight (kg):"},
        {Shown(wide(3, 0.6, -3, 3), Options(0)), "0.6| kg|0.6 kg|Weight (kg):"},
        {Shown(wide(2, 120.0, 0), Options(0)), "120| g|120 g|Weight (g):"},
    };
    for (const auto& [shown, expected] : rows) {
        EXPECT_EQ(shown, expected);
    }
}

TEST(PoundsAndOuncesText, HugeAndNegativeWeightsStayDefined) {
    // Pounds beyond a 32-bit integer are still whole pounds, not an overflow.
    EXPECT_EQ(PoundsAndOuncesText(5e9 * 453592.0, {}), " 5000000000 LB 00.0 OZ");
    EXPECT_EQ(PoundsAndOuncesText(-2.5 * 453592.0, {}), " -002 LB -08.0 OZ");
    EXPECT_EQ(PoundsAndOuncesText(32767e127 * 453592.0, {}).substr(0, 16), " 327670000000000");
}

// Each token is replaced once, in any letter case, by two digits; the clock is read once per
// token found, so each shows the moment it was replaced in.
TEST(ExpandDateTimeTokens, ReplacesTheFirstOfEachTokenWithTwoDigits) {
    // clang-format off
    struct Case { std::string text; std::string expected; size_t clockReads; };
    const Case cases[] = {
        {"{MONTH}/{DAY}/{CENTURY}{YEAR}{TAB}", "03/05/2026{TAB}", 4}, {"{HOUR}:{MINUTE}:{SECOND}", "07:08:09", 3},
        {"{Year}-{mOnTh}", "26-03", 2}, {"{HOUR}{HOUR}", "07{HOUR}", 1},
        {"{YE AR}YEAR{YEAR{ENTER}", "{YE AR}YEAR{YEAR{ENTER}", 0}, {"{{DAY}}", "{05}", 1},
        {"{CENTURY}{DAY}", "2005", 2},  // replacement digits never form a token with the text around
        {"\xC3\xA9{day}\xC3\xA9", "\xC3\xA9\x30\x35\xC3\xA9", 1},  // "05" between the two letters
    };
    // clang-format on
    for (const Case& c : cases) {
        size_t reads = 0;
        const auto clock = [&] { return ++reads, DateTime{2026, 3, 5, 7, 8, 9}; };
        EXPECT_EQ(ExpandDateTimeTokens(c.text, clock), c.expected);
        EXPECT_EQ(reads, c.clockReads) << c.text;
    }
    // Across midnight of New Year's Eve.
    std::vector<DateTime> moments = {{2027, 1, 1, 0, 0, 0}, {2026, 12, 31, 23, 59, 59}};
    const auto stepping = [&] {
        const DateTime now = moments.back();
        moments.pop_back();
        return now;
    };
    EXPECT_EQ(ExpandDateTimeTokens("{YEAR}{MONTH}", stepping), "2601");
}

// The last two digits of whatever the clock gives, never a sign.
TEST(ExpandDateTimeTokens, FieldsOutOfRangeStillGiveTwoDigits) {
    const std::string all = "{CENTURY} {YEAR} {MONTH} {DAY} {HOUR} {MINUTE} {SECOND}";
    EXPECT_EQ(ExpandDateTimeTokens(all, [] { return DateTime{1999, 12, 31, 23, 59, 59}; }), "19 99 12 31 23 59 59");
    EXPECT_EQ(ExpandDateTimeTokens(all, [] { return DateTime{12345, 123, -7, -100, INT32_MIN, INT32_MAX}; }),
              "23 45 23 07 00 48 47");
}

}  // namespace
}  // namespace weighing
