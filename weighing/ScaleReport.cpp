#include "weighing/ScaleReport.h"

#include <charconv>
#include <cmath>
#include <string>
#include <system_error>

#include "base/model/AppState.h"

namespace weighing {
namespace {

// Written out so that no maths library's pow() decides their last bit: all are exact doubles.
constexpr double kExactPowersOfTen[] = {1e0,  1e1,  1e2,  1e3,  1e4,  1e5,  1e6,  1e7,  1e8,  1e9,  1e10, 1e11,
                                        1e12, 1e13, 1e14, 1e15, 1e16, 1e17, 1e18, 1e19, 1e20, 1e21, 1e22};
constexpr int kMaxExactPower = 22;

}  // namespace

WeightReading DecodeReport(std::span<const uint8_t, kReportSize> report) {
    WeightReading reading;
    reading.reportId = report[0];
    reading.status = report[1];
    reading.unitCode = report[2];
    // Both fields are two's complement on the wire; the conversions to the narrower signed types
    // are well defined (modular) since C++20.
    reading.exponent = static_cast<int8_t>(report[3]);
    if (reading.reportId == base::kWideReportId) {
        reading.rawWeight = static_cast<int32_t>(static_cast<uint32_t>(report[4]) | (uint32_t{report[5]} << 8) |
                                                 (uint32_t{report[6]} << 16) | (uint32_t{report[7]} << 24));
    } else {
        reading.rawWeight = static_cast<int16_t>(static_cast<uint16_t>(report[4] | (report[5] << 8)));
    }
    // The weight is the double nearest the decimal number the scale means. Powers of ten up to
    // 10^22 are exact doubles, so one multiplication or division by them rounds once (1147 with
    // exponent -1 is exactly the double written 114.7), where multiplying by the inexact 0.1
    // could land one unit in the last place away. The whole range (-128..127) stays finite:
    // 2147483647e127 and 1e-128 are ordinary doubles.
    const double raw = reading.rawWeight;
    const int exponent = reading.exponent;
    if (exponent >= 0 && exponent <= kMaxExactPower) {
        reading.weight = raw * kExactPowersOfTen[exponent];
    } else if (exponent < 0 && exponent >= -kMaxExactPower) {
        reading.weight = raw / kExactPowersOfTen[-exponent];
    } else {
        // Beyond that, reading the decimal text is the one correctly rounded way.
        std::string text = std::to_string(reading.rawWeight) + 'e' + std::to_string(exponent);
        if (std::from_chars(text.data(), text.data() + text.size(), reading.weight).ec != std::errc{}) {
            reading.weight = raw * std::pow(10.0, exponent);
        }
    }
    return reading;
}

std::string_view StatusCaption(uint8_t status) {
    switch (status) {
        case kStatusInMotion:
            return "Scale In Motion";
        case kStatusUnderZero:
            return "Negative Weight";
        case kStatusOverWeight:
            return "Platform Overloaded";
        case kStatusRequiresRezero:
            return "Not Initialized";
        default:
            return {};
    }
}

}  // namespace weighing
