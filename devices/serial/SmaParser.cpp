// SMA level 1 answers to W: LF s r n m f <weight> <unit> CR, where s is the scale's condition
// (Z centre of zero, O over, U under, E zero error, T tare error, I initial-zero error, blank
// none), r the range, n gross/net/tare, m motion, f reserved. The short answers "?" (unknown
// command) and "!" (parity error) give no reading.
#include <string_view>

#include "devices/serial/SerialParsers.h"

namespace devices::serial {
namespace {

constexpr size_t kFrameBytes = 18;  // between LF and CR

std::optional<SerialStatus> ConditionStatus(char condition, bool motion) {
    switch (condition) {
        case 'E':
        case 'T':
            return SerialStatus::Error;
        case 'I':
            return SerialStatus::NotInitialised;
        case 'O':
            return SerialStatus::OverCapacity;
        case 'U':
            return SerialStatus::UnderZero;
        case 'Z':
            return motion ? SerialStatus::Motion : SerialStatus::Zero;
        case ' ':
            return motion ? SerialStatus::Motion : SerialStatus::Stable;
        default:
            return std::nullopt;
    }
}

std::optional<SerialReading> ReadFrame(std::string_view frame) {
    const char range = frame[1];
    const char grossNet = frame[2];
    const char motion = frame[3];
    const char reserved = frame[4];
    const std::string_view weightField = frame.substr(5, 10);
    const std::string_view unitField = frame.substr(15, 3);
    const bool fieldsValid = (range == ' ' || (range >= '0' && range <= '9')) &&
                             (grossNet == 'G' || grossNet == 'N' || grossNet == 'T') &&
                             (motion == 'M' || motion == ' ') && reserved >= ' ' && reserved < 0x7F;
    const auto status = ConditionStatus(frame[0], motion == 'M');
    if (!fieldsValid || !status) {
        return std::nullopt;
    }
    const bool net = grossNet == 'N';
    const std::string_view weightText = TrimBlanks(weightField);
    const bool dashes = weightText.size() > 1 && weightText.find_first_not_of('-') == std::string_view::npos;
    if (dashes) {
        // E, I and T come with dashes; a blank condition with them names no reason, so: an error.
        return StatusReading(NamesAFault(*status) ? *status : SerialStatus::Error, net);
    }
    if (*status == SerialStatus::OverCapacity || *status == SerialStatus::Error ||
        *status == SerialStatus::NotInitialised) {
        return StatusReading(*status, net);
    }
    const auto weight = ParseDecimal(weightField);
    const uint8_t unit = UnitCodeOf(unitField);
    if (!weight || unit == 0) {
        // Under capacity may come without a readable weight; anything else is not a frame.
        return *status == SerialStatus::UnderZero ? std::optional(StatusReading(*status, net)) : std::nullopt;
    }
    return WeightReading(*weight, unit, *status, net);
}

}  // namespace

// SMA is ASCII: a parity bit read as the eighth data bit is dropped.
std::optional<SerialReading> SmaParser::Feed(uint8_t byte) {
    const char c = static_cast<char>(byte & 0x7F);
    switch (_state) {
        case State::WaitStart:
            if (c == kLf) {
                _frame.Clear();
                _state = State::InFrame;
            }
            break;
        case State::InFrame:
            if (c == kLf) {
                _frame.Clear();  // a frame start in the middle of a frame
            } else if (c == kCr) {
                _state = State::WaitStart;
                if (_frame.Size() == kFrameBytes) {
                    return ReadFrame(_frame.View());
                }
            } else if (!_frame.Push(c)) {
                _state = State::WaitStart;
            }
            break;
    }
    return std::nullopt;
}

void SmaParser::Reset() {
    _state = State::WaitStart;
}

}  // namespace devices::serial
