// Toledo continuous output: STX SWA SWB SWC <6 weight digits> <6 tare digits> CR, then a
// checksum on scales set to send one (the two's complement of the 7-bit sum from STX to CR).
//   SWA: bits 0-2 where the decimal point is (0: two zeros after the digits, 1: one zero,
//        2: none, 3..7: one to five decimals); bit 5 always set.
//   SWB: bit 0 net, bit 1 negative, bit 2 out of range, bit 3 motion, bit 4 kg (else lb);
//        bit 5 always set.
//   SWC: bits 0-2 the unit when not 0 (1 g, 3 oz; others name units a reading cannot carry);
//        bit 5 always set.
// A reading is given once its frame is known to be whole: at the checksum, or, on a scale
// that sends none, at the CR.
#include <string_view>
#include <utility>

#include "devices/serial/SerialParsers.h"

namespace devices::serial {
namespace {

constexpr size_t kFrameBytes = 15;  // between STX and CR

std::optional<Decimal> Digits(std::string_view field) {
    const std::string_view digits = TrimBlanks(field);
    if (digits.empty() || digits.find_first_not_of("0123456789") != std::string_view::npos) {
        return std::nullopt;
    }
    return ParseDecimal(digits);
}

uint8_t UnitCode(uint8_t swb, uint8_t swc) {
    switch (swc & 7) {
        case 0:
            return (swb & 0x10) != 0 ? 3 : 12;
        case 1:
            return 2;
        case 3:
            return 11;
        default:
            return 0;
    }
}

}  // namespace

std::optional<SerialReading> ToledoParser::ReadFrame() const {
    const std::string_view frame = _frame.View();
    const auto swa = static_cast<uint8_t>(frame[0]);
    const auto swb = static_cast<uint8_t>(frame[1]);
    const auto swc = static_cast<uint8_t>(frame[2]);
    auto weight = Digits(frame.substr(3, 6));
    const bool tareValid = TrimBlanks(frame.substr(9, 6)).find_first_not_of("0123456789") == std::string_view::npos;
    if ((swa & swb & swc & 0x20) == 0 || !weight || !tareValid) {
        return std::nullopt;
    }
    const bool net = (swb & 0x01) != 0;
    const bool negative = (swb & 0x02) != 0;
    if ((swb & 0x04) != 0) {
        return StatusReading(negative ? SerialStatus::UnderZero : SerialStatus::OverCapacity, net);
    }
    const SerialStatus status = (swb & 0x08) != 0 ? SerialStatus::Motion : SettledStatus(*weight);
    const uint8_t unit = UnitCode(swb, swc);
    if (unit == 0) {
        return StatusReading(status, net);
    }
    const int point = swa & 7;
    if (point < 2) {
        weight->digits *= point == 0 ? 100 : 10;  // the display counts in tens or hundreds
    } else {
        weight->exponent = static_cast<int8_t>(2 - point);
    }
    if (negative) {
        weight->digits = -weight->digits;
    }
    return WeightReading(*weight, unit, status, net);
}

// The frame is 7-bit ASCII: a parity bit read as the eighth data bit is dropped.
std::optional<SerialReading> ToledoParser::Feed(uint8_t byte) {
    const char c = static_cast<char>(byte & 0x7F);
    switch (_state) {
        case State::WaitStart:
            if (c == kStx) {
                StartFrame();
            }
            break;
        case State::InFrame:
            if (c == kStx) {
                StartFrame();  // a frame start in the middle of a frame
            } else if (c == kCr && _frame.Size() == kFrameBytes) {
                _sum = (_sum + kCr) & 0x7F;
                _pending = ReadFrame();
                if (_checksum == Checksum::NotSent) {
                    _state = State::WaitStart;
                    return std::exchange(_pending, std::nullopt);
                }
                _state = State::AfterCr;
            } else if (c == kCr || !_frame.Push(c)) {
                _state = State::WaitStart;
            } else {
                _sum = (_sum + c) & 0x7F;
            }
            break;
        case State::AfterCr: {
            auto reading = std::exchange(_pending, std::nullopt);
            const char expected = static_cast<char>((0x80 - _sum) & 0x7F);
            if (c == expected) {
                _checksum = Checksum::Sent;
                _state = State::WaitStart;
                if (c == kStx) {
                    StartFrame();  // a checksum that equals STX may be the next frame's start
                }
                return reading;
            }
            if (c != kStx) {
                _state = State::WaitStart;  // a wrong checksum: the frame is not trusted
                return std::nullopt;
            }
            StartFrame();
            if (_checksum == Checksum::Sent) {
                _checksum = Checksum::Unknown;  // the checksum did not come: learn again
                return std::nullopt;
            }
            _checksum = Checksum::NotSent;
            return reading;
        }
    }
    return std::nullopt;
}

void ToledoParser::Reset() {
    _state = State::WaitStart;
    _checksum = Checksum::Unknown;
    _pending.reset();
}

void ToledoParser::StartFrame() noexcept {
    _frame.Clear();
    _sum = kStx;
    _state = State::InFrame;
}

}  // namespace devices::serial
