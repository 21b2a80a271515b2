#include "app/WebReading.h"

#include <gtest/gtest.h>

namespace {

// Each row: status, exponent and low weight byte of the last report; units; suffix; scale open.
TEST(MakeWebReading, NumberUnitStatusAndScaleFromTheLastReport) {
    const struct {
        uint8_t status, exponent, weight;
        int32_t units;
        std::string suffix;
        bool open;
        std::string expected;
    } rows[] = {
        {4, 0xFE, 125, 0, " kg", true,
         R"({"weight":1.25,"unit":"kg","text":"T","status":"","statusCode":4,"stable":true,)"},
        {3, 0xFE, 125, 2, " g", true,
         R"({"weight":1250,"unit":"g","text":"T","status":"Scale In Motion","statusCode":3,)"},
        {2, 0, 1, 10, " oz t ", true, R"({"weight":32.1507225875,"unit":"oz t",)"},  // only the outer blanks go
        {4, 0, 1, 0, " kg", false,
         R"({"weight":null,"unit":"kg","text":"T","status":"Scale Not Found","statusCode":0,)"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.expected);
        base::AppState s;
        s.reportBuffer = {3, row.status, 3, row.exponent, row.weight, 0, 0, 0};
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
