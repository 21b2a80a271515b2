#pragma once
// What every serial scale protocol has in common: the line it talks on, the commands it is
// polled and zeroed with, and a parser that turns the bytes it sends into readings. A serial
// scale is read as a second kind of device beside the HID one; its readings are put into the
// report buffer in the HID report's layout (base::kWideReportId), so that everything after the
// read (status texts, units, the format, the settled send, the web endpoint) treats both alike.
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

namespace devices::serial {

enum class Protocol : uint8_t {
    Nci,               // NCI: "W\r" polled, classic and S-prefixed status variants, lb:oz
    Sma,               // SMA level 1: "\nW\r" polled, 20-byte reply
    Mt8217,            // 8217 (PS60 class): "W" without CR, STX ... CR reply
    Sics,              // MT-SICS level 0: "SI\r\n" polled, "S S ... g" reply
    ContinuousLine,    // streamed "ST,GS,+0012.34kg\r\n" lines (A&D, CAS and many indicators)
    ToledoContinuous,  // streamed 18-byte STX SWA SWB SWC weight tare CR [checksum] frames
};
inline constexpr int kProtocolCount = 6;

// The line settings: "9600 7E1".
struct LineSettings {
    uint32_t baud = 9600;
    uint8_t dataBits = 8;  // 7 or 8
    char parity = 'N';     // 'N', 'E' or 'O'
    uint8_t stopBits = 1;  // 1 or 2
    bool operator==(const LineSettings&) const = default;
};

// What a frame said about the scale.
enum class SerialStatus : uint8_t {
    Stable,
    Motion,
    Zero,  // stable at the centre of zero
    UnderZero,
    OverCapacity,
    NotInitialised,  // e.g. an initial-zero error: the scale must be zeroed first
    Error,           // RAM, ROM, EEPROM, calibration or any other fault the scale names
};

struct SerialReading {
    SerialStatus status = SerialStatus::Stable;
    // Frames such as NCI's motion answer or 8217's "?" answer carry a status and no weight.
    bool hasWeight = false;
    // The weight exactly as sent, without its decimal point: "-01.250" is -1250 with exponent
    // -3, so the decimals the scale sent are kept.
    int64_t digits = 0;
    int8_t exponent = 0;
    uint8_t unitCode = 0;  // HID point-of-sale unit codes: 2 g, 3 kg, 11 oz, 12 lb; 0 unknown
    bool net = false;
    bool operator==(const SerialReading&) const = default;
};

// A protocol's byte-wise parser: an explicit state machine that resynchronises on the next frame
// start after garbage, a half frame or an over-long line. Feed returns a reading only when a
// whole, valid frame has just ended; nothing it was fed can make it show a wrong weight.
class IFrameParser {
  public:
    virtual ~IFrameParser() = default;
    virtual std::optional<SerialReading> Feed(uint8_t byte) = 0;
    virtual void Reset() = 0;
};

struct ProtocolTraits {
    Protocol protocol;
    std::string_view
        name;  // in the status line and the settings file: "NCI", "SMA", "8217", "MT-SICS", "Continuous", "Toledo"
    LineSettings defaultLine;      // what detection tries first
    std::string_view pollCommand;  // empty: the scale streams unasked
    std::string_view zeroCommand;  // empty: the protocol has no zero command
};

[[nodiscard]] const ProtocolTraits& Traits(Protocol protocol);
[[nodiscard]] std::optional<Protocol> ProtocolByName(std::string_view name);  // without regard to case
[[nodiscard]] std::unique_ptr<IFrameParser> MakeParser(Protocol protocol);

}  // namespace devices::serial
