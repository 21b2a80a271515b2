#include "devices/serial/SerialPorts.h"

#include <algorithm>
#include <tuple>

#include "base/TextUtil.h"

namespace devices::serial {

namespace {

constexpr std::string_view kDevicePrefix = "\\\\.\\";

// COM ports are numbered from 1 to 255.
std::optional<unsigned> ComNumber(std::string_view port) {
    if (port.size() < 4 || port.size() > 6 || !base::EqualsIgnoreCase(port.substr(0, 3), "COM") || port[3] == '0') {
        return std::nullopt;
    }
    unsigned number = 0;
    for (char c : port.substr(3)) {
        if (c < '0' || c > '9') {
            return std::nullopt;
        }
        number = number * 10 + static_cast<unsigned>(c - '0');
    }
    return number <= 255 ? std::optional(number) : std::nullopt;
}

}  // namespace

std::string SerialPortPath(std::string_view port) {
    return std::string(kDevicePrefix) + base::UpperAscii(port);
}

// Only names that can only be ports: a HID path ("\\?\HID#...") or a drive ("\\.\C:") is none.
std::optional<std::string> SerialPortOfPath(std::string_view devicePath) {
    if (!devicePath.starts_with(kDevicePrefix)) {
        return std::nullopt;
    }
    const std::string_view port = devicePath.substr(kDevicePrefix.size());
    if (!ComNumber(port)) {
        return std::nullopt;
    }
    return base::UpperAscii(port);
}

std::vector<base::ScaleDeviceRecord> SerialPortRows(std::vector<KnownPort> ports) {
    // Only COM ports: their paths are what tells the selection a serial port from a HID device.
    std::erase_if(ports, [](const KnownPort& p) { return !ComNumber(p.port); });
    for (KnownPort& p : ports) {
        p.port = base::UpperAscii(p.port);
    }
    const auto key = [](const KnownPort& p) {
        // A port listed twice keeps the entry with a friendly name: it comes first.
        return std::tuple(*ComNumber(p.port), p.friendlyName.empty());
    };
    std::stable_sort(ports.begin(), ports.end(),
                     [&](const KnownPort& a, const KnownPort& b) { return key(a) < key(b); });
    std::vector<base::ScaleDeviceRecord> rows;
    std::string last;
    for (const KnownPort& p : ports) {
        if (p.port == last) {
            continue;
        }
        last = p.port;
        std::string name = p.friendlyName;
        const std::string suffix = " (" + p.port + ")";
        if (name.size() >= suffix.size() &&
            base::EqualsIgnoreCase(std::string_view(name).substr(name.size() - suffix.size()), suffix)) {
            name.resize(name.size() - suffix.size());
        }
        while (!name.empty() && name.back() == ' ') {
            name.pop_back();
        }
        rows.push_back({SerialPortPath(p.port), name.empty() ? p.port : p.port + ": " + name});
    }
    return rows;
}

}  // namespace devices::serial
