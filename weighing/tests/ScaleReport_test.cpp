#include "weighing/ScaleReport.h"

#include <gtest/gtest.h>

#include <array>
#include <cstdint>

namespace weighing {
namespace {

using Report = std::array<uint8_t, kReportSize>;

TEST(DecodeReport, ReadsEveryFieldClassOfTheReport) {
    struct Case {
        int line;
        Report report;
        int exponent;
        int rawWeight;
        double weight;
    };
    const Case cases[] = {
        {__LINE__, {3, 4, 2, 0x00, 0x7B, 0x04, 0, 0}, 0, 1147, 1147.0},
        {__LINE__, {3, 4, 2, 0x01, 0x7B, 0x04, 0, 0}, 1, 1147, 11470.0},
        {__LINE__, {3, 4, 2, 0xFF, 0x7B, 0x04, 0, 0}, -1, 1147, 114.7},
        {__LINE__, {3, 4, 2, 0xFE, 0x7B, 0x04, 0, 0}, -2, 1147, 11.47},
        {__LINE__, {3, 4, 2, 0x80, 0x01, 0x00, 0, 0}, -128, 1, 1e-128},
        {__LINE__, {3, 4, 2, 0x7F, 0xFF, 0x7F, 0, 0}, 127, 32767, 32767e127},
        {__LINE__, {3, 4, 2, 0x00, 0xFF, 0x7F, 0, 0}, 0, 32767, 32767.0},
        {__LINE__, {3, 4, 2, 0x00, 0x00, 0x80, 0, 0}, 0, -32768, -32768.0},
        {__LINE__, {3, 4, 2, 0x00, 0xFF, 0xFF, 0, 0}, 0, -1, -1.0},
        {__LINE__, {3, 4, 2, 0xFF, 0xFF, 0xFF, 0, 0}, -1, -1, -0.1},
        {__LINE__, {3, 4, 2, 0xE9, 0x00, 0x00, 0, 0}, -23, 0, 0.0},
        // Report id and the two trailing bytes play no part.
        {__LINE__, {0xFF, 4, 2, 0x00, 0x05, 0x00, 0xAA, 0x55}, 0, 5, 5.0},
        {__LINE__, {0, 0, 0, 0, 0, 0, 0, 0}, 0, 0, 0.0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.line);
        const WeightReading reading = DecodeReport(c.report);
        EXPECT_EQ(reading.reportId, c.report[0]);
        EXPECT_EQ(reading.status, c.report[1]);
        EXPECT_EQ(reading.unitCode, c.report[2]);
        EXPECT_EQ(reading.exponent, c.exponent);
        EXPECT_EQ(reading.rawWeight, c.rawWeight);
        // The decimal literal is the double nearest the true weight: nothing less will do.
        EXPECT_EQ(reading.weight, c.weight);
    }
}

TEST(StatusCaption, NamesOnlyTheFourConditionsShown) {
    for (int status = 0; status <= 255; ++status) {
        SCOPED_TRACE(status);
        const std::string_view caption = StatusCaption(static_cast<uint8_t>(status));
        switch (status) {
            case 3:
                EXPECT_EQ(caption, "Scale In Motion");
                break;
            case 5:
                EXPECT_EQ(caption, "Negative Weight");
                break;
            case 6:
                EXPECT_EQ(caption, "Platform Overloaded");
                break;
            case 8:
                EXPECT_EQ(caption, "Not Initialized");
                break;
            default:
                EXPECT_EQ(caption, "");
        }
    }
}

}  // namespace
}  // namespace weighing
