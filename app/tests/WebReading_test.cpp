#include "app/WebReading.h"

#include <gtest/gtest.h>

namespace {

TEST(MakeWebReading, NumberUnitStatusAndScaleFromTheLastReport) {
    const struct {
        int line;
        std::array<uint8_t, 8> report;
        int32_t units;
        std::string suffix;
        bool open;
        std::string expected;
    } rows[] = {
        {__LINE__,
         {3, 4, 3, 0xFE, 0x7D, 0, 0, 0},
         0,
         " kg",
         true,  // 1.25 kg, stable
         R"({"weight":1.25,"unit":"kg","text":"T","status":"","statusCode":4,"stable":true,"scale":"S",)"},
        {__LINE__,
         {3, 5, 3, 0xFE, 0x7D, 0, 0, 0},
         0,
         " kg",
         true,  // under zero: the number is signed
         R"({"weight":-1.25,"unit":"kg","text":"T","status":"Negative Weight","statusCode":5,"stable":false,)"},
        {__LINE__,
         {3, 3, 3, 0xFE, 0x7D, 0, 0, 0},
         2,
         " g",
         true,  // converted to grams; in motion
         R"({"weight":1250,"unit":"g","text":"T","status":"Scale In Motion","statusCode":3,"stable":false,)"},
        {__LINE__,
         {3, 2, 3, 0, 1, 0, 0, 0},
         10,
         " oz t ",
         true,  // only the blanks around the unit go
         R"({"weight":32.1507225875,"unit":"oz t","text":"T","status":"","statusCode":2,)"},
        {__LINE__,
         {3, 4, 3, 0, 1, 0, 0, 0},
         0,
         " kg",
         false,
         R"({"weight":null,"unit":"kg","text":"T","status":"Scale Not Found","statusCode":0,"stable":false,"scale":"S",)"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.line);
        base::AppState s;
        s.reportBuffer = row.report;
        s.settings.SelectedUnits = row.units;
        s.unitsSuffix = row.suffix;
        s.deviceOpen = row.open;
        const std::string json = web::ReadingJson(app::MakeWebReading(s, "T", "S", 0));
        EXPECT_EQ(json.substr(0, row.expected.size()), row.expected);
    }
    base::AppState s;
    s.reportBuffer = {3, 4, 3, 0, 1, 0, 0, 0};
    const std::string json = web::ReadingJson(app::MakeWebReading(s, "1 kg", std::nullopt, 1000));
    EXPECT_EQ(json.substr(json.find("\"scale\"")), R"("scale":null,"time":"1970-01-01T00:00:01.000Z"})");
}

}  // namespace
