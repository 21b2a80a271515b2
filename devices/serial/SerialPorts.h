#pragma once
// Serial ports in the scale list: the row a port gets, and the path that stands for it. A port's
// path is its device name ("\\.\COM5"), which is what is opened and what SelectedScale holds.
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "base/model/ScaleDeviceRecord.h"

namespace devices::serial {

// A port the system knows: its name ("COM5") and the device's friendly name, empty when it has
// none ("USB Serial Device (COM5)").
struct KnownPort {
    std::string port;
    std::string friendlyName;
};

[[nodiscard]] std::string SerialPortPath(std::string_view port);  // "COM5" -> "\\.\COM5"
// The port a path names ("\\.\com5" -> "COM5", upper case); nullopt for any other path, a HID
// interface path included.
[[nodiscard]] std::optional<std::string> SerialPortOfPath(std::string_view devicePath);

// One row per COM port, each once, ordered by number ("COM2" before "COM10"): "COM5: USB Serial
// Device", the friendly name without its trailing " (COM5)", or just "COM5" without one.
[[nodiscard]] std::vector<base::ScaleDeviceRecord> SerialPortRows(std::vector<KnownPort> ports);

}  // namespace devices::serial
