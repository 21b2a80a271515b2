#include "web/Reading.h"

#include <charconv>
#include <cmath>
#include <cstdio>

namespace web {

bool SameReading(const Reading& a, const Reading& b) {
    // Compared as JSON would show them, so -0 and 0, or two NaNs, are the same to a client.
    return JsonNumber(a.weight) == JsonNumber(b.weight) && a.unit == b.unit && a.text == b.text &&
           a.status == b.status && a.statusCode == b.statusCode && a.scale == b.scale;
}

namespace {

void AppendUtf8(std::string& out, uint32_t cp) {
    if (cp < 0x80) {
        out += static_cast<char>(cp);
    } else if (cp < 0x800) {
        out += static_cast<char>(0xC0 | (cp >> 6));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
        out += static_cast<char>(0xE0 | (cp >> 12));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (cp >> 18));
        out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    }
}

constexpr uint32_t kReplacement = 0xFFFD;

// Decodes one code point at `i`, advancing `i`; overlong forms, surrogates and values beyond
// U+10FFFF are invalid, and an invalid sequence consumes one byte.
uint32_t NextCodePoint(std::string_view s, size_t& i) {
    const auto b0 = static_cast<unsigned char>(s[i]);
    if (b0 < 0x80) {
        ++i;
        return b0;
    }
    int extra = 0;
    uint32_t cp = 0;
    uint32_t min = 0;
    if ((b0 & 0xE0) == 0xC0) {
        extra = 1, cp = b0 & 0x1F, min = 0x80;
    } else if ((b0 & 0xF0) == 0xE0) {
        extra = 2, cp = b0 & 0x0F, min = 0x800;
    } else if ((b0 & 0xF8) == 0xF0) {
        extra = 3, cp = b0 & 0x07, min = 0x10000;
    } else {
        ++i;
        return kReplacement;
    }
    if (i + static_cast<size_t>(extra) >= s.size()) {  // cut short at the end
        ++i;
        return kReplacement;
    }
    for (int k = 1; k <= extra; ++k) {
        const auto b = static_cast<unsigned char>(s[i + static_cast<size_t>(k)]);
        if ((b & 0xC0) != 0x80) {
            ++i;
            return kReplacement;
        }
        cp = (cp << 6) | (b & 0x3F);
    }
    if (cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) {
        ++i;
        return kReplacement;
    }
    i += static_cast<size_t>(extra) + 1;
    return cp;
}

}  // namespace

std::string JsonString(std::string_view utf8) {
    std::string out = "\"";
    out.reserve(utf8.size() + 2);
    for (size_t i = 0; i < utf8.size();) {
        const uint32_t cp = NextCodePoint(utf8, i);
        switch (cp) {
            case '"':
                out += "\\\"";
                break;
            case '\\':
                out += "\\\\";
                break;
            case '\n':
                out += "\\n";
                break;
            case '\r':
                out += "\\r";
                break;
            case '\t':
                out += "\\t";
                break;
            case '\b':
                out += "\\b";
                break;
            case '\f':
                out += "\\f";
                break;
            default:
                // Control characters must be escaped; U+2028 and U+2029 too, so that the text is
                // also safe where a page evaluates it as script.
                if (cp < 0x20 || cp == 0x7F || cp == 0x2028 || cp == 0x2029) {
                    char buf[8];
                    std::snprintf(buf, sizeof buf, "\\u%04x", static_cast<unsigned>(cp));
                    out += buf;
                } else {
                    AppendUtf8(out, cp);
                }
        }
    }
    out += '"';
    return out;
}

std::string JsonNumber(double value) {
    if (!std::isfinite(value)) {
        return "null";
    }
    if (value == 0.0) {
        return "0";  // never "-0"
    }
    char buf[64];
    const auto result = std::to_chars(buf, buf + sizeof buf, value, std::chars_format::general, 12);
    std::string text(buf, result.ptr);
    // JSON wants "1e+20" or "1e20", both fine; it does not take a leading "+" or a bare ".5".
    return text;
}

// Civil date from days since 1970-01-01 (Howard Hinnant's algorithm): independent of the C
// library's time zone handling and of the range of time_t.
std::string IsoUtc(int64_t msSinceEpoch) {
    int64_t days = msSinceEpoch / 86400000;
    int64_t msOfDay = msSinceEpoch % 86400000;
    if (msOfDay < 0) {
        msOfDay += 86400000;
        --days;
    }
    const int64_t z = days + 719468;
    const int64_t era = (z >= 0 ? z : z - 146096) / 146097;
    const int64_t doe = z - era * 146097;
    const int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const int64_t mp = (5 * doy + 2) / 153;
    const int64_t day = doy - (153 * mp + 2) / 5 + 1;
    const int64_t month = mp < 10 ? mp + 3 : mp - 9;
    const int64_t year = yoe + era * 400 + (month <= 2 ? 1 : 0);
    char buf[128];  // room for any year a 64-bit count of milliseconds can hold
    std::snprintf(buf, sizeof buf, "%04lld-%02lld-%02lldT%02lld:%02lld:%02lld.%03lldZ", static_cast<long long>(year),
                  static_cast<long long>(month), static_cast<long long>(day), static_cast<long long>(msOfDay / 3600000),
                  static_cast<long long>(msOfDay / 60000 % 60), static_cast<long long>(msOfDay / 1000 % 60),
                  static_cast<long long>(msOfDay % 1000));
    return buf;
}

std::string ReadingJson(const Reading& r) {
    std::string out = "{\"weight\":";
    out += JsonNumber(r.weight);
    out += ",\"unit\":";
    out += JsonString(r.unit);
    out += ",\"text\":";
    out += JsonString(r.text);
    out += ",\"status\":";
    out += JsonString(r.status);
    out += ",\"statusCode\":";
    out += std::to_string(r.statusCode);
    out += ",\"stable\":";
    out += r.Stable() ? "true" : "false";
    out += ",\"scale\":";
    out += r.scale ? JsonString(*r.scale) : std::string("null");
    out += ",\"time\":";
    out += JsonString(IsoUtc(r.timeMs));
    out += '}';
    return out;
}

}  // namespace web
