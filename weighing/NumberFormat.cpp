#include "weighing/NumberFormat.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>
#include <cstdlib>

namespace weighing {
namespace {

// Doubles are shown to at most 15 significant digits: as many as survive a round trip through
// text, and what the platform's own number formatting works from. Rounding to the decimals an
// expression asks for is then done on that decimal text, half away from zero, so that a value
// such as 1.005 (stored as 1.00499999999999989...) shows as 1.01 with "0.00", as a user reading
// "1.005" would expect.
constexpr int kSignificantDigits = 15;

struct SignificantDigits {
    std::array<char, kSignificantDigits> digits{};  // first digit never '0'
    int exponent = 0;                               // magnitude = d.dddddddddddddd x 10^exponent
};

// Reads the digits and exponent of to_chars' scientific form: the first kSignificantDigits digits
// into `out`, and the digit after them, if any, into `next`.
void ReadScientific(const char* p, const char* end, SignificantDigits& out, char& next) {
    size_t count = 0;
    next = '0';
    for (; p != end && *p != 'e'; ++p) {
        if (*p < '0' || *p > '9') {
            continue;
        }
        if (count < out.digits.size()) {
            out.digits[count] = *p;
        } else if (count == out.digits.size()) {
            next = *p;
        }
        ++count;
    }
    if (p != end) {
        ++p;  // 'e'
        const bool negative = *p == '-';
        if (*p == '-' || *p == '+') {
            ++p;
        }
        int exponent = 0;
        std::from_chars(p, end, exponent);
        out.exponent = negative ? -exponent : exponent;
    }
}

// The exact decimal expansion of a double has at most 767 significant digits (the smallest
// subnormal).
constexpr int kExactDigits = 767;

// `magnitude` must be finite and greater than zero. The value is rounded to 15 digits half away
// from zero, as the platform does. to_chars rounds correctly, which differs from that only for an
// exact tie (100000000000000.5: half to even keeps ...000, the platform shows ...001). A tie
// needs a 5 as the sixteenth digit of the correctly rounded text; only then is the exact
// expansion looked at, since it costs several times more.
SignificantDigits ToSignificantDigits(double magnitude) {
    SignificantDigits out;
    char next = '0';
    std::array<char, 64> buffer{};
    auto result = std::to_chars(buffer.data(), buffer.data() + buffer.size(), magnitude, std::chars_format::scientific,
                                kSignificantDigits);
    ReadScientific(buffer.data(), result.ptr, out, next);
    if (next != '5') {
        result = std::to_chars(buffer.data(), buffer.data() + buffer.size(), magnitude, std::chars_format::scientific,
                               kSignificantDigits - 1);
        ReadScientific(buffer.data(), result.ptr, out, next);
        return out;
    }
    std::array<char, kExactDigits + 16> exact{};
    result = std::to_chars(exact.data(), exact.data() + exact.size(), magnitude, std::chars_format::scientific,
                           kExactDigits - 1);
    ReadScientific(exact.data(), result.ptr, out, next);
    if (next < '5') {
        return out;  // exact digits: below half
    }
    auto it = out.digits.rbegin();
    for (; it != out.digits.rend() && *it == '9'; ++it) {
        *it = '0';
    }
    if (it != out.digits.rend()) {
        ++*it;
    } else {
        out.digits.front() = '1';  // 9.99...95 -> 1.00...0 x 10^(exponent + 1)
        ++out.exponent;
    }
    return out;
}

struct RoundedNumber {
    std::string integer;   // no leading zeros: empty when the integer part is zero
    std::string fraction;  // exactly the number of decimals asked for
};

RoundedNumber RoundToDecimals(double magnitude, int decimals) {
    RoundedNumber out;
    std::string digits;
    long long exponent = 0;
    if (magnitude > 0) {
        const SignificantDigits sig = ToSignificantDigits(magnitude);
        digits.assign(sig.digits.begin(), sig.digits.end());
        exponent = sig.exponent;
        // Digits kept: those whose place value is at least 10^-decimals.
        const long long keep = exponent + 1 + decimals;
        if (keep < static_cast<long long>(digits.size())) {
            const bool roundUp = keep >= 0 && digits[static_cast<size_t>(keep)] >= '5';
            digits.resize(static_cast<size_t>(std::max(keep, 0LL)));
            if (roundUp) {
                auto it = digits.rbegin();
                for (; it != digits.rend() && *it == '9'; ++it) {
                    *it = '0';
                }
                if (it != digits.rend()) {
                    ++*it;
                } else {
                    digits.insert(digits.begin(), '1');  // 9.96 -> 10.0, 0.5 -> 1
                    ++exponent;
                }
            }
        }
    }
    const auto digitAt = [&](long long index) {
        return index >= 0 && index < static_cast<long long>(digits.size()) ? digits[static_cast<size_t>(index)] : '0';
    };
    if (!digits.empty() && exponent >= 0) {
        for (long long i = 0; i <= exponent; ++i) {
            out.integer += digitAt(i);
        }
    }
    out.fraction.reserve(static_cast<size_t>(decimals));
    for (long long j = 1; j <= decimals; ++j) {
        out.fraction += digits.empty() ? '0' : digitAt(exponent + j);
    }
    return out;
}

using Kind = FormatSection::Kind;

// The expression parser. Two main states follow the position relative to the decimal point of
// the current section; Quoted and Escaped are entered from either and return to it.
class FormatParser {
  public:
    FormatSpec Parse(std::string_view expression) {
        for (const char c : expression) {
            if (_parsed.sections.size() == kMaxSections) {
                _parsed.issue = FormatIssue::ExtraSections;
                return std::move(_parsed);
            }
            Step(c);
        }
        if (_state == State::Quoted) {
            _parsed.issue = FormatIssue::UnclosedQuote;
        } else if (_state == State::Escaped) {
            AddLiteral('\\');
            _parsed.issue = FormatIssue::TrailingBackslash;
        }
        if (!expression.empty() && _parsed.sections.size() < kMaxSections) {
            EndSection();
        }
        return std::move(_parsed);
    }

  private:
    enum class State : uint8_t { Integer, Fraction, Quoted, Escaped };
    static constexpr size_t kMaxSections = 3;

    void Step(char c) {
        switch (_state) {
            case State::Quoted:
                if (c == '"') {
                    _state = _resume;
                } else {
                    AddLiteral(c);
                }
                return;
            case State::Escaped:
                AddLiteral(c);
                _state = _resume;
                return;
            case State::Integer:
            case State::Fraction:
                break;
        }
        if (c == ';') {
            EndSection();
            return;
        }
        _section.empty = false;
        switch (c) {
            case '"':
                _resume = _state;
                _state = State::Quoted;
                break;
            case '\\':
                _resume = _state;
                _state = State::Escaped;
                break;
            case '0':
                AddPlaceholder(Kind::DigitOrZero);
                break;
            case '#':
                AddPlaceholder(Kind::DigitOrNothing);
                break;
            case '.':
                if (_state == State::Integer) {
                    _section.items.push_back({Kind::DecimalPoint, {}});
                    _section.hasDecimalPoint = true;
                    _state = State::Fraction;
                } else {
                    AddLiteral(c);  // only the first point of a section is the decimal point
                }
                break;
            case ',':
                if (_state == State::Integer) {
                    // Whether it groups thousands is known only once the section's integer part
                    // has ended; until then it is a literal candidate.
                    _commas.push_back(_section.items.size());
                    _section.items.push_back({Kind::Literal, ","});
                } else {
                    AddLiteral(c);
                }
                break;
            default:
                AddLiteral(c);
                break;
        }
    }

    void AddLiteral(char c) {
        _section.empty = false;
        const bool candidateComma = !_commas.empty() && _commas.back() + 1 == _section.items.size();
        if (!_section.items.empty() && _section.items.back().kind == Kind::Literal && !candidateComma) {
            _section.items.back().text += c;
        } else {
            _section.items.push_back({Kind::Literal, std::string(1, c)});
        }
    }

    void AddPlaceholder(Kind kind) {
        _section.items.push_back({kind, {}});
        if (_state == State::Integer) {
            if (kind == Kind::DigitOrZero && _leftmostIntegerZero < 0) {
                _leftmostIntegerZero = _section.integerPlaceholders;
            }
            ++_section.integerPlaceholders;
        } else {
            ++_section.decimalPlaceholders;
            if (kind == Kind::DigitOrZero) {
                _section.decimalMinDigits = _section.decimalPlaceholders;
            }
        }
    }

    void EndSection() {
        // A comma groups thousands when digit placeholders stand on both sides of it within the
        // integer part ("#,##0"); any other comma is plain text.
        std::vector<bool> drop(_section.items.size(), false);
        if (!_commas.empty()) {
            size_t first = _section.items.size();
            size_t last = 0;
            for (size_t i = 0; i < _section.items.size(); ++i) {
                const Kind kind = _section.items[i].kind;
                if (kind == Kind::DecimalPoint) {
                    break;
                }
                if (kind == Kind::DigitOrZero || kind == Kind::DigitOrNothing) {
                    first = std::min(first, i);
                    last = i;
                }
            }
            for (const size_t index : _commas) {
                if (first < index && index < last) {
                    _section.grouping = true;
                    drop[index] = true;
                }
            }
        }
        if (_section.grouping) {
            std::vector<FormatSection::Item> kept;
            kept.reserve(_section.items.size());
            for (size_t i = 0; i < _section.items.size(); ++i) {
                if (!drop[i]) {
                    kept.push_back(std::move(_section.items[i]));
                }
            }
            _section.items = std::move(kept);
        }
        if (_leftmostIntegerZero >= 0) {
            _section.integerMinDigits = _section.integerPlaceholders - _leftmostIntegerZero;
        }
        _parsed.sections.push_back(std::move(_section));
        _section = FormatSection{};
        _commas.clear();
        _leftmostIntegerZero = -1;
        _state = State::Integer;
    }

    FormatSpec _parsed;
    FormatSection _section;
    std::vector<size_t> _commas;  // item indices of the integer part's commas
    int _leftmostIntegerZero = -1;
    State _state = State::Integer;
    State _resume = State::Integer;
};

// `minus` asks for a "-" directly before the number, after any literal text in front of it ("kg 0.0"
// shows -1.5 as "kg -1.5"); a section that shows no number shows no sign either.
std::string ApplySection(const FormatSection& section,
                         double magnitude,
                         bool minus,
                         const NumberSeparators& separators) {
    std::string out;
    if (!section.ShowsNumber()) {
        for (const auto& item : section.items) {
            out += item.text;
        }
        return out;
    }
    RoundedNumber number = RoundToDecimals(magnitude, section.decimalPlaceholders);
    std::string& integer = number.integer;
    if (static_cast<int>(integer.size()) < section.integerMinDigits) {
        integer.insert(0, static_cast<size_t>(section.integerMinDigits) - integer.size(), '0');
    }
    const auto lastNonZero = number.fraction.find_last_not_of('0');
    const int fractionShown =
        std::max(section.decimalMinDigits, lastNonZero == std::string::npos ? 0 : static_cast<int>(lastNonZero) + 1);

    const long long length = static_cast<long long>(integer.size());
    const auto emitDigit = [&](long long index) {
        out += integer[static_cast<size_t>(index)];
        const long long position = length - 1 - index;  // counted from the units digit
        if (section.grouping && position > 0 && position % 3 == 0) {
            out += separators.thousands;
        }
    };
    // Integer digits fill the placeholders from the right; the leftmost placeholder takes all
    // digits that have no placeholder of their own, so "0" shows 1234 whole.
    const long long placeholders = section.integerPlaceholders;
    long long integerOrdinal = 0;
    int fractionOrdinal = 0;
    for (const auto& item : section.items) {
        if (minus && item.kind != Kind::Literal) {
            out += '-';
            minus = false;
        }
        switch (item.kind) {
            case Kind::Literal:
                out += item.text;
                break;
            case Kind::DecimalPoint:
                if (placeholders == 0) {
                    for (long long i = 0; i < length; ++i) {
                        emitDigit(i);
                    }
                }
                out += separators.decimal;
                break;
            case Kind::DigitOrZero:
            case Kind::DigitOrNothing:
                if (integerOrdinal < placeholders) {
                    const long long position = placeholders - 1 - integerOrdinal;
                    if (integerOrdinal == 0) {
                        for (long long i = 0; i <= length - 1 - position; ++i) {
                            emitDigit(i);
                        }
                    } else if (position < length) {
                        emitDigit(length - 1 - position);
                    }
                    ++integerOrdinal;
                } else {
                    if (fractionOrdinal < fractionShown) {
                        out += number.fraction[static_cast<size_t>(fractionOrdinal)];
                    }
                    ++fractionOrdinal;
                }
                break;
        }
    }
    return out;
}

}  // namespace

FormatSpec ParseFormat(std::string_view expression) {
    return FormatParser{}.Parse(expression);
}

// Section choice follows the value before rounding: -0.04 with "0.0" uses the negative rule and
// shows -0.0, and only an exact zero (either sign) takes the zero section.
std::string FormatNumber(const FormatSpec& parsed, double value, const NumberSeparators& separators) {
    if (parsed.sections.empty() || !std::isfinite(value)) {
        return DefaultNumberText(value, separators.decimal);
    }
    const auto present = [&](size_t index) { return index < parsed.sections.size() && !parsed.sections[index].empty; };
    const FormatSection* section = &parsed.sections[0];
    bool minus = false;
    double magnitude = value;
    if (value < 0) {
        magnitude = -value;
        if (present(1)) {
            section = &parsed.sections[1];  // the section shows the sign its own way, if at all
        } else {
            minus = true;
        }
    } else if (value == 0) {
        magnitude = 0.0;  // no sign for -0.0
        if (present(2)) {
            section = &parsed.sections[2];
        }
    }
    if (section->empty) {
        const std::string text = DefaultNumberText(magnitude, separators.decimal);
        return minus ? "-" + text : text;
    }
    return ApplySection(*section, magnitude, minus, separators);
}

std::string DefaultNumberText(double value, std::string_view decimalSeparator) {
    if (std::isnan(value)) {
        return "NaN";
    }
    if (std::isinf(value)) {
        return value > 0 ? "Infinity" : "-Infinity";
    }
    if (value == 0) {
        return "0";  // negative zero too
    }
    const SignificantDigits sig = ToSignificantDigits(std::fabs(value));
    std::string_view digits(sig.digits.data(), sig.digits.size());
    digits = digits.substr(0, digits.find_last_not_of('0') + 1);
    const int exponent = sig.exponent;

    std::string out = value < 0 ? "-" : "";
    if (exponent < -4 || exponent >= kSignificantDigits) {
        out += digits[0];
        if (digits.size() > 1) {
            out += decimalSeparator;
            out += digits.substr(1);
        }
        out += exponent < 0 ? "E-" : "E+";
        const int absolute = std::abs(exponent);
        if (absolute < 10) {
            out += '0';
        }
        out += std::to_string(absolute);
    } else if (exponent >= 0) {
        const size_t integerDigits = static_cast<size_t>(exponent) + 1;
        out += digits.substr(0, integerDigits);
        if (digits.size() < integerDigits) {
            out.append(integerDigits - digits.size(), '0');
        } else if (digits.size() > integerDigits) {
            out += decimalSeparator;
            out += digits.substr(integerDigits);
        }
    } else {
        out += '0';
        out += decimalSeparator;
        out.append(static_cast<size_t>(-exponent - 1), '0');
        out += digits;
    }
    return out;
}

}  // namespace weighing
