#pragma once
// The match key that ties a raw-input HID device name to a Plug and Play device record: the
// values of the vendor, product and interface tags of a device identifier.
#include <string>
#include <string_view>

namespace devices {

// Alternatives separated by "|", tags within one separated by single blanks.
inline constexpr std::string_view kDeviceIdPattern = "VID PID MI|VEN DEV";

// "\\?\HID#VID_0A1B&PID_2C3D&MI_00#..." gives "0A1B2C3D00"; an identifier without any of the
// tags gives its second significant token ("ACPI\PNP0303\4&1D401FB5&0" gives "PNP0303"), or
// its only one, or empty text.
[[nodiscard]] std::string ParseDeviceIdKey(std::string_view id, std::string_view pattern = kDeviceIdPattern);

}  // namespace devices
