#include "weighing/WeightFormatting.h"

#include <gtest/gtest.h>

#include <string>

namespace weighing {
namespace {

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

struct Case {
    int line;
    WeightReading reading;
    base::Settings settings;
    const char* previousSuffix;
    const char* weightText;
    const char* unitsSuffix;
    const char* weightBox;
    const char* caption;
};

void RunCases(std::initializer_list<Case> cases, const NumberSeparators& separators = {}) {
    for (const Case& c : cases) {
        SCOPED_TRACE(c.line);
        const WeightDisplay display = FormatWeight(c.reading, c.settings, c.previousSuffix, separators);
        EXPECT_EQ(display.weightText, c.weightText);
        EXPECT_EQ(display.unitsSuffix, c.unitsSuffix);
        EXPECT_EQ(display.weightBox, c.weightBox);
        EXPECT_EQ(display.weightCaption, c.caption);
    }
}

TEST(FormatWeight, ConvertsBetweenEveryUnitAndGrams) {
    // One gram expressed in each unit, and the same in the other direction; "0.000000" keeps
    // enough digits that a wrong factor shows.
    struct UnitCase {
        int line;
        int code;
        const char* suffix;
        const char* oneGram;  // 1 g shown in this unit
        const char* inGrams;  // 1 of this unit shown in grams
    };
    const UnitCase units[] = {
        {__LINE__, 1, " mg", "1000.000000", "0.001000"},   {__LINE__, 2, " g", "1.000000", "1.000000"},
        {__LINE__, 3, " kg", "0.001000", "1000.000000"},   {__LINE__, 4, " CD", "5.000000", "0.200000"},
        {__LINE__, 5, " Taels", "0.026455", "37.799400"},  {__LINE__, 6, " gr", "15.432361", "0.064799"},
        {__LINE__, 7, " DWT", "0.643017", "1.555170"},     {__LINE__, 8, " t", "0.000001", "1000000.000000"},
        {__LINE__, 9, " at", "0.000001", "907184.200000"}, {__LINE__, 10, " oz t", "0.032151", "31.103500"},
        {__LINE__, 11, " oz", "0.035274", "28.349500"},    {__LINE__, 12, " lb", "0.002205", "453.592000"},
    };
    for (const UnitCase& u : units) {
        SCOPED_TRACE(u.line);
        const WeightDisplay to = FormatWeight(Reading(2, 1.0), Options(u.code, "0.000000", false), "", {});
        EXPECT_EQ(to.weightText, u.oneGram);
        EXPECT_EQ(to.unitsSuffix, u.suffix);
        const WeightDisplay from =
            FormatWeight(Reading(static_cast<uint8_t>(u.code), 1.0), Options(2, "0.000000"), "", {});
        EXPECT_EQ(from.weightText, u.inGrams);
        EXPECT_EQ(from.unitsSuffix, " g");
        const WeightDisplay own = FormatWeight(Reading(static_cast<uint8_t>(u.code), 2.5), Options(0), "", {});
        EXPECT_EQ(own.weightText, "2.5");
        EXPECT_EQ(own.unitsSuffix, u.suffix);
    }
}

TEST(FormatWeight, TheDocumentedExamples) {
    RunCases({
        {__LINE__, Reading(2, 1234.6), Options(3, "0.000"), "", "1.235", " kg", "1.235 kg", "Weight (kg):"},
        {__LINE__, Reading(2, 1234.6), Options(3, "0.000", true, true), "", "1,235", " kg", "1,235 kg", "Weight (kg):"},
        {__LINE__, Reading(2, 1234.6), Options(3, "0.000", false), "", "1.235", " kg", "1.235", "Weight (kg):"},
        // Converting to the scale's own unit goes through milligrams and back.
        {__LINE__, Reading(12, 2.5), Options(12), "", "2.5", " lb", "2.5 lb", "Weight (lb):"},
        {__LINE__, Reading(12, 2.5), Options(13), "", " 002 LB 08.0 OZ", " lb/oz", " 002 LB 08.0 OZ",
         "Weight (lb/oz):"},
        {__LINE__, Reading(12, 2.999), Options(13), "", " 002 LB 16.0 OZ", " lb/oz", " 002 LB 16.0 OZ",
         "Weight (lb/oz):"},
        {__LINE__, Reading(11, 35.5), Options(13), "", " 002 LB 03.5 OZ", " lb/oz", " 002 LB 03.5 OZ",
         "Weight (lb/oz):"},
        {__LINE__, Reading(12, 0.0), Options(13), "", " 000 LB 00.0 OZ", " lb/oz", " 000 LB 00.0 OZ",
         "Weight (lb/oz):"},
        {__LINE__, Reading(2, 12.5), Options(0), "", "12.5", " g", "12.5 g", "Weight (g):"},
        {__LINE__, Reading(2, 3), Options(0), "", "3", " g", "3 g", "Weight (g):"},
        {__LINE__, Reading(2, 0.25), Options(0), "", "0.25", " g", "0.25 g", "Weight (g):"},
        {__LINE__, Reading(2, 1234.5), Options(0, "#,##0.00", true, true), "", "1,234,50", " g", "1,234,50 g",
         "Weight (g):"},
        {__LINE__, Reading(2, 1234.5), Options(0, "#,##0.00", true, false), "", "1.234.50", " g", "1.234.50 g",
         "Weight (g):"},
        {__LINE__, Reading(3, 0.0), Options(0, "0.0#;(-0.0#);\"ZERO\""), "", "ZERO", " kg", "ZERO kg", "Weight (kg):"},
    });
}

TEST(FormatWeight, UnderZeroStatusMakesTheValueNegative) {
    RunCases({
        {__LINE__, Reading(3, 1.5, 5), Options(0, "0.0#;(-0.0#)"), "", "(-1.5)", " kg", "(-1.5) kg", "Weight (kg):"},
        {__LINE__, Reading(3, 1.5, 5), Options(0, "0.0#;\"NEGATIVE\";\"ZERO\""), "", "NEGATIVE", " kg", "NEGATIVE kg",
         "Weight (kg):"},
        {__LINE__, Reading(3, 1.5, 5), Options(0), "", "-1.5", " kg", "-1.5 kg", "Weight (kg):"},
        {__LINE__, Reading(3, -1.5, 5), Options(0), "", "-1.5", " kg", "-1.5 kg", "Weight (kg):"},  // already negative
        {__LINE__, Reading(3, 1.5, 4), Options(0), "", "1.5", " kg", "1.5 kg", "Weight (kg):"},
        {__LINE__, Reading(3, 0.0, 5), Options(0), "", "0", " kg", "0 kg", "Weight (kg):"},  // no "-0"
        {__LINE__, Reading(3, 0.0, 5), Options(0, "0.0;(0.0);\"Z\""), "", "Z", " kg", "Z kg", "Weight (kg):"},
        {__LINE__, Reading(12, 2.5, 5), Options(13), "", " 002 LB 08.0 OZ", " lb/oz", " 002 LB 08.0 OZ",
         "Weight (lb/oz):"},
        {__LINE__, Reading(3, 1.5, 5), Options(2), "", "-1500", " g", "-1500 g", "Weight (g):"},
    });
}

TEST(FormatWeight, UnknownUnitsAndSelections) {
    RunCases({
        // Unit code outside 1..12: zero in any chosen unit, the suffix as it was.
        {__LINE__, Reading(0, 7.0), Options(0), "", "7", "", "7", "Weight ():"},
        {__LINE__, Reading(0, 7.0), Options(0), " kg", "7", " kg", "7 kg", "Weight (kg):"},
        {__LINE__, Reading(13, 7.0), Options(3), " lb", "0", " kg", "0 kg", "Weight (kg):"},
        {__LINE__, Reading(255, 7.0), Options(1), "", "0", " mg", "0 mg", "Weight (mg):"},
        {__LINE__, Reading(0, 7.0), Options(13), "", " 000 LB 00.0 OZ", " lb/oz", " 000 LB 00.0 OZ", "Weight (lb/oz):"},
        // SelectedUnits outside 0..13 behaves as 0.
        {__LINE__, Reading(3, 7.0), Options(-1), "", "7", " kg", "7 kg", "Weight (kg):"},
        {__LINE__, Reading(3, 7.0), Options(14), "", "7", " kg", "7 kg", "Weight (kg):"},
        {__LINE__, Reading(3, 7.0), Options(INT32_MIN), "", "7", " kg", "7 kg", "Weight (kg):"},
        {__LINE__, Reading(3, 7.0), Options(INT32_MAX), "", "7", " kg", "7 kg", "Weight (kg):"},
    });
}

TEST(FormatWeight, SeparatorsFollowTheCommaSetting) {
    const NumberSeparators german{",", "."};
    RunCases(
        {
            {__LINE__, Reading(3, 1.5), Options(0, "", false, false), "", "1.5", " kg", "1.5", "Weight (kg):"},
            {__LINE__, Reading(3, 1.5), Options(0, "", false, true), "", "1,5", " kg", "1,5", "Weight (kg):"},
            {__LINE__, Reading(3, 1234.5), Options(0, "#,##0.0", false, true), "", "1,234,5", " kg", "1,234,5",
             "Weight (kg):"},
            // The pounds-and-ounces text keeps the locale's separator whatever the setting.
            {__LINE__, Reading(11, 35.5), Options(13, "", true, false), "", " 002 LB 03,5 OZ", " lb/oz",
             " 002 LB 03,5 OZ", "Weight (lb/oz):"},
        },
        german);
}

TEST(PoundsAndOuncesText, HugeAndNegativeWeightsStayDefined) {
    // Pounds beyond a 32-bit integer are still whole pounds, not an overflow.
    EXPECT_EQ(PoundsAndOuncesText(5e9 * 453592.0, {}), " 5000000000 LB 00.0 OZ");
    EXPECT_EQ(PoundsAndOuncesText(-2.5 * 453592.0, {}), " -002 LB -08.0 OZ");
    const std::string largest = PoundsAndOuncesText(32767e127 * 453592.0, {});
    EXPECT_EQ(largest.substr(0, 16), " 327670000000000");
    EXPECT_NE(largest.find(" LB "), std::string::npos);
}

}  // namespace
}  // namespace weighing
