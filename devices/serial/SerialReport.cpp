#include "devices/serial/SerialReport.h"

#include <algorithm>
#include <cstdint>
#include <limits>

#include "base/model/AppState.h"

namespace devices::serial {
namespace {

// The HID scale status codes the read cycle names.
uint8_t StatusCode(SerialStatus status) {
    switch (status) {
        case SerialStatus::Stable:
            return 4;
        case SerialStatus::Zero:
            return 2;
        case SerialStatus::Motion:
            return 3;
        case SerialStatus::UnderZero:
            return 5;
        case SerialStatus::OverCapacity:
            return 6;
        case SerialStatus::NotInitialised:
            return 8;
        case SerialStatus::Error:
            break;
    }
    return 1;
}

}  // namespace

std::array<uint8_t, 8> WideReport(const SerialReading& reading, const std::array<uint8_t, 8>& previous) {
    std::array<uint8_t, 8> report{};
    report[0] = base::kWideReportId;
    report[1] = StatusCode(reading.status);
    if (!reading.hasWeight) {
        // Only a wide report holds a serial weight; a HID scale's report read before is not one.
        // A scale in motion that sends no weight is still near the one shown; an overload, an
        // underload or a fault is not, and the weight of the parcel before must not be typed
        // for it: the unit stays, the weight is 0.
        if (previous[0] == base::kWideReportId) {
            const size_t kept = reading.status == SerialStatus::Motion ? report.size() : 4;
            for (size_t i = 2; i < kept; ++i) {
                report[i] = previous[i];
            }
        }
        return report;
    }
    // More digits than 32 bits hold (a long weight field, or garbage a parser let through as
    // digits) lose their last decimals, rounded, rather than wrap to a wrong weight.
    int64_t digits = reading.digits;
    int exponent = reading.exponent;
    constexpr int64_t kMax = std::numeric_limits<int32_t>::max();
    constexpr int64_t kMin = std::numeric_limits<int32_t>::min();
    while ((digits > kMax || digits < kMin) && exponent < std::numeric_limits<int8_t>::max()) {
        const int64_t dropped = digits % 10;
        digits = digits / 10 + (dropped >= 5 ? 1 : dropped <= -5 ? -1 : 0);
        ++exponent;
    }
    const auto weight = static_cast<uint32_t>(static_cast<int32_t>(std::clamp(digits, kMin, kMax)));
    report[2] = reading.unitCode;
    report[3] = static_cast<uint8_t>(static_cast<int8_t>(exponent));
    for (size_t i = 0; i < 4; ++i) {
        report[4 + i] = static_cast<uint8_t>(weight >> (8 * i));
    }
    return report;
}

}  // namespace devices::serial
