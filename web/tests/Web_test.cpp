#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "web/Reading.h"
#include "web/RequestPolicy.h"
#include "web/Sse.h"
#include "web/WebSettings.h"

namespace web {
namespace {

// ---- JSON -------------------------------------------------------------------------------------

TEST(ReadingJson, HasTheFieldsInOrderWithTheirTypes) {
    Reading r;
    r.weight = 1.25;
    r.unit = "kg";
    r.text = "1.25 kg";
    r.status = "";
    r.statusCode = 4;
    r.scale = "USB Scale";
    r.timeMs = 1772705730250;  // 2026-03-05T10:15:30.250Z
    EXPECT_EQ(ReadingJson(r), R"({"weight":1.25,"unit":"kg","text":"1.25 kg","status":"","statusCode":4,"stable":true,)"
                              R"("scale":"USB Scale","time":"2026-03-05T10:15:30.250Z"})");
}

TEST(ReadingJson, NoScaleIsNullAndNegativeWeightIsSigned) {
    Reading r;
    r.weight = -0.5;
    r.unit = "lb";
    r.text = "-0.5 lb";
    r.status = "Negative Weight";
    r.statusCode = 5;
    EXPECT_EQ(ReadingJson(r),
              R"({"weight":-0.5,"unit":"lb","text":"-0.5 lb","status":"Negative Weight","statusCode":5,)"
              R"("stable":false,"scale":null,"time":"1970-01-01T00:00:00.000Z"})");
}

TEST(Reading, StableForStatusTwoAndFourOnly) {
    for (int code = 0; code < 256; ++code) {
        Reading r;
        r.statusCode = static_cast<uint8_t>(code);
        EXPECT_EQ(r.Stable(), code == 2 || code == 4) << code;
    }
}

TEST(JsonString, EscapesWhatJsonRequiresAndRepairsBadUtf8) {
    struct Row {
        int line;
        std::string in;
        std::string out;
    };
    const Row rows[] = {
        {__LINE__, "", R"("")"},
        {__LINE__, "a\"b\\c", R"("a\"b\\c")"},
        {__LINE__, "\n\r\t\b\f", R"("\n\r\t\b\f")"},
        {__LINE__, std::string("\x01\x1f\x7f", 3), R"("\u0001\u001f\u007f")"},
        {__LINE__, std::string("a\0b", 3), R"("a\u0000b")"},
        {__LINE__, "</script>", R"("</script>")"},
        {__LINE__, "\xC3\xA9 \xE2\x82\xAC \xF0\x9F\x98\x80", "\"\xC3\xA9 \xE2\x82\xAC \xF0\x9F\x98\x80\""},  // é € 😀
        {__LINE__, "\xE2\x80\xA8\xE2\x80\xA9", R"("\u2028\u2029")"},
        {__LINE__, "\xE9t\xE9", "\"\xEF\xBF\xBDt\xEF\xBF\xBD\""},                                // Latin-1 bytes
        {__LINE__, "\xC0\xAF", "\"\xEF\xBF\xBD\xEF\xBF\xBD\""},                                  // overlong "/"
        {__LINE__, "\xED\xA0\x80", "\"\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD\""},                  // a surrogate
        {__LINE__, "ab\xE2\x82", "\"ab\xEF\xBF\xBD\xEF\xBF\xBD\""},                              // cut short at the end
        {__LINE__, "\xF4\x90\x80\x80", "\"\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD\""},  // > U+10FFFF
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.line);
        EXPECT_EQ(JsonString(row.in), row.out);
    }
}

TEST(JsonNumber, ShortLocaleFreeAndAlwaysValid) {
    struct Row {
        int line;
        double in;
        std::string out;
    };
    const Row rows[] = {
        {__LINE__, 0.0, "0"},
        {__LINE__, -0.0, "0"},
        {__LINE__, 1.25, "1.25"},
        {__LINE__, -12.5, "-12.5"},
        {__LINE__, 0.1 + 0.2, "0.3"},  // no binary noise
        {__LINE__, 1234 * 0.01, "12.34"},
        {__LINE__, 32767.0, "32767"},
        {__LINE__, 2.2046226218487757, "2.20462262185"},
        {__LINE__, 1e-7, "1e-07"},
        {__LINE__, 3.2767e130, "3.2767e+130"},
        {__LINE__, std::numeric_limits<double>::infinity(), "null"},
        {__LINE__, std::numeric_limits<double>::quiet_NaN(), "null"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.line);
        EXPECT_EQ(JsonNumber(row.in), row.out);
    }
}

TEST(IsoUtc, CalendarEdges) {
    struct Row {
        int line;
        int64_t ms;
        std::string out;
    };
    const Row rows[] = {
        {__LINE__, 0, "1970-01-01T00:00:00.000Z"},
        {__LINE__, 951782400000, "2000-02-29T00:00:00.000Z"},
        {__LINE__, 1709251199999, "2024-02-29T23:59:59.999Z"},
        {__LINE__, 1798761599123, "2026-12-31T23:59:59.123Z"},
        {__LINE__, -1, "1969-12-31T23:59:59.999Z"},
        {__LINE__, 4107542400000, "2100-03-01T00:00:00.000Z"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.line);
        EXPECT_EQ(IsoUtc(row.ms), row.out);
    }
}

TEST(SameReading, IgnoresOnlyTheTime) {
    Reading a;
    a.weight = 1.0, a.unit = "kg", a.text = "1 kg", a.statusCode = 4, a.scale = "S", a.timeMs = 1;
    Reading b = a;
    b.timeMs = 99;
    EXPECT_TRUE(SameReading(a, b));
    const auto differs = [&](auto change) {
        Reading c = a;
        change(c);
        return !SameReading(a, c);
    };
    EXPECT_TRUE(differs([](Reading& c) { c.weight = 1.5; }));
    EXPECT_TRUE(differs([](Reading& c) { c.unit = "g"; }));
    EXPECT_TRUE(differs([](Reading& c) { c.text = "1.0 kg"; }));
    EXPECT_TRUE(differs([](Reading& c) { c.status = "Scale In Motion"; }));
    EXPECT_TRUE(differs([](Reading& c) { c.statusCode = 3; }));
    EXPECT_TRUE(differs([](Reading& c) { c.scale.reset(); }));
}

// ---- request policy -----------------------------------------------------------------------------

TEST(IsLoopbackHost, OnlyLoopbackNamesWithAPlainPort) {
    struct Row {
        int line;
        std::string host;
        bool ok;
    };
    const Row rows[] = {
        {__LINE__, "127.0.0.1", true},
        {__LINE__, "127.0.0.1:8080", true},
        {__LINE__, "localhost", true},
        {__LINE__, "LocalHost:65535", true},
        {__LINE__, "[::1]", true},
        {__LINE__, "[::1]:1", true},
        {__LINE__, "localhost:0", false},
        {__LINE__, "localhost:65536", false},
        {__LINE__, "localhost:", false},
        {__LINE__, "localhost:08080", false},
        {__LINE__, "localhost:80a", false},
        {__LINE__, "localhost.", false},
        {__LINE__, "localhost.evil.example", false},
        {__LINE__, "evil.localhost", false},
        {__LINE__, "127.0.0.1.nip.io", false},
        {__LINE__, "127.0.0.2", false},
        {__LINE__, "0.0.0.0", false},
        {__LINE__, "::1", false},
        {__LINE__, "[::1", false},
        {__LINE__, "attacker.example:8080", false},
        {__LINE__, "", false},
        {__LINE__, "localhost 8080", false},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.line);
        EXPECT_EQ(IsLoopbackHost(row.host), row.ok) << row.host;
    }
}

std::string Summary(const Decision& d) {
    static const char* const kRoutes[] = {"Weight", "Events", "Zero", "Preflight", "Refused"};
    std::string s = std::string(kRoutes[static_cast<int>(d.route)]) + " " + std::to_string(d.status);
    for (const auto& [name, value] : d.headers) {
        s += " [" + name + ": " + value + "]";
    }
    return s;
}

TEST(Decide, HostOriginMethodAndPath) {
    const std::vector<std::string> allowed = {"https://ship.example", "http://localhost:3000"};
    const std::string ok = "https://ship.example";
    const std::string cors = " [Access-Control-Allow-Origin: https://ship.example] [Vary: Origin]";
    const std::string preflight = cors +
                                  " [Access-Control-Allow-Methods: GET, POST, OPTIONS]"
                                  " [Access-Control-Allow-Headers: Content-Type, Last-Event-ID]"
                                  " [Access-Control-Max-Age: 600]";
    struct Row {
        int line;
        std::string method;
        std::string target;
        std::optional<std::string> host;
        std::optional<std::string> origin;
        bool pna;
        std::string expect;
    };
    const Row rows[] = {
        // a local tool (no Origin) may read and zero
        {__LINE__, "GET", "/weight", "127.0.0.1:8080", std::nullopt, false, "Weight 200"},
        {__LINE__, "GET", "/weight?cache=1", "localhost:8080", std::nullopt, false, "Weight 200"},
        {__LINE__, "GET", "/events", "[::1]:8080", std::nullopt, false, "Events 200"},
        {__LINE__, "POST", "/zero", "127.0.0.1:8080", std::nullopt, false, "Zero 204"},
        // an allowed page gets CORS headers
        {__LINE__, "GET", "/weight", "localhost:8080", ok, false, "Weight 200" + cors},
        {__LINE__, "GET", "/events", "localhost:8080", ok, false, "Events 200" + cors},
        {__LINE__, "POST", "/zero", "localhost:8080", ok, false, "Zero 204" + cors},
        {__LINE__, "OPTIONS", "/zero", "localhost:8080", ok, false, "Preflight 204" + preflight},
        {__LINE__, "OPTIONS", "/weight", "localhost:8080", ok, true,
         "Preflight 204" + preflight + " [Access-Control-Allow-Private-Network: true]"},
        {__LINE__, "GET", "/weight", "localhost:8080", "http://localhost:3000", false,
         "Weight 200 [Access-Control-Allow-Origin: http://localhost:3000] [Vary: Origin]"},
        // any other page gets a bare refusal, and cannot zero
        {__LINE__, "GET", "/weight", "localhost:8080", "https://evil.example", false, "Refused 403"},
        {__LINE__, "GET", "/events", "localhost:8080", "https://evil.example", false, "Refused 403"},
        {__LINE__, "POST", "/zero", "localhost:8080", "https://evil.example", false, "Refused 403"},
        {__LINE__, "OPTIONS", "/zero", "localhost:8080", "https://evil.example", false, "Refused 403"},
        {__LINE__, "POST", "/zero", "localhost:8080", "null", false, "Refused 403"},
        {__LINE__, "GET", "/weight", "localhost:8080", "https://ship.example/", false, "Refused 403"},
        {__LINE__, "GET", "/weight", "localhost:8080", "HTTPS://SHIP.EXAMPLE", false, "Refused 403"},
        {__LINE__, "GET", "/weight", "localhost:8080", "http://localhost:3001", false, "Refused 403"},
        {__LINE__, "GET", "/weight", "localhost:8080", "", false, "Refused 403"},
        // DNS rebinding: an allowed-looking request under a foreign name
        {__LINE__, "GET", "/weight", "evil.example:8080", std::nullopt, false, "Refused 403"},
        {__LINE__, "POST", "/zero", "evil.example:8080", ok, false, "Refused 403"},
        {__LINE__, "GET", "/weight", std::nullopt, std::nullopt, false, "Refused 400"},
        // paths and methods
        {__LINE__, "GET", "/", "localhost", std::nullopt, false, "Refused 404"},
        {__LINE__, "GET", "/weight/", "localhost", std::nullopt, false, "Refused 404"},
        {__LINE__, "GET", "/Weight", "localhost", std::nullopt, false, "Refused 404"},
        {__LINE__, "GET", "/zero", "localhost", std::nullopt, false, "Refused 405 [Allow: POST, OPTIONS]"},
        {__LINE__, "POST", "/weight", "localhost", ok, false, "Refused 405" + cors + " [Allow: GET, OPTIONS]"},
        {__LINE__, "DELETE", "/events", "localhost", std::nullopt, false, "Refused 405 [Allow: GET, OPTIONS]"},
        {__LINE__, "OPTIONS", "/weight", "localhost", std::nullopt, false, "Preflight 204 [Allow: GET, POST, OPTIONS]"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.line);
        RequestHead head;
        head.method = row.method;
        head.target = row.target;
        if (row.host) {
            head.host = *row.host;
        }
        if (row.origin) {
            head.origin = *row.origin;
        }
        head.privateNetworkPreflight = row.pna;
        EXPECT_EQ(Summary(Decide(head, allowed)), row.expect);
    }
}

TEST(Decide, NoOriginIsAllowedWhenTheListIsEmpty) {
    RequestHead head;
    head.method = "GET";
    head.target = "/weight";
    head.host = "localhost";
    head.origin = "http://localhost";
    EXPECT_EQ(Decide(head, {}).route, Route::Refused);
    head.origin.reset();
    EXPECT_EQ(Decide(head, {}).route, Route::Weight);
}

// ---- SSE ------------------------------------------------------------------------------------------

TEST(Sse, Framing) {
    EXPECT_EQ(SseEvent(R"({"a":1})"), "data: {\"a\":1}\n\n");
    EXPECT_EQ(SseEvent(""), "data: \n\n");
    // a line break in a payload cannot end the event or start a field of its own
    EXPECT_EQ(SseEvent("a\n\nevent: x"), "data: a\ndata: \ndata: event: x\n\n");
    EXPECT_EQ(SseEvent("a\r\nb\rc"), "data: a\ndata: b\ndata: c\n\n");
    EXPECT_EQ(SseKeepAlive(), ": keep-alive\n\n");
    EXPECT_EQ(SseStreamStart().substr(0, 6), "retry:");
    EXPECT_EQ(SseStreamStart().substr(SseStreamStart().size() - 2), "\n\n");
}

// ---- settings -------------------------------------------------------------------------------------

TEST(WebSettings, PortRange) {
    struct Row {
        int line;
        int32_t in;
        uint16_t out;
    };
    const Row rows[] = {
        {__LINE__, 0, 0},      {__LINE__, 1, 1},  {__LINE__, 8080, 8080}, {__LINE__, 65535, 65535},
        {__LINE__, 65536, 0},  {__LINE__, -1, 0}, {__LINE__, -65535, 0},  {__LINE__, 2147483647, 0},
        {__LINE__, 131152, 0},  // 65536 + 80 must not wrap to port 80
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.line);
        EXPECT_EQ(WebPortFromSetting(row.in), row.out);
    }
}

TEST(WebSettings, OriginsSplitOnBlanks) {
    struct Row {
        int line;
        std::string in;
        std::vector<std::string> out;
    };
    const Row rows[] = {
        {__LINE__, "", {}},
        {__LINE__, "   \t ", {}},
        {__LINE__, "https://ship.example", {"https://ship.example"}},
        {__LINE__, "https://ship.example http://localhost:3000", {"https://ship.example", "http://localhost:3000"}},
        {__LINE__, "\t a  \tb ", {"a", "b"}},
        {__LINE__, "a b a", {"a", "b"}},
        {__LINE__, "a,b", {"a,b"}},  // only blanks separate
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.line);
        EXPECT_EQ(SplitOrigins(row.in), row.out);
    }
    EXPECT_EQ(WebConfigFromSettings(8080, "x y"), (WebConfig{8080, {"x", "y"}}));
    EXPECT_EQ(WebConfigFromSettings(0, ""), WebConfig{});
}

TEST(WebSettings, StatusLineShowsTheNoticeOnlyWhenTheScaleIsSilent) {
    EXPECT_EQ(StatusLineText("", "Web endpoint: http://localhost:8080"), "Web endpoint: http://localhost:8080");
    EXPECT_EQ(StatusLineText("Scale In Motion", "Web endpoint: http://localhost:8080"), "Scale In Motion");
    EXPECT_EQ(StatusLineText("Scale Not Found", ""), "Scale Not Found");
    EXPECT_EQ(StatusLineText("", ""), "");
}

TEST(WebSettings, StatusTextsNameThePort) {
    EXPECT_EQ(ListeningText(8080), "Web endpoint: http://localhost:8080");
    EXPECT_EQ(PortTakenText(80), "Web port 80 is in use by another program");
    EXPECT_NE(StartFailedText(443).find("443"), std::string::npos);
}

}  // namespace
}  // namespace web
