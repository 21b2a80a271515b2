#pragma once
// The virtual scale's control tool, minus the system: its command line, the reports it builds
// and the texts it prints. The Win32 side (VScaleClient_win) carries the requests out.
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "testbench/vscale/VScaleControl.h"

namespace vscale {

// How a virtual scale presents itself when it is plugged.
struct PlugOptions {
    std::string serial;
    uint16_t vendorId = 0x0922;
    uint16_t productId = 0x8003;
    uint16_t revision = 0x0100;
    std::optional<uint8_t> interfaceNumber;  // composite device: MI_xx
    std::string friendlyName;                // empty: the driver's device description
    std::string product;                     // HID product string; empty: a default
    uint8_t reportLength = 6;                // 6, or 8 with two padding bytes
    uint32_t intervalMs = 100;
    bool onChangeOnly = false;
    bool refuseInputRequests = false;  // answers no request for its current input report
    bool operator==(const PlugOptions&) const = default;
};

enum class CommandKind { Install, Plug, Unplug, Set, Queue, Outputs, State, Help };

// What the scale data report says.
struct ScaleReading {
    uint8_t status = 4;  // weight stable
    uint8_t unit = 2;    // grams
    int8_t exponent = 0;
    int16_t weight = 0;
    bool operator==(const ScaleReading&) const = default;
};

struct Command {
    CommandKind kind = CommandKind::Help;
    PlugOptions plug;             // Plug; its serial also names the scale of the other commands
    ScaleReading reading;         // Set
    std::vector<uint8_t> report;  // Queue: raw bytes, report ID first
    bool clear = false;           // Outputs --clear
};

struct ParseResult {
    std::optional<Command> command;
    std::string error;  // set when command is empty
};

// args excludes the program name.
ParseResult ParseCommandLine(const std::vector<std::string>& args);
std::string UsageText();

// A serial becomes the device's instance ID: 1 to 31 characters, letters, digits, '-', '_', '.'.
bool IsValidSerial(std::string_view serial);

// The scale data report: ID 3, status, unit, exponent, weight (little-endian, 16 bits), and
// two zero padding bytes when length is 8.
std::vector<uint8_t> EncodeScaleReport(uint8_t status, uint8_t unit, int8_t exponent, int16_t weight, uint8_t length);

// "03 04 02 FF 7B 04": upper-case pairs separated by blanks.
std::string FormatHex(std::span<const uint8_t> bytes);
// One byte per token, hex without prefix (1 or 2 digits); nothing when a token is not one.
std::optional<std::vector<uint8_t>> ParseHexBytes(const std::vector<std::string>& tokens);

VSCALE_CONFIG ToConfig(const PlugOptions& options);
PlugOptions FromConfig(const VSCALE_CONFIG& config);

// Device identities as Windows spells them: "VID_0922&PID_8003" plus "&MI_01" for an interface.
std::string DeviceIdTail(const PlugOptions& options);
std::string UsbInstanceId(const PlugOptions& options);  // USB\VID_0922&PID_8003\0001
std::string HidInstanceId(const PlugOptions& options);  // HID\VID_0922&PID_8003\0001
// The HID interface path hidclass registers: \\?\HID#VID_0922&PID_8003#0001#{4d1e55b2-...}.
std::string HidInterfacePath(const PlugOptions& options);

// One line per plugged scale, as `vscale state` prints it.
std::string FormatScaleState(const VSCALE_SCALE_STATE& state);

}  // namespace vscale
