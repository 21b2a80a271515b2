// 8217 answers to W. The frame names no unit: the scale sends pounds with one or two decimals
// and kilograms with three, so the decimals tell the unit. A scale without a valid weight
// answers STX ? <status> CR with the status bits 0 motion, 1 over capacity, 2 under zero,
// 3 outside the zero range, 4 centre of zero; bit 6 is always set, and bit 5 is "net" on some
// models and always set on others, so it is not read; bit 4 (centre of zero) needs no reading.
#include <string_view>

#include "devices/serial/SerialParsers.h"

namespace devices::serial {
namespace {

constexpr uint8_t kUnitLb = 12;
constexpr uint8_t kUnitKg = 3;

std::optional<SerialReading> StatusFrame(char byte) {
    const auto flags = static_cast<uint8_t>(byte);
    if ((flags & 0x40) == 0) {
        return std::nullopt;
    }
    const uint8_t bits = flags & 0x1F;
    // Without motion, capacity or zero-range bits the answer gives no reason for having no
    // weight (centre of zero alone is not one): an error, never a settled status, since the
    // weight shown before would then stand as if the scale had confirmed it.
    SerialStatus status = SerialStatus::Error;
    if ((bits & 0x02) != 0) {
        status = SerialStatus::OverCapacity;
    } else if ((bits & 0x04) != 0) {
        status = SerialStatus::UnderZero;
    } else if ((bits & 0x08) != 0) {
        status = SerialStatus::NotInitialised;
    } else if ((bits & 0x01) != 0) {
        status = SerialStatus::Motion;
    }
    return StatusReading(status);
}

std::optional<SerialReading> ReadFrame(std::string_view frame) {
    if (frame.size() == 2 && frame[0] == '?') {
        return StatusFrame(frame[1]);
    }
    const bool net = !frame.empty() && frame.back() == 'N';
    if (net) {
        frame.remove_suffix(1);
    }
    const auto weight = ParseDecimal(frame);
    if (!weight || weight->exponent < -3 || weight->exponent > -1) {
        return std::nullopt;
    }
    const uint8_t unit = weight->exponent == -3 ? kUnitKg : kUnitLb;
    return WeightReading(*weight, unit, SettledStatus(*weight), net);
}

}  // namespace

// 8217 is 7-bit ASCII: a parity bit read as the eighth data bit is dropped.
std::optional<SerialReading> Mt8217Parser::Feed(uint8_t byte) {
    const char c = static_cast<char>(byte & 0x7F);
    switch (_state) {
        case State::WaitStart:
            if (c == kStx) {
                _frame.Clear();
                _state = State::InFrame;
            }
            break;
        case State::InFrame:
            if (c == kStx) {
                _frame.Clear();  // a frame start in the middle of a frame
            } else if (c == kCr) {
                _state = State::WaitStart;
                return ReadFrame(_frame.View());
            } else if (!_frame.Push(c)) {
                _state = State::WaitStart;
            }
            break;
    }
    return std::nullopt;
}

void Mt8217Parser::Reset() {
    _state = State::WaitStart;
}

}  // namespace devices::serial
