#include <gtest/gtest.h>

#include "app/WebReading.h"

namespace {

base::AppState StateWith(std::array<uint8_t, 8> report, int32_t selectedUnits, std::string suffix, bool open = true) {
    base::AppState s;
    s.reportBuffer = report;
    s.settings.SelectedUnits = selectedUnits;
    s.unitsSuffix = std::move(suffix);
    s.deviceOpen = open;
    return s;
}

TEST(MakeWebReading, NumberUnitStatusAndScaleFromTheLastReport) {
    struct Row {
        int line;
        std::array<uint8_t, 8> report;
        int32_t units;
        std::string suffix;
        bool open;
        std::string expect;
    };
    const Row rows[] = {
        // 1.25 kg, stable
        {__LINE__,
         {3, 4, 3, 0xFE, 0x7D, 0, 0, 0},
         0,
         " kg",
         true,
         R"({"weight":1.25,"unit":"kg","text":"T","status":"","statusCode":4,"stable":true,"scale":"S",)"},
        // under zero: the number is signed
        {__LINE__,
         {3, 5, 3, 0xFE, 0x7D, 0, 0, 0},
         0,
         " kg",
         true,
         R"({"weight":-1.25,"unit":"kg","text":"T","status":"Negative Weight","statusCode":5,"stable":false,"scale":"S",)"},
        // converted to grams; in motion
        {__LINE__,
         {3, 3, 3, 0xFE, 0x7D, 0, 0, 0},
         2,
         " g",
         true,
         R"({"weight":1250,"unit":"g","text":"T","status":"Scale In Motion","statusCode":3,"stable":false,"scale":"S",)"},
        // a unit with a blank inside keeps it; only the leading blank goes
        {__LINE__,
         {3, 2, 3, 0, 1, 0, 0, 0},
         10,
         " oz t",
         true,
         R"({"weight":32.1507225875,"unit":"oz t","text":"T","status":"","statusCode":2,"stable":true,"scale":"S",)"},
        // no scale open
        {__LINE__,
         {3, 4, 3, 0, 1, 0, 0, 0},
         0,
         " kg",
         false,
         R"({"weight":null,"unit":"kg","text":"T","status":"Scale Not Found","statusCode":0,"stable":false,"scale":"S",)"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.line);
        const auto r = app::MakeWebReading(StateWith(row.report, row.units, row.suffix, row.open), "T", "S", 0);
        EXPECT_EQ(web::ReadingJson(r).substr(0, row.expect.size()), row.expect);
    }
}

TEST(MakeWebReading, NoSelectedScaleIsNull) {
    const auto r = app::MakeWebReading(StateWith({3, 4, 3, 0, 1, 0, 0, 0}, 0, " kg"), "1 kg", std::nullopt, 1000);
    EXPECT_NE(web::ReadingJson(r).find(R"("scale":null,"time":"1970-01-01T00:00:01.000Z"})"), std::string::npos);
}

}  // namespace
