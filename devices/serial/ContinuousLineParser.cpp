// Streamed weight lines: "ST,GS,+0012.34kg" CR LF. The first header is ST stable, US unstable
// or OL overload; the second GS gross, NT net or TR tare (A&D balances leave it out). CAS puts
// an ID and lamp field before the weight, whose lamp byte has its top bit set, so the line is
// read as 8-bit bytes: a CR or LF with the top bit set is such a lamp, not a line end.
#include <array>
#include <string_view>

#include "devices/serial/SerialParsers.h"

namespace devices::serial {
namespace {

constexpr size_t kMaxFields = 4;

std::optional<SerialReading> ReadLine(std::string_view line) {
    std::array<std::string_view, kMaxFields> fields;
    size_t count = 0;
    while (true) {
        const size_t comma = line.find(',');
        if (count == kMaxFields) {
            return std::nullopt;
        }
        fields[count++] = line.substr(0, comma);
        if (comma == std::string_view::npos) {
            break;
        }
        line.remove_prefix(comma + 1);
    }
    if (count < 2) {
        return std::nullopt;
    }
    const std::string_view header = TrimBlanks(fields[0]);
    const std::string_view kind = count >= 3 ? TrimBlanks(fields[1]) : std::string_view("GS");
    const bool idAndLamp = count < 4 || TrimBlanks(fields[2]).size() <= 2;
    if ((header != "ST" && header != "US" && header != "OL") || (kind != "GS" && kind != "NT" && kind != "TR") ||
        !idAndLamp) {
        return std::nullopt;
    }
    const bool net = kind == "NT";
    if (header == "OL") {
        return StatusReading(SerialStatus::OverCapacity, net);
    }
    std::string_view weightField = fields[count - 1];
    while (!weightField.empty() &&
           (static_cast<uint8_t>(weightField.front()) >= 0x80 || IsBlank(weightField.front()))) {
        weightField.remove_prefix(1);  // a lamp byte right before the weight
    }
    const NumberAndUnit field = SplitUnit(weightField);
    const auto weight = ParseDecimal(field.number);
    const uint8_t unit = UnitCodeOf(field.unit);
    if (!weight || unit == 0) {
        return std::nullopt;
    }
    return WeightReading(*weight, unit, header == "US" ? SerialStatus::Motion : SettledStatus(*weight), net);
}

// As sent, else as a 7E1 scale read at 8N1 sends it: with the parity bit on top of the bytes
// that have it (its CR arrives as 0x8D, so the line ends at its LF). A CAS line is read as
// sent, so its lamp byte never turns into a comma or a line end.
std::optional<SerialReading> ReadLineEitherWay(std::string_view line) {
    if (auto reading = ReadLine(line)) {
        return reading;
    }
    LineBuffer<ContinuousLineParser::kMaxLine> masked;
    for (const char c : line) {
        const auto low = static_cast<char>(c & 0x7F);
        if (low != kCr) {
            masked.Push(low);
        }
    }
    return ReadLine(masked.View());
}

}  // namespace

std::optional<SerialReading> ContinuousLineParser::Feed(uint8_t byte) {
    const char c = static_cast<char>(byte);
    const std::optional<std::string_view> line = _lines.Take(c, c == kCr || c == kLf);
    if (!line || line->empty()) {
        return std::nullopt;
    }
    return ReadLineEitherWay(*line);
}

void ContinuousLineParser::Reset() {
    _lines.Reset();
}

}  // namespace devices::serial
