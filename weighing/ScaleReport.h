#pragma once
// The scale data report of a USB HID point-of-sale scale, as read into the 8-byte report
// buffer: report id, status, unit code, signed power-of-ten exponent, signed 16-bit weight
// (low byte first), two bytes that are not examined. A serial scale's reading is kept in the
// same layout under base::kWideReportId, with a signed 32-bit weight in bytes 4..7.
#include <cstdint>
#include <span>
#include <string_view>

namespace weighing {

inline constexpr size_t kReportSize = 8;

// Status codes of the report that the program names; every other code shows no text.
enum ScaleStatus : uint8_t {
    kStatusInMotion = 3,
    kStatusUnderZero = 5,
    kStatusOverWeight = 6,
    kStatusRequiresRezero = 8,
};

struct WeightReading {
    uint8_t reportId = 0;
    uint8_t status = 0;
    uint8_t unitCode = 0;
    int8_t exponent = 0;
    int32_t rawWeight = 0;  // 16 bits wide in a HID report, 32 in the wide one
    double weight = 0.0;    // rawWeight * 10^exponent, in the scale's own unit, sign rule not applied
};

// Decodes any 8 bytes; there is no invalid report.
[[nodiscard]] WeightReading DecodeReport(std::span<const uint8_t, kReportSize> report);

// The Status caption for a status code: "Scale In Motion", "Negative Weight",
// "Platform Overloaded", "Not Initialized", or empty.
[[nodiscard]] std::string_view StatusCaption(uint8_t status);

}  // namespace weighing
