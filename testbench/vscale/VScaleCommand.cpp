#include "testbench/vscale/VScaleCommand.h"

#include <algorithm>
#include <charconv>
#include <cstring>
#include <initializer_list>

namespace vscale {

namespace {

constexpr char kHexDigits[] = "0123456789ABCDEF";

template <typename T>
std::optional<T> ParseNumber(std::string_view text, int base, long long low, long long high) {
    if (base == 16 && (text.starts_with("0x") || text.starts_with("0X"))) {
        text.remove_prefix(2);
    }
    if (text.empty()) {
        return std::nullopt;
    }
    long long value = 0;
    auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value, base);
    if (error != std::errc() || end != text.data() + text.size() || value < low || value > high) {
        return std::nullopt;
    }
    return static_cast<T>(value);
}

struct OptionSpec {
    std::string_view name;
    bool takesValue;
};

// The options each command accepts; anything else is a mistake worth reporting, since a
// misspelt option would otherwise silently plug a scale other than the one meant.
const std::vector<OptionSpec>& OptionsOf(CommandKind kind) {
    static const std::vector<OptionSpec> kNone;
    static const std::vector<OptionSpec> kPlug = {{"--serial", true},
                                                  {"--vid", true},
                                                  {"--pid", true},
                                                  {"--rev", true},
                                                  {"--mi", true},
                                                  {"--name", true},
                                                  {"--product", true},
                                                  {"--len", true},
                                                  {"--interval", true},
                                                  {"--on-change", false},
                                                  {"--no-input-requests", false}};
    static const std::vector<OptionSpec> kSerial = {{"--serial", true}};
    static const std::vector<OptionSpec> kSet = {
        {"--serial", true}, {"--status", true}, {"--unit", true}, {"--exp", true}, {"--weight", true}};
    static const std::vector<OptionSpec> kOutputs = {{"--serial", true}, {"--clear", false}};
    switch (kind) {
        case CommandKind::Plug:
            return kPlug;
        case CommandKind::Unplug:
        case CommandKind::Queue:
            return kSerial;
        case CommandKind::Set:
            return kSet;
        case CommandKind::Outputs:
            return kOutputs;
        default:
            return kNone;
    }
}

std::optional<CommandKind> CommandOf(std::string_view name) {
    static const std::pair<std::string_view, CommandKind> kCommands[] = {
        {"install", CommandKind::Install}, {"plug", CommandKind::Plug},   {"unplug", CommandKind::Unplug},
        {"set", CommandKind::Set},         {"queue", CommandKind::Queue}, {"outputs", CommandKind::Outputs},
        {"state", CommandKind::State},     {"help", CommandKind::Help},   {"--help", CommandKind::Help}};
    for (const auto& [text, kind] : kCommands) {
        if (text == name) {
            return kind;
        }
    }
    return std::nullopt;
}

ParseResult Fail(std::string message) {
    return ParseResult{std::nullopt, std::move(message)};
}

// Applies one option with its value to the command; returns an error text or empty.
std::string ApplyOption(Command& command, std::string_view name, const std::string& value) {
    PlugOptions& plug = command.plug;
    auto bad = [&](std::string_view expected) {
        return std::string(name) + " wants " + std::string(expected) + ", not \"" + value + "\"";
    };
    if (name == "--serial") {
        if (!IsValidSerial(value)) {
            return bad("1 to 31 letters, digits, '-', '_' or '.'");
        }
        plug.serial = value;
    } else if (name == "--vid" || name == "--pid" || name == "--rev") {
        auto number = ParseNumber<uint16_t>(value, 16, 0, 0xFFFF);
        if (!number) {
            return bad("a hexadecimal number up to FFFF");
        }
        (name == "--vid" ? plug.vendorId : name == "--pid" ? plug.productId : plug.revision) = *number;
    } else if (name == "--mi") {
        auto number = ParseNumber<uint8_t>(value, 16, 0, 0xFF);
        if (!number) {
            return bad("a hexadecimal interface number up to FF");
        }
        plug.interfaceNumber = *number;
    } else if (name == "--name" || name == "--product") {
        if (value.size() >= VSCALE_MAX_PRODUCT) {
            return bad("at most 63 characters");
        }
        (name == "--name" ? plug.friendlyName : plug.product) = value;
    } else if (name == "--len") {
        if (value != "6" && value != "8") {
            return bad("6 or 8");
        }
        plug.reportLength = static_cast<uint8_t>(value[0] - '0');
    } else if (name == "--interval") {
        auto number = ParseNumber<uint32_t>(value, 10, 1, 60000);
        if (!number) {
            return bad("milliseconds from 1 to 60000");
        }
        plug.intervalMs = *number;
    } else if (name == "--status" || name == "--unit") {
        auto number = ParseNumber<uint8_t>(value, 10, 0, 255);
        if (!number) {
            return bad("a number from 0 to 255");
        }
        (name == "--status" ? command.reading.status : command.reading.unit) = *number;
    } else if (name == "--exp") {
        auto number = ParseNumber<int8_t>(value, 10, -128, 127);
        if (!number) {
            return bad("a number from -128 to 127");
        }
        command.reading.exponent = *number;
    } else if (name == "--weight") {
        auto number = ParseNumber<int16_t>(value, 10, -32768, 32767);
        if (!number) {
            return bad("a number from -32768 to 32767");
        }
        command.reading.weight = *number;
    }
    return {};
}

}  // namespace

bool IsValidSerial(std::string_view serial) {
    if (serial.empty() || serial.size() >= VSCALE_MAX_SERIAL) {
        return false;
    }
    return std::all_of(serial.begin(), serial.end(), [](char c) {
        return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '-' || c == '_' ||
               c == '.';
    });
}

ParseResult ParseCommandLine(const std::vector<std::string>& args) {
    if (args.empty()) {
        return Fail("no command given\n" + UsageText());
    }
    auto kind = CommandOf(args[0]);
    if (!kind) {
        return Fail("unknown command \"" + args[0] + "\"\n" + UsageText());
    }
    Command command;
    command.kind = *kind;
    const auto& specs = OptionsOf(*kind);
    std::vector<std::string> positional;
    bool sawSerial = false;
    bool sawWeight = false;
    for (size_t i = 1; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (!arg.starts_with("--")) {
            positional.push_back(arg);
            continue;
        }
        auto spec = std::find_if(specs.begin(), specs.end(), [&](const OptionSpec& s) { return s.name == arg; });
        if (spec == specs.end()) {
            return Fail("\"" + args[0] + "\" does not take the option " + arg);
        }
        if (!spec->takesValue) {
            if (arg == "--clear") {
                command.clear = true;
            } else if (arg == "--no-input-requests") {
                command.plug.refuseInputRequests = true;
            } else {
                command.plug.onChangeOnly = true;
            }
            continue;
        }
        if (i + 1 >= args.size()) {
            return Fail(arg + " needs a value");
        }
        std::string error = ApplyOption(command, arg, args[++i]);
        if (!error.empty()) {
            return Fail(error);
        }
        sawSerial = sawSerial || arg == "--serial";
        sawWeight = sawWeight || arg == "--weight";
    }

    if (*kind == CommandKind::Queue) {
        auto bytes = ParseHexBytes(positional);
        if (!bytes || bytes->empty() || bytes->size() > VSCALE_MAX_REPORT) {
            return Fail("queue wants 1 to 64 report bytes in hexadecimal, report ID first (03 04 02 FF 7B 04)");
        }
        command.report = std::move(*bytes);
    } else if (!positional.empty()) {
        return Fail("\"" + args[0] + "\" does not take \"" + positional[0] + "\"");
    }
    bool namesScale = *kind == CommandKind::Plug || *kind == CommandKind::Unplug || *kind == CommandKind::Set ||
                      *kind == CommandKind::Queue || *kind == CommandKind::Outputs;
    if (namesScale && !sawSerial) {
        return Fail("\"" + args[0] + "\" needs --serial");
    }
    if (*kind == CommandKind::Set && !sawWeight) {
        return Fail("set needs --weight");
    }
    return ParseResult{std::move(command), {}};
}

std::string UsageText() {
    return "usage:\n"
           "  vscale install\n"
           "  vscale plug --serial S [--vid 0922] [--pid 8003] [--rev 0100] [--mi 01] [--name TEXT]\n"
           "              [--product TEXT] [--len 6|8] [--interval MS] [--on-change]\n"
           "              [--no-input-requests]\n"
           "  vscale unplug --serial S\n"
           "  vscale set --serial S --weight N [--status 4] [--unit 2] [--exp 0]\n"
           "  vscale queue --serial S BYTE...   (hex, report ID first: 03 04 02 FF 7B 04)\n"
           "  vscale outputs --serial S [--clear]\n"
           "  vscale state\n";
}

std::vector<uint8_t> EncodeScaleReport(uint8_t status, uint8_t unit, int8_t exponent, int16_t weight, uint8_t length) {
    auto raw = static_cast<uint16_t>(weight);
    std::vector<uint8_t> report = {3,
                                   status,
                                   unit,
                                   static_cast<uint8_t>(exponent),
                                   static_cast<uint8_t>(raw & 0xFF),
                                   static_cast<uint8_t>(raw >> 8)};
    report.resize(length < report.size() ? report.size() : length, 0);
    return report;
}

std::string FormatHex(std::span<const uint8_t> bytes) {
    std::string text;
    for (uint8_t byte : bytes) {
        if (!text.empty()) {
            text += ' ';
        }
        text += kHexDigits[byte >> 4];
        text += kHexDigits[byte & 0xF];
    }
    return text;
}

std::optional<std::vector<uint8_t>> ParseHexBytes(const std::vector<std::string>& tokens) {
    std::vector<uint8_t> bytes;
    for (const std::string& token : tokens) {
        if (token.size() > 2) {
            return std::nullopt;  // "0x03" or "0304" would be guessed at, not parsed
        }
        auto byte = ParseNumber<uint8_t>(token, 16, 0, 0xFF);
        if (!byte) {
            return std::nullopt;
        }
        bytes.push_back(*byte);
    }
    return bytes;
}

VSCALE_CONFIG ToConfig(const PlugOptions& options) {
    VSCALE_CONFIG config{};
    std::memcpy(config.serial, options.serial.data(), std::min(options.serial.size(), sizeof(config.serial) - 1));
    std::memcpy(config.product, options.product.data(), std::min(options.product.size(), sizeof(config.product) - 1));
    config.vendorId = options.vendorId;
    config.productId = options.productId;
    config.revision = options.revision;
    if (options.interfaceNumber) {
        config.flags |= VSCALE_FLAG_INTERFACE;
        config.interfaceNumber = *options.interfaceNumber;
    }
    if (options.refuseInputRequests) {
        config.flags |= VSCALE_FLAG_NO_INPUT_REQUESTS;
    }
    if (options.onChangeOnly) {
        config.flags |= VSCALE_FLAG_ON_CHANGE;
    }
    config.reportLength = options.reportLength;
    config.intervalMs = options.intervalMs;
    return config;
}

PlugOptions FromConfig(const VSCALE_CONFIG& config) {
    PlugOptions options;
    options.serial.assign(config.serial, strnlen(config.serial, sizeof(config.serial)));
    options.product.assign(config.product, strnlen(config.product, sizeof(config.product)));
    options.vendorId = config.vendorId;
    options.productId = config.productId;
    options.revision = config.revision;
    if (config.flags & VSCALE_FLAG_INTERFACE) {
        options.interfaceNumber = config.interfaceNumber;
    }
    options.onChangeOnly = (config.flags & VSCALE_FLAG_ON_CHANGE) != 0;
    options.refuseInputRequests = (config.flags & VSCALE_FLAG_NO_INPUT_REQUESTS) != 0;
    options.reportLength = config.reportLength;
    options.intervalMs = config.intervalMs;
    return options;
}

namespace {
std::string Hex(unsigned value, int digits) {
    std::string text(static_cast<size_t>(digits), '0');
    for (int i = digits - 1; i >= 0; --i, value >>= 4) {
        text[static_cast<size_t>(i)] = kHexDigits[value & 0xF];
    }
    return text;
}
}  // namespace

std::string DeviceIdTail(const PlugOptions& options) {
    std::string tail = "VID_" + Hex(options.vendorId, 4) + "&PID_" + Hex(options.productId, 4);
    if (options.interfaceNumber) {
        tail += "&MI_" + Hex(*options.interfaceNumber, 2);
    }
    return tail;
}

std::string UsbInstanceId(const PlugOptions& options) {
    return "USB\\" + DeviceIdTail(options) + "\\" + options.serial;
}

std::string HidInstanceId(const PlugOptions& options) {
    return "HID\\" + DeviceIdTail(options) + "\\" + options.serial;
}

std::string HidInterfacePath(const PlugOptions& options) {
    return "\\\\?\\HID#" + DeviceIdTail(options) + "#" + options.serial + "#{4d1e55b2-f16f-11cf-88cb-001111000030}";
}

std::string FormatScaleState(const VSCALE_SCALE_STATE& state) {
    PlugOptions options = FromConfig(state.config);
    static const char* const kPnp[] = {"enumerating", "started", "removing"};
    std::string line = options.serial + "  " + UsbInstanceId(options);
    line += "  len " + std::to_string(options.reportLength);
    line += options.onChangeOnly ? "  on-change" : "  every " + std::to_string(options.intervalMs) + " ms";
    line += options.refuseInputRequests ? "  no-input-requests" : "";
    line += "  ";
    line += state.pnpState < 3 ? kPnp[state.pnpState] : "?";
    uint32_t length = std::min<uint32_t>(state.report.length, VSCALE_MAX_REPORT);
    line += "  report " + FormatHex(std::span<const uint8_t>(state.report.bytes, length));
    line += "  queued " + std::to_string(state.queued);
    line += "  outputs " + std::to_string(state.outputs);
    line += "  sent " + std::to_string(state.reportsSent);
    return line;
}

}  // namespace vscale
