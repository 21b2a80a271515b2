#pragma once
// A serial scale's reading as the report the read cycle decodes: the HID scale data report's
// layout under base::kWideReportId, with the weight's digits as a 32-bit integer.
#include <array>
#include <cstdint>

#include "devices/serial/SerialProtocol.h"

namespace devices::serial {

// `previous` is the report last stored: a frame without a weight keeps its unit, and, for a
// scale in motion that names only its status, the weight shown.
[[nodiscard]] std::array<uint8_t, 8> WideReport(const SerialReading& reading, const std::array<uint8_t, 8>& previous);

}  // namespace devices::serial
