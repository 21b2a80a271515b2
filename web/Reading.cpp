#include "web/Reading.h"

#include "base/TextUtil.h"

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

constexpr uint32_t kReplacement = 0xFFFD;

// Decodes one code point at `i`, advancing `i`; an invalid sequence consumes one byte and
// stands as U+FFFD.
uint32_t NextCodePoint(std::string_view s, size_t& i) {
    const std::optional<base::DecodedChar> c = base::DecodeUtf8(s.substr(i));
    if (!c) {
        ++i;
        return kReplacement;
    }
    i += c->length;
    return c->codePoint;
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
                    base::AppendUtf8(out, cp);
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

std::string InfoJson(std::string_view version, const std::optional<std::string>& scale) {
    return "{\"name\":\"Pesora\",\"version\":" + JsonString(version) +
           ",\"scale\":" + (scale ? JsonString(*scale) : std::string("null")) +
           ",\"routes\":[\"GET /weight\",\"GET /events\",\"POST /zero\"]}";
}

std::string ErrorJson(std::string_view reason) {
    return "{\"error\":" + JsonString(reason) + "}";
}

}  // namespace web
