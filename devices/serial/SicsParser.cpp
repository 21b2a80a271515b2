// MT-SICS level 0 answers, split on blanks since models pad them differently:
//   S S <weight> <unit>   stable        S D <weight> <unit>   dynamic (in motion)
//   S +  overload    S -  underload    S I  the scale cannot answer now (busy settling)
//   ES, ET, EL       syntax, transmission and logical errors
// Answers to other commands (I1, I4, Z A...) give nothing.
#include <array>
#include <string_view>

#include "devices/serial/SerialParsers.h"

namespace devices::serial {
namespace {

constexpr size_t kMaxTokens = 4;

// The line's first tokens; the count is kMaxTokens + 1 when there are more.
struct Tokens {
    std::array<std::string_view, kMaxTokens> items;
    size_t count = 0;
};

Tokens Split(std::string_view line) {
    Tokens out;
    size_t at = 0;
    while (at < line.size()) {
        while (at < line.size() && IsBlank(line[at])) {
            ++at;
        }
        const size_t start = at;
        while (at < line.size() && !IsBlank(line[at])) {
            ++at;
        }
        if (at == start) {
            break;
        }
        if (out.count == kMaxTokens) {
            out.count = kMaxTokens + 1;
            break;
        }
        out.items[out.count++] = line.substr(start, at - start);
    }
    return out;
}

std::optional<SerialReading> ReadLine(std::string_view line) {
    const Tokens t = Split(line);
    if (t.count == 1 && (t.items[0] == "ES" || t.items[0] == "ET" || t.items[0] == "EL")) {
        return StatusReading(SerialStatus::Error);
    }
    if (t.count < 2 || t.items[0] != "S") {
        return std::nullopt;
    }
    const std::string_view kind = t.items[1];
    if (t.count == 2) {
        if (kind == "+") {
            return StatusReading(SerialStatus::OverCapacity);
        }
        if (kind == "-") {
            return StatusReading(SerialStatus::UnderZero);
        }
        if (kind == "I") {
            return StatusReading(SerialStatus::Motion);
        }
        return std::nullopt;
    }
    if (t.count != 4 || (kind != "S" && kind != "D")) {
        return std::nullopt;
    }
    const auto weight = ParseDecimal(t.items[2]);
    const uint8_t unit = UnitCodeOf(t.items[3]);
    if (!weight || unit == 0) {
        return std::nullopt;
    }
    return WeightReading(*weight, unit, kind == "D" ? SerialStatus::Motion : SettledStatus(*weight));
}

}  // namespace

// Answers are ASCII: a parity bit read as the eighth data bit is dropped. A line ends at LF;
// the CR before it, like the XON and XOFF of a scale that uses them, is a blank.
std::optional<SerialReading> SicsParser::Feed(uint8_t byte) {
    char c = static_cast<char>(byte & 0x7F);
    if (c < ' ' && c != kLf) {
        c = ' ';
    }
    const std::optional<std::string_view> line = _lines.Take(c, c == kLf);
    return line ? ReadLine(*line) : std::nullopt;
}

void SicsParser::Reset() {
    _lines.Reset();
}

}  // namespace devices::serial
