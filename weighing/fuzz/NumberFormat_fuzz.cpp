// Any expression a user can type, applied to values from the same input: parsing and formatting
// must end, stay in bounds and give text no longer than the expression and the number allow.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>

#include "weighing/NumberFormat.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    double value = 0;
    if (size >= sizeof value) {
        std::memcpy(&value, data, sizeof value);
        data += sizeof value;
        size -= sizeof value;
    }
    const std::string_view expression(reinterpret_cast<const char*>(data), size);
    const weighing::FormatSpec parsed = weighing::ParseFormat(expression);
    if (parsed.sections.size() > 3) {
        std::abort();
    }
    static const weighing::NumberSeparators kSeparators[] = {{".", ","}, {",", "."}, {"", ""}, {"\xC2\xA0", "'"}};
    for (const auto& separators : kSeparators) {
        const std::string text = weighing::FormatNumber(parsed, value, separators);
        // Each expression character yields at most one separator or character, plus the digits of
        // a double (at most 309 before the point), their group separators and a sign.
        if (text.size() > 2 * size + 2 * 309 + 16) {
            std::abort();
        }
    }
    const std::string plain = weighing::DefaultNumberText(value, ".");
    if (plain.empty() || plain.size() > 32) {
        std::abort();
    }
    return 0;
}
