// NCI answers to W and S. The weight line comes with the status line; a scale that has no
// weight to give (motion on some models, over or under capacity, a zero error) sends the status
// line alone, or a weight field filled with '^' (over), '_' (under) or '-' (zero error).
#include <cctype>
#include <string_view>

#include "base/TextUtil.h"
#include "devices/serial/SerialParsers.h"

namespace devices::serial {
namespace {

struct NciStatus {
    SerialStatus status = SerialStatus::Stable;
    bool net = false;
};

// "00", "S00", "S20", "S021": two to four characters '0'..'?', each four flag bits.
//   1st: motion, at zero, RAM error, EEPROM error
//   2nd: under capacity, over capacity, ROM error, calibration error
//   3rd: range (two bits), net, initial-zero error; a 4th is not examined.
std::optional<NciStatus> ParseStatus(std::string_view text) {
    if (!text.empty() && text.front() == 'S') {
        text.remove_prefix(1);
    }
    if (text.size() < 2 || text.size() > 4) {
        return std::nullopt;
    }
    for (const char c : text) {
        if (c < '0' || c > '?') {
            return std::nullopt;
        }
    }
    const int first = text[0] - '0';
    const int second = text[1] - '0';
    const int third = text.size() > 2 ? text[2] - '0' : 0;
    NciStatus out;
    out.net = (third & 4) != 0;
    if ((first & 0xC) != 0 || (second & 0xC) != 0) {
        out.status = SerialStatus::Error;
    } else if ((third & 8) != 0) {
        out.status = SerialStatus::NotInitialised;
    } else if ((second & 2) != 0) {
        out.status = SerialStatus::OverCapacity;
    } else if ((second & 1) != 0) {
        out.status = SerialStatus::UnderZero;
    } else if ((first & 1) != 0) {
        out.status = SerialStatus::Motion;
    } else if ((first & 2) != 0) {
        out.status = SerialStatus::Zero;
    }
    return out;
}

// The status a filled weight field stands for, or nullopt when the field is not filled.
std::optional<SerialStatus> FillStatus(std::string_view field) {
    if (field.empty() || field.find_first_not_of(field.front()) != std::string_view::npos) {
        return std::nullopt;
    }
    switch (field.front()) {
        case '^':
            return SerialStatus::OverCapacity;
        case '_':
            return SerialStatus::UnderZero;
        case '-':
            return field.size() > 1 ? std::optional(SerialStatus::Error) : std::nullopt;
        default:
            return std::nullopt;
    }
}

// "1LB 04.0OZ", "-2lb 15.5oz": pounds and ounces, given as pounds. An ounce is 0.0625 lb, so a
// tenth of an ounce needs five decimals of a pound; the value is kept exactly, without the
// trailing zeros beyond the decimals the ounces had (1 lb 4.0 oz is 1.25 lb).
std::optional<Decimal> ParsePoundsOunces(std::string_view text) {
    const size_t lbAt = base::UpperAscii(text).find("LB");
    if (lbAt == std::string_view::npos) {
        return std::nullopt;
    }
    const auto pounds = ParseDecimal(text.substr(0, lbAt));
    const NumberAndUnit ounceText = SplitUnit(text.substr(lbAt + 2));
    if (!pounds || pounds->exponent != 0 || UnitCodeOf(ounceText.unit) != 11) {
        return std::nullopt;
    }
    const auto ounces = ParseDecimal(ounceText.number);
    const std::string_view ounceNumber = TrimBlanks(ounceText.number);
    if (!ounces || !(std::isdigit(static_cast<unsigned char>(ounceNumber.front())) || ounceNumber.front() == '.') ||
        ounces->exponent < -3) {
        return std::nullopt;
    }
    const int ounceDecimals = -ounces->exponent;
    int64_t ounceScale = 1;  // 10^ounceDecimals
    for (int i = 0; i < ounceDecimals; ++i) {
        ounceScale *= 10;
    }
    const int64_t wholePounds = pounds->digits < 0 ? -pounds->digits : pounds->digits;
    if (ounces->digits >= 16 * ounceScale || wholePounds > 99'999) {
        return std::nullopt;
    }
    // pounds + ounces / 16 = (16 * pounds + ounces) * 625 / 10^4
    int64_t digits = (wholePounds * 16 * ounceScale + ounces->digits) * 625;
    int exponent = -(ounceDecimals + 4);
    while (exponent < -ounceDecimals && digits % 10 == 0) {
        digits /= 10;
        ++exponent;
    }
    if (digits > kMaxWeightDigits) {
        return std::nullopt;
    }
    const bool negative = TrimBlanks(text).front() == '-';
    return Decimal{negative ? -digits : digits, static_cast<int8_t>(exponent)};
}

std::optional<SerialReading> WeightLine(std::string_view line, NciStatus status) {
    const NumberAndUnit field = SplitUnit(line);
    const std::string_view number = TrimBlanks(field.number);
    if (const auto fill = FillStatus(number)) {
        return StatusReading(NamesAFault(status.status) ? status.status : *fill, status.net);
    }
    if (const uint8_t unit = UnitCodeOf(field.unit); unit != 0) {
        if (const auto weight = ParseDecimal(number)) {
            return WeightReading(*weight, unit, status.status, status.net);
        }
    }
    const auto pounds = ParsePoundsOunces(line);
    if (!pounds) {
        return std::nullopt;
    }
    return WeightReading(*pounds, UnitCodeOf("lb"), status.status, status.net);
}

}  // namespace

// NCI is 7-bit ASCII: a parity bit read as the eighth data bit is dropped.
std::optional<SerialReading> NciParser::Feed(uint8_t byte) {
    const char c = static_cast<char>(byte & 0x7F);
    switch (_state) {
        case State::WaitStart:
            if (c == kLf) {
                StartFrame();
            }
            break;
        case State::InLine:
            if (c == kLf) {
                StartFrame();  // a frame start in the middle of a frame: the frame before is lost
            } else if (c == kCr) {
                ++_lineCount;
                _state = State::LineEnded;
            } else if (c == kEtx || !_lines[_lineCount].Push(c)) {
                _state = State::WaitStart;
            }
            break;
        case State::LineEnded:
            if (c == kEtx) {
                _state = State::WaitStart;
                return EndFrame();
            }
            if (c == kLf && _lineCount < 2) {
                _lines[_lineCount].Clear();
                _state = State::InLine;
            } else if (c == kLf) {
                StartFrame();
            } else {
                _state = State::WaitStart;
            }
            break;
    }
    return std::nullopt;
}

void NciParser::Reset() {
    _state = State::WaitStart;
}

void NciParser::StartFrame() noexcept {
    _lineCount = 0;
    _lines[0].Clear();
    _state = State::InLine;
}

// One line is a status alone; "?" (an unknown command) and anything else give nothing. A
// status alone that says stable is the answer to S, or the tail of a frame whose weight line
// was lost: it gives nothing either, since the weight shown before would then stand as if the
// scale had confirmed it.
std::optional<SerialReading> NciParser::EndFrame() const {
    if (_lineCount == 1) {
        const auto status = ParseStatus(_lines[0].View());
        if (!status || status->status == SerialStatus::Stable || status->status == SerialStatus::Zero) {
            return std::nullopt;
        }
        return StatusReading(status->status, status->net);
    }
    const auto status = ParseStatus(_lines[1].View());
    if (!status) {
        return std::nullopt;
    }
    return WeightLine(_lines[0].View(), *status);
}

}  // namespace devices::serial
