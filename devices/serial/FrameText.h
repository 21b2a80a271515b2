#pragma once
// The pieces the serial protocol parsers share: a fixed-size line buffer (a parser never grows
// with what a port sends), the weight number and unit texts scales send, and the rules every
// protocol's reading follows.
#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string_view>

#include "devices/serial/SerialProtocol.h"

namespace devices::serial {

inline constexpr char kStx = 0x02;
inline constexpr char kEtx = 0x03;
inline constexpr char kLf = 0x0A;
inline constexpr char kCr = 0x0D;

// The bytes of the frame or line being read, up to N of them.
template <size_t N>
class LineBuffer {
  public:
    // False when the buffer is full: the line is longer than any the protocol sends.
    bool Push(char c) noexcept {
        if (_size == N) {
            return false;
        }
        _chars[_size++] = c;
        return true;
    }
    void Clear() noexcept { _size = 0; }
    [[nodiscard]] size_t Size() const noexcept { return _size; }
    [[nodiscard]] std::string_view View() const noexcept { return {_chars.data(), _size}; }

  private:
    std::array<char, N> _chars{};
    size_t _size = 0;
};

// The lines of a line-based protocol, one byte at a time: a line longer than N bytes is
// skipped up to its end rather than read in pieces, so its tail never reads as a line of its own.
template <size_t N>
class LineReader {
  public:
    // The line `lineEnd` ends (its view lasts until the next call); nothing while a line goes
    // on, or when the one that ended was over-long.
    std::optional<std::string_view> Take(char c, bool lineEnd) noexcept {
        if (lineEnd) {
            const bool whole = !_overlong;
            _overlong = false;
            const std::string_view ended = _line.View();  // Clear keeps the bytes
            _line.Clear();
            return whole ? std::optional(ended) : std::nullopt;
        }
        if (!_overlong && !_line.Push(c)) {
            _overlong = true;
        }
        return std::nullopt;
    }
    void Reset() noexcept {
        _line.Clear();
        _overlong = false;
    }

  private:
    LineBuffer<N> _line;
    bool _overlong = false;  // the line under way is longer than any the protocol sends
};

// A number as sent: "-01.250" is digits -1250, exponent -3.
struct Decimal {
    int64_t digits = 0;
    int8_t exponent = 0;
};

// The largest weight a reading carries: nine digits, which the 32-bit field of the wide report
// holds with every decimal.
inline constexpr int64_t kMaxWeightDigits = 999'999'999;
inline constexpr int kMaxDecimals = 8;

[[nodiscard]] bool IsBlank(char c) noexcept;
[[nodiscard]] std::string_view TrimBlanks(std::string_view text) noexcept;

// "+0012.34", "  -1.25", "- 5", ".5": blanks around, an optional sign (blanks may follow it),
// digits with at most one point. nullopt for anything else, and for more than nine significant
// digits or eight decimals.
[[nodiscard]] std::optional<Decimal> ParseDecimal(std::string_view text) noexcept;

// "g", "kg", "oz", "lb" in any case, blanks around: the HID unit code; 0 for anything else.
[[nodiscard]] uint8_t UnitCodeOf(std::string_view text) noexcept;

// Splits "+0012.34 kg" into the number text and the letters that end it ("kg").
struct NumberAndUnit {
    std::string_view number;
    std::string_view unit;
};
[[nodiscard]] NumberAndUnit SplitUnit(std::string_view text) noexcept;

// A reading with a weight. Over capacity never carries one (what an overloaded scale shows is
// not a weight), and a settled negative weight reads as under zero, as a HID scale reports it.
[[nodiscard]] SerialReading WeightReading(Decimal weight, uint8_t unitCode, SerialStatus status, bool net = false);
[[nodiscard]] SerialReading StatusReading(SerialStatus status, bool net = false);

// The status of a settled weight for protocols that have no centre-of-zero flag: exactly zero
// is the zero the scale rests at.
[[nodiscard]] inline SerialStatus SettledStatus(const Decimal& weight) noexcept {
    return weight.digits == 0 ? SerialStatus::Zero : SerialStatus::Stable;
}

// Over or under capacity, not initialised or an error: a status that says why there is no
// weight, rather than how a weight is.
[[nodiscard]] inline bool NamesAFault(SerialStatus status) noexcept {
    return status != SerialStatus::Stable && status != SerialStatus::Zero && status != SerialStatus::Motion;
}

}  // namespace devices::serial
