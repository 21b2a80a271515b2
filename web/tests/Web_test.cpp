#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "base/tests/Rows.h"
#include "web/Reading.h"
#include "web/RequestPolicy.h"
#include "web/Sessions.h"
#include "web/Sse.h"
#include "web/WebSettings.h"

namespace web {
namespace {

using base::testing::ExpectRows;

// ---- JSON -------------------------------------------------------------------------------------

// Status 2 and 4 are stable; no scale is null; the time is UTC with milliseconds.
TEST(ReadingJson, HasTheFieldsInOrderWithTheirTypes) {
    const Reading r{1.25, "kg", "1.25 kg", "", 4, "USB Scale", 1772705730250};
    EXPECT_EQ(ReadingJson(r), R"({"weight":1.25,"unit":"kg","text":"1.25 kg","status":"","statusCode":4,"stable":true,)"
                              R"("scale":"USB Scale","time":"2026-03-05T10:15:30.250Z"})");
    const Reading under{-0.5, "lb", "-0.5 lb", "Negative Weight", 5, std::nullopt, 0};
    EXPECT_EQ(ReadingJson(under),
              R"({"weight":-0.5,"unit":"lb","text":"-0.5 lb","status":"Negative Weight","statusCode":5,)"
              R"("stable":false,"scale":null,"time":"1970-01-01T00:00:00.000Z"})");
    EXPECT_EQ(InfoJson("1.0", "A \"B\""), R"({"name":"Pesora","version":"1.0","scale":"A \"B\"","routes":)"
                                          R"(["GET /weight","GET /events","POST /zero"]})");
    EXPECT_NE(InfoJson("1.0", std::nullopt).find(R"("scale":null,)"), std::string::npos);
    Reading reading;
    for (const uint8_t code : {0, 1, 2, 3, 4, 5, 255}) {
        reading.statusCode = code;
        EXPECT_EQ(reading.Stable(), code == 2 || code == 4) << int{code};
    }
}

TEST(JsonString, EscapesWhatJsonRequiresAndRepairsBadUtf8) {
    // clang-format off
    ExpectRows<std::string, std::string>(JsonString, {
        {"", R"("")"}, {"a\"b\\c", R"("a\"b\\c")"}, {"\n\r\t\b\f", R"("\n\r\t\b\f")"},
        {std::string("\x01\x1f\x7f", 3), R"("\u0001\u001f\u007f")"}, {std::string("a\0b", 3), R"("a\u0000b")"},
        {"\xC3\xA9 \xE2\x82\xAC \xF0\x9F\x98\x80", "\"\xC3\xA9 \xE2\x82\xAC \xF0\x9F\x98\x80\""},  // é € 😀
        {"\xE2\x80\xA8\xE2\x80\xA9", R"("\u2028\u2029")"},
        {"\xE9t\xE9", "\"\xEF\xBF\xBDt\xEF\xBF\xBD\""},                                // Latin-1 bytes
        {"\xC0\xAF", "\"\xEF\xBF\xBD\xEF\xBF\xBD\""},                                  // overlong "/"
        {"\xED\xA0\x80", "\"\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD\""},                  // a surrogate
        {"ab\xE2\x82", "\"ab\xEF\xBF\xBD\xEF\xBF\xBD\""},                              // cut short at the end
        {"\xF4\x90\x80\x80", "\"\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD\""},  // > U+10FFFF
    });
    // clang-format on
}

TEST(JsonNumber, ShortLocaleFreeAndAlwaysValid) {
    // clang-format off
    ExpectRows<double, std::string>(JsonNumber, {
        {0.0, "0"}, {-0.0, "0"}, {1.25, "1.25"}, {0.1 + 0.2, "0.3"},  // no binary noise
        {2.2046226218487757, "2.20462262185"}, {1e-7, "1e-07"}, {3.2767e130, "3.2767e+130"},
        {std::numeric_limits<double>::infinity(), "null"}, {std::numeric_limits<double>::quiet_NaN(), "null"},
    });
    // clang-format on
}

TEST(IsoUtc, CalendarEdges) {
    // clang-format off
    ExpectRows<int64_t, std::string>(IsoUtc, {
        {0, "1970-01-01T00:00:00.000Z"}, {951782400000, "2000-02-29T00:00:00.000Z"},
        {1709251199999, "2024-02-29T23:59:59.999Z"}, {1798761599123, "2026-12-31T23:59:59.123Z"},
        {-1, "1969-12-31T23:59:59.999Z"}, {4107542400000, "2100-03-01T00:00:00.000Z"},
    });
    // clang-format on
}

TEST(SameReading, IgnoresOnlyTheTime) {
    const Reading a{1.0, "kg", "1 kg", "", 4, "S", 1};
    Reading b = a;
    b.timeMs = 99;
    EXPECT_TRUE(SameReading(a, b));
    const std::function<void(Reading&)> changes[] = {
        [](Reading& c) { c.weight = 1.5; },    [](Reading& c) { c.unit = "g"; },
        [](Reading& c) { c.text = "1.0 kg"; }, [](Reading& c) { c.status = "Scale In Motion"; },
        [](Reading& c) { c.statusCode = 3; },  [](Reading& c) { c.scale.reset(); },
    };
    for (const auto& change : changes) {
        Reading c = a;
        change(c);
        EXPECT_FALSE(SameReading(a, c));
    }
}

// ---- request policy -----------------------------------------------------------------------------

TEST(IsLoopbackHost, OnlyLoopbackNamesWithAPlainPort) {
    // clang-format off
    ExpectRows<std::string, bool>(IsLoopbackHost, {
        {"127.0.0.1:8080", true}, {"localhost", true}, {"LocalHost:65535", true}, {"[::1]:1", true},
        {"localhost:0", false}, {"localhost:65536", false}, {"localhost:", false}, {"localhost:08080", false},
        {"localhost.", false}, {"localhost.evil.example", false}, {"evil.localhost", false},
        {"127.0.0.1.nip.io", false}, {"::1", false}, {"[::1", false}, {"", false},
    });
    // clang-format on
}

std::string Summary(const Decision& d) {
    static const char* const kRoutes[] = {"Info", "Weight", "Events", "Zero", "Preflight", "Refused"};
    std::string s =
        std::string(kRoutes[static_cast<int>(d.route)]) + (d.headOnly ? " head " : " ") + std::to_string(d.status);
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
                                  " [Access-Control-Allow-Methods: GET, HEAD, POST, OPTIONS]"
                                  " [Access-Control-Allow-Headers: Content-Type, Last-Event-ID]"
                                  " [Access-Control-Max-Age: 600]";
    // clang-format off
    struct Row { std::string_view method, target; std::optional<std::string_view> host, origin; bool pna; std::string expect;
                 std::optional<std::string_view> site = std::nullopt; };
    const Row rows[] = {
        // a local tool (no Origin) may read and zero
        {"GET", "/weight", "127.0.0.1:8080", std::nullopt, false, "Weight 200"},
        {"GET", "/weight?cache=1", "localhost:8080", std::nullopt, false, "Weight 200"},
        {"GET", "/events", "[::1]:8080", std::nullopt, false, "Events 200"},
        {"POST", "/zero", "127.0.0.1:8080", std::nullopt, false, "Zero 204"},
        // an allowed page gets CORS headers
        {"GET", "/weight", "localhost:8080", ok, false, "Weight 200" + cors},
        {"POST", "/zero", "localhost:8080", ok, false, "Zero 204" + cors},
        {"OPTIONS", "/zero", "localhost:8080", ok, false, "Preflight 204" + preflight},
        {"OPTIONS", "/weight", "localhost:8080", ok, true,
         "Preflight 204" + preflight + " [Access-Control-Allow-Private-Network: true]"},
        {"GET", "/weight", "localhost:8080", "http://localhost:3000", false,
         "Weight 200 [Access-Control-Allow-Origin: http://localhost:3000] [Vary: Origin]"},
        // any other page gets a bare refusal, and cannot zero
        {"GET", "/weight", "localhost:8080", "https://evil.example", false, "Refused 403"},
        {"POST", "/zero", "localhost:8080", "https://evil.example", false, "Refused 403"},
        {"POST", "/zero", "localhost:8080", "null", false, "Refused 403"},
        {"GET", "/weight", "localhost:8080", "https://ship.example/", false, "Refused 403"},
        {"GET", "/weight", "localhost:8080", "HTTPS://SHIP.EXAMPLE", false, "Refused 403"},
        {"GET", "/weight", "localhost:8080", "", false, "Refused 403"},
        // DNS rebinding: an allowed-looking request under a foreign name
        {"GET", "/weight", "evil.example:8080", std::nullopt, false, "Refused 403"},
        {"POST", "/zero", "evil.example:8080", ok, false, "Refused 403"},
        {"GET", "/weight", std::nullopt, std::nullopt, false, "Refused 400"},
        // paths and methods
        {"GET", "/?a", "localhost", std::nullopt, false, "Info 200"},
        {"HEAD", "/weight", "localhost", ok, false, "Weight head 200" + cors},
        {"HEAD", "/", "localhost", std::nullopt, false, "Info head 200"},
        {"HEAD", "/zero", "localhost", std::nullopt, false, "Refused 405 [Allow: POST, OPTIONS]"},
        {"GET", "/index.html", "localhost", std::nullopt, false, "Refused 404"},
        {"GET", "/Weight", "localhost", std::nullopt, false, "Refused 404"},
        {"GET", "/zero", "localhost", std::nullopt, false, "Refused 405 [Allow: POST, OPTIONS]"},
        {"POST", "/weight", "localhost", ok, false, "Refused 405" + cors + " [Allow: GET, HEAD, OPTIONS]"},
        {"DELETE", "/events", "localhost", std::nullopt, false, "Refused 405 [Allow: GET, HEAD, OPTIONS]"},
        {"OPTIONS", "/weight", "localhost", std::nullopt, false, "Preflight 204 [Allow: GET, HEAD, POST, OPTIONS]"},
        // another site's frame or link carries no Origin, but says where it comes from
        {"GET", "/events", "localhost", std::nullopt, false, "Refused 403", "cross-site"},
        {"GET", "/weight", "localhost", ok, false, "Weight 200" + cors, "cross-site"},
        {"GET", "/events", "localhost", std::nullopt, false, "Events 200", "same-site"},
        {"GET", "/weight", "localhost", std::nullopt, false, "Weight 200", "none"},
    };
    // clang-format on
    for (const Row& row : rows) {
        EXPECT_EQ(
            Summary(Decide(RequestHead{row.method, row.target, row.host, row.origin, row.pna, row.site}, allowed)),
            row.expect)
            << row.method << " " << row.target;
    }
}

// At the cap a connection that asks nothing makes room; streams nobody allowed have a share of
// their own, so neither can lock an allowed page out.
TEST(Admission, IdleMakeRoomAndStreamsWithoutOriginHaveAShare) {
    constexpr Admission kIn = Admission::Accept, kCloseIdle = Admission::CloseIdleFirst, kOut = Admission::Refuse;
    // clang-format off
    struct Row { Connections now; bool stream, allowed; Admission expect; };
    const Row rows[] = {
        {{0, 0, 0}, false, false, kIn}, {{31, 31, 0}, false, false, kIn}, {{32, 1, 0}, false, false, kCloseIdle},
        {{40, 9, 0}, false, false, kCloseIdle}, {{32, 0, 4}, false, false, kOut},
        {{20, 0, kStreamsWithoutOrigin - 1}, true, false, kIn}, {{20, 0, kStreamsWithoutOrigin}, true, false, kOut},
        {{20, 0, kStreamsWithoutOrigin}, true, true, kIn},
    };
    // clang-format on
    for (const Row& row : rows) {
        const Admission got = row.stream ? AdmitStream(row.now, row.allowed) : AdmitConnection(row.now, 32);
        EXPECT_EQ(got, row.expect) << row.now.open << " open, " << row.now.idle << " idle, "
                                   << row.now.streamsWithoutOrigin << " streams";
    }
}

// ---- SSE ------------------------------------------------------------------------------------------

// A line break in a payload cannot end the event or start a field of its own.
TEST(Sse, Framing) {
    EXPECT_EQ(SseEvent(R"({"a":1})"), "data: {\"a\":1}\n\n");
    EXPECT_EQ(SseEvent("a\n\nevent: x"), "data: a\ndata: \ndata: event: x\n\n");
    EXPECT_EQ(SseEvent("a\r\nb\rc\r\n"), "data: a\ndata: b\ndata: c\ndata: \n\n");
    EXPECT_EQ(SseEvent("sent", "{}\n"), "event: sent\ndata: {}\ndata: \n\n");
    EXPECT_EQ(SseHeartbeat(0) + SseStreamStart(),
              "event: heartbeat\ndata: {\"time\":\"1970-01-01T00:00:00.000Z\"}\n\nretry: 2000\n\n");
}

// ---- settings -------------------------------------------------------------------------------------

TEST(WebSettings, PortOriginsAndStatusLine) {
    // clang-format off
    ExpectRows<int32_t, uint16_t>(WebPortFromSetting, {{0, 0}, {1, 1}, {65535, 65535}, {65536, 0}, {-1, 0},
                                                       {2147483647, 0}, {131152, 0}});  // 65536 + 80 is not port 80
    // An entry in another spelling of an allowed origin matches as the browser writes it; one
    // that would allow any page (null, *) or none (a path) is refused, never taken as typed.
    ExpectRows<std::string, std::optional<std::string>>(NormalOrigin, {
        {"https://ship.example", "https://ship.example"}, {"HTTPS://Ship.Example/", "https://ship.example"},
        {"https://ship.example:443", "https://ship.example"}, {"http://localhost:80/", "http://localhost"},
        {"http://localhost:443", "http://localhost:443"}, {"https://ship.example:8443", "https://ship.example:8443"},
        {"http://[::1]:3000", "http://[::1]:3000"}, {"http://[::1]", "http://[::1]"}, {"https://a.example:0443", "https://a.example"},
        {"null", std::nullopt}, {"*", std::nullopt}, {"https://*.example", std::nullopt}, {"ship.example", std::nullopt},
        {"https://ship.example/app", std::nullopt}, {"https://ship.example/?a", std::nullopt}, {"https://u@ship.example", std::nullopt},
        {"https://", std::nullopt}, {"https://a:65536", std::nullopt}, {"https://a:0", std::nullopt}, {"://a", std::nullopt},
        {"http://[::1", std::nullopt}, {"http://a:b:1", std::nullopt}, {"file:///c:/x.html", std::nullopt},
    });
    // clang-format on
    EXPECT_EQ(SplitOrigins(" a://x,\tB://X/ , null c://y*  null"),
              (OriginList{{"a://x", "b://x"}, {"null", "c://y*"}}));
    EXPECT_EQ(WebConfigFromSettings(8080, "x://y,*"), (WebConfig{8080, {"x://y"}, {"*"}}));
    EXPECT_EQ(WebConfigFromSettings(0, ""), WebConfig{});
    EXPECT_EQ(ListeningText(80, {"null", "*"}), "Web endpoint: http://localhost:80; WebOrigins refused: null, *");
    // The endpoint's notice shows whenever the scale has nothing to say.
    EXPECT_EQ(StatusLineText("", ListeningText(8080)), "Web endpoint: http://localhost:8080");
    EXPECT_EQ(StatusLineText("Scale In Motion", ListeningText(8080)), "Scale In Motion");
    EXPECT_EQ(StatusLineText("Scale Not Found", ""), "Scale Not Found");
    EXPECT_EQ(PortTakenText(80), "Web port 80 is in use by another program");
    EXPECT_NE(StartFailedText(443).find("443"), std::string::npos);
}

// ---- sessions --------------------------------------------------------------------------------------

// The client's program is the owner of the socket at the client's end of this very connection:
// not the server's own socket of it (Pesora itself: every client would pass as its own session),
// nor another connection from the same port to another server. Unknown owners (0) are no process.
TEST(Sessions, TheClientsProcessAndWhoIsServed) {
    const auto end = [](uint8_t last, uint16_t port) { return SocketEnd{{127, 0, 0, last}, port}; };
    const SocketEnd server = end(1, 8080), client = end(1, 50000);
    const ConnectionRow listener{server, {}, 10}, serverSide{server, client, 10}, clientSide{client, server, 20},
        toOtherServer{client, end(1, 9090), 30}, fromOtherAddress{end(2, 50000), server, 40};
    struct Row {
        std::vector<ConnectionRow> table;
        std::optional<uint32_t> pid;
    };
    const Row rows[] = {
        {{listener, serverSide, toOtherServer, fromOtherAddress, clientSide}, 20},
        {{listener, serverSide, toOtherServer}, std::nullopt},
        {{serverSide, {client, server, 0}}, std::nullopt},
    };
    for (const Row& row : rows) {
        EXPECT_EQ(ClientProcess(row.table, server, client), row.pid) << row.table.size();
    }
    // Session 2's endpoint: its own programs and services are served, and what cannot be told.
    const std::pair<std::optional<uint32_t>, bool> served[] = {{2, true}, {0, true}, {std::nullopt, true}, {3, false}};
    for (const auto& [session, serves] : served) {
        EXPECT_EQ(ServesSession(2, session), serves) << session.value_or(99);
    }
    EXPECT_EQ(PortTakenText(80, 2, 3), "Web port 80 is in use by another session (3)");
    EXPECT_EQ(PortTakenText(80, 2, 2), PortTakenText(80));
    EXPECT_EQ(PortTakenText(80, 2, std::nullopt), PortTakenText(80));
}

}  // namespace
}  // namespace web
