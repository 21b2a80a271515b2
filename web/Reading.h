#pragma once
// What the web endpoint tells a client about the scale: one snapshot of the reading, taken by
// the window after each read cycle and handed to the server thread, and its JSON form.
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace web {

struct Reading {
    double weight = 0.0;               // in the chosen unit, signed; NaN (null) without a weight
    std::string unit;                  // the unit suffix without its blanks, "kg"
    std::string text;                  // the Weight box exactly as shown, UTF-8
    std::string status;                // the status caption, empty when stable
    uint8_t statusCode = 0;            // the report's status byte
    std::optional<std::string> scale;  // the selected scale's list name, UTF-8; none without a scale
    int64_t timeMs = 0;                // when it was read, milliseconds since 1970-01-01 UTC

    // Status 2 (stable at zero) and 4 (stable).
    [[nodiscard]] bool Stable() const { return statusCode == 2 || statusCode == 4; }
};

// Equal in everything a client sees except the time: a reading that only got newer is no change.
[[nodiscard]] bool SameReading(const Reading& a, const Reading& b);

// {"weight":1.25,"unit":"kg","text":"1.25 kg","status":"","statusCode":4,"stable":true,
//  "scale":"USB Scale","time":"2026-03-05T10:15:30.250Z"}
[[nodiscard]] std::string ReadingJson(const Reading& reading);

// GET /: what answers here, its version, the selected scale's list name (null without one) and
// the routes, so a page can tell Pesora from another program on the port.
[[nodiscard]] std::string InfoJson(std::string_view version, const std::optional<std::string>& scale);
// {"error":"..."}: why a request did nothing.
[[nodiscard]] std::string ErrorJson(std::string_view reason);

// A JSON string literal, quotes included. Invalid UTF-8 becomes U+FFFD, so the output is always
// valid UTF-8 and valid JSON whatever bytes come in.
[[nodiscard]] std::string JsonString(std::string_view utf8);
// A JSON number with at most 12 significant digits (no binary noise such as 1.2500000000000002);
// null for a value that is not finite.
[[nodiscard]] std::string JsonNumber(double value);
// ISO 8601 in UTC with milliseconds: "2026-03-05T10:15:30.250Z".
[[nodiscard]] std::string IsoUtc(int64_t msSinceEpoch);

}  // namespace web
