#include "devices/serial/FrameText.h"

#include "base/TextUtil.h"

namespace devices::serial {

bool IsBlank(char c) noexcept {
    return c == ' ' || c == '\t';
}

std::string_view TrimBlanks(std::string_view text) noexcept {
    while (!text.empty() && IsBlank(text.front())) {
        text.remove_prefix(1);
    }
    while (!text.empty() && IsBlank(text.back())) {
        text.remove_suffix(1);
    }
    return text;
}

std::optional<Decimal> ParseDecimal(std::string_view text) noexcept {
    text = TrimBlanks(text);
    bool negative = false;
    if (!text.empty() && (text.front() == '+' || text.front() == '-')) {
        negative = text.front() == '-';
        text = TrimBlanks(text.substr(1));  // some scales pad between the sign and the digits
    }
    int64_t digits = 0;
    int decimals = 0;
    bool point = false;
    bool anyDigit = false;
    for (const char c : text) {
        if (c == '.' && !point) {
            point = true;
        } else if (c >= '0' && c <= '9') {
            digits = digits * 10 + (c - '0');
            anyDigit = true;
            decimals += point ? 1 : 0;
            if (digits > kMaxWeightDigits || decimals > kMaxDecimals) {
                return std::nullopt;
            }
        } else {
            return std::nullopt;
        }
    }
    if (!anyDigit) {
        return std::nullopt;
    }
    return Decimal{negative ? -digits : digits, static_cast<int8_t>(-decimals)};
}

uint8_t UnitCodeOf(std::string_view text) noexcept {
    text = TrimBlanks(text);
    struct Unit {
        std::string_view name;
        uint8_t code;
    };
    static constexpr Unit kUnits[] = {{"g", 2}, {"kg", 3}, {"oz", 11}, {"lb", 12}};
    for (const Unit& unit : kUnits) {
        if (base::EqualsIgnoreCase(text, unit.name)) {
            return unit.code;
        }
    }
    return 0;
}

NumberAndUnit SplitUnit(std::string_view text) noexcept {
    text = TrimBlanks(text);
    size_t start = text.size();
    while (start > 0 &&
           ((text[start - 1] >= 'a' && text[start - 1] <= 'z') || (text[start - 1] >= 'A' && text[start - 1] <= 'Z'))) {
        --start;
    }
    return {text.substr(0, start), text.substr(start)};
}

SerialReading WeightReading(Decimal weight, uint8_t unitCode, SerialStatus status, bool net) {
    if (status == SerialStatus::OverCapacity) {
        return StatusReading(status, net);
    }
    if (status == SerialStatus::Stable && weight.digits < 0) {
        status = SerialStatus::UnderZero;
    }
    return {.status = status,
            .hasWeight = true,
            .digits = weight.digits,
            .exponent = weight.exponent,
            .unitCode = unitCode,
            .net = net};
}

SerialReading StatusReading(SerialStatus status, bool net) {
    return {.status = status, .net = net};
}

}  // namespace devices::serial
